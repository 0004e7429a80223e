#pragma once

#include <cstdint>

// The records of AVI files and wave formats, with the field names of the system's
// file service. They are in-memory records: files are read and written field by
// field in little-endian order, never by copying these structs.

namespace movie {

constexpr uint32_t MakeFourCC(const char (&code)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24);
}

inline constexpr uint32_t streamtypeVIDEO = MakeFourCC("vids");
inline constexpr uint32_t streamtypeAUDIO = MakeFourCC("auds");

inline constexpr uint32_t AVIIF_KEYFRAME = 0x10;

struct RECT {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

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

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// A wave format; 18 bytes when stored.
struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
inline constexpr uint32_t kWaveFormatExBytes = 18;

inline constexpr uint32_t BI_RGB = 0;

// A bitmap information header; 40 bytes when stored.
struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = BI_RGB;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
inline constexpr uint32_t kBitmapInfoHeaderBytes = 40;

}  // namespace movie
