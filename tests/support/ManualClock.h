#pragma once

#include <atomic>
#include <cstdint>

#include "platform/MillisecondClock.h"

// A clock that moves only when the test says so.
class ManualClock final : public platform::IMillisecondClock {
public:
    explicit ManualClock(uint32_t start = 0) : m_now(start) {}
    // Each reading moves the clock on by `costPerRead`, standing for work between two
    // readings (0: the clock stands still).
    uint32_t timeGetTime() override { return m_now.fetch_add(costPerRead.load()); }
    void Advance(uint32_t ms) { m_now += ms; }
    void Set(uint32_t ms) { m_now = ms; }

    std::atomic<uint32_t> costPerRead{0};

private:
    std::atomic<uint32_t> m_now;
};
