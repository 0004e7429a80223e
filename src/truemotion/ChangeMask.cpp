#include <algorithm>

#include "truemotion/TrueMotionDecoder.h"

namespace truemotion {

// Rows above the first stripe (a height that is not a multiple of 4) have no mask
// bits of their own: they keep what the previous frame left, rather than follow the
// previous frame's last stripe.
void TrueMotionDecoder::ResetCodedBlocks() {
    m_codedBlocks.Clear();
}

// A stripe is the row's W/4 mask blocks in chunks of up to 32, each chunk read as a
// 4-byte word (bytes past the frame's end read as 0) and followed by the bytes it
// covers.
size_t TrueMotionDecoder::LoadMaskStripe(std::span<const uint8_t> mask, size_t position) {
    const int blocks = m_nWidth >> 2;
    MaskWords maskWords{};
    for (int first = 0, word = 0; first < blocks; first += 32, ++word) {
        uint32_t bits = 0;
        for (size_t k = 0; k < 4 && position + k < mask.size(); ++k)
            bits |= uint32_t{mask[position + k]} << (8 * k);
        maskWords[static_cast<size_t>(word)] = bits;
        position += static_cast<size_t>((std::min(32, blocks - first) + 7) >> 3);
    }
    m_codedBlocks.List(maskWords, blocks);
    return position;
}

}  // namespace truemotion
