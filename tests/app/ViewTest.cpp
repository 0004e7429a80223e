#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWindow>

#include "ViewFixture.h"
#include "app/CommandIds.h"
#include "app/CommandStates.h"
#include "support/LumekoViewTestAccess.h"

// The view in the real main frame: client sizes of the size modes, its place on the
// screen, its settings, full screen and what it paints there.
namespace {

class ViewTest : public ViewFixture {
protected:
    QSize Screen() const { return view->screen()->geometry().size(); }

    void Click() {
        const QPointF at(10, 10);
        QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &press);
        Settle();
    }
    void Play() {
        services.doc.OnPlay();
        Settle();
    }
    void Stop() {
        services.doc.OnStop();
        Settle();
    }
    void PressEscape() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(
            QApplication::focusWidget() ? QApplication::focusWidget() : view, &press);
        Settle();
    }
    // The frame is in the window manager's full-screen state with its bars hidden, and
    // the view's client area is exactly the screen: no edge, no bar around it.
    void ExpectCoversTheScreen() {
        EXPECT_TRUE(frame->windowState() & Qt::WindowFullScreen);
        EXPECT_FALSE(frame->menuBar()->isVisible());
        EXPECT_FALSE(frame->statusBar()->isVisible());
        for (QToolBar* bar : frame->findChildren<QToolBar*>()) EXPECT_FALSE(bar->isVisible());
        const QRect screen = view->screen()->geometry();
        const movie::RECT& client = LumekoViewTestAccess::ClientScreenRect(*view);
        EXPECT_EQ(client.left, screen.left());
        EXPECT_EQ(client.top, screen.top());
        EXPECT_EQ(client.right, screen.left() + screen.width());
        EXPECT_EQ(client.bottom, screen.top() + screen.height());
        EXPECT_EQ(LumekoViewTestAccess::ClientSize(*view), screen.size());
    }
    void ExpectWindowed(const QRect& windowed) {
        EXPECT_FALSE(frame->windowState() & Qt::WindowFullScreen);
        EXPECT_TRUE(frame->menuBar()->isVisible());
        EXPECT_TRUE(frame->statusBar()->isVisible());
        EXPECT_EQ(frame->frameGeometry(), windowed);
        EXPECT_EQ(view->contentsRect().size(),
                  view->size() - QSize(2 * CLumekoView::kEdge, 2 * CLumekoView::kEdge));
    }
};

TEST_F(ViewTest, ClientAreaIsThePictureTimesTheModeCorrectedOrNot) {
    struct Case {
        int width, height;  // 0: no movie opened yet
        int mode;
        bool correct;
        QSize client;
    };
    const Case cases[] = {
        {0, 0, 1, false, {320, 224}},     {0, 0, 2, true, {640, 480}},
        {320, 224, 1, false, {320, 224}}, {320, 224, 2, false, {640, 448}},
        {320, 224, 3, false, {960, 672}}, {320, 224, 1, true, {320, 240}},
        {320, 224, 2, true, {640, 480}},  {320, 224, 3, true, {960, 720}},
        {256, 240, 2, true, {638, 480}},  {384, 240, 1, true, {384, 288}},
    };
    for (const Case& c : cases) {
        Destroy();
        services.settings.WriteProfileInt("Varnoki", "AspectCorrect", c.correct ? 1 : 0);
        Build();
        if (c.width) Open(Make(c.width, c.height));
        view->SetWindowSize(c.mode);
        Settle();
        EXPECT_EQ(LumekoViewTestAccess::ClientSize(*view), c.client)
            << c.width << "x" << c.height << " mode " << c.mode << (c.correct ? " corrected" : "");
        EXPECT_EQ(view->contentsRect().size(), c.client);
    }
}

TEST_F(ViewTest, FlippingTheCorrectionResizesInTheCurrentMode) {
    Open(Make(320, 224));
    view->SetWindowSize(2);
    Settle();
    EXPECT_EQ(LumekoViewTestAccess::ClientSize(*view), QSize(640, 448));
    view->OnAspectCorrect();
    Settle();
    EXPECT_EQ(LumekoViewTestAccess::ClientSize(*view), QSize(640, 480));
    EXPECT_EQ(view->WindowSize(), 2);
}

TEST_F(ViewTest, MaximumFillsTheWorkAreaOnOneAxisAndCentresOnTheOther) {
    Open(Make(320, 224));
    view->SetWindowSize(-1);
    Settle();
    const QRect work = view->screen()->availableGeometry();
    const QRect outer = frame->frameGeometry();
    EXPECT_TRUE(work.contains(outer)) << "frame " << outer.width() << "x" << outer.height();
    // 320 x 224 is wider than the space left by the bars: full width, centred vertically.
    EXPECT_EQ(outer.width(), work.width());
    EXPECT_EQ(outer.left(), work.left());
    EXPECT_LE(std::abs((outer.top() - work.top()) - (work.bottom() - outer.bottom())), 1);
    const QSize client = LumekoViewTestAccess::ClientSize(*view);
    EXPECT_EQ(client.height(), 224 * client.width() / 320);
    EXPECT_EQ(view->WindowSize(), -1);
}

