#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/MillisecondClock.h"
#include "platform/ThreadTimer.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double MsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The start times of every tick, kept without allocating inside the tick.
class TickLog {
public:
    explicit TickLog(size_t capacity) : m_times(capacity) {}
    void Note() {
        const size_t i = m_count.load(std::memory_order_relaxed);
        if (i < m_times.size()) m_times[i] = Clock::now();
        m_count.store(i + 1, std::memory_order_release);
    }
    size_t Count() const { return m_count.load(std::memory_order_acquire); }
    std::vector<Clock::time_point> Times() const {
        return {m_times.begin(),
                m_times.begin() + static_cast<std::ptrdiff_t>(std::min(Count(), m_times.size()))};
    }

private:
    std::vector<Clock::time_point> m_times;
    std::atomic<size_t> m_count{0};
};

TEST(ThreadTimer, TicksOnAbsoluteDeadlinesSoSlowTicksDoNotDrift) {
    // Each tick takes a quarter of the period; a timer that sleeps one period after each
    // tick would fall 25% behind.
    constexpr int kPeriodMs = 20;
    constexpr int kRunMs = 2000;
    TickLog log(200);
    platform::ThreadTimer timer;
    const auto start = Clock::now();
    const uint32_t id = timer.timeSetEvent(kPeriodMs, 5, [&log] {
        log.Note();
        std::this_thread::sleep_for(milliseconds(kPeriodMs / 4));
    });
    ASSERT_NE(id, 0u);
    std::this_thread::sleep_until(start + milliseconds(kRunMs) + milliseconds(kPeriodMs / 2));
    timer.timeKillEvent(id);

    const auto times = log.Times();
    const int expected = kRunMs / kPeriodMs;
    // Loose bounds: CI machines are shared, and a late tick drops the ones it missed.
    EXPECT_GE(static_cast<int>(times.size()), expected * 80 / 100);
    EXPECT_LE(static_cast<int>(times.size()), expected);
    ASSERT_FALSE(times.empty());
    EXPECT_GE(MsBetween(start, times.front()), kPeriodMs - 1)
        << "the first tick comes one period after the start";

    // How far each tick lies past the deadline just before it: ticks that drift spread
    // over the whole period; ticks on absolute deadlines stay near its start, even when
    // a loaded machine makes the timer drop a few.
    std::vector<double> lateness;
    for (size_t k = 0; k < times.size(); ++k)
        lateness.push_back(std::fmod(MsBetween(start, times[k]), static_cast<double>(kPeriodMs)));
    std::sort(lateness.begin(), lateness.end());
    const double median = lateness[lateness.size() / 2];
    const double worst = lateness.back();
    double shortest = 1e9, longest = 0;
    for (size_t k = 1; k < times.size(); ++k) {
        shortest = std::min(shortest, MsBetween(times[k - 1], times[k]));
        longest = std::max(longest, MsBetween(times[k - 1], times[k]));
    }
    std::printf(
        "timer jitter over %zu ticks of %d ms: median %.3f ms late, 95%% within %.3f ms, worst "
        "%.3f ms; "
        "intervals %.3f to %.3f ms\n",
        times.size(), kPeriodMs, median, lateness[lateness.size() * 95 / 100], worst, shortest,
        longest);
    EXPECT_LT(median, kPeriodMs / 3.0);
}

TEST(ThreadTimer, DropsTheTicksMissedDuringAStallInsteadOfBursting) {
    constexpr int kPeriodMs = 10;
    TickLog log(100);
    platform::ThreadTimer timer;
    const uint32_t id = timer.timeSetEvent(kPeriodMs, 1, [&log] {
        log.Note();
        if (log.Count() == 3) std::this_thread::sleep_for(milliseconds(kPeriodMs * 15));
    });
    while (log.Count() < 8) std::this_thread::sleep_for(milliseconds(1));
    timer.timeKillEvent(id);

    const auto times = log.Times();
    // After the stall the period resumes: the four ticks after it take about four
    // periods, where a burst of the missed ones would deliver them at once. (A loaded
    // machine may delay any one tick, so single gaps are not checked.)
    EXPECT_GE(MsBetween(times[2], times[3]), kPeriodMs * 15);
    EXPECT_GE(MsBetween(times[3], times[7]), kPeriodMs * 2.0) << "the missed ticks came in a burst";
}

