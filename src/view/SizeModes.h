#pragma once

// The arithmetic of the size modes, apart from any window: the 4:3 correction and
// the frame rectangles for Normal, Double, Triple and Maximum.

struct PictureSize {
    int width;
    int height;
};

struct FrameRect {
    int x, y, width, height;
};

// The picture corrected to the proportions of a 4:3 screen, in double arithmetic with
// the decimal factor 1.333, not 4/3, so sizes match those users have always seen.
PictureSize CorrectedSize(int width, int height);

// The frame size that gives the client area `factor` times `base`; `allowance` is what
// the frame has around the client area now.
PictureSize FactorFrameSize(int factor, PictureSize base, PictureSize allowance);

// The largest rectangle with the picture's proportions inside `area`: its whole width or
// its whole height, centred on the other axis. "Wider than the area" compares W / H with
// AW / AH in floating point; a picture or area without size fills the area.
FrameRect FitAndCentre(PictureSize picture, FrameRect area);

// The largest frame with the picture's proportions in the work area, centred on the
// axis that has room to spare.
FrameRect MaximumFrameRect(FrameRect workArea, PictureSize base, PictureSize allowance);
