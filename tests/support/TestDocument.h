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
};
