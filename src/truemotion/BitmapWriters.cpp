#include "truemotion/BitmapWriters.h"

#include <cstddef>

namespace truemotion {
namespace {

inline void PutPixel15(uint8_t* out, uint32_t d) {
    out[0] = static_cast<uint8_t>((d >> 7) & 0xF8);
    out[1] = static_cast<uint8_t>((d >> 2) & 0xF8);
    out[2] = static_cast<uint8_t>((d << 3) & 0xF8);
}

inline void PutPixel24(uint8_t* out, uint32_t e) {
    out[0] = static_cast<uint8_t>(e >> 16);
    out[1] = static_cast<uint8_t>(e >> 8);
    out[2] = static_cast<uint8_t>(e);
}

}  // namespace

void WriteImage15(int width, int height, const uint32_t* pairImage, uint8_t* pixels) {
    const size_t words = static_cast<size_t>(width / 2);
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    for (int r = 0; r < height; ++r) {
        const uint32_t* in = pairImage + (static_cast<size_t>(r) + 1) * words;
        uint8_t* out = pixels + static_cast<size_t>(height - 1 - r) * rowBytes;
        for (int g = 0; g < width / 4; ++g, out += 12) {
            const uint32_t d0 = in[2 * g], d1 = in[2 * g + 1];
            PutPixel15(out, d0);
            PutPixel15(out + 3, d0 >> 16);
            PutPixel15(out + 6, d1);
            PutPixel15(out + 9, d1 >> 16);
        }
    }
}

void WriteImage24(int width, int height, int blockMask, bool narrowBlocks, const uint32_t* lumaImage,
                  const uint32_t* chromaImage, const std::array<uint32_t, 256>& grayTable, uint8_t* pixels) {
    const size_t words = static_cast<size_t>(width / 4);
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    const size_t chromaLength = static_cast<size_t>(narrowBlocks ? width / 2 : width / 4);
    const uint32_t* chromaRow = chromaImage;
    for (int r = 0; r < height; ++r) {
        if ((r & blockMask) == 0) chromaRow += chromaLength;
        const uint32_t* luma = lumaImage + (static_cast<size_t>(r) + 1) * words;
        uint8_t* out = pixels + static_cast<size_t>(height - 1 - r) * rowBytes;
        const uint32_t* sample = chromaRow;
        for (size_t i = 0; i < words; ++i, out += 12) {
            const uint32_t y = luma[i];
            const uint32_t s0 = *sample++;
            const uint32_t s1 = narrowBlocks ? *sample++ : s0;
            PutPixel24(out, grayTable[y >> 24] + s0);
            PutPixel24(out + 3, grayTable[(y >> 16) & 0xFF] + s0);
            PutPixel24(out + 6, grayTable[(y >> 8) & 0xFF] + s1);
            PutPixel24(out + 9, grayTable[y & 0xFF] + s1);
        }
    }
}

}  // namespace truemotion
