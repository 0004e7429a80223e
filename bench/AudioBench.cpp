#include <benchmark/benchmark.h>

#include <cstring>
#include <span>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/Dk3Decoder.h"
#include "audio/Dk3Encoder.h"
#include "audio/Dk4Decoder.h"
#include "audio/Dk4Encoder.h"
#include "audio/TestSignals.h"  // from tests/

// Decoding speed of each audio decoder on one second of 22,050 Hz sound made by our
// encoders, as x real time (seconds of sound per second of one core), beside a plain
// copy of the same decoded bytes.

namespace {

using ChunkDecoder = size_t (*)(std::span<const uint8_t>, uint16_t, std::span<int16_t>);

struct Stream {
    ChunkDecoder decode;
    uint16_t blockAlign;
    std::vector<uint8_t> encoded;
    std::vector<int16_t> decoded;
    double seconds;
};

Stream MakeStream(ChunkDecoder decode, uint16_t formatTag, int channels, uint16_t blockAlign) {
    const std::vector<int16_t> source =
        audio::MakeSignal(audio::Signal::NoiseAndTones, channels, audio::kSampleRate);
    auto encoded = formatTag == audio::kWaveFormatDk3
                       ? audio::EncodeDk3(source, channels, blockAlign)
                       : audio::EncodeDk4(source, channels, blockAlign);
    Stream stream{decode, blockAlign, std::move(*encoded), {}, 0};
    stream.decoded.resize(audio::DecodedChunkCapacity(formatTag, stream.encoded.size()) / 2);
    const size_t bytes = decode(stream.encoded, blockAlign, stream.decoded);
    stream.decoded.resize(bytes / 2);
    const size_t decodedChannels =
        audio::DecodedChannelCount(formatTag, static_cast<uint16_t>(channels));
    stream.seconds =
        static_cast<double>(stream.decoded.size() / decodedChannels) / audio::kSampleRate;
    return stream;
}

const Stream& Dk4Stereo() {
    static const Stream stream = MakeStream(audio::DecodeDk4Stereo, audio::kWaveFormatDk4, 2,
                                            audio::kDefaultDk4StereoBlockAlign);
    return stream;
}
const Stream& Dk4Mono() {
    static const Stream stream = MakeStream(audio::DecodeDk4Mono, audio::kWaveFormatDk4, 1,
                                            audio::kDefaultDk4MonoBlockAlign);
    return stream;
}
const Stream& Dk3Stereo() {
    static const Stream stream =
        MakeStream(audio::DecodeDk3, audio::kWaveFormatDk3, 2, audio::kDefaultDk3BlockAlign);
    return stream;
}

void ReportRealTime(benchmark::State& state, const Stream& stream) {
    state.counters["x_realtime"] =
        benchmark::Counter(stream.seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * stream.decoded.size() * sizeof(int16_t)));
}

void Decode(benchmark::State& state, const Stream& (*streamOf)()) {
    const Stream& stream = streamOf();
    std::vector<int16_t> out(stream.decoded.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(stream.decode(stream.encoded, stream.blockAlign, out));
        benchmark::ClobberMemory();
    }
    ReportRealTime(state, stream);
}

void CopyOutput(benchmark::State& state, const Stream& (*streamOf)()) {
    const Stream& stream = streamOf();
    std::vector<int16_t> out(stream.decoded.size());
    for (auto _ : state) {
        std::memcpy(out.data(), stream.decoded.data(), out.size() * sizeof(int16_t));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    ReportRealTime(state, stream);
}

BENCHMARK_CAPTURE(Decode, Dk4Stereo, Dk4Stereo);
BENCHMARK_CAPTURE(CopyOutput, Dk4Stereo, Dk4Stereo);
BENCHMARK_CAPTURE(Decode, Dk4Mono, Dk4Mono);
BENCHMARK_CAPTURE(CopyOutput, Dk4Mono, Dk4Mono);
BENCHMARK_CAPTURE(Decode, Dk3Stereo, Dk3Stereo);
BENCHMARK_CAPTURE(CopyOutput, Dk3Stereo, Dk3Stereo);

}  // namespace
