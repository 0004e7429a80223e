#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "AudioDecoders.h"
#include "TestSignals.h"
#include "audio/Dk3Encoder.h"
#include "audio/Dk4Encoder.h"

// Our encoders make every DK4 and DK3 stream the other tests and the demo movies use;
// what the decoders make of it must follow the source closely.

namespace audio {
namespace {

using Encoder = Result<std::vector<uint8_t>> (*)(std::span<const int16_t>, int, uint16_t);

struct RoundTripCase {
    const char* name;
    Encoder encode;
    DecoderCase decoder;
    int channels;  // of the source; DK3 decodes a mono source to two equal channels
    uint16_t blockAlign;
    double minToneSnr;   // dB
    double minNoiseSnr;  // dB
};

// Signal-to-noise ratio in dB of decoded against the source, over the source's frames.
double Snr(std::span<const int16_t> source, int sourceChannels, std::span<const int16_t> decoded,
           int decodedChannels) {
    double signal = 0;
    double error = 0;
    const size_t frames = source.size() / static_cast<size_t>(sourceChannels);
    for (size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < decodedChannels; ++channel) {
            const double s = source[frame * sourceChannels + channel % sourceChannels];
            const double d = decoded[frame * decodedChannels + channel];
            signal += s * s;
            error += (s - d) * (s - d);
        }
    }
    return error == 0 ? INFINITY : 10 * std::log10(signal / error);
}

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name << " block align " << c.blockAlign;
}

class EncoderRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(EncoderRoundTrip, DecodedSignalFollowsSource) {
    const RoundTripCase& c = GetParam();
    const size_t frames = kSampleRate;  // one second; no block count divides it evenly
    const int decodedChannels = c.decoder.channels;
    for (const Signal signal : {Signal::Tone, Signal::NoiseAndTones}) {
        SCOPED_TRACE(signal == Signal::Tone ? "tone" : "noise and tones");
        const std::vector<int16_t> source = MakeSignal(signal, c.channels, frames);
        const auto encoded = c.encode(source, c.channels, c.blockAlign);
        ASSERT_TRUE(encoded.Ok()) << encoded.Error().message;
        ASSERT_EQ(encoded->size() % c.blockAlign, 0u);

        std::vector<int16_t> decoded(DecodedChunkCapacity(c.decoder.formatTag, encoded->size()) /
                                     2);
        decoded.resize(c.decoder.decode(*encoded, c.blockAlign, decoded) / 2);
        const size_t decodedFrames = decoded.size() / static_cast<size_t>(decodedChannels);
        const size_t framesPerBlock =
            DecodedBytesPerBlock(c.decoder, c.blockAlign) / (2 * decodedChannels);
        // The last block is padded, never more than one block's worth.
        ASSERT_GE(decodedFrames, frames);
        ASSERT_LT(decodedFrames, frames + framesPerBlock);

        const double snr = Snr(source, c.channels, decoded, decodedChannels);
        RecordProperty(signal == Signal::Tone ? "tone_snr_db" : "noise_snr_db",
                       std::to_string(snr));
        EXPECT_GE(snr, signal == Signal::Tone ? c.minToneSnr : c.minNoiseSnr);
    }
}

constexpr DecoderCase kDk4Mono = kDecoders[0];
constexpr DecoderCase kDk4Stereo = kDecoders[1];
constexpr DecoderCase kDk3 = kDecoders[2];

INSTANTIATE_TEST_SUITE_P(
    Encoders, EncoderRoundTrip,
    ::testing::Values(
        RoundTripCase{"Dk4Mono", EncodeDk4, kDk4Mono, 1, kDefaultDk4MonoBlockAlign, 30, 19},
        // Every sample is a block header: nothing is lost.
        RoundTripCase{"Dk4MonoHeaderOnly", EncodeDk4, kDk4Mono, 1, 4, INFINITY, INFINITY},
        RoundTripCase{"Dk4MonoOneByte", EncodeDk4, kDk4Mono, 1, 5, 31, 21},
        RoundTripCase{"Dk4Stereo", EncodeDk4, kDk4Stereo, 2, kDefaultDk4StereoBlockAlign, 30, 19},
        RoundTripCase{"Dk4StereoOneByte", EncodeDk4, kDk4Stereo, 2, 9, 32, 22},
        // The difference channel gets one code per two frames, so two channels that
        // differ in their high notes and their noise lose more than a mono source.
        RoundTripCase{"Dk3Stereo", EncodeDk3, kDk3, 2, kDefaultDk3BlockAlign, 25, 10},
        RoundTripCase{"Dk3MonoSource", EncodeDk3, kDk3, 1, kDefaultDk3BlockAlign, 30, 19},
        // One frame per block, two codes away from a header that holds that very frame.
        RoundTripCase{"Dk3OneByte", EncodeDk3, kDk3, 2, 17, 60, 52},
        RoundTripCase{"Dk3TwoBytes", EncodeDk3, kDk3, 2, 18, 21, 12.5},
        RoundTripCase{"Dk3ThreeBytes", EncodeDk3, kDk3, 2, 19, 21, 13}),
    [](const testing::TestParamInfo<RoundTripCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
}  // namespace audio
