// Decoding speed of TrueMotion frames, each beside a memcpy of the same display bitmap
// in the same run. The "x_memcpy" counter is the decode time over the memcpy time, each
// the fastest of many runs, so that a busy machine disturbs it little.
//
// Frames come from the tests' frame builder: one single-pair group a step, the way our
// encoder codes, which makes the index stream as long as it gets. Delta frames code
// about one block in ten; they go into a bitmap that shows the frame before ("over"),
// into the next bitmap of a ring, copied from the one before ("ring"), or into a
// bitmap the decoder knows nothing of ("whole", the whole picture written).
//
// The "scaling" benchmarks give the time per frame from 160 × 120 to 2048 × 1536.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "support/FrameBuilder.h"
#include "truemotion/TrueMotionDecoder.h"

namespace {

using truemotion::TrueMotionDecoder;
namespace fb = truemotion::testing;

enum class Kind { k15BitKey, k24BitKey, kStretchKey, k15BitDelta, k24BitDelta };

std::vector<uint8_t> MakeFrame(Kind kind, int width, int height) {
    fb::HeaderFields h;
    h.width = static_cast<uint16_t>(kind == Kind::kStretchKey ? width / 3 * 2 : width);
    h.height = static_cast<uint16_t>(height);
    h.compression = (kind == Kind::k24BitKey || kind == Kind::k24BitDelta) ? 10 : 2;
    h.flags = kind == Kind::kStretchKey ? fb::kStretchFrameFlags : 0;
    std::vector<uint8_t> body;
    if (kind == Kind::k15BitDelta || kind == Kind::k24BitDelta) {
        h.flags = fb::kDeltaFrameFlags;
        body = fb::RandomMask(width, height, 0.1, 1);
    }
    const auto steps = fb::SmallSteps(fb::KeyStepBound(width, height), 2);
    body.insert(body.end(), steps.begin(), steps.end());
    return fb::BuildFrame(h, body);
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double FastestMemcpySeconds(const std::vector<uint8_t>& from, std::vector<uint8_t>& to) {
    double fastest = 1e9;
    for (int i = 0; i < 500; ++i) {
        const auto start = Clock::now();
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        fastest = std::min(fastest, Seconds(Clock::now() - start));
    }
    return fastest;
}

enum class Target { kOver, kRing, kWhole };

void BM_Decode(benchmark::State& state, Kind kind, Target target) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const auto frame = MakeFrame(kind, width, height);
    TrueMotionDecoder decoder;
    if (!decoder.Open(width, height)) {
        state.SkipWithError("Open failed");
        return;
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3), copy(pixels.size());
    std::vector<uint8_t> other(pixels.size());
    if (kind == Kind::k15BitDelta || kind == Kind::k24BitDelta) {
        // Start from a key frame of the same mode, as in a movie.
        decoder.DecodeFrame(
            MakeFrame(kind == Kind::k15BitDelta ? Kind::k15BitKey : Kind::k24BitKey, width, height),
            pixels.data());
    }
    uint8_t* last = pixels.data();
    double fastest = 1e9;
    for (auto _ : state) {
        uint8_t* next =
            target == Target::kRing && last == pixels.data() ? other.data() : pixels.data();
        const uint8_t* previous = target == Target::kWhole ? nullptr : last;
        const auto start = Clock::now();
        benchmark::DoNotOptimize(decoder.DecodeFrame(frame, next, previous));
        benchmark::ClobberMemory();
        fastest = std::min(fastest, Seconds(Clock::now() - start));
        last = next;
    }
    state.counters["x_memcpy"] = fastest / FastestMemcpySeconds(pixels, copy);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(pixels.size()));
}

void BM_Memcpy(benchmark::State& state) {
    const size_t size =
        static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(1)) * 3;
    std::vector<uint8_t> from(size, 7), to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Memcpy)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, key15, Kind::k15BitKey, Target::kOver)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, key24, Kind::k24BitKey, Target::kOver)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, stretch, Kind::kStretchKey, Target::kOver)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, delta15_10pct, Kind::k15BitDelta, Target::kOver)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, delta24_10pct, Kind::k24BitDelta, Target::kOver)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, delta15_10pct_ring, Kind::k15BitDelta, Target::kRing)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, delta24_10pct_ring, Kind::k24BitDelta, Target::kRing)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, delta15_10pct_whole, Kind::k15BitDelta, Target::kWhole)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_Decode, delta24_10pct_whole, Kind::k24BitDelta, Target::kWhole)->Apply(Sizes);

void ScalingSizes(benchmark::internal::Benchmark* b) {
    b->Args({160, 120})
        ->Args({320, 240})
        ->Args({640, 480})
        ->Args({1280, 960})
        ->Args({2048, 1536})
        ->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Memcpy)->Name("scaling/memcpy")->Apply(ScalingSizes);
BENCHMARK_CAPTURE(BM_Decode, scaling_key24, Kind::k24BitKey, Target::kOver)->Apply(ScalingSizes);
BENCHMARK_CAPTURE(BM_Decode, scaling_key15, Kind::k15BitKey, Target::kOver)->Apply(ScalingSizes);
BENCHMARK_CAPTURE(BM_Decode, scaling_delta24_10pct, Kind::k24BitDelta, Target::kOver)
    ->Apply(ScalingSizes);
BENCHMARK_CAPTURE(BM_Decode, scaling_delta15_10pct, Kind::k15BitDelta, Target::kOver)
    ->Apply(ScalingSizes);

}  // namespace
