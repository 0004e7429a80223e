#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/sdl/SdlWaveOut.h"
#include "support/FileBytes.h"
#include "support/PcmFormat.h"
#include "support/TempDir.h"

namespace {

using platform::WAVEHDR;
using std::chrono::milliseconds;

// A header over bytes of its own that never equal the device's silence.
struct Buffer {
    Buffer(size_t size, uint8_t seed) : bytes(size) {
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(1 + (seed + i * 7) % 120);
        header.lpData = bytes.data();
        header.dwBufferLength = static_cast<uint32_t>(size);
    }
    bool Done() const {
        return header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_DONE;
    }
    bool Queued() const {
        return header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_INQUEUE;
    }

    std::vector<uint8_t> bytes;
    WAVEHDR header;
};

template <typename Condition>
bool WaitFor(Condition condition, milliseconds limit = milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

class SdlWaveOutTest : public ::testing::Test {
protected:
    void UseDriver(const char* driver) { ::setenv("SDL_AUDIODRIVER", driver, 1); }
    void SetUp() override { UseDriver("dummy"); }
    void TearDown() override {
        ::unsetenv("SDL_AUDIODRIVER");
        ::unsetenv("SDL_DISKAUDIOFILE");
    }
};

// The disk driver writes what the device plays to a file: the headers' bytes must be
// there in the order written, unconverted, between the silence before and after.
TEST_F(SdlWaveOutTest, PlaysTheHeadersInOrderAsTheyAre) {
    const struct {
        const char* name;
        WAVEFORMATEX format;
        uint8_t silence;
    } cases[] = {
        {"8-bit mono", PcmFormat(1, 11025, 8), 0x80},
        {"16-bit stereo", PcmFormat(2, 22050, 16), 0x00},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string file = dir.File("sound.raw");
        UseDriver("disk");
        ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
        std::array<Buffer, 3> buffers{Buffer(1000, 1), Buffer(333, 50), Buffer(2500, 99)};
        std::vector<uint8_t> expected;
        {
            platform::SdlWaveOut wave;
            ASSERT_TRUE(wave.waveOutOpen(c.format)) << c.name << ": " << wave.OpenError();
            // Queued while paused, so no silence falls between the headers.
            wave.waveOutPause();
            for (auto& buffer : buffers) {
                wave.waveOutPrepareHeader(buffer.header);
                wave.waveOutWrite(buffer.header);
                EXPECT_TRUE(buffer.Queued());
                expected.insert(expected.end(), buffer.bytes.begin(), buffer.bytes.end());
            }
            wave.waveOutRestart();
            ASSERT_TRUE(WaitFor([&] { return buffers[2].Done(); })) << c.name;
            for (const auto& buffer : buffers) {
                EXPECT_TRUE(buffer.Done()) << c.name << ": done in the order written";
                EXPECT_FALSE(buffer.Queued());
            }
            EXPECT_EQ(wave.PlayedBytes(), expected.size());
        }
        std::vector<uint8_t> played = ReadFileBytes(file);
        const auto first =
            std::find_if(played.begin(), played.end(), [&](uint8_t b) { return b != c.silence; });
        const auto last = std::find_if(played.rbegin(), played.rend(), [&](uint8_t b) {
                              return b != c.silence;
                          }).base();
        ASSERT_LT(first, last) << c.name;
        EXPECT_EQ(std::vector<uint8_t>(first, last), expected) << c.name;
    }
}

TEST_F(SdlWaveOutTest, PauseStopsConsumingAndRestartGoesOn) {
    platform::SdlWaveOut wave;
    ASSERT_TRUE(wave.waveOutOpen(PcmFormat(1, 8000, 8))) << wave.OpenError();
    Buffer second(16000, 3);  // two seconds
    wave.waveOutPrepareHeader(second.header);
    wave.waveOutWrite(second.header);
    ASSERT_TRUE(WaitFor([&] { return wave.PlayedBytes() > 0; }));
    wave.waveOutPause();
    const uint64_t atPause = wave.PlayedBytes();
    std::this_thread::sleep_for(milliseconds(150));
    EXPECT_EQ(wave.PlayedBytes(), atPause);
    EXPECT_FALSE(second.Done());
    wave.waveOutRestart();
    EXPECT_TRUE(WaitFor([&] { return wave.PlayedBytes() > atPause; }));
}

TEST_F(SdlWaveOutTest, ResetMarksEveryQueuedHeaderDoneAtOnce) {
    platform::SdlWaveOut wave;
    ASSERT_TRUE(wave.waveOutOpen(PcmFormat(2, 44100, 16))) << wave.OpenError();
    wave.waveOutPause();
    std::array<Buffer, 4> buffers{Buffer(4000, 1), Buffer(4000, 2), Buffer(4000, 3),
                                  Buffer(4000, 4)};
    for (auto& buffer : buffers) {
        wave.waveOutPrepareHeader(buffer.header);
        wave.waveOutWrite(buffer.header);
    }
    wave.waveOutReset();
    for (const auto& buffer : buffers) {
        EXPECT_TRUE(buffer.Done());
        EXPECT_FALSE(buffer.Queued());
    }
    EXPECT_EQ(wave.PlayedBytes(), 0u);
    // The pause holds through the reset; the device takes new writes afterwards.
    wave.waveOutWrite(buffers[0].header);
    EXPECT_TRUE(buffers[0].Queued());
    EXPECT_FALSE(buffers[0].Done());
    wave.waveOutRestart();
    EXPECT_TRUE(WaitFor([&] { return buffers[0].Done(); }));
    EXPECT_EQ(wave.PlayedBytes(), 4000u);
}

TEST_F(SdlWaveOutTest, IgnoresWritesThatBreakTheRules) {
    platform::SdlWaveOut wave;
    Buffer buffer(800, 1);
    wave.waveOutPrepareHeader(buffer.header);
    wave.waveOutWrite(buffer.header);
    EXPECT_FALSE(buffer.Queued()) << "the device is not open";

    ASSERT_TRUE(wave.waveOutOpen(PcmFormat(1, 8000, 8))) << wave.OpenError();
    wave.waveOutPause();
    Buffer unprepared(800, 2);
    wave.waveOutWrite(unprepared.header);
    EXPECT_FALSE(unprepared.Queued());
    wave.waveOutWrite(buffer.header);
    wave.waveOutWrite(buffer.header);  // already queued: not played twice
    wave.waveOutUnprepareHeader(buffer.header);
    EXPECT_TRUE(buffer.header.dwFlags & platform::WHDR_PREPARED)
        << "a queued header stays prepared";
    wave.waveOutRestart();
    ASSERT_TRUE(WaitFor([&] { return buffer.Done(); }));
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(wave.PlayedBytes(), 800u);
}

TEST_F(SdlWaveOutTest, CloseReturnsTheQueuedHeaders) {
    Buffer buffer(80000, 1);
    {
        platform::SdlWaveOut wave;
        ASSERT_TRUE(wave.waveOutOpen(PcmFormat(1, 8000, 8))) << wave.OpenError();
        wave.waveOutPrepareHeader(buffer.header);
        wave.waveOutWrite(buffer.header);
        wave.waveOutClose();
        EXPECT_TRUE(buffer.Done());
        EXPECT_FALSE(buffer.Queued());
        // Open again and leave it to the destructor, still playing.
        ASSERT_TRUE(wave.waveOutOpen(PcmFormat(1, 8000, 8))) << wave.OpenError();
        wave.waveOutWrite(buffer.header);
    }
    EXPECT_TRUE(buffer.Done());
}

TEST_F(SdlWaveOutTest, RefusesWhatItCannotPlay) {
    auto adpcm = PcmFormat(2, 22050, 4);
    adpcm.wFormatTag = 0x61;
    auto misaligned = PcmFormat(2, 22050, 16);
    misaligned.nBlockAlign = 2;
    const struct {
        const char* name;
        WAVEFORMATEX format;
    } cases[] = {
        {"not PCM", adpcm},
        {"12 bits", PcmFormat(1, 22050, 12)},
        {"24 bits", PcmFormat(1, 22050, 24)},
        {"no channels", PcmFormat(0, 22050, 16)},
        {"nine channels", PcmFormat(9, 22050, 16)},
        {"no rate", PcmFormat(1, 0, 16)},
        {"absurd rate", PcmFormat(1, 4000000000u, 16)},
        {"block alignment that is not one frame", misaligned},
    };
    platform::SdlWaveOut wave;
    for (const auto& c : cases) {
        EXPECT_FALSE(wave.waveOutOpen(c.format)) << c.name;
        EXPECT_FALSE(wave.OpenError().empty()) << c.name;
    }
    Buffer buffer(100, 1);
    wave.waveOutPrepareHeader(buffer.header);
    wave.waveOutWrite(buffer.header);
    EXPECT_FALSE(buffer.Queued());
    wave.waveOutPause();
    wave.waveOutRestart();
    wave.waveOutReset();
    wave.waveOutClose();
}

TEST_F(SdlWaveOutTest, OpenFailsWithoutASoundDevice) {
    UseDriver("no-such-driver");
    platform::SdlWaveOut wave;
    EXPECT_FALSE(wave.waveOutOpen(PcmFormat(2, 22050, 16)));
    EXPECT_FALSE(wave.OpenError().empty());
    // The driver comes back once it is there.
    UseDriver("dummy");
    EXPECT_TRUE(wave.waveOutOpen(PcmFormat(2, 22050, 16))) << wave.OpenError();
}

// As the document uses it: a tick thread polls the done flags and writes the buffers
// again, while the user-interface thread pauses and restarts.
TEST_F(SdlWaveOutTest, FeedsFromAnotherThreadWhilePausing) {
    platform::SdlWaveOut wave;
    ASSERT_TRUE(wave.waveOutOpen(PcmFormat(2, 44100, 16))) << wave.OpenError();
    std::array<Buffer, 4> buffers{Buffer(1764, 1), Buffer(1764, 2), Buffer(1764, 3),
                                  Buffer(1764, 4)};
    for (auto& buffer : buffers) {
        wave.waveOutPrepareHeader(buffer.header);
        wave.waveOutWrite(buffer.header);
    }
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> written{buffers.size() * 1764};
    std::thread tick([&] {
        while (!stop) {
            for (auto& buffer : buffers) {
                if (!buffer.Done()) continue;
                buffer.bytes[0] ^= 1;  // the bytes are the owner's again once done
                wave.waveOutWrite(buffer.header);
                written += 1764;
                break;
            }
            std::this_thread::sleep_for(milliseconds(2));
        }
    });
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(milliseconds(40));
        wave.waveOutPause();
        std::this_thread::sleep_for(milliseconds(10));
        wave.waveOutRestart();
    }
    stop = true;
    tick.join();
    EXPECT_GT(wave.PlayedBytes(), 0u);
    EXPECT_LE(wave.PlayedBytes(), written.load());
    wave.waveOutReset();
    for (const auto& buffer : buffers) EXPECT_TRUE(buffer.Done());
    wave.waveOutClose();
}

}  // namespace
