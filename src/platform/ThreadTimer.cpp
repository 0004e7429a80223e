#include "platform/ThreadTimer.h"

#include <chrono>

namespace platform {

ThreadTimer::~ThreadTimer() { Stop(true); }

uint32_t ThreadTimer::timeSetEvent(uint32_t periodMs, uint32_t /*resolutionMs*/, std::function<void()> tick) {
    if (periodMs == 0 || !tick) return 0;
    Stop(true);
    std::lock_guard lock(m_mutex);
    m_tick = std::move(tick);
    m_stop = false;
    m_id = ++m_lastId == 0 ? ++m_lastId : m_lastId;
    m_thread = std::thread([this, periodMs] { Run(periodMs); });
    return m_id;
}

void ThreadTimer::timeKillEvent(uint32_t id) {
    {
        std::lock_guard lock(m_mutex);
        if (id == 0 || id != m_lastId) return;
    }
    // From the tick itself the thread cannot be joined; it ends after this tick. A later
    // kill from another thread (of a timer that killed itself) waits for that tick.
    Stop(std::this_thread::get_id() != m_thread.get_id());
}

void ThreadTimer::Stop(bool join) {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_id = 0;
    }
    m_wake.notify_all();
    if (join && m_thread.joinable()) m_thread.join();
}

void ThreadTimer::Run(uint32_t periodMs) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(periodMs);
    auto deadline = Clock::now() + period;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (m_wake.wait_until(lock, deadline, [this] { return m_stop; })) break;
        lock.unlock();
        m_tick();
        lock.lock();
        deadline += period;
        const auto now = Clock::now();
        if (deadline < now) deadline = now + period - (now - deadline) % period;
    }
}

}  // namespace platform
