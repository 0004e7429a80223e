#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "moviemaker/MovieMaker.h"
#include "platform/qtgl/GlDirectDraw.h"
#include "support/LumekoViewTestAccess.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"
#include "view/DirectDrawBackEnd.h"
#include "view/LumekoView.h"

// The GL path really puts the picture on the screen, grabbed from a virtual display
// that offers GLX and compared with the decoded frame. Each test runs itself again
// under xvfb-run; where the display has no GL it is skipped.
namespace {

constexpr char kChildVariable[] = "LUMEKO_GL_UNDER_XVFB";
constexpr int kScreenWidth = 640, kScreenHeight = 480;

bool UnderXvfb() {
    return std::getenv(kChildVariable) != nullptr;
}

// Runs `test` of this program under a virtual display of 640 × 480; false when it was
// skipped there.
bool RunUnderXvfb(const std::string& test) {
    if (std::system("command -v xvfb-run > /dev/null 2>&1") != 0) return false;
    TempDir dir;
    const std::string log = dir.File("child.log");
    const std::string command = std::string("env -u QT_QPA_PLATFORM ") + kChildVariable +
                                "=1 xvfb-run -a -s '-screen 0 " + std::to_string(kScreenWidth) +
                                "x" + std::to_string(kScreenHeight) +
                                // The time limit inside, so that xvfb-run always ends its server.
                                "x24' timeout 60 '" + GL_VIEW_TESTS +
                                "' --gtest_filter=GlPresentation." + test + " > '" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    const std::string output{std::istreambuf_iterator<char>(in), {}};
    if (output.find("[  SKIPPED ]") != std::string::npos) return false;
    EXPECT_EQ(status, 0) << output;
    return true;
}

QApplication& App() {
    static int argc = 1;
    static char name[] = "gl_view_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

void ProcessEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Draws and measures until the measure is at most `bound`, for up to ten seconds: a
// busy machine's display server may show the picture late. Returns the last measure.
template <typename Draw, typename Measure>
int DrawUntilWithin(int bound, Draw draw, Measure measure) {
    QElapsedTimer timer;
    timer.start();
    int last = 0;
    do {
        draw();
        ProcessEventsFor(100);
        last = measure();
    } while (last > bound && timer.elapsed() < 10000);
    return last;
}

std::string MakeMovie(const TempDir& dir, int width, int height) {
    moviemaker::MovieSpec spec;
    spec.width = width;
    spec.height = height;
    spec.frames = 2;
    spec.sound = moviemaker::SoundKind::kNone;
    const std::string path = dir.File("movie.avi");
    EXPECT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
    return path;
}

QImage GrabScreen(int x, int y, int width, int height) {
    return App().primaryScreen()->grabWindow(0, x, y, width, height).toImage();
}

// The largest difference of a channel between the grabbed rows and the bitmap's rows
// they show: screen row `firstRow` + k shows bitmap row `sourceRow(k)`, bottom-up.
template <typename SourceRow>
int WorstDifference(const QImage& shot, int firstRow, int rows, const uint8_t* bits, int width,
                    SourceRow sourceRow) {
    if (shot.width() <= 0 || shot.height() < firstRow + rows) return 255;
    int worst = 0;
    for (int k = 0; k < rows; ++k) {
        const uint8_t* row =
            bits + static_cast<size_t>(sourceRow(k)) * static_cast<size_t>(width) * 3;
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb pixel = shot.pixel(x, firstRow + k);
            const int source = x * width / shot.width();
            worst = std::max({worst, std::abs(qBlue(pixel) - row[3 * source]),
                              std::abs(qGreen(pixel) - row[3 * source + 1]),
                              std::abs(qRed(pixel) - row[3 * source + 2])});
        }
    }
    return worst;
}

TEST(GlPresentation, ShowsTheDecodedFrameInTheWindow) {
    if (!UnderXvfb()) {
        if (!RunUnderXvfb("ShowsTheDecodedFrameInTheWindow"))
            GTEST_SKIP() << "no virtual display with GL";
        return;
    }
    App();
    TempDir dir;
    const std::string movie = MakeMovie(dir, 320, 224);
    TestDocument test;
    test.settings.WriteProfileInt("Lumeko", "DirectDraw", 1);
    RecordingFrame frame;
    CLumekoView view(test.doc, test.settings);
    GlDirectDrawProvider gl;
    view.SetDirectDrawProvider(&gl);
    test.doc.AttachFrame(&frame);
    test.doc.AttachView(&view);
    // The document closes its movie while the view is still there.
    const std::unique_ptr<CLumekoDoc, void (*)(CLumekoDoc*)> detach(&test.doc, [](CLumekoDoc* doc) {
        doc->CloseMovie();
        doc->AttachView(nullptr);
    });
    view.move(40, 30);
    view.show();
    ProcessEventsFor(300);
    ASSERT_TRUE(test.doc.OpenMovie(movie));
    if (!LumekoViewTestAccess::DirectDrawInUse(view))
        GTEST_SKIP() << "no GL context on this display";
    ASSERT_EQ(view.contentsRect().size(), QSize(320, 224));
    // A 1:1 blit: every pixel as decoded, the bitmap's first row at the bottom.
    const int worst = DrawUntilWithin(
        2, [&] { view.update(); },
        [&] {
            // The client area lies inside the view's sunken edge.
            const QPoint origin = view.mapToGlobal(view.contentsRect().topLeft());
            const QImage shot = GrabScreen(origin.x(), origin.y(), 320, 224);
            return WorstDifference(shot, 0, 224, test.doc.m_pCurrentImage, 320,
                                   [](int k) { return 223 - k; });
        });
    EXPECT_LE(worst, 2);
}

TEST(GlPresentation, FullScreenShowsTheWholeSurfaceWithBlackBands) {
    if (!UnderXvfb()) {
        if (!RunUnderXvfb("FullScreenShowsTheWholeSurfaceWithBlackBands"))
            GTEST_SKIP() << "no virtual display with GL";
        return;
    }
    App();
    // A frameless window over the whole screen, as full screen leaves the view.
    QWidget view(nullptr, Qt::FramelessWindowHint);
    view.setGeometry(0, 0, kScreenWidth, kScreenHeight);
    view.show();
    ProcessEventsFor(300);
    GlDirectDrawProvider gl;
    DirectDrawBackEnd backEnd(&gl);
    BITMAPINFOHEADER header;
    header.biWidth = 320;
    header.biHeight = 224;
    header.biBitCount = 24;
    if (!backEnd.InitDirectDraw(&view, header)) GTEST_SKIP() << "no GL context on this display";
    backEnd.ClearSurface();
    std::vector<uint8_t> picture(320 * 224 * 3);
    // Smooth ramps, so that the filtering's blend of neighbours stays small: blue
    // along the rows, green along the columns.
    for (int y = 0; y < 224; ++y) {
        for (int x = 0; x < 320; ++x) {
            uint8_t* pixel = &picture[(static_cast<size_t>(y) * 320 + static_cast<size_t>(x)) * 3];
            pixel[0] = static_cast<uint8_t>(16 + y);
            pixel[1] = static_cast<uint8_t>(40 + x / 2);
            pixel[2] = 200;
        }
    }
    // The 320 × 240 surface over 640 × 480: the picture 640 × 448 between bands of 16
    // lines (the rows where band and picture blend are left out). Each picture row is
    // shown twice; linear filtering blends neighbours a little.
    QImage shot;
    const int worst = DrawUntilWithin(
        4,
        [&] {
            backEnd.Draw(picture.data(), header, {0, 0, kScreenWidth, kScreenHeight}, true, false);
        },
        [&] {
            shot = GrabScreen(0, 0, kScreenWidth, kScreenHeight);
            return WorstDifference(shot, 18, 444, picture.data(), 320,
                                   [](int k) { return 223 - (k + 2) / 2; });
        });
    EXPECT_LE(worst, 4);
    for (int y : {0, 13, 466, 479}) {
        for (int x : {0, 320, 639}) EXPECT_EQ(shot.pixel(x, y) & 0xFFFFFF, 0u) << x << "," << y;
    }
}

}  // namespace
