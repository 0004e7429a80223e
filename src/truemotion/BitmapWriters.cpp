#include "truemotion/BitmapWriters.h"

#include <cstddef>

#include "truemotion/BitmapRows.h"

namespace truemotion {

void WriteImage15(int width, int height, const uint32_t* pairImage, uint8_t* pixels) {
    static const auto writeRow = HasSsse3Rows() ? WriteRow15Ssse3 : WriteRow15Plain;
    const size_t words = static_cast<size_t>(width / 2);
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    for (int r = 0; r < height; ++r)
        writeRow(pairImage + (static_cast<size_t>(r) + 1) * words, static_cast<size_t>(width / 4),
                 pixels + static_cast<size_t>(height - 1 - r) * rowBytes);
}

void WriteImage24(int width, int height, int blockMask, bool narrowBlocks,
                  const uint32_t* lumaImage, const uint32_t* chromaImage,
                  const std::array<uint32_t, 256>& grayTable, uint8_t* pixels) {
    static const auto writeRow = HasSsse3Rows() ? WriteRow24Ssse3 : WriteRow24Plain;
    const size_t words = static_cast<size_t>(width / 4);
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    const size_t chromaLength = static_cast<size_t>(narrowBlocks ? width / 2 : width / 4);
    const uint32_t* chromaRow = chromaImage;
    for (int r = 0; r < height; ++r) {
        if ((r & blockMask) == 0) chromaRow += chromaLength;
        writeRow(lumaImage + (static_cast<size_t>(r) + 1) * words, chromaRow, narrowBlocks, words,
                 grayTable.data(), pixels + static_cast<size_t>(height - 1 - r) * rowBytes);
    }
}

}  // namespace truemotion
