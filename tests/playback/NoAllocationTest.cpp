#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "moviemaker/MovieMaker.h"
#include "platform/MemorySettings.h"
#include "playback/LumekoDoc.h"
#include "support/CountedAllocations.h"
#include "support/RecordingFrame.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingWaveOut.h"
#include "support/SteppedTimer.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"

namespace {

// Playing allocates nothing: every buffer is made when the movie opens.
TEST(Playback, TicksAndIdlePassesAllocateNothing) {
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 32;
    spec.height = 16;
    spec.frames = 60;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("movie.avi")).Ok());

    TestDocument services;
    auto& [settings, clock, timer, wave, messages, doc] = services;
    // The frame's pane texts are the UI's business; this test counts the engine's own.
    doc.m_pendingFiles.push_back(dir.File("movie.avi"));
    doc.IdleProcess(0);
    ASSERT_TRUE(doc.m_bOpen);
    doc.OnPlay();
    wave.played_bytes.reserve(1 << 22);

    const long before = g_allocations.load();
    for (int ms = 0; ms < 3500; ++ms) {
        clock.Advance(1);
        if (timer.running && ms % static_cast<int>(timer.period) == 0) timer.Tick();
        wave.Consume(88);
        doc.IdleProcess(0);
        if (!doc.m_bPlaying) break;
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
}

// Seeking, back and forth, playing and paused, allocates nothing either.
TEST(Playback, SeeksAllocateNothing) {
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 32;
    spec.height = 16;
    spec.frames = 90;
    spec.keyEvery = 30;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("movie.avi")).Ok());

    TestDocument services;
    auto& [settings, clock, timer, wave, messages, doc] = services;
    doc.m_pendingFiles.push_back(dir.File("movie.avi"));
    doc.IdleProcess(0);
    ASSERT_TRUE(doc.m_bOpen);
    doc.OnPlay();
    wave.played_bytes.reserve(1 << 22);

    const long before = g_allocations.load();
    for (const uint32_t frame : {70u, 3u, 89u, 45u, 44u, 1000u, 0u}) {
        doc.Seek(frame);
        timer.Tick();
        wave.Consume(2000);
        doc.IdleProcess(0);
        doc.OnPause();
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
}

}  // namespace
