#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/Result.h"

namespace audio {

// Encodes 16-bit PCM (one or two interleaved channels; mono is coded as equal left and
// right) as DK3 blocks of blockAlign bytes, each carrying Dk3FramesPerBlock(blockAlign)
// stereo frames (1343 for 1024-byte blocks). Sum and difference codes are chosen
// together by the decoder's own arithmetic, including its averaged difference, so the
// decoded frames follow the input. The last block is padded by holding the last frame.
// Returns whole blocks; Unsupported for another channel count or an alignment below 17.
Result<std::vector<uint8_t>> EncodeDk3(std::span<const int16_t> interleaved, int channels,
                                       uint16_t blockAlign);

}  // namespace audio
