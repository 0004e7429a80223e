#pragma once

#include <cstdint>
#include <functional>

// The system's periodic multimedia timer: a procedure called on a thread of its own
// every period until the timer is killed.

namespace platform {

class IMultimediaTimer {
public:
    virtual ~IMultimediaTimer() = default;
    // Starts a periodic timer that calls `tick` every `periodMs` milliseconds, the first
    // time one period from now. `resolutionMs` is the lateness the caller accepts. The
    // procedure is kept for the timer's life and called as it is, so a tick allocates
    // nothing. Returns the timer's identifier, 0 when it cannot start.
    virtual uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs,
                                  std::function<void()> tick) = 0;
    // Stops the timer. On return no tick of it runs or will run. A tick may kill its
    // own timer: the call then returns at once and that tick is the last. Unknown or
    // already killed identifiers are ignored.
    virtual void timeKillEvent(uint32_t id) = 0;
};

}  // namespace platform
