// How well picture and sound keep together: the document plays on a virtual clock with a
// simulated sound device whose clock runs fast or slow, through stalls of the timer's
// thread, pauses and loops, and the figures of each scenario are printed as a table:
//   offset 60 s / 10 min  the largest distance of the sound heard from the frame on
//                         screen (0 while the sound is within the shown frame's time),
//                         in the first minute and over the whole run, leaving out a
//                         stall and the recovery after it
//   in stall              the same from the start of a stall to the recovery: a stalled
//                         tick decodes nothing, so the picture freezes once its
//                         read-ahead is used up, while the queued sound plays on
//   end off               the same at the end of the run
//   wrong                 times the screen switched to a frame that was not the due one
//   stale ms              time after a stall ended that the screen showed a frame older
//                         than the due one (a freeze), and of that after the recovery
//   gaps                  times the device found its queue dry before the sound's end
//   recovery ms           time from the end of a stall until the read-ahead and the
//                         sound queue were whole and the due frame on screen
// `--real SECONDS` plays the same kinds of scenario with the real timer, clock and SDL's
// disk driver (the device's clock is then the machine's; drift cannot be chosen).
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "moviemaker/MovieMaker.h"
#include "platform/ConsoleMessageBox.h"
#include "platform/MemorySettings.h"
#include "platform/ThreadTimer.h"
#include "platform/sdl/SdlWaveOut.h"
#include "playback/LumekoDoc.h"

namespace {

// ---- The simulated world ----------------------------------------------------------

class VirtualClock final : public platform::IMillisecondClock {
public:
    uint32_t timeGetTime() override { return static_cast<uint32_t>(nowUs / 1000); }
    uint64_t nowUs = 0;
};

class ManualTimer final : public platform::IMultimediaTimer {
public:
    uint32_t timeSetEvent(uint32_t periodMs, uint32_t, std::function<void()> tick) override {
        period = periodMs;
        m_tick = std::move(tick);
        running = true;
        return ++m_id;
    }
    void timeKillEvent(uint32_t id) override {
        if (id == m_id) running = false;
    }
    void Tick() {
        if (running) m_tick();
    }
    uint32_t period = 0;
    bool running = false;

private:
    std::function<void()> m_tick;
    uint32_t m_id = 0;
};

// A device that takes a buffer of 1024 sample frames at each of its periods, by its own
// clock, which runs (1 + drift) times as fast as the virtual one; between periods its
// position moves evenly through what the last period took, as SDL's does.
class SimulatedDevice final : public platform::IWaveOut {
public:
    SimulatedDevice(VirtualClock& clock, double drift) : m_clock(clock), m_drift(drift) {}

    bool waveOutOpen(const movie::WAVEFORMATEX& format) override {
        m_bytesPerSecond = format.nBlockAlign * format.nSamplesPerSec;
        m_periodBytes = 1024u * format.nBlockAlign;
        m_open = true;
        m_paused = false;
        m_started = false;
        Reset();
        return true;
    }
    void waveOutPrepareHeader(platform::WAVEHDR& h) override {
        h.dwFlags |= platform::WHDR_PREPARED;
    }
    void waveOutUnprepareHeader(platform::WAVEHDR& h) override {
        h.dwFlags &= ~platform::WHDR_PREPARED;
    }
    void waveOutWrite(platform::WAVEHDR& h) override {
        if (!m_open || (h.dwFlags & platform::WHDR_INQUEUE)) return;
        h.dwFlags = (h.dwFlags & ~platform::WHDR_DONE) | platform::WHDR_INQUEUE;
        m_queue.push_back(&h);
        if (!m_started && !m_paused) Start();
    }
    void waveOutPause() override {
        if (m_paused) return;
        m_frozenPosition = Position();
        m_paused = true;
    }
    void waveOutRestart() override {
        if (!m_paused && m_started) return;
        m_paused = false;
        if (!m_started) {
            Start();
            return;
        }
        // Goes on with what the last period had left to be heard.
        const uint64_t left = m_base + m_last - m_frozenPosition;
        m_base = m_frozenPosition;
        m_last = left;
        m_stampUs = m_clock.nowUs;
        m_nextPeriodUs =
            m_clock.nowUs + static_cast<uint64_t>(left * 1e6 / m_bytesPerSecond / (1 + m_drift));
    }
    void waveOutReset() override {
        for (auto* h : m_queue) Done(*h);
        m_queue.clear();
        Reset();
    }
    void waveOutClose() override {
        waveOutReset();
        m_open = false;
    }
    bool waveOutGetPosition(uint64_t& bytes) override {
        bytes = m_open ? Position() : 0;
        return m_open;
    }

