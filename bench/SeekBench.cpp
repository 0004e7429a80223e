// Seeking in 640x480 movies with a key frame every 15 and every 60 frames.
//
// Latency is from the call to the target frame being ready: the movie's SeekFrame (the
// picture decoded), and the document's Seek (the picture on its way to the screen, the
// read-ahead after it decoded and the sound queued). Targets visit every frame in a
// shuffled order, so every distance from a key frame is measured; the counters give
// the median and the worst. Scrubbing drags through the movie a few frames a step, back
// and forth, as a hand on the slider does; its counter is pictures a second.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "movie/DuckMovie.h"
#include "moviemaker/MovieMaker.h"
#include "platform/ConsoleMessageBox.h"
#include "platform/MemorySettings.h"
#include "platform/MillisecondClock.h"
#include "platform/MultimediaTimer.h"
#include "platform/SilentWaveOut.h"
#include "playback/LumekoDoc.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 120;

// One movie per key-frame distance, made once in the temporary folder.
const std::string& Movie(int keyEvery) {
    static std::map<int, std::string> made;
    auto it = made.find(keyEvery);
    if (it != made.end()) return it->second;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("lumeko-seek-bench-" + std::to_string(keyEvery) + ".avi"))
                                 .string();
    moviemaker::MovieSpec spec;
    spec.width = 640;
    spec.height = 480;
    spec.frames = kFrames;
    spec.keyEvery = keyEvery;
    spec.sound = moviemaker::SoundKind::kDk4Stereo;
    if (!std::filesystem::exists(path) && !moviemaker::MakeMovie(spec, path).Ok()) std::abort();
    return made.emplace(keyEvery, path).first->second;
}

std::vector<uint32_t> ShuffledFrames() {
    std::vector<uint32_t> frames(kFrames);
    for (uint32_t i = 0; i < kFrames; ++i) frames[i] = i;
    std::shuffle(frames.begin(), frames.end(), std::mt19937(18));
    return frames;
}

// The thread's processor time in milliseconds: on a shared machine the wall clock also
// counts the time other programs had the processor.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One seek's wall and processor time.
struct Lap {
    Clock::time_point wall = Clock::now();
    double cpu = ThreadCpuMs();
};

void Report(benchmark::State& state, std::vector<double> ms, std::vector<double> cpuMs) {
    std::sort(ms.begin(), ms.end());
    std::sort(cpuMs.begin(), cpuMs.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
    state.counters["median_cpu_ms"] = cpuMs[cpuMs.size() / 2];
    state.counters["worst_cpu_ms"] = cpuMs.back();
}

void BM_MovieSeek(benchmark::State& state) {
    platform::ConsoleMessageBox messages;
    CDuckMovie movie(messages);
    if (!movie.Open(Movie(static_cast<int>(state.range(0))))) std::abort();
    std::vector<uint8_t> picture(640 * 480 * 3);
    const auto targets = ShuffledFrames();
    std::vector<double> ms, cpuMs;
    size_t next = 0;
    for (auto _ : state) {
        const uint32_t target = targets[next++ % targets.size()];
        const Lap start;
        benchmark::DoNotOptimize(movie.SeekFrame(target, picture.data()));
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start.wall).count());
        cpuMs.push_back(ThreadCpuMs() - start.cpu);
    }
    Report(state, std::move(ms), std::move(cpuMs));
}
BENCHMARK(BM_MovieSeek)->Arg(15)->Arg(60)->Iterations(2 * kFrames)->Unit(benchmark::kMillisecond);

// A timer that never ticks: the benchmark measures the seek, not playback.
class IdleTimer final : public platform::IMultimediaTimer {
public:
    uint32_t timeSetEvent(uint32_t, uint32_t, std::function<void()>) override { return ++m_id; }
    void timeKillEvent(uint32_t) override {}

private:
    uint32_t m_id = 0;
};

// A document on the steady clock with no sound and a timer that never ticks.
struct SilentDocument {
    platform::MemorySettings settings;
    platform::SteadyMillisecondClock clock;
    IdleTimer timer;
    platform::SilentWaveOut wave;
    platform::ConsoleMessageBox messages;
    CLumekoDoc doc{{settings, clock, timer, wave, messages}};
};

void BM_DocumentSeekWhilePlaying(benchmark::State& state) {
    SilentDocument silent;
    CLumekoDoc& doc = silent.doc;
    if (!doc.OpenMovie(Movie(static_cast<int>(state.range(0))))) std::abort();
    doc.OnPlay();
    const auto targets = ShuffledFrames();
    std::vector<double> ms, cpuMs;
    size_t next = 0;
    for (auto _ : state) {
        const uint32_t target = targets[next++ % targets.size()];
        const Lap start;
        doc.Seek(target);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start.wall).count());
        cpuMs.push_back(ThreadCpuMs() - start.cpu);
    }
    Report(state, std::move(ms), std::move(cpuMs));
}
BENCHMARK(BM_DocumentSeekWhilePlaying)
    ->Arg(15)
    ->Arg(60)
    ->Iterations(2 * kFrames)
    ->Unit(benchmark::kMillisecond);

// The slider dragged: three frames a step forward through the movie, then back.
void BM_Scrub(benchmark::State& state) {
    SilentDocument silent;
    CLumekoDoc& doc = silent.doc;
    if (!doc.OpenMovie(Movie(static_cast<int>(state.range(0))))) std::abort();
    std::vector<uint32_t> path;
    for (uint32_t f = 0; f < kFrames; f += 3) path.push_back(f);
    for (uint32_t f = kFrames - 1; f > 0; f -= std::min<uint32_t>(f, 3)) path.push_back(f);
    size_t next = 0;
    for (auto _ : state) doc.Seek(path[next++ % path.size()]);
    state.counters["pictures_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Scrub)
    ->Arg(15)
    ->Arg(60)
    ->Iterations(2 * kFrames)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
