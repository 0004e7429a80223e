#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/DirectDrawBackEndTestAccess.h"
#include "support/RecordingDirectDraw.h"
#include "view/DirectDrawBackEnd.h"

using namespace platform;

namespace {

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

BITMAPINFOHEADER Picture(int width, int height) {
    BITMAPINFOHEADER header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = 24;
    return header;
}

std::vector<std::string> From(const std::vector<std::string>& log, const std::string& first) {
    const auto at = std::find(log.begin(), log.end(), first);
    return {at, log.end()};
}

class DirectDrawBackEndTest : public ::testing::Test {
protected:
    bool Init(int width = 320, int height = 224) {
        return backEnd.InitDirectDraw(&view, Picture(width, height));
    }

    int view = 0;  // stands for the view's window
    RecordingDirectDraw service;
    RecordingDirectDrawState& state = service.state;
    DirectDrawBackEnd backEnd{&service};
};

struct LayoutCase {
    int width, height, screenWidth, screenHeight;
    int surfaceWidth, surfaceHeight;
    RECT picture;
};

TEST(PictureSurfaceLayout, HasTheScreensProportionsWithThePictureAtTheCentre) {
    const LayoutCase cases[] = {
        {320, 224, 640, 480, 320, 240, {0, 8, 320, 232}},  // wider than the screen: bands above and
                                                           // below
        {256, 240, 640, 480, 320, 240, {32, 0, 288, 240}},    // narrower: bands left and right
        {640, 480, 640, 480, 640, 480, {0, 0, 640, 480}},     // same proportions: no bands
        {160, 120, 1920, 1080, 213, 120, {26, 0, 186, 120}},  // remainders dropped
        {320, 240, 1280, 1024, 320, 256, {0, 8, 320, 248}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " on " +
                     std::to_string(c.screenWidth) + "x" + std::to_string(c.screenHeight));
        const PictureSurfaceLayout layout =
            LayoutPictureSurface(c.width, c.height, c.screenWidth, c.screenHeight);
        EXPECT_EQ(layout.surfaceWidth, c.surfaceWidth);
        EXPECT_EQ(layout.surfaceHeight, c.surfaceHeight);
        EXPECT_TRUE(layout.picture == c.picture) << recording_detail::Text(layout.picture);
    }
}

TEST_F(DirectDrawBackEndTest, SetsUpInOrderAndKeepsTheRectanglesOfTheScreenSurfaceAndPicture) {
    ASSERT_TRUE(Init(320, 224));
    EXPECT_TRUE(backEnd.InUse());
    EXPECT_TRUE(backEnd.Blitting());
    const std::vector<std::string> expected = {"DirectDrawCreate",
                                               "SetCooperativeLevel",
                                               "QueryInterface",
                                               "Release object",
                                               "CreateSurface primary",
                                               "SetColorKey DESTOVERLAY 16711935 16711935",
                                               "SetColorKey DESTBLT 16711935 16711935",
                                               "CreateClipper",
                                               "SetHWnd",
                                               "SetClipper"};
    ASSERT_GE(state.log.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(state.log.begin(), state.log.begin() + expected.size()),
              expected);
    EXPECT_TRUE(state.clipperAttached);
    EXPECT_TRUE(backEnd.Screen() == (RECT{0, 0, 640, 480}));
    EXPECT_TRUE(DirectDrawBackEndTestAccess::SurfaceRect(backEnd) == (RECT{0, 0, 320, 240}));
    EXPECT_TRUE(DirectDrawBackEndTestAccess::PictureRect(backEnd) == (RECT{0, 8, 320, 232}));
    EXPECT_EQ(state.alive, 4) << "the first object goes once the second interface is had";
}

TEST_F(DirectDrawBackEndTest,
       TriesTheOverlayFormatsThenOffScreenSurfacesAndBlitsWhenNoOverlayIsOffered) {
    ASSERT_TRUE(Init(256, 240));
    struct Row {
        uint32_t caps, bits, red, green, blue;
    };
    const Row rows[] = {
        {DDSCAPS_OVERLAY, 24, 0xFF0000, 0x00FF00, 0x0000FF},
        {DDSCAPS_OVERLAY, 32, 0xFF0000, 0x00FF00, 0x0000FF},
        {DDSCAPS_OVERLAY, 32, 0x0000FF, 0x00FF00, 0xFF0000},
        {DDSCAPS_OVERLAY, 24, 0x0000FF, 0x00FF00, 0xFF0000},
        {DDSCAPS_OVERLAY, 16, 0xF800, 0x07E0, 0x001F},
        {DDSCAPS_OVERLAY, 16, 0x7C00, 0x03E0, 0x001F},
        {DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 0, 0, 0, 0},
    };
    // The video-memory off-screen surface is the first that a blit-only display gives.
    ASSERT_EQ(state.pictureDescs.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const DDSURFACEDESC& d = state.pictureDescs[i];
        const bool overlay = rows[i].caps == DDSCAPS_OVERLAY;
        EXPECT_EQ(d.dwSize, 108u);
        EXPECT_EQ(d.dwCaps, rows[i].caps);
        EXPECT_EQ(d.dwFlags,
                  DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | (overlay ? DDSD_PIXELFORMAT : 0u));
        EXPECT_EQ(d.dwWidth, 320u);
        EXPECT_EQ(d.dwHeight, 240u);
        if (!overlay) continue;
        EXPECT_EQ(d.ddpfPixelFormat.dwSize, 32u);
        EXPECT_EQ(d.ddpfPixelFormat.dwFlags, DDPF_RGB);
        EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, rows[i].bits);
        EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, rows[i].red);
        EXPECT_EQ(d.ddpfPixelFormat.dwGBitMask, rows[i].green);
        EXPECT_EQ(d.ddpfPixelFormat.dwBBitMask, rows[i].blue);
        EXPECT_EQ(d.ddpfPixelFormat.dwRGBAlphaBitMask, 0u);
    }
    EXPECT_FALSE(backEnd.Overlay());
    EXPECT_EQ(backEnd.EraseColor(), 0u) << "a blitting back end erases black";
}

