#pragma once

#include <signal.h>

#include <atomic>

// While one lives, SIGINT and SIGTERM only note the signal; the command looks at it and
// stops cleanly (a user's file half written is removed by its writer). One lock-free
// atomic, so the handler is async-signal-safe and worker threads may read it too.
class StopSignals {
public:
    StopSignals() {
        Caught().store(0);
        struct sigaction action {};
        action.sa_handler = &Note;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_int);
        sigaction(SIGTERM, &action, &m_term);
    }
    ~StopSignals() {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal caught, 0 while none was.
    static std::atomic<int>& Caught() {
        static std::atomic<int> signal{0};
        static_assert(std::atomic<int>::is_always_lock_free);
        return signal;
    }

private:
    static void Note(int signal) { Caught().store(signal); }

    struct sigaction m_int {};
    struct sigaction m_term {};
};
