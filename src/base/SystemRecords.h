#pragma once

#include <cstdint>

// The system's records that every layer speaks: rectangles, wave formats and bitmap
// headers, with the system's field names. They are in-memory records: files are read
// and written field by field in little-endian order, never by copying these structs.

struct RECT {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
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
