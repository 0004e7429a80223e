#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// DK3 ADPCM: a sum channel S and a difference channel D, coded in groups of three
// nibbles (S, D, S) that give two stereo frames each. Output is always interleaved
// stereo, whatever the stream's channel count. Predictors are not limited; each output
// sample is the low 16 bits of S + E or S - E.
//
// src is a raw chunk of whole blocks of blockAlign bytes; a trailing part of a block is
// ignored. Only the whole blocks whose output fits in dst are decoded, so dst is never
// written past its end. Allocates nothing. Returns the number of bytes written:
// 4 * Dk3FramesPerBlock(blockAlign) per block, 0 for an alignment below 17.

namespace audio {

size_t DecodeDk3(std::span<const uint8_t> src, uint16_t blockAlign, std::span<int16_t> dst);

}  // namespace audio
