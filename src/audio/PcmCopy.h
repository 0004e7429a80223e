#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace audio {

// Passes 8-bit or 16-bit PCM through unchanged: copies the whole sample frames
// (blockAlign bytes each) that fit in both src and dst, so a torn frame never
// reaches the wave output. Returns the bytes copied (0 when blockAlign is 0).
size_t CopyPcm(std::span<const uint8_t> src, uint16_t blockAlign, std::span<uint8_t> dst);

}  // namespace audio