TEST(ThreadTimer, KillFromAnotherThreadWaitsForTheRunningTick) {
    platform::ThreadTimer timer;
    std::atomic<bool> inTick{false};
    std::atomic<int> ticks{0};
    const uint32_t id = timer.timeSetEvent(5, 1, [&] {
        inTick = true;
        std::this_thread::sleep_for(milliseconds(100));
        ++ticks;
        inTick = false;
    });
    while (!inTick) std::this_thread::sleep_for(milliseconds(1));
    timer.timeKillEvent(id);
    EXPECT_FALSE(inTick);
    EXPECT_EQ(ticks, 1);
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(ticks, 1) << "no tick after the kill returned";
}

TEST(ThreadTimer, NoTickRunsAfterKillReturnsWhateverTheMoment) {
    platform::ThreadTimer timer;
    std::atomic<int> ticks{0};
    for (int wait : {0, 1, 2, 3, 5, 8}) {
        const uint32_t id = timer.timeSetEvent(1, 1, [&ticks] { ++ticks; });
        ASSERT_NE(id, 0u);
        std::this_thread::sleep_for(milliseconds(wait));
        timer.timeKillEvent(id);
        const int after = ticks;
        std::this_thread::sleep_for(milliseconds(5));
        EXPECT_EQ(ticks, after) << "killed after " << wait << " ms";
    }
}

TEST(ThreadTimer, TickMayKillItsOwnTimer) {
    platform::ThreadTimer timer;
    std::atomic<uint32_t> id{0};
    std::atomic<int> ticks{0};
    std::atomic<bool> killReturned{false};
    id = timer.timeSetEvent(2, 1, [&] {
        if (++ticks == 3) {
            while (id == 0) std::this_thread::yield();
            timer.timeKillEvent(id);
            killReturned = true;
        }
    });
    while (ticks < 3) std::this_thread::sleep_for(milliseconds(1));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_TRUE(killReturned);
    EXPECT_EQ(ticks, 3);
    // The owner kills it again later, as the document does when it stops; that is harmless.
    timer.timeKillEvent(id);
    EXPECT_EQ(ticks, 3);
}

TEST(ThreadTimer, TimersRunIndependently) {
    platform::ThreadTimer timer;
    std::atomic<int> first{0}, second{0};
    const uint32_t a = timer.timeSetEvent(2, 1, [&first] { ++first; });
    const uint32_t b = timer.timeSetEvent(2, 1, [&second] { ++second; });
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    timer.timeKillEvent(a);
    const int firstAfterKill = first;
    const int secondAtKill = second;
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(first, firstAfterKill);
    EXPECT_GT(second, secondAtKill);
    // The destructor stops the one still running.
}

TEST(ThreadTimer, RefusesWhatCannotTick) {
    platform::ThreadTimer timer;
    EXPECT_EQ(timer.timeSetEvent(0, 1, [] {}), 0u);
    EXPECT_EQ(timer.timeSetEvent(10, 1, {}), 0u);
    timer.timeKillEvent(0);
    timer.timeKillEvent(12345);
}

TEST(SteadyMillisecondClock, CountsOnAcrossTheWrap) {
    constexpr uint32_t kStart = 0xFFFFFFFFu - 5;
    platform::SteadyMillisecondClock clock(kStart);
    const uint32_t before = clock.timeGetTime();
    std::this_thread::sleep_for(milliseconds(20));
    const uint32_t after = clock.timeGetTime();
    EXPECT_LT(after, before) << "the 32-bit count wrapped";
    const uint32_t elapsed = after - before;
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 1000u);
}

}  // namespace
