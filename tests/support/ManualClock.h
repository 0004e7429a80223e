#pragma once

#include <atomic>
#include <cstdint>

#include "platform/MillisecondClock.h"

// A clock that moves only when the test says so.
class ManualClock final : public platform::IMillisecondClock {
public:
    explicit ManualClock(uint32_t start = 0) : m_now(start) {}
    uint32_t timeGetTime() override { return m_now.load(); }
    void Advance(uint32_t ms) { m_now += ms; }
    void Set(uint32_t ms) { m_now = ms; }

private:
    std::atomic<uint32_t> m_now;
};
