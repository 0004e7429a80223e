#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "moviemaker/MovieMaker.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"
#include "platform/qtgl/GlDirectDraw.h"
#include "view/LumekoView.h"

// The GL path really puts the decoded picture on the screen: a movie opened in a view
// with the "DirectDraw" setting on, under a virtual display that offers GLX, grabbed
// from the screen and compared with the frame the document decoded. The test runs
// itself again under xvfb-run; where the display has no GL it is skipped.
namespace {

constexpr char kChildVariable[] = "LUMEKO_GL_UNDER_XVFB";

void ProcessEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void ShowsTheDecodedFrame() {
    static int argc = 1;
    static char name[] = "gl_view_tests";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 320;
    spec.height = 224;
    spec.frames = 2;
    spec.sound = moviemaker::SoundKind::kNone;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("movie.avi")).ok());

    TestDocument test;
    test.settings.WriteProfileInt("Lumeko", "DirectDraw", 1);
    RecordingFrame frame;
    CLumekoView view(test.doc, test.settings);
    CGlDirectDrawProvider gl;
    view.SetDirectDrawProvider(&gl);
    test.doc.AttachFrame(&frame);
    test.doc.AttachView(&view);
    // The document closes its movie after the view is gone.
    const std::unique_ptr<CLumekoDoc, void (*)(CLumekoDoc*)> detach(&test.doc, [](CLumekoDoc* doc) {
        doc->CloseMovie();
        doc->AttachView(nullptr);
    });
    view.move(40, 30);
    view.show();
    ProcessEventsFor(300);
    ASSERT_TRUE(test.doc.OpenMovie(dir.File("movie.avi")));
    if (!view.DirectDrawInUse()) GTEST_SKIP() << "no GL context on this display";
    ASSERT_EQ(view.contentsRect().size(), QSize(320, 224));
    view.update();
    ProcessEventsFor(500);

    // The client area lies inside the view's sunken edge.
    const QPoint origin = view.mapToGlobal(view.contentsRect().topLeft());
    const QImage shot = view.screen()->grabWindow(0, origin.x(), origin.y(), 320, 224).toImage();
    ASSERT_EQ(shot.size(), QSize(320, 224));
    const uint8_t* bits = test.doc.m_pCurrentImage;
    int worst = 0;
    for (int y = 0; y < 224; ++y) {
        // The bitmap's first row is the picture's bottom.
        const uint8_t* row = bits + static_cast<size_t>(223 - y) * 320 * 3;
        for (int x = 0; x < 320; ++x) {
            const QRgb pixel = shot.pixel(x, y);
            worst = std::max({worst, std::abs(qBlue(pixel) - row[3 * x]), std::abs(qGreen(pixel) - row[3 * x + 1]),
                              std::abs(qRed(pixel) - row[3 * x + 2])});
        }
    }
    EXPECT_LE(worst, 2) << "the screen differs from the decoded frame";
}

TEST(GlPresentation, ShowsTheDecodedFrameOnTheScreen) {
    if (std::getenv(kChildVariable)) {
        ShowsTheDecodedFrame();
        return;
    }
    if (std::system("command -v xvfb-run > /dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
    TempDir dir;
    const std::string log = dir.File("child.log");
    const std::string command = std::string("env -u QT_QPA_PLATFORM ") + kChildVariable +
                                "=1 timeout 60 xvfb-run -a -s '-screen 0 800x600x24' '" + GL_VIEW_TESTS +
                                "' --gtest_filter=GlPresentation.* > '" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    const std::string output{std::istreambuf_iterator<char>(in), {}};
    if (output.find("[  SKIPPED ]") != std::string::npos) GTEST_SKIP() << "no GL context under the virtual display";
    EXPECT_EQ(status, 0) << output;
}

}  // namespace
