#include <gtest/gtest.h>

#include <vector>

#include "support/ManualClock.h"
#include "support/PcmFormat.h"
#include "support/RecordingWaveOut.h"

namespace {

// The stand-in that the document's tests measure sound with must play at the format's
// rate exactly, in whole frames, and not bank the time a dry queue leaves unused.
TEST(RecordingWaveOut, PlaysAtTheFormatsRate) {
    const WAVEFORMATEX format = PcmFormat(2, 22050, 16);

    ManualClock clock(500);
    RecordingWaveOut wave(&clock);
    ASSERT_TRUE(wave.waveOutOpen(format));
    std::vector<uint8_t> bytes(200000, 1);
    platform::WAVEHDR header;
    header.lpData = bytes.data();
    header.dwBufferLength = static_cast<uint32_t>(bytes.size());
    header.dwUser = 7;
    wave.waveOutPrepareHeader(header);
    wave.waveOutWrite(header);

    size_t played = 0;
    for (int ms = 0; ms < 1000; ++ms) {
        clock.Advance(1);
        const size_t now = wave.PlayFor(1);
        EXPECT_EQ(now % 4, 0u);
        played += now;
    }
    EXPECT_EQ(played, 88200u);
    EXPECT_EQ(wave.played.front().time, 501u);
    EXPECT_EQ(wave.played.back().time, 1500u);
    EXPECT_EQ(wave.played.back().user, 7u);

    wave.waveOutPause();
    EXPECT_EQ(wave.PlayFor(100), 0u);
    wave.waveOutRestart();
    EXPECT_EQ(wave.PlayFor(2000), 200000u - 88200u) << "the queue runs dry";
    EXPECT_TRUE(header.dwFlags & platform::WHDR_DONE);
    wave.waveOutWrite(header);
    EXPECT_EQ(wave.PlayFor(1), 88u) << "nothing banked from the dry spell";
    EXPECT_EQ(wave.misuses, 0);
}

}  // namespace
