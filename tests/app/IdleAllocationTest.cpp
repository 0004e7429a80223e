#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/LumekoApp.h"
#include "moviemaker/MovieMaker.h"
#include "support/CountedAllocations.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;

void RunFor(double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The whole window playing a movie with its sound on Qt's offscreen platform: the idle
// pass runs about a thousand times a second, and one that changes nothing on screen
// allocates nothing. In a movie of one frame a second, the picture and the elapsed
// time change together on the second; in between nothing on screen changes.
TEST(WindowIdle, PlayingAllocatesOnlyForWhatChangesOnScreen) {
    TempDir dir;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.File("config")));
    moviemaker::MovieSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.rate = 1;
    spec.frames = 20;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("slow.avi")).Ok());

    std::vector<std::string> arguments = {"idle_allocation_tests", dir.File("slow.avi"), "/play"};
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());
    auto app = std::make_unique<CLumekoApp>(argc, argv.data());
    ASSERT_TRUE(app->InitInstance());
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (!app->GetDocument().m_bPlaying && Clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(app->GetDocument().m_bPlaying);
    RunFor(1.0);

    // 600 ms from a fifth into a second of the movie to its fourth fifth, five times; the
    // quietest counts, as a loaded machine may paint a picture late, into the window.
    long quietest = LONG_MAX;
    for (int second = 0; second < 5; ++second) {
        const CLumekoDoc& doc = app->GetDocument();
        while (doc.m_bPlaying && (doc.Elapsed() % 1000 < 200 || doc.Elapsed() % 1000 > 250))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        ASSERT_TRUE(doc.m_bPlaying);
        const long before = g_allocations.load();
        while (doc.m_bPlaying && doc.Elapsed() % 1000 < 850)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        quietest = std::min(quietest, g_allocations.load() - before);
    }
    // Was some 2,000: three or so for each pass. A few stray ones are the event loop's own.
    EXPECT_LE(quietest, 10);
    app.reset();
}

}  // namespace
