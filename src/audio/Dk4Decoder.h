#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// DK4 ADPCM: each block starts from its own header (predictor and step index per
// channel) and holds one nibble per sample after it. The decoders keep no state
// between calls, allocate nothing and write straight into dst.
//
// src is a raw chunk of whole blocks of blockAlign bytes; a trailing part of a block is
// ignored. Only the whole blocks whose output fits in dst are decoded, so dst is never
// written past its end. Returns the number of bytes written (0 for an alignment too
// small for the block header).

namespace audio {

// Mono block: 2 * blockAlign - 7 samples.
size_t DecodeDk4Mono(std::span<const uint8_t> src, uint16_t blockAlign, std::span<int16_t> dst);

// Stereo block: blockAlign - 7 interleaved frames (left, right).
size_t DecodeDk4Stereo(std::span<const uint8_t> src, uint16_t blockAlign, std::span<int16_t> dst);

}  // namespace audio
