#pragma once

#include <chrono>
#include <cstdint>

// The system's millisecond clock: 32 bits that wrap about every 49.7 days, so callers
// take differences in unsigned arithmetic.

namespace platform {

class IMillisecondClock {
public:
    virtual ~IMillisecondClock() = default;
    virtual uint32_t timeGetTime() = 0;
};

// Milliseconds of the monotonic clock, from an origin that tests may place near the wrap.
class SteadyMillisecondClock final : public IMillisecondClock {
public:
    explicit SteadyMillisecondClock(uint32_t start = 0)
        : m_origin(std::chrono::steady_clock::now()), m_start(start) {}
    uint32_t timeGetTime() override {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - m_origin);
        return m_start + static_cast<uint32_t>(elapsed.count());
    }

private:
    std::chrono::steady_clock::time_point m_origin;
    uint32_t m_start;
};

}  // namespace platform