TEST_F(ViewTest, SettingsAreReadAtStartAndWrittenBackInOrderEvenAnOddSize) {
    Destroy();
    platform::MemorySettings stored(
        "[Lumeko]\nDirectDraw=1\nFullScreen=1\nWindowSize=5\n[Varnoki]\nAspectCorrect=1\n");
    {
        TestDocument other;
        auto* own = new CLumekoView(other.doc, stored);
        CMainFrame ownFrame(other.settings, own);
        other.doc.AttachView(own);
        ownFrame.show();
        EXPECT_TRUE(own->DirectDraw());
        EXPECT_TRUE(own->FullScreenSetting());
        EXPECT_TRUE(own->AspectCorrect());
        EXPECT_EQ(own->WindowSize(), 5);
        other.doc.m_pendingFiles.push_back(Make(64, 48));
        other.doc.IdleProcess(0);
        Settle();
        // An unknown factor is used as it is when a movie opens; no size entry is checked.
        EXPECT_EQ(LumekoViewTestAccess::ClientSize(*own), QSize(320, 240));
        for (int id : {ID_NORMAL, ID_DOUBLE, ID_TRIPLE, ID_MAXIMUM})
            EXPECT_FALSE(ViewCommandState(id, *own).checked);
        own->OnDirectDraw();
        other.doc.CloseMovie();
        other.doc.AttachView(nullptr);
    }
    const std::string text = stored.Text();
    EXPECT_NE(text.find("WindowSize=5"), std::string::npos) << text;
    EXPECT_NE(text.find("DirectDraw=0"), std::string::npos) << text;
    EXPECT_NE(text.find("FullScreen=1"), std::string::npos) << text;
    EXPECT_NE(text.find("AspectCorrect=1"), std::string::npos) << text;

    platform::MemorySettings fresh;
    {
        TestDocument other;
        CLumekoView own(other.doc, fresh);
        EXPECT_EQ(own.WindowSize(), 1);
        EXPECT_FALSE(own.DirectDraw() || own.FullScreenSetting() || own.AspectCorrect());
    }
    const std::string written = fresh.Text();
    const size_t order[] = {written.find("DirectDraw=0"), written.find("WindowSize=1"),
                            written.find("FullScreen=0"), written.find("[Varnoki]"),
                            written.find("AspectCorrect=0")};
    for (size_t i = 1; i < std::size(order); ++i) EXPECT_LT(order[i - 1], order[i]) << written;
    EXPECT_NE(order[std::size(order) - 1], std::string::npos) << written;
    Build();
}

TEST_F(ViewTest, ClientRectangleOnTheScreenFollowsTheFrame) {
    for (const QPoint at : {QPoint(40, 30), QPoint(200, 100)}) {
        frame->move(at);
        Settle();
        const movie::RECT window = ViewOnScreen();
        const movie::RECT expected{window.left + 2, window.top + 2, window.right - 2,
                                   window.bottom - 2};
        const movie::RECT& actual = LumekoViewTestAccess::ClientScreenRect(*view);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right, expected.right);
        EXPECT_EQ(actual.bottom, expected.bottom);
    }
}

TEST_F(ViewTest, FullScreenOnPlayLeftByClickAndByStop) {
    Destroy();
    services.settings.WriteProfileInt("Lumeko", "FullScreen", 1);
    Build();
    Open(Make(320, 224, 60));
    frame->move(60, 40);
    Settle();
    const QRect windowed = frame->frameGeometry();

    Play();
    ASSERT_TRUE(view->IsFullScreen());
    ExpectCoversTheScreen();
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr) << "no grab: Wayland has none outside pop-ups";
    EXPECT_EQ(view->cursor().shape(), Qt::BlankCursor);

    // A click anywhere leaves; playback goes on in the window.
    Click();
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_TRUE(services.doc.m_bPlaying);
    ExpectWindowed(windowed);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
    Click();
    EXPECT_EQ(frame->frameGeometry(), windowed) << "a click in the window changes nothing";
    EXPECT_TRUE(services.doc.m_bPlaying);

    // Escape leaves too, and only full screen: in the window it stops nothing.
    Stop();
    Play();
    ASSERT_TRUE(view->IsFullScreen());
    PressEscape();
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_TRUE(services.doc.m_bPlaying);
    ExpectWindowed(windowed);
    PressEscape();
    EXPECT_TRUE(services.doc.m_bPlaying);

    Stop();
    Play();
    ASSERT_TRUE(view->IsFullScreen());
    Stop();
    EXPECT_FALSE(view->IsFullScreen());
    ExpectWindowed(windowed);

    // Off: the next start stays in the window.
    view->OnFullScreen();
    Play();
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_EQ(frame->frameGeometry(), windowed);
}