TEST_F(DirectDrawBackEndTest, UsesTheFirstOverlayOfferedAndErasesWithItsKeyColour) {
    state.offersOverlay = true;
    ASSERT_TRUE(Init());
    EXPECT_EQ(state.pictureDescs.size(), 1u);
    EXPECT_TRUE(backEnd.Overlay());
    EXPECT_FALSE(backEnd.Blitting());
    EXPECT_EQ(backEnd.EraseColor(), 0x00FF00FFu);
    backEnd.Release();
    EXPECT_EQ(backEnd.EraseColor(), 0u) << "after the release the erase is black again";
}

TEST_F(DirectDrawBackEndTest, ColourKeyIsMagentaAsTheDisplayStoresIt) {
    struct Case {
        int bitsPerPixel;
        std::array<uint8_t, 4> bytes;
        uint32_t key;
    };
    const Case cases[] = {
        {16, {0x1F, 0xF8, 0xEE, 0xEE}, 0xF81F},      // only the 16-bit pixel
        {24, {0xFF, 0x00, 0xFF, 0xEE}, 0xFF00FF},    // three bytes, the fourth left out
        {32, {0xFF, 0x00, 0xFF, 0x7F}, 0x7FFF00FF},  // all four, in memory order
        {8, {0xF7, 0xEE, 0xEE, 0xEE}, 0xF7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bitsPerPixel);
        RecordingDirectDraw display;
        display.state.bitsPerPixel = c.bitsPerPixel;
        display.state.pixelBytes = c.bytes;
        DirectDrawBackEnd probe(&display);
        ASSERT_TRUE(probe.InitDirectDraw(&view, Picture(320, 224)));
        const std::string key = std::to_string(c.key);
        const std::vector<std::string> keys = {"SetColorKey DESTOVERLAY " + key + " " + key,
                                               "SetColorKey DESTBLT " + key + " " + key};
        const auto at = std::find(display.state.log.begin(), display.state.log.end(), keys[0]);
        ASSERT_NE(at, display.state.log.end());
        EXPECT_EQ(*(at + 1), keys[1]);
    }
}

TEST_F(DirectDrawBackEndTest, FailureAtAnyStepReleasesEverythingObtained) {
    for (const char* step :
         {"DirectDrawCreate", "SetCooperativeLevel", "QueryInterface", "CreateSurface primary",
          "CreateClipper", "SetHWnd", "SetClipper", "CreateSurface picture"}) {
        SCOPED_TRACE(step);
        RecordingDirectDraw display;
        display.state.offersOverlay = true;
        display.state.failAt = step;
        DirectDrawBackEnd failing(&display);
        EXPECT_FALSE(failing.InitDirectDraw(&view, Picture(320, 224)));
        EXPECT_EQ(display.state.alive, 0);
        EXPECT_FALSE(failing.InUse());
        EXPECT_FALSE(failing.Overlay());
        EXPECT_EQ(failing.EraseColor(), 0u);
    }
}

TEST_F(DirectDrawBackEndTest, FailsWithoutAServiceOrOnAScreenOfNoSize) {
    DirectDrawBackEnd none;
    EXPECT_FALSE(none.InitDirectDraw(&view, Picture(320, 224)));

    state.screenWidth = 0;
    EXPECT_FALSE(Init());
    EXPECT_EQ(state.alive, 0);
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "CreateClipper"), 0);
}

