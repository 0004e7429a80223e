#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "moviemaker/MovieMaker.h"
#include "platform/MemorySettings.h"
#include "platform/ThreadTimer.h"
#include "platform/sdl/SdlWaveOut.h"
#include "playback/LumekoDoc.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"

// The document on its real threads: the timer's, SDL's (dummy driver) and this one as
// the user-interface thread, so the thread sanitizer sees the hand-over of pictures and
// sound as it happens. The picture follows the sound, never shows a frame that is not
// due, and the movie ends on time.
namespace {

using Clock = std::chrono::steady_clock;

TEST(RealTimePlayback, PlaysOnItsThreadsWithThePictureOnTheSound) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.rate = 30;
    spec.frames = 60;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("movie.avi")).Ok());

    platform::MemorySettings settings;
    platform::SteadyMillisecondClock clock;
    platform::ThreadTimer timer;
    platform::SdlWaveOut wave;
    RecordingMessageBox messages;
    CLumekoDoc doc({settings, clock, timer, wave, messages});
    ASSERT_TRUE(doc.OpenMovie(dir.File("movie.avi")));
    doc.OnPlay();
    ASSERT_TRUE(doc.FollowsSound()) << wave.OpenError();
    const auto start = Clock::now();
    uint32_t lastShown = CLumekoDoc::kNoFrame;
    int wrong = 0;
    bool paused = false;
    while (doc.m_bPlaying && Clock::now() - start < std::chrono::seconds(10)) {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!paused && ms > 700) {
            doc.OnPause();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            doc.OnPause();
            paused = true;
        }
        doc.IdleProcess(0);
        const uint32_t shown = doc.ShownFrame();
        if (shown != lastShown && doc.m_bPlaying && shown != doc.DueFrame(doc.Elapsed()) &&
            shown + 1 != doc.DueFrame(doc.Elapsed()))
            ++wrong;
        lastShown = shown;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_FALSE(doc.m_bPlaying);
    EXPECT_EQ(wrong, 0);
    // Two seconds of movie and the pause; the sound's device may start a little late.
    EXPECT_GT(took, 2.2);
    EXPECT_LT(took, 4.0);
}

}  // namespace
