#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "movie/AviRecords.h"

// The stored forms of the records: little-endian, field by field.

namespace movie {

std::vector<uint8_t> SerializeWaveFormat(const WAVEFORMATEX& wfx);
std::vector<uint8_t> SerializeBitmapInfoHeader(const BITMAPINFOHEADER& bmih);

// The stream header chunk ('strh', 56 bytes) and what the file service reports of it.
inline constexpr uint32_t kStreamHeaderBytes = 56;
std::vector<uint8_t> SerializeStreamHeader(const AVISTREAMINFO& info);
// Fills the header fields of `info` from a stored header; false when it is too short.
bool ParseStreamHeader(std::span<const uint8_t> bytes, AVISTREAMINFO& info);

}  // namespace movie
