#include "audio/Dk4Decoder.h"

#include <algorithm>

#include "audio/AdpcmNibble.h"
#include "audio/AudioFormat.h"
#include "base/ByteReader.h"

namespace audio {

namespace {

struct ChannelState {
    int32_t nPredictor;
    int32_t nStepIndex;
};

// A channel header: 16-bit predictor, step index byte (limited to the table), one unused byte.
ChannelState ReadChannelHeader(const uint8_t* header) {
    return {static_cast<int16_t>(LoadLE16(header)), std::min<int32_t>(header[2], kMaxStepIndex)};
}

}  // namespace

size_t DecodeDk4Mono(std::span<const uint8_t> src, uint16_t blockAlign, std::span<int16_t> dst) {
    if (!IsValidBlockAlign(kWaveFormatDk4, 1, blockAlign)) return 0;
    const size_t samplesPerBlock = 2 * size_t{blockAlign} - 7;
    const size_t blockCount = std::min(src.size() / blockAlign, dst.size() / samplesPerBlock);

    int16_t* out = dst.data();
    for (size_t block = 0; block < blockCount; ++block) {
        const uint8_t* bytes = src.data() + block * blockAlign;
        ChannelState state = ReadChannelHeader(bytes);
        *out++ = static_cast<int16_t>(state.nPredictor);
        for (size_t i = kDk4MonoHeaderBytes; i < blockAlign; ++i) {
            *out++ = ExpandNibble(bytes[i] >> 4, state.nPredictor, state.nStepIndex);
            *out++ = ExpandNibble(bytes[i] & 15, state.nPredictor, state.nStepIndex);
        }
    }
    return blockCount * samplesPerBlock * sizeof(int16_t);
}

size_t DecodeDk4Stereo(std::span<const uint8_t> src, uint16_t blockAlign, std::span<int16_t> dst) {
    if (!IsValidBlockAlign(kWaveFormatDk4, 2, blockAlign)) return 0;
    const size_t samplesPerBlock = 2 * (size_t{blockAlign} - 7);
    const size_t blockCount = std::min(src.size() / blockAlign, dst.size() / samplesPerBlock);

    int16_t* out = dst.data();
    for (size_t block = 0; block < blockCount; ++block) {
        const uint8_t* bytes = src.data() + block * blockAlign;
        ChannelState left = ReadChannelHeader(bytes);
        ChannelState right = ReadChannelHeader(bytes + 4);
        *out++ = static_cast<int16_t>(left.nPredictor);
        *out++ = static_cast<int16_t>(right.nPredictor);
        for (size_t i = kDk4StereoHeaderBytes; i < blockAlign; ++i) {
            *out++ = ExpandNibble(bytes[i] >> 4, left.nPredictor, left.nStepIndex);
            *out++ = ExpandNibble(bytes[i] & 15, right.nPredictor, right.nStepIndex);
        }
    }
    return blockCount * samplesPerBlock * sizeof(int16_t);
}

}  // namespace audio
