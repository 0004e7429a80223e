#pragma once

#include <cstdint>
#include <functional>

// The system's periodic multimedia timer: a procedure called on a thread of its own
// every period until the timer is killed.

namespace platform {

class IMultimediaTimer {
public:
    virtual ~IMultimediaTimer() = default;
    // Starts a periodic timer; returns its identifier, 0 when it cannot start.
    virtual uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs, std::function<void()> tick) = 0;
    // Stops it. On return no tick runs or will run, except that a tick may kill its own
    // timer, which then stops after that tick.
    virtual void timeKillEvent(uint32_t id) = 0;
};

}  // namespace platform
