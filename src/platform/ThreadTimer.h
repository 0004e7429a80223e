#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/MultimediaTimer.h"

namespace platform {

// One timer thread per running timer, sleeping to absolute deadlines so that ticks do
// not drift. A tick that comes late does not make up the ticks it missed.
class ThreadTimer final : public IMultimediaTimer {
public:
    ~ThreadTimer() override;
    uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs, std::function<void()> tick) override;
    void timeKillEvent(uint32_t id) override;

private:
    void Run(uint32_t periodMs);
    void Stop(bool join);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    std::function<void()> m_tick;
    uint32_t m_id = 0;
    uint32_t m_lastId = 0;
    bool m_stop = false;
};

}  // namespace platform