    // Runs the device's periods up to the virtual now.
    void Advance() {
        while (m_open && m_started && !m_paused && m_nextPeriodUs <= m_clock.nowUs) {
            const uint64_t at = m_nextPeriodUs;
            size_t taken = 0;
            while (taken < m_periodBytes && !m_queue.empty()) {
                platform::WAVEHDR& h = *m_queue.front();
                const size_t n =
                    std::min<size_t>(m_periodBytes - taken, h.dwBufferLength - m_within);
                taken += n;
                m_within += n;
                if (m_within == h.dwBufferLength) {
                    m_queue.pop_front();
                    Done(h);
                    m_within = 0;
                }
            }
            if (taken < m_periodBytes && !soundEnded) ++gaps;
            m_base += m_last;
            m_last = taken;
            heardTotal += taken;
            m_stampUs = at;
            m_nextPeriodUs =
                at + static_cast<uint64_t>(m_periodBytes * 1e6 / m_bytesPerSecond / (1 + m_drift));
        }
    }
    // Milliseconds of sound heard since the open or reset.
    double HeardMs() { return Position() * 1000.0 / m_bytesPerSecond; }
    size_t Queued() const { return m_queue.size(); }

    bool soundEnded = false;  // set by the scenario once the movie's sound is all written
    long gaps = 0;
    uint64_t heardTotal = 0;

private:
    void Start() {
        m_started = true;
        m_stampUs = m_clock.nowUs;
        m_nextPeriodUs = m_clock.nowUs;
    }
    void Reset() {
        m_base = m_last = 0;
        m_within = 0;
        m_stampUs = m_clock.nowUs;
        m_frozenPosition = 0;
    }
    uint64_t Position() const {
        if (m_paused) return m_frozenPosition;
        if (!m_started) return m_base;
        const double heard = (m_clock.nowUs - m_stampUs) * 1e-6 * m_bytesPerSecond * (1 + m_drift);
        return m_base + static_cast<uint64_t>(std::min<double>(heard, static_cast<double>(m_last)));
    }
    static void Done(platform::WAVEHDR& h) {
        h.dwFlags = (h.dwFlags & ~platform::WHDR_INQUEUE) | platform::WHDR_DONE;
    }

