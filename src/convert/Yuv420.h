#pragma once

#include <cstdint>

// Our pictures in the form video encoders take: 4:2:0 YCbCr with BT.601 coefficients and
// limited range (Y 16..235, Cb/Cr 16..240), rounded exactly. GStreamer's own converter
// loses about 2 dB more than rounding does, which at these picture sizes is visible.

namespace convert {

struct I420Planes {
    uint8_t* y;
    int yStride;
    uint8_t* u;
    uint8_t* v;
    int uvStride;
};

// Converts a `width` x `height` picture (BGR, bottom row first) enlarged `factor` times by
// repeating pixels; the enlarged size must be even both ways. Each chroma sample is the
// average of the four pixels it covers.
void BgrToI420(const uint8_t* bgrBottomUp, int width, int height, int factor,
               const I420Planes& out);

}  // namespace convert
