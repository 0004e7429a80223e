#include "platform/ThreadTimer.h"

#include <vector>

namespace platform {

ThreadTimer::~ThreadTimer() {
    std::vector<std::shared_ptr<Event>> events;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [id, event] : m_events) {
            event->stop = true;
            event->wake.notify_all();
            events.push_back(std::move(event));
        }
        m_events.clear();
    }
    for (auto& event : events) {
        if (event->thread.joinable()) event->thread.join();
    }
}

uint32_t ThreadTimer::timeSetEvent(uint32_t periodMs, uint32_t /*resolutionMs*/,
                                   std::function<void()> tick) {
    if (periodMs == 0 || !tick) return 0;
    JoinStopped();
    auto event = std::make_shared<Event>();
    event->tick = std::move(tick);
    event->period = std::chrono::milliseconds(periodMs);
    event->firstDeadline = std::chrono::steady_clock::now() + event->period;
    std::lock_guard lock(m_mutex);
    do {
        ++m_lastId;
    } while (m_lastId == 0 || m_events.count(m_lastId));
    // The thread waits for this lock before its first tick, so `thread` is set by then.
    event->thread = std::thread([this, raw = event.get()] { Run(*raw); });
    m_events.emplace(m_lastId, std::move(event));
    return m_lastId;
}

void ThreadTimer::timeKillEvent(uint32_t id) {
    std::shared_ptr<Event> event;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_events.find(id);
        if (it == m_events.end()) return;
        event = it->second;
        event->stop = true;
        event->wake.notify_all();
        // Inside its own tick the thread cannot wait for itself: it ends when the tick
        // returns and is joined later, by the next kill or start, or the destructor.
        if (event->thread.get_id() == std::this_thread::get_id()) return;
        m_events.erase(it);
    }
    if (event->thread.joinable()) event->thread.join();
}

void ThreadTimer::JoinStopped() {
    std::vector<std::shared_ptr<Event>> stopped;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_events.begin(); it != m_events.end();) {
            if (it->second->stop && it->second->thread.get_id() != std::this_thread::get_id()) {
                stopped.push_back(std::move(it->second));
                it = m_events.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& event : stopped) event->thread.join();
}

void ThreadTimer::Run(Event& event) {
    using Clock = std::chrono::steady_clock;
    auto deadline = event.firstDeadline;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (event.wake.wait_until(lock, deadline, [&event] { return event.stop; })) return;
        lock.unlock();
        event.tick();
        lock.lock();
        deadline += event.period;
        // A tick that is due now runs at once; the ones missed before it are dropped, and
        // the deadlines stay on the grid of the first one, so a stall never shifts them.
        const auto now = Clock::now();
        while (deadline + event.period <= now) deadline += event.period;
    }
}

}  // namespace platform
