#include <algorithm>

#include "truemotion/IndexStream.h"
#include "truemotion/TrueMotionDecoder.h"

// The 15-bit mode: rows of W/2 pair words, each the word above plus the row's
// accumulator. Escapes add five times their entry.

namespace truemotion {
namespace {

constexpr uint32_t kBlackPair = 0x80008000u;
constexpr uint32_t kEscapeScale15 = 5;

struct Row15 {
    CodeCursor& cursor;
    const CodeTable& luma;
    const CodeTable& chroma;
    const uint32_t* above;
    uint32_t* row;
    uint32_t acc = 0;

    void Luma() { cursor.Step(luma, luma, kEscapeScale15, acc); }
    void Chroma() { cursor.Step(chroma, chroma, kEscapeScale15, acc); }
    void Word(int i) { row[i] = above[i] + acc; }

    // One mask block: pair words 2k and 2k + 1.
    void CodedBlock(int k, bool blockTop, bool narrow) {
        if (blockTop) Chroma();
        Luma();
        Word(2 * k);
        if (blockTop && narrow) Chroma();
        Luma();
        Word(2 * k + 1);
    }
};

}  // namespace

void TrueMotionDecoder::DecodeKey15(IndexStream& in) {
    const int words = m_nWidth / 2;
    std::fill_n(m_pWorkImage.get(), words, kBlackPair);
    CodeCursor cursor(in);
    for (int r = 0; r < m_nHeight && !in.exhausted(); ++r) {
        Row15 row{cursor, Table(kLumaCodes), Table(kChromaCodes), m_pWorkImage.get() + static_cast<size_t>(r) * words,
                  m_pWorkImage.get() + static_cast<size_t>(r + 1) * words};
        if (!IsBlockTopRow(r)) {
            for (int i = 0; i < words; ++i) {
                row.Luma();
                row.Word(i);
            }
        } else if (m_bNarrowBlocks) {
            for (int i = 0; i < words; ++i) {
                row.Chroma();
                row.Luma();
                row.Word(i);
            }
        } else {
            for (int k = 0; k < m_nWidth / 4; ++k) row.CodedBlock(k, true, false);
        }
    }
}

void TrueMotionDecoder::DecodeDelta15(std::span<const uint8_t> mask, IndexStream& in) {
    const int words = m_nWidth / 2;
    const int blocks = m_nWidth / 4;
    std::fill_n(m_pWorkImage.get(), words, kBlackPair);
    CodeCursor cursor(in);
    size_t maskPosition = 0;
    ResetMaskWords();
    for (int r = 0; r < m_nHeight && !in.exhausted(); ++r) {
        const int n = m_nHeight - r;
        const bool blockTop = IsBlockTopRow(r);
        if (blockTop && n % 4 == 0) maskPosition = LoadMaskStripe(mask, maskPosition);
        Row15 row{cursor, Table(kLumaCodes), Table(kChromaCodes), m_pWorkImage.get() + static_cast<size_t>(r) * words,
                  m_pWorkImage.get() + static_cast<size_t>(r + 1) * words};
        for (int first = 0, word = 0; first < blocks; first += 32, ++word) {
            uint32_t bits = m_maskWords[static_cast<size_t>(word)];
            const int last = std::min(blocks, first + 32);
            for (int k = first; k < last; ++k, bits >>= 1) {
                if (bits & 1) {
                    row.acc = row.row[2 * k + 1] - row.above[2 * k + 1];
                } else {
                    row.CodedBlock(k, blockTop, m_bNarrowBlocks != 0);
                }
            }
        }
    }
}

}  // namespace truemotion
