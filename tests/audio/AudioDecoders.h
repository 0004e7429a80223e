#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/Dk3Decoder.h"
#include "audio/Dk4Decoder.h"

// The three chunk decoders side by side, for the tests that hold for all of them.

namespace audio {

using ChunkDecoder = size_t (*)(std::span<const uint8_t>, uint16_t, std::span<int16_t>);

struct DecoderCase {
    const char* name;
    ChunkDecoder decode;
    uint16_t formatTag;
    uint16_t channels;
    uint16_t
        minBlockAlign;  // the smallest alignment that holds a block header (and, for DK3, data)
};

inline constexpr DecoderCase kDecoders[] = {
    {"Dk4Mono", DecodeDk4Mono, kWaveFormatDk4, 1, 4},
    {"Dk4Stereo", DecodeDk4Stereo, kWaveFormatDk4, 2, 8},
    {"Dk3", DecodeDk3, kWaveFormatDk3, 2, 17},
};

inline std::string DecoderName(const testing::TestParamInfo<DecoderCase>& info) {
    return info.param.name;
}

// Bytes of PCM one block decodes to.
inline size_t DecodedBytesPerBlock(const DecoderCase& decoder, uint16_t blockAlign) {
    const size_t b = blockAlign;
    if (decoder.formatTag == kWaveFormatDk3) return 4 * Dk3FramesPerBlock(blockAlign);
    return decoder.channels == 2 ? 4 * (b - 7) : 4 * b - 14;
}

inline std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

}  // namespace audio
