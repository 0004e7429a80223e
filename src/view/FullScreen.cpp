#include "view/FullScreen.h"

FrameRect FullScreenPlacement(PictureSize picture, PictureSize screen) {
    return FitAndCentre(picture, {0, 0, screen.width, screen.height});
}

FrameRect FullScreenFrameRect(FrameRect frame, FrameRect view, PictureSize screen) {
    return {frame.x - view.x - 1, frame.y - view.y - 1,
            screen.width + (frame.width - view.width) + 3,
            screen.height + (frame.height - view.height) + 3};
}
