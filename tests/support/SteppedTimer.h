#pragma once

#include <cstdint>
#include <functional>

#include "platform/MultimediaTimer.h"

// A timer whose ticks the test runs itself, on the test's thread. One timer at a time.
class SteppedTimer final : public platform::IMultimediaTimer {
public:
    uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs,
                          std::function<void()> tick) override {
        if (periodMs == 0 || !tick) return 0;
        period = periodMs;
        resolution = resolutionMs;
        m_tick = std::move(tick);
        running = true;
        ++starts;
        return ++m_lastId;
    }
    void timeKillEvent(uint32_t id) override {
        if (id != 0 && id == m_lastId && running) {
            running = false;
            ++kills;
        }
    }
    // Runs one tick if the timer is running (the tick may kill it); returns whether it
    // still runs.
    bool Tick() {
        if (running) m_tick();
        return running;
    }

    uint32_t period = 0;
    uint32_t resolution = 0;
    bool running = false;
    int starts = 0, kills = 0;

private:
    std::function<void()> m_tick;
    uint32_t m_lastId = 0;
};
