#include <QImage>
#include <QMouseEvent>

#include "app/ViewFixture.h"
#include "support/LumekoViewTestAccess.h"
#include "support/RecordingDirectDraw.h"

// The view in the real main frame drawing through a recording surface service: which
// back end a movie gets, what the view paints itself, and the clipper around full
// screen.
namespace {

class ViewSurfacesTest : public ViewFixture {
protected:
    // Builds the view again with the "DirectDraw" setting on, on the recording service.
    void UseSurfaces() {
        Destroy();
        services.settings.WriteProfileInt("Lumeko", "DirectDraw", 1);
        Build();
        view->SetDirectDrawProvider(&surfaces);
    }
    QRgb ClientCentre() {
        const QImage shot = view->grab().toImage();
        return shot.pixel(shot.width() / 2, shot.height() / 2) & 0xFFFFFF;
    }
    std::string Text(const RECT& r) const { return recording_detail::Text(r); }
    bool Logged(const std::string& call) const {
        return std::find(state.log.begin(), state.log.end(), call) != state.log.end();
    }

    RecordingDirectDraw surfaces;
    RecordingDirectDrawState& state = surfaces.state;
};

TEST_F(ViewSurfacesTest, AnOverlayIsShownOverTheClientAreaWhereTheViewPaintsMagenta) {
    UseSurfaces();
    state.offersOverlay = true;
    Open(Make(320, 224));
    ASSERT_TRUE(LumekoViewTestAccess::DirectDrawInUse(*view));
    EXPECT_EQ(ClientCentre(), 0xFF00FFu);
    const std::string keyed = std::to_string(platform::DDOVER_SHOW | platform::DDOVER_KEYDEST);
    EXPECT_TRUE(Logged("UpdateOverlay (0,8,320,232) " +
                       Text(LumekoViewTestAccess::ClientScreenRect(*view)) + " " + keyed));

    state.log.clear();
    services.doc.CloseMovie();
    EXPECT_EQ(state.log, (std::vector<std::string>{"Release surface", "Release clipper",
                                                   "Release primary", "Release DirectDraw"}));
    EXPECT_EQ(ClientCentre(), 0u) << "after the release the erase is black again";
}

TEST_F(ViewSurfacesTest, ADisplayWithoutOverlaysIsBlittedToAndTheViewPaintsNoKeyColour) {
    UseSurfaces();
    Open(Make(320, 224));
    ASSERT_TRUE(LumekoViewTestAccess::DirectDrawInUse(*view));
    EXPECT_NE(ClientCentre(), 0xFF00FFu);
    EXPECT_TRUE(
        Logged("Blt " + Text(LumekoViewTestAccess::ClientScreenRect(*view)) + " (0,8,320,232) 0"));
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "Unlock"), 1)
        << "the surface is cleared once";
}

TEST_F(ViewSurfacesTest, AFailedSetUpPaintsThePictureItselfAndKeepsTheSetting) {
    for (const char* step : {"DirectDrawCreate", "SetHWnd", "CreateSurface picture"}) {
        SCOPED_TRACE(step);
        UseSurfaces();
        state = RecordingDirectDrawState{};
        state.failAt = step;
        Open(Make(320, 224));
        EXPECT_TRUE(services.doc.m_bOpen);
        EXPECT_FALSE(LumekoViewTestAccess::DirectDrawInUse(*view));
        EXPECT_EQ(state.alive, 0);
        EXPECT_TRUE(view->DirectDraw()) << "the check mark shows the setting";
        // The picture is painted by the view: its centre pixel as decoded.
        // Client row 112 from the top is bitmap row 111, the rows being stored bottom-up.
        const uint8_t* centre = services.doc.m_pCurrentImage + (111 * 320 + 160) * 3;
        const QRgb expected = qRgb(centre[2], centre[1], centre[0]) & 0xFFFFFF;
        EXPECT_EQ(ClientCentre(), expected);
    }
}

TEST_F(ViewSurfacesTest, TheSettingOffLeavesTheServiceUntouched) {
    view->SetDirectDrawProvider(&surfaces);
    Open(Make(320, 224));
    EXPECT_FALSE(LumekoViewTestAccess::DirectDrawInUse(*view));
    EXPECT_TRUE(state.log.empty());
}

TEST_F(ViewSurfacesTest, FullScreenBlitsOverTheScreenWithTheClipperOff) {
    UseSurfaces();
    view->OnFullScreen();
    Open(Make(320, 224, 60));
    ASSERT_TRUE(LumekoViewTestAccess::DirectDrawInUse(*view));
    state.log.clear();
    services.doc.OnPlay();
    Settle();
    ASSERT_TRUE(view->IsFullScreen());
    EXPECT_FALSE(state.clipperAttached);
    view->repaint();
    // The screen is the primary surface's, 640 x 480 (not the offscreen platform's
    // 800 x 600); the picture surface is 320 x 240, and with correction off all of it
    // is shown.
    EXPECT_TRUE(Logged("Blt (0,0,640,480) (0,0,320,240) 0")) << ::testing::PrintToString(state.log);

    services.doc.OnStop();
    Settle();
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_TRUE(state.clipperAttached);
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "SetClipper none"), 1);
    EXPECT_EQ(std::count(state.log.begin(), state.log.end(), "SetClipper"), 1);
}

}  // namespace
