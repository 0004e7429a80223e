#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/MultimediaTimer.h"

namespace platform {

// The multimedia timer on standard threads: one thread per running timer, sleeping to
// absolute deadlines one period apart, so the ticks do not drift however long each
// tick takes. A tick that comes late (the tick before it overran, or the machine was
// busy) runs at once, and the deadlines start again one period after it: the ticks
// missed meanwhile are dropped, not run in a burst. The resolution is not used; the
// ticks are as punctual as the system's sleeping.
class ThreadTimer final : public IMultimediaTimer {
public:
    ThreadTimer() = default;
    ~ThreadTimer() override;
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;

    uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs,
                          std::function<void()> tick) override;
    void timeKillEvent(uint32_t id) override;

private:
    struct Event {
        std::function<void()> tick;
        std::chrono::milliseconds period;
        std::chrono::steady_clock::time_point firstDeadline;
        std::condition_variable wake;
        std::thread thread;
        bool stop = false;
    };

    void Run(Event& event);
    // Joins the threads of timers that killed themselves; the caller holds no lock.
    void JoinStopped();

    std::mutex m_mutex;
    std::map<uint32_t, std::shared_ptr<Event>> m_events;
    uint32_t m_lastId = 0;
};

}  // namespace platform