TEST_F(DirectDrawBackEndTest, ClearsTheWholeSurfaceThroughALock) {
    ASSERT_TRUE(Init());
    ASSERT_FALSE(state.surfaceMemory.empty());
    backEnd.ClearSurface();
    EXPECT_TRUE(std::all_of(state.surfaceMemory.begin(), state.surfaceMemory.end(),
                            [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(From(state.log, "Lock (0,0,320,240)"),
              (std::vector<std::string>{"Lock (0,0,320,240)", "Unlock"}));
}

TEST_F(DirectDrawBackEndTest, LeavesTheSurfaceAloneWhenTheLockFails) {
    state.failAt = "Lock (0,0,320,240)";
    ASSERT_TRUE(Init());
    backEnd.ClearSurface();
    EXPECT_TRUE(std::all_of(state.surfaceMemory.begin(), state.surfaceMemory.end(),
                            [](uint8_t b) { return b == 0xAA; }));
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "Unlock"), 0);
}

TEST_F(DirectDrawBackEndTest, PresentsByTheKindOfSurfaceFullScreenAndCorrection) {
    struct Case {
        bool overlay, fullScreen, correct;
        std::string call;
    };
    const std::string show = std::to_string(DDOVER_SHOW),
                      keyed = std::to_string(DDOVER_SHOW | DDOVER_KEYDEST);
    const Case cases[] = {
        {true, false, false, "UpdateOverlay (0,8,320,232) (100,50,740,530) " + keyed},
        {true, false, true, "UpdateOverlay (0,8,320,232) (100,50,740,530) " + keyed},
        {true, true, false, "UpdateOverlay (0,0,320,240) (0,0,640,480) " + show},
        {true, true, true, "UpdateOverlay (0,8,320,232) (0,0,640,480) " + show},
        {false, false, false, "Blt (100,50,740,530) (0,8,320,232) 0"},
        {false, false, true, "Blt (100,50,740,530) (0,8,320,232) 0"},
        {false, true, false, "Blt (0,0,640,480) (0,0,320,240) 0"},
        {false, true, true, "Blt (0,0,640,480) (0,8,320,232) 0"},
    };
    const std::vector<uint8_t> pixels(320 * 224 * 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call + (c.fullScreen ? " full screen" : " windowed") +
                     (c.correct ? " corrected" : ""));
        RecordingDirectDraw display;
        display.state.offersOverlay = c.overlay;
        DirectDrawBackEnd drawing(&display);
        ASSERT_TRUE(drawing.InitDirectDraw(&view, Picture(320, 224)));
        display.state.log.clear();
        drawing.Draw(pixels.data(), Picture(320, 224), RECT{100, 50, 740, 530}, c.fullScreen,
                     c.correct);
        EXPECT_EQ(display.state.log,
                  (std::vector<std::string>{"StretchDIBits (0,8,320,232) 320x224", c.call}));
    }
}

TEST_F(DirectDrawBackEndTest, ReleasesSurfaceClipperPrimaryAndObjectInThatOrder) {
    state.offersOverlay = true;
    ASSERT_TRUE(Init());
    state.log.clear();
    backEnd.Release();
    EXPECT_EQ(state.log, (std::vector<std::string>{"Release surface", "Release clipper",
                                                   "Release primary", "Release DirectDraw"}));
    EXPECT_FALSE(backEnd.InUse());
    EXPECT_FALSE(backEnd.Overlay());
    backEnd.Release();
    EXPECT_EQ(state.log.size(), 4u) << "a second release has nothing to let go";
}

TEST_F(DirectDrawBackEndTest, FullScreenDetachesTheClipperOnlyWhileBlitting) {
    ASSERT_TRUE(Init());
    backEnd.DetachClipper();
    EXPECT_FALSE(state.clipperAttached);
    EXPECT_TRUE(backEnd.AttachClipper()) << "the caller must repaint every window";
    EXPECT_TRUE(state.clipperAttached);

    RecordingDirectDraw overlayDisplay;
    overlayDisplay.state.offersOverlay = true;
    DirectDrawBackEnd overlay(&overlayDisplay);
    ASSERT_TRUE(overlay.InitDirectDraw(&view, Picture(320, 224)));
    overlayDisplay.state.log.clear();
    overlay.DetachClipper();
    EXPECT_FALSE(overlay.AttachClipper());
    EXPECT_TRUE(overlayDisplay.state.log.empty());

    DirectDrawBackEnd unused(&service);
    unused.DetachClipper();
    EXPECT_FALSE(unused.AttachClipper());
}

}  // namespace
