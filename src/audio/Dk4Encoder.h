#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/Result.h"

namespace audio {

// Encodes 16-bit PCM (one or two interleaved channels) as DK4 blocks of blockAlign bytes.
// Each block carries 2 * blockAlign - 7 samples (mono) or blockAlign - 7 frames (stereo):
// the header predictor is the block's first sample, every other sample is the nibble
// whose decoded value is closest. The last block is padded by holding the last sample.
// Returns whole blocks; Unsupported for another channel count or a too small alignment.
Result<std::vector<uint8_t>> EncodeDk4(std::span<const int16_t> interleaved, int channels,
                                       uint16_t blockAlign);

}  // namespace audio
