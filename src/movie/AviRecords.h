#pragma once

#include <cstddef>
#include <cstdint>

#include "base/SystemRecords.h"

// The records of AVI files, with the field names of the system's
// file service. They are in-memory records: files are read and written field by
// field in little-endian order, never by copying these structs.

namespace movie {

// The system records below the movie layer, under the names the movie code knows them by.
using ::BI_RGB;
using ::BITMAPINFOHEADER;
using ::kBitmapInfoHeaderBytes;
using ::kWaveFormatExBytes;
using ::RECT;
using ::WAVE_FORMAT_PCM;
using ::WAVEFORMATEX;

constexpr uint32_t MakeFourCC(const char (&code)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24);
}

inline constexpr uint32_t streamtypeVIDEO = MakeFourCC("vids");
inline constexpr uint32_t streamtypeAUDIO = MakeFourCC("auds");

inline constexpr uint32_t AVIIF_KEYFRAME = 0x10;

// Stream numbers are two decimal digits in chunk ids.
inline constexpr size_t kMaxStreams = 100;
// An entry of the index ('idx1'): chunk id, flags, offset and size, 32 bits each.
inline constexpr uint32_t kIndexEntryBytes = 16;

// What the file service tells about a whole file.
struct AVIFILEINFO {
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwLength = 0;
    uint32_t dwEditCount = 0;
    char szFileType[64] = {};
};

// What the file service tells about one stream: the stream header and its name.
struct AVISTREAMINFO {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    RECT rcFrame;
    uint32_t dwEditCount = 0;
    uint32_t dwFormatChangeCount = 0;
    char szName[64] = {};
};

}  // namespace movie
