#include "view/FullScreen.h"

FrameRect FullScreenPlacement(PictureSize picture, PictureSize screen) {
    if (picture.width <= 0 || picture.height <= 0 || screen.width <= 0 || screen.height <= 0)
        return {0, 0, screen.width, screen.height};
    if (static_cast<double>(picture.width) / picture.height >
        static_cast<double>(screen.width) / screen.height) {
        const int height =
            static_cast<int>(static_cast<long long>(screen.width) * picture.height / picture.width);
        return {0, (screen.height - height) / 2, screen.width, height};
    }
    const int width =
        static_cast<int>(static_cast<long long>(screen.height) * picture.width / picture.height);
    return {(screen.width - width) / 2, 0, width, screen.height};
}

FrameRect FullScreenFrameRect(FrameRect frame, FrameRect view, PictureSize screen) {
    return {frame.x - view.x - 1, frame.y - view.y - 1,
            screen.width + (frame.width - view.width) + 3,
            screen.height + (frame.height - view.height) + 3};
}
