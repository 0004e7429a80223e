#include <gtest/gtest.h>

#include "moviemaker/MovieMaker.h"
#include "playback/LumekoDoc.h"
#include "support/CountedAllocations.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"

namespace {

// A 32×16 movie opened and playing on test services, its played sound kept in room
// reserved beforehand; what the test does next is counted.
class Playback : public ::testing::Test {
protected:
    void Play(int frames, int keyEvery) {
        moviemaker::MovieSpec spec;
        spec.width = 32;
        spec.height = 16;
        spec.frames = frames;
        spec.keyEvery = keyEvery;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("movie.avi")).Ok());
        // The frame's pane texts are the UI's business; the tests count the engine's own.
        doc.m_pendingFiles.push_back(dir.File("movie.avi"));
        doc.IdleProcess(0);
        ASSERT_TRUE(doc.m_bOpen);
        doc.OnPlay();
        services.wave.playedBytes.reserve(1 << 22);
    }

    TempDir dir;
    TestDocument services;
    CLumekoDoc& doc = services.doc;
};

// Playing allocates nothing: every buffer is made when the movie opens.
TEST_F(Playback, TicksAndIdlePassesAllocateNothing) {
    ASSERT_NO_FATAL_FAILURE(Play(60, 15));
    const long before = g_allocations.load();
    services.RunFor(3500, [this] { return !doc.m_bPlaying; });
    EXPECT_EQ(g_allocations.load() - before, 0);
}

// Seeking, back and forth, playing and paused, allocates nothing either.
TEST_F(Playback, SeeksAllocateNothing) {
    ASSERT_NO_FATAL_FAILURE(Play(90, 30));
    const long before = g_allocations.load();
    for (const uint32_t frame : {70u, 3u, 89u, 45u, 44u, 1000u, 0u}) {
        doc.Seek(frame);
        services.timer.Tick();
        services.wave.Consume(2000);
        doc.IdleProcess(0);
        doc.OnPause();
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
}

}  // namespace
