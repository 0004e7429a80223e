#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/MillisecondClock.h"
#include "platform/WaveOut.h"

// A wave device that plays only when the test consumes sound, and keeps every byte it
// played with the clock's time. It keeps the rules of the real device (headers must be
// prepared, a queued header cannot be written again) and counts every breach in
// `misuses`. Playing allocates nothing until the log of stretches holds 65536 (tests
// count the player's allocations). One thread: the test's.
class RecordingWaveOut final : public platform::IWaveOut {
public:
    explicit RecordingWaveOut(platform::IMillisecondClock* clock = nullptr) : m_clock(clock) {
        played.reserve(1 << 16);
    }

    bool waveOutOpen(const WAVEFORMATEX& f) override;
    void waveOutPrepareHeader(platform::WAVEHDR& h) override;
    void waveOutUnprepareHeader(platform::WAVEHDR& h) override;
    void waveOutWrite(platform::WAVEHDR& h) override;
    void waveOutPause() override { paused = true; }
    void waveOutRestart() override { paused = false; }
    void waveOutReset() override;
    void waveOutClose() override;
    // The bytes played since the open or the last reset, as the device's clock; false
    // when `noPosition` (a device that keeps no clock).
    bool waveOutGetPosition(uint64_t& bytes) override {
        bytes = m_heard;
        return open && !noPosition;
    }

    // Plays up to `bytes` bytes (nothing while paused or closed); returns what was played.
    size_t Consume(size_t bytes);
    // Plays `ms` milliseconds of sound at the format's rate, in whole sample frames; the
    // time a dry queue leaves unused is not made up later.
    size_t PlayFor(uint32_t ms);

    // One stretch of played bytes.
    struct Played {
        uint32_t time;   // the clock's, 0 without a clock
        uintptr_t user;  // the header's dwUser
        size_t bytes;
    };

    WAVEFORMATEX format;
    bool open = false;
    bool paused = false;
    bool refuseOpen = false;
    bool noPosition = false;
    int opens = 0, writes = 0, resets = 0, misuses = 0;
    std::deque<platform::WAVEHDR*> queue;
    std::vector<uint8_t> playedBytes;
    std::vector<Played> played;

private:
    void Done(platform::WAVEHDR& h);

    platform::IMillisecondClock* m_clock;
    size_t m_position = 0;  // into the queue's first header
    uint64_t m_heard = 0;
    uint64_t m_carry = 0;  // bytes × 1000 that PlayFor owes
};
