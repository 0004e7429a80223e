#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/sdl/SdlWaveOut.h"
#include "support/PcmFormat.h"

// The play position of the SDL device on its dummy driver, which takes its buffers in
// real time: it waits for the first write, runs with the device, holds while paused and
// when the queue runs dry, never goes back, and a reset starts it again from 0.
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(SdlWaveOutClock, ThePositionRunsWithTheDeviceAndHoldsWhenItDoes) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    const WAVEFORMATEX format = PcmFormat(2, 22050, 16);
    platform::SdlWaveOut wave;
    ASSERT_TRUE(wave.waveOutOpen(format)) << wave.OpenError();
    uint64_t position = 1;
    ASSERT_TRUE(wave.waveOutGetPosition(position));
    std::this_thread::sleep_for(milliseconds(100));
    ASSERT_TRUE(wave.waveOutGetPosition(position));
    EXPECT_EQ(position, 0u) << "nothing is played before the first write";

    std::vector<uint8_t> second(88200, 7);
    platform::WAVEHDR header;
    header.lpData = second.data();
    header.dwBufferLength = static_cast<uint32_t>(second.size());
    wave.waveOutPrepareHeader(header);
    const auto written = Clock::now();
    wave.waveOutWrite(header);
    uint64_t last = 0;
    const auto sample = [&] {
        wave.waveOutGetPosition(position);
        EXPECT_GE(position, last) << "the position never goes back";
        last = position;
        return position;
    };
    while (Clock::now() - written < milliseconds(400)) {
        sample();
        std::this_thread::sleep_for(milliseconds(1));
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - written).count();
    EXPECT_NEAR(sample() / 88.2, ms, 150) << "runs at the device's rate";

    wave.waveOutPause();
    const uint64_t atPause = sample();
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(sample(), atPause);
    wave.waveOutRestart();
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_GT(sample(), atPause);

    // The queue runs dry: the position stops at what was written.
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (!(header.dwFlags.load() & platform::WHDR_DONE) && Clock::now() < end) {
        sample();
        std::this_thread::sleep_for(milliseconds(1));
    }
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(sample(), second.size());
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(sample(), second.size());

    wave.waveOutReset();
    wave.waveOutGetPosition(position);
    EXPECT_EQ(position, 0u);
    wave.waveOutClose();
    EXPECT_FALSE(wave.waveOutGetPosition(position));
}

}  // namespace
