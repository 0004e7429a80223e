#pragma once

#include <array>
#include <cstdint>

// The writers of the display bitmap (blue, green, red, rows of 3 × W bytes, bottom row
// first), shared by the decoder and by our encoder's reconstruction. Only whole groups
// of four pixels are written.

namespace truemotion {

// From a 15-bit pair image of W/2 words a row whose row 0 is the row above the picture.
// Rows `firstRow` to the last only, when given.
void WriteImage15(int width, int height, const uint32_t* pairImage, uint8_t* pixels,
                  int firstRow = 0);

// From the 24-bit luminance image (W/4 words a row, row 0 above the picture) and the
// chroma image (row 0, then one row per block row: W/2 samples with narrow blocks,
// W/4 otherwise). Picture row r shows chroma row r / (blockMask + 1) + 1.
void WriteImage24(int width, int height, int blockMask, bool narrowBlocks,
                  const uint32_t* lumaImage, const uint32_t* chromaImage,
                  const std::array<uint32_t, 256>& grayTable, uint8_t* pixels, int firstRow = 0);

}  // namespace truemotion
