#include <gtest/gtest.h>

#include "view/FullScreen.h"

namespace {

bool operator==(const FrameRect& a, const FrameRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

TEST(FullScreen, PlacementKeepsThePicturesProportionsBetweenBands) {
    struct Case {
        PictureSize picture, screen;
        FrameRect placement;
    };
    const Case cases[] = {
        {{320, 224}, {800, 600}, {0, 20, 800, 560}},  // wider than the screen: bands above and
                                                      // below
        {{256, 240}, {800, 600}, {80, 0, 640, 600}},  // narrower: bands left and right
        {{320, 240}, {800, 600}, {0, 0, 800, 600}},   // the screen's own proportions: no band
        {{320, 224}, {640, 480}, {0, 16, 640, 448}},
        {{320, 224}, {1920, 1080}, {189, 0, 1542, 1080}},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(FullScreenPlacement(c.picture, c.screen) == c.placement)
            << c.picture.width << "x" << c.picture.height << " on " << c.screen.width << "x"
            << c.screen.height;
}

TEST(FullScreen, FrameIsPlacedSoTheViewSpansOnePixelBeyondTheScreen) {
    // A frame at (100, 50) of 332 x 319 whose view starts 8, 30 inside it, 316 x 224.
    const FrameRect frame{100, 50, 332, 319}, view{108, 80, 316, 224};
    const FrameRect outer = FullScreenFrameRect(frame, view, {800, 600});
    const int viewLeft = outer.x + (view.x - frame.x), viewTop = outer.y + (view.y - frame.y);
    const int viewRight = viewLeft + outer.width - (frame.width - view.width);
    const int viewBottom = viewTop + outer.height - (frame.height - view.height);
    EXPECT_EQ(viewLeft, -1);
    EXPECT_EQ(viewTop, -1);
    EXPECT_EQ(viewRight, 802);
    EXPECT_EQ(viewBottom, 602);
}

}  // namespace
