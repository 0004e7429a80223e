// Encoding speed of our TrueMotion encoder on the tests' synthetic picture, for key
// frames and for delta frames whose shapes move 8 pixels between frames over a still
// background. "fps" is frames a second; "bytes" the mean frame size. (Frames coded
// at two thirds of the width are always whole, so that mode has key frames only; its
// widths are the nearest multiples of 12.)

#include <benchmark/benchmark.h>

#include <vector>

#include "TestPicture.h"
#include "truemotion/TrueMotionEncoder.h"

namespace {

using truemotion::EncoderMode;

void BM_Encode(benchmark::State& state, EncoderMode mode, bool delta) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    truemotion::EncoderSettings settings;
    settings.mode = mode;
    auto encoder = truemotion::TrueMotionEncoder::Create(width, height, settings);
    if (!encoder.Ok()) {
        state.SkipWithError(encoder.Error().message.c_str());
        return;
    }
    const std::vector<uint8_t> pictures[2] = {MakeTestPicture(width, height, 0, 1),
                                              MakeTestPicture(width, height, 8, 1)};
    std::vector<uint8_t> frame;
    encoder->EncodeKeyFrame(pictures[0], frame);
    size_t bytes = 0, next = 1;
    for (auto _ : state) {
        const auto& picture = pictures[next];
        next ^= 1;
        delta ? encoder->EncodeDeltaFrame(picture, frame) : encoder->EncodeKeyFrame(picture, frame);
        benchmark::DoNotOptimize(frame.data());
        bytes += frame.size();
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}

BENCHMARK_CAPTURE(BM_Encode, bits24_key, EncoderMode::k24Bit, false)
    ->Args({320, 240})
    ->Args({640, 480})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, bits24_delta, EncoderMode::k24Bit, true)
    ->Args({320, 240})
    ->Args({640, 480})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, bits15_key, EncoderMode::k15Bit, false)
    ->Args({320, 240})
    ->Args({640, 480})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, bits15_delta, EncoderMode::k15Bit, true)
    ->Args({320, 240})
    ->Args({640, 480})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Encode, stretch_key, EncoderMode::kStretch, false)
    ->Args({324, 240})
    ->Args({636, 480})
    ->Unit(benchmark::kMillisecond);

}  // namespace
