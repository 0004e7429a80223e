#include <gtest/gtest.h>

#include <vector>

#include "convert/Yuv420.h"

namespace {

// The levels the encoders expect: black 16, white 235, grey without colour, and the
// limited-range extremes of pure blue and red.
TEST(Yuv420, LimitedRangeBt601Levels) {
    struct Case {
        uint8_t b, g, r;
        uint8_t y, u, v;
    };
    const Case cases[] = {
        {0, 0, 0, 16, 128, 128},   {255, 255, 255, 235, 128, 128}, {128, 128, 128, 126, 128, 128},
        {255, 0, 0, 41, 240, 110}, {0, 0, 255, 81, 90, 240},       {0, 255, 0, 145, 54, 34},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bgr;
        for (int i = 0; i < 4; ++i) bgr.insert(bgr.end(), {c.b, c.g, c.r});
        uint8_t y[4], u = 0, v = 0;
        convert::BgrToI420(bgr.data(), 2, 2, 1, {y, 2, &u, &v, 1});
        EXPECT_EQ(y[0], c.y) << int(c.b) << "," << int(c.g) << "," << int(c.r);
        EXPECT_EQ(u, c.u) << int(c.b) << "," << int(c.g) << "," << int(c.r);
        EXPECT_EQ(v, c.v) << int(c.b) << "," << int(c.g) << "," << int(c.r);
    }
}

// Bottom-up in, top-down out; doubling repeats pixels; chroma averages its 2x2 block.
TEST(Yuv420, TurnsUprightEnlargesAndAveragesChroma) {
    // 2x2, bottom row first: bottom white/black, top black/white... as BGR.
    const std::vector<uint8_t> bgr = {255, 255, 255, 0, 0, 0,     // bottom row
                                      0,   0,   0,   0, 0, 255};  // top row: black, red
    uint8_t y[16], u[4], v[4];
    convert::BgrToI420(bgr.data(), 2, 2, 2, {y, 4, u, v, 2});
    const uint8_t expected[16] = {16,  16,  81, 81, 16,  16,  81, 81,
                                  235, 235, 16, 16, 235, 235, 16, 16};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(y[i], expected[i]) << i;
    // Each chroma sample covers one source pixel when doubled.
    EXPECT_EQ(v[0], 128);
    EXPECT_EQ(v[1], 240);
    EXPECT_EQ(u[2], 128);
    uint8_t y1[4], u1 = 0, v1 = 0;
    convert::BgrToI420(bgr.data(), 2, 2, 1, {y1, 2, &u1, &v1, 1});
    EXPECT_EQ(y1[0], 16);
    EXPECT_EQ(y1[1], 81);
    EXPECT_EQ(y1[2], 235);
    EXPECT_EQ(v1, 128 + (240 - 128 + 2) / 4);  // a quarter of red's
}

}  // namespace
