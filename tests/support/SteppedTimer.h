#pragma once

#include <cstdint>
#include <functional>

#include "platform/MultimediaTimer.h"

// A timer whose ticks the test runs itself, on the test's thread.
class SteppedTimer final : public platform::IMultimediaTimer {
public:
    uint32_t timeSetEvent(uint32_t periodMs, uint32_t, std::function<void()> tick) override {
        period = periodMs;
        m_tick = std::move(tick);
        running = true;
        return ++m_lastId;
    }
    void timeKillEvent(uint32_t id) override {
        if (id == m_lastId) running = false;
    }
    // Runs one tick if the timer is running.
    bool Tick() {
        if (running) m_tick();
        return running;
    }

    uint32_t period = 0;
    bool running = false;

private:
    std::function<void()> m_tick;
    uint32_t m_lastId = 0;
};
