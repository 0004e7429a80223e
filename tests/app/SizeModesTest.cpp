#include <gtest/gtest.h>

#include "view/SizeModes.h"

TEST(SizeModes, CorrectedSizeUsesTheDecimalFactor) {
    struct Case {
        int w, h, cw, ch;
    };
    for (const Case& c :
         {Case{320, 224, 320, 240}, Case{256, 224, 298, 224}, Case{320, 240, 320, 240},
          Case{384, 240, 384, 288}, Case{256, 240, 319, 240}, Case{336, 240, 336, 240},
          Case{320, 256, 320, 256}}) {
        const PictureSize s = CorrectedSize(c.w, c.h);
        EXPECT_EQ(s.width, c.cw) << c.w << "x" << c.h;
        EXPECT_EQ(s.height, c.ch) << c.w << "x" << c.h;
    }
}

TEST(SizeModes, DoubleAndMaximum) {
    const PictureSize twice = FactorFrameSize(2, {320, 224}, {8, 100});
    EXPECT_EQ(twice.width, 648);
    EXPECT_EQ(twice.height, 548);
    const FrameRect wide = MaximumFrameRect({0, 0, 1024, 738}, {320, 224}, {8, 100});
    EXPECT_EQ(wide.width, 919);
    EXPECT_EQ(wide.height, 738);
    EXPECT_EQ(wide.x, 52);
    EXPECT_EQ(wide.y, 0);
    const FrameRect tall = MaximumFrameRect({10, 20, 1024, 738}, {640, 240}, {8, 100});
    EXPECT_EQ(tall.width, 1024);
    EXPECT_EQ(tall.height, 240 * 1016 / 640 + 100);
    EXPECT_EQ(tall.y, 20 + (738 - tall.height) / 2);
}