TEST_F(ViewTest, ASizeChosenInFullScreenWaitsForTheWindow) {
    Open(Make(320, 224, 60));
    view->OnFullScreen();
    Play();
    ASSERT_TRUE(view->IsFullScreen());
    view->SetWindowSize(2);
    Settle();
    ExpectCoversTheScreen();
    Click();
    EXPECT_EQ(LumekoViewTestAccess::ClientSize(*view), QSize(640, 448));
    EXPECT_EQ(view->WindowSize(), 2);
}

TEST_F(ViewTest, FullScreenCommandEntersAtOnceWhilePlayingEvenPaused) {
    Open(Make(320, 224, 60));
    view->OnFullScreen();
    EXPECT_FALSE(view->IsFullScreen()) << "not playing: the setting waits for the next start";
    view->OnFullScreen();
    Play();
    EXPECT_FALSE(view->IsFullScreen());
    services.doc.OnPause();
    view->OnFullScreen();
    Settle();
    EXPECT_TRUE(view->IsFullScreen());
    ExpectCoversTheScreen();
}

TEST_F(ViewTest, TurningTheSettingOffAndOnInFullScreenKeepsTheWindowsPlace) {
    Open(Make(320, 224, 60));
    frame->move(70, 50);
    Settle();
    const QRect windowed = frame->frameGeometry();
    view->OnFullScreen();
    Play();
    ASSERT_TRUE(view->IsFullScreen());
    view->OnFullScreen();
    EXPECT_TRUE(view->IsFullScreen()) << "turning the setting off leaves full screen in force";
    view->OnFullScreen();
    Settle();
    Click();
    EXPECT_EQ(frame->frameGeometry(), windowed);
}

TEST_F(ViewTest, LoopingReentersFullScreenAndThePaneKeepsStill) {
    RecordingFrame panes;
    services.doc.AttachFrame(&panes);
    services.doc.m_bLoop = 1;
    view->OnFullScreen();
    Open(Make(32, 16, 20));  // 20 frames at 15 fps: one and a third seconds a run
    Play();
    ASSERT_TRUE(view->IsFullScreen());
    const size_t written = panes.paneHistory.size();
    int restarts = 0;
    uint32_t next = services.doc.m_nNextFrame;
    services.RunFor(
        3000,
        [&] {
            if (services.doc.m_nNextFrame < next) ++restarts;
            next = services.doc.m_nNextFrame;
            return false;
        },
        5);
    EXPECT_TRUE(services.doc.m_bPlaying);
    EXPECT_TRUE(view->IsFullScreen()) << "every restart of the loop enters again";
    EXPECT_GE(restarts, 1);
    // Only the stop at each loop's end writes " 0: 0"; no running time while full screen.
    for (size_t i = written; i < panes.paneHistory.size(); ++i)
        if (panes.paneHistory[i].first == 1) {
            EXPECT_EQ(panes.paneHistory[i].second, " 0: 0");
        }
    services.doc.AttachFrame(nullptr);
}

TEST_F(ViewTest, FullScreenDrawsThePictureBetweenBlackBandsUnlessCorrected) {
    Open(Make(320, 224, 30));
    view->OnFullScreen();
    Play();
    ASSERT_TRUE(view->IsFullScreen());
    const QSize screen = Screen();
    const FrameRect placement = LumekoViewTestAccess::FullScreenPlacementRect(*view);
    // 320 x 224 is wider than a 4:3 screen: full width, bands above and below.
    EXPECT_EQ(placement.x, 0);
    EXPECT_EQ(placement.width, screen.width());
    EXPECT_EQ(placement.height, screen.width() * 224 / 320);
    EXPECT_EQ(placement.y, (screen.height() - placement.height) / 2);

    const auto client = [&] { return view->grab(view->contentsRect()).toImage(); };
    const auto nonBlackRows = [](const QImage& image) {
        int first = -1, last = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); x += 7)
                if ((image.pixel(x, y) & 0xffffff) != 0) {
                    if (first < 0) first = y;
                    last = y;
                    break;
                }
        return std::pair{first, last};
    };
    const auto [top, bottom] = nonBlackRows(client());
    EXPECT_GE(top, placement.y - 1);
    EXPECT_LE(top, placement.y + 2);
    EXPECT_GE(bottom, placement.y + placement.height - 3);
    EXPECT_LE(bottom, placement.y + placement.height);

    // Corrected, the picture is stretched over the whole client area.
    view->OnAspectCorrect();
    view->update();
    Settle();
    const auto [fullTop, fullBottom] = nonBlackRows(client());
    EXPECT_LE(fullTop, 2);
    EXPECT_GE(fullBottom, view->contentsRect().height() - 3);
}

}  // namespace