    VirtualClock& m_clock;
    double m_drift;
    bool m_open = false, m_paused = false, m_started = false;
    uint32_t m_bytesPerSecond = 1;
    size_t m_periodBytes = 4096;
    std::deque<platform::WAVEHDR*> m_queue;
    size_t m_within = 0;
    uint64_t m_base = 0, m_last = 0, m_stampUs = 0, m_nextPeriodUs = 0, m_frozenPosition = 0;
};

struct Scenario {
    std::string name;
    uint32_t rate = 15, scale = 1;
    double seconds = 600;
    double drift = 0;
    uint32_t stallAtMs = 0, stallMs = 0;
    int pauses = 0;
    int loops = 0;  // plays again this many times
};

struct Figures {
    double offset60 = 0, offsetAll = 0;
    long wrong = 0;
    double staleMs = 0;
    long gaps = 0;
    double recoveryMs = -1;
    double endOffset = 0;
    double stallOffset = 0;
    double staleAfterRecoveryMs = 0;
};

std::string MakeMovie(uint32_t rate, uint32_t scale, double seconds, int width, int height,
                      const char* name) {
    const auto path = (std::filesystem::temp_directory_path() / name).string();
    moviemaker::MovieSpec spec;
    spec.width = width;
    spec.height = height;
    spec.rate = rate;
    spec.scale = scale;
    spec.keyEvery = 15;
    spec.frames = static_cast<int>(std::lround(seconds * rate / scale));
    spec.sound = moviemaker::SoundKind::kDk4Stereo;
    if (!moviemaker::MakeMovie(spec, path).Ok()) {
        std::fprintf(stderr, "cannot make %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

// Distance of the sound heard from the time span of the frame on screen.
double FrameOffset(const CLumekoDoc& doc, double heardMs) {
    const uint32_t shown = doc.ShownFrame();
    if (shown == CLumekoDoc::kNoFrame) return 0;
    const double start = doc.FrameStartMs(shown), end = doc.FrameStartMs(shown + 1);
    return heardMs < start ? heardMs - start : heardMs > end ? heardMs - end : 0;
}

// Times the pauses fall at: spread evenly over the movie.
std::vector<uint32_t> PauseTimes(const Scenario& s) {
    std::vector<uint32_t> pauseAt;
    for (int i = 0; i < s.pauses; ++i)
        pauseAt.push_back(static_cast<uint32_t>((i + 1) * s.seconds * 1000 / (s.pauses + 2)));
    return pauseAt;
}

// The figures of one run, taken each millisecond in the same way whether the device is
// simulated or real.
class Tally {
public:
    explicit Tally(const Scenario& s) : m_s(s), m_stallEnd(s.stallAtMs + s.stallMs) {}

    // soundWhole: the device's queue is full again or its sound has ended.
    void Observe(const CLumekoDoc& doc, uint32_t t, double heardMs, bool soundWhole) {
        const double offset = std::abs(FrameOffset(doc, heardMs));
        if (m_s.stallMs && t >= m_s.stallAtMs && !m_recovered) {
            figures.stallOffset = std::max(figures.stallOffset, offset);
        } else {
            if (t <= 60000) figures.offset60 = std::max(figures.offset60, offset);
            figures.offsetAll = std::max(figures.offsetAll, offset);
        }
        figures.endOffset = offset;
        const uint32_t due = doc.DueFrame(doc.Elapsed());
        const uint32_t shown = doc.ShownFrame();
        if (shown != m_lastShown && shown != due) ++figures.wrong;
        m_lastShown = shown;
        if (m_s.stallMs && t >= m_stallEnd) {
            if (shown != due) figures.staleMs += 1;
            if (shown != due && m_recovered) figures.staleAfterRecoveryMs += 1;
            const bool whole = doc.m_nNextFrame.load() >=
                                   std::min(due + CLumekoDoc::kReadAhead, doc.m_nFrameCount) &&
                               soundWhole && shown == due;
            if (!m_recovered && whole) {
                m_recovered = true;
                figures.recoveryMs = t - m_stallEnd;
            }
        }
    }
    // A new play of the movie (Loop) starts with nothing shown.
    void Restart() { m_lastShown = CLumekoDoc::kNoFrame; }

    Figures figures;

private:
    const Scenario& m_s;
    const uint32_t m_stallEnd;
    uint32_t m_lastShown = CLumekoDoc::kNoFrame;
    bool m_recovered = false;
};

Figures Simulate(const Scenario& s, const std::string& path) {
    VirtualClock clock;
    clock.nowUs = 5'000'000;
    ManualTimer timer;
    SimulatedDevice device(clock, s.drift);
    platform::MemorySettings settings;
    settings.WriteProfileInt("Lumeko", "loop", s.loops ? 1 : 0);
    platform::ConsoleMessageBox messages;
    CLumekoDoc doc({settings, clock, timer, device, messages});
    Tally tally(s);
    if (!doc.OpenMovie(path)) return tally.figures;
    doc.OnPlay();

    std::mt19937 random(42);
    const std::vector<uint32_t> pauseAt = PauseTimes(s);
    uint32_t pausedUntil = 0, pauseIndex = 0;
    const uint32_t stallEnd = s.stallAtMs + s.stallMs;
    int plays = 0;

    const uint64_t startUs = clock.nowUs;
    while (doc.m_bPlaying) {
        clock.nowUs += 1000;
        const uint32_t t = static_cast<uint32_t>((clock.nowUs - startUs) / 1000);
        const bool stalled = s.stallMs && t >= s.stallAtMs && t < stallEnd;
        device.Advance();
        if (!stalled && timer.running && t % timer.period == 0) timer.Tick();
        device.soundEnded = doc.m_movie.GetAudioPosition() >= doc.m_movie.GetAudioInfo().dwLength;
        // Pauses.
        if (pauseIndex < pauseAt.size() && t == pauseAt[pauseIndex]) {
            doc.OnPause();
            pausedUntil = t + 200 + static_cast<uint32_t>(random() % 5000);
            ++pauseIndex;
        }
        if (doc.m_bPaused && t >= pausedUntil) doc.OnPause();

        const uint32_t before = doc.m_nTimerId;
        doc.IdleProcess(0);
        if (!doc.m_bPlaying) break;
        if (doc.m_nTimerId != before && doc.m_nTimerId) {
            // Looped: the last time round ends the run.
            tally.Restart();
            if (++plays >= s.loops) doc.m_bLoop = 0;
        }
        if (doc.m_bPaused) continue;

        tally.Observe(doc, t, device.HeardMs(),
                      device.Queued() >= CLumekoDoc::kWaveBuffers - 1 || device.soundEnded);
        if (t > (s.seconds * (s.loops + 1) + 120) * 1000) break;  // never ends: reported as is
    }
    tally.figures.gaps = device.gaps;
    return tally.figures;
}

void PrintHeader(const char* mode) {
    std::printf("\n%s\n", mode);
    std::printf("%-30s %7s %9s %8s %5s %12s %5s %8s %7s\n", "scenario", "off 60s", "off 10min",
                "in stall", "wrong", "stale/after", "gaps", "recov ms", "end off");
}

void Print(const Scenario& s, const Figures& f) {
    char recovery[32] = "-";
    if (s.stallMs) std::snprintf(recovery, sizeof recovery, "%.0f", f.recoveryMs);
    char all[32] = "-";
    if (s.seconds >= 600) std::snprintf(all, sizeof all, "%.1f", f.offsetAll);
    char gaps[32] = "-";
    if (f.gaps >= 0) std::snprintf(gaps, sizeof gaps, "%ld", f.gaps);
    char stall[32] = "-", stale[32] = "-";
    if (s.stallMs) {
        std::snprintf(stall, sizeof stall, "%.1f", f.stallOffset);
        std::snprintf(stale, sizeof stale, "%.0f/%.0f", f.staleMs, f.staleAfterRecoveryMs);
    }
    std::printf("%-30s %7.1f %9s %8s %5ld %12s %5s %8s %7.1f\n", s.name.c_str(), f.offset60, all,
                stall, f.wrong, stale, gaps, recovery, f.endOffset);
    std::fflush(stdout);
}

std::vector<Scenario> Scenarios(double seconds, bool withDrift) {
    std::vector<Scenario> list;
    const struct {
        uint32_t rate, scale;
        const char* name;
    } rates[] = {{10, 1, "10"}, {15, 1, "15"}, {25, 1, "25"}, {30000, 1001, "29.97"}};
    if (withDrift) {
        for (const double d : {-0.005, -0.001, 0.001, 0.005}) {
            Scenario s;
            char name[64];
            std::snprintf(name, sizeof name, "15 fps, device %+.1f%%", d * 100);
            s.name = name;
            s.drift = d;
            s.seconds = seconds;
            list.push_back(s);
        }
    }
    for (const auto& r : rates)
        for (const uint32_t stall : {200u, 700u, 1500u}) {
            Scenario s;
            s.name = std::string(r.name) + " fps, stall " + std::to_string(stall) + " ms";
            s.rate = r.rate;
            s.scale = r.scale;
            s.seconds = std::min(seconds, 60.0);
            s.stallAtMs = static_cast<uint32_t>(s.seconds * 1000 / 3);
            s.stallMs = stall;
            list.push_back(s);
        }
    Scenario pauses;
    pauses.name = "15 fps, five pauses";
    pauses.seconds = std::min(seconds, 60.0);
    pauses.pauses = 5;
    list.push_back(pauses);
    Scenario loops;
    loops.name = "15 fps, 20 s looped 3 times";
    loops.seconds = std::min(seconds, 20.0);
    loops.loops = 3;
    list.push_back(loops);
    return list;
}

// ---- The real world -----------------------------------------------------------------

// The real timer, with the power to hold its thread inside a tick.
class StallingTimer final : public platform::IMultimediaTimer {
public:
    uint32_t timeSetEvent(uint32_t periodMs, uint32_t resolutionMs,
                          std::function<void()> tick) override {
        return m_timer.timeSetEvent(periodMs, resolutionMs, [this, tick = std::move(tick)] {
            if (const int ms = stallMs.exchange(0))
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            tick();
        });
    }
    void timeKillEvent(uint32_t id) override { m_timer.timeKillEvent(id); }
    std::atomic<int> stallMs{0};

private:
    platform::ThreadTimer m_timer;
};

Figures PlayReal(const Scenario& s, const std::string& path) {
    platform::MemorySettings settings;
    platform::SteadyMillisecondClock clock;
    StallingTimer timer;
    platform::SdlWaveOut wave;
    platform::ConsoleMessageBox messages;
    CLumekoDoc doc({settings, clock, timer, wave, messages});
    Tally tally(s);
    if (!doc.OpenMovie(path)) return tally.figures;
    doc.OnPlay();
    if (!doc.FollowsSound()) std::printf("(no sound: %s)\n", wave.OpenError().c_str());
    std::mt19937 random(42);
    const std::vector<uint32_t> pauseAt = PauseTimes(s);
    uint32_t pausedUntil = 0, pauseIndex = 0;
    bool stallAsked = false;
    const uint32_t bytesPerSecond = 22050 * 4;
    const auto start = std::chrono::steady_clock::now();
    tally.figures.gaps = -1;  // SDL does not say when it ran dry
    while (doc.m_bPlaying) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto t = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - start)
                                                 .count());
        if (s.stallMs && !stallAsked && t >= s.stallAtMs) {
            timer.stallMs = static_cast<int>(s.stallMs);
            stallAsked = true;
        }
        if (pauseIndex < pauseAt.size() && t >= pauseAt[pauseIndex]) {
            doc.OnPause();
            pausedUntil = t + 200 + static_cast<uint32_t>(random() % 5000);
            ++pauseIndex;
        }
        if (doc.m_bPaused && t >= pausedUntil) doc.OnPause();
        doc.IdleProcess(0);
        if (!doc.m_bPlaying || doc.m_bPaused) continue;
        uint64_t position = 0;
        wave.waveOutGetPosition(position);
        // The real device cannot say how full its queue is: the frames alone decide.
        tally.Observe(doc, t, position * 1000.0 / bytesPerSecond, true);
    }
    return tally.figures;
}

}  // namespace

int main(int argc, char** argv) {
    double realSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--real") == 0 && i + 1 < argc) realSeconds = std::atof(argv[++i]);
    }
    if (realSeconds > 0) {
        setenv("SDL_AUDIODRIVER", "disk", 0);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 0);
        PrintHeader("Real timer and clock, SDL's disk driver, 320x240 DK4 stereo movies");
        for (Scenario& s : Scenarios(realSeconds, false)) {
            s.seconds = std::min(s.seconds, realSeconds);
            if (s.loops) continue;
            if (s.stallMs) s.stallAtMs = static_cast<uint32_t>(s.seconds * 1000 / 3);
            const auto path =
                MakeMovie(s.rate, s.scale, s.seconds, 320, 240, "lumeko-sync-real.avi");
            Print(s, PlayReal(s, path));
            std::filesystem::remove(path);
        }
        return 0;
    }
    PrintHeader("Simulated: virtual clock, device taking 1024-frame periods by its own clock");
    for (const Scenario& s : Scenarios(600, true)) {
        const auto path = MakeMovie(s.rate, s.scale, s.seconds, 16, 16, "lumeko-sync.avi");
        Print(s, Simulate(s, path));
        std::filesystem::remove(path);
    }
    return 0;
}
