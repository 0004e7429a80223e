#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "movie/AviRecords.h"

// The stored forms of the records: little-endian, field by field.

namespace movie {

std::vector<uint8_t> SerializeWaveFormat(const WAVEFORMATEX& wfx);
// Reads a stored wave format into `wfx`, field by field as far as `bytes` reach, the rest
// zero; cbSize only when stored (old files stop before it). False when the format ends
// before wBitsPerSample: the fields that were there are filled all the same.
[[nodiscard]] bool ParseWaveFormat(std::span<const uint8_t> bytes, WAVEFORMATEX& wfx);
std::vector<uint8_t> SerializeBitmapInfoHeader(const BITMAPINFOHEADER& bmih);

// The stream header chunk ('strh', 56 bytes) and what the file service reports of it.
inline constexpr uint32_t kStreamHeaderBytes = 56;
std::vector<uint8_t> SerializeStreamHeader(const AVISTREAMINFO& info);
// Fills the header fields of `info` from a stored header; false when it is too short.
[[nodiscard]] bool ParseStreamHeader(std::span<const uint8_t> bytes, AVISTREAMINFO& info);

// The bytes of one sample of an audio stream: the block alignment of its stored format,
// else the header's sample size, else 1. 0 for other streams, whose chunks are samples.
uint32_t SampleBytes(const AVISTREAMINFO& info, std::span<const uint8_t> format);

}  // namespace movie
