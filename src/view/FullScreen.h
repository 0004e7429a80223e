#pragma once

#include "view/SizeModes.h"

// The arithmetic of full screen, apart from any window: where the picture lies on the
// screen, and where the frame goes so that the view covers the screen.

// Where the picture is drawn inside the full-screen view when it keeps its own
// proportions: the whole width or the whole height of the screen, centred on the other
// axis. "Wider than the screen" compares W / H with SW / SH in floating point.
FrameRect FullScreenPlacement(PictureSize picture, PictureSize screen);

// The frame rectangle that puts the view's window at (-1, -1)-(SW + 2, SH + 2) on the
// screen, given where the frame and the view are now; the view keeps its offset inside
// the frame and its share of the frame's size.
FrameRect FullScreenFrameRect(FrameRect frame, FrameRect view, PictureSize screen);
