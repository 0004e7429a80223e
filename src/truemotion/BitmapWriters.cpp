#include "truemotion/BitmapWriters.h"

#include <cstddef>

#include "truemotion/BitmapRows.h"

namespace truemotion {

void WriteImage15(int width, int height, const uint32_t* pairImage, uint8_t* pixels, int firstRow) {
    const auto writeRow = FastestRow15Writer();
    const size_t words = static_cast<size_t>(width / 2);
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    for (int r = firstRow; r < height; ++r)
        writeRow(pairImage + (static_cast<size_t>(r) + 1) * words, static_cast<size_t>(width / 4),
                 pixels + static_cast<size_t>(height - 1 - r) * rowBytes);
}

void WriteImage24(int width, int height, int blockMask, bool narrowBlocks,
                  const uint32_t* lumaImage, const uint32_t* chromaImage,
                  const std::array<uint32_t, 256>& grayTable, uint8_t* pixels, int firstRow) {
    const auto writeRow = FastestRow24Writer();
    const size_t words = static_cast<size_t>(width / 4);
    const size_t rowBytes = 3 * static_cast<size_t>(width);
    const size_t chromaLength = static_cast<size_t>(narrowBlocks ? width / 2 : width / 4);
    for (int r = firstRow; r < height; ++r) {
        const size_t chromaRow = static_cast<size_t>(r / (blockMask + 1)) + 1;
        writeRow(lumaImage + (static_cast<size_t>(r) + 1) * words,
                 chromaImage + chromaRow * chromaLength, narrowBlocks, words, grayTable.data(),
                 pixels + static_cast<size_t>(height - 1 - r) * rowBytes);
    }
}

}  // namespace truemotion
