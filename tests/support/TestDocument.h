#pragma once

#include "platform/MemorySettings.h"
#include "playback/LumekoDoc.h"
#include "support/ManualClock.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingWaveOut.h"
#include "support/SteppedTimer.h"

// A document on test services: a clock and a timer the test moves, a device that plays
// when the test says so, settings in memory, messages kept.
struct TestDocument {
    explicit TestDocument(uint32_t clockStart = 0) : clock(clockStart) {}

    platform::MemorySettings settings;
    ManualClock clock;
    SteppedTimer timer;
    RecordingWaveOut wave;
    RecordingMessageBox messages;
    CLumekoDoc doc{{settings, clock, timer, wave, messages}};

    // One millisecond of playback without the idle pass: the clock moves on, the timer
    // ticks when its period comes round on the clock, and the device plays a
    // millisecond of sound at the format's rate (a dry queue does not save it up).
    void Step() {
        clock.Advance(1);
        if (timer.running && timer.period && clock.timeGetTime() % timer.period == 0) timer.Tick();
        wave.PlayFor(1);
    }

    // Runs `ms` milliseconds of playback, an idle pass after every `idleEveryMs`; after
    // each pass `done()` may end the run early. Returns the milliseconds run. Allocates
    // nothing of its own (tests count the player's allocations).
    template <typename Done>
    uint32_t RunFor(uint32_t ms, Done done, uint32_t idleEveryMs = 1) {
        for (uint32_t i = 0; i < ms; ++i) {
            Step();
            if (i % idleEveryMs != idleEveryMs - 1) continue;
            doc.IdleProcess(0);
            if (done()) return i + 1;
        }
        return ms;
    }
    uint32_t RunFor(uint32_t ms, uint32_t idleEveryMs = 1) {
        return RunFor(
            ms, [] { return false; }, idleEveryMs);
    }
};
