#include <algorithm>

#include "truemotion/IndexStream.h"
#include "truemotion/TrueMotionDecoder.h"

// The 24-bit mode: a luminance image of W/4 words (four pixels a word, the first in
// the top byte) and a chroma image with one row per block-top row, each sample the
// one above plus the chroma accumulator.

namespace truemotion {
namespace {

constexpr uint32_t kEscapeScale24 = 1;

struct Row24 {
    CodeCursor& cursor;
    const CodeTables& tables;
    const uint32_t* above;
    uint32_t* row;
    const uint32_t* chromaAbove;  // null on rows that take no chroma
    uint32_t* chroma;
    uint32_t ay = 0;
    uint32_t ac = 0;

    void Luma() { cursor.Step(tables[kLumaCodes], tables[kLumaEscapeCodes], kEscapeScale24, ay); }
    void ChromaSample(int s) {
        cursor.Step(tables[kChromaCodes], tables[kChromaEscapeCodes], kEscapeScale24, ac);
        chroma[s] = chromaAbove[s] + ac;
    }

    // One mask block: luminance word i, and its one or two chroma samples on block-top rows.
    void CodedBlock(int i, bool narrow) {
        const uint32_t u = above[i];
        const bool blockTop = chroma != nullptr;
        if (blockTop) ChromaSample(narrow ? 2 * i : i);
        Luma();
        const uint32_t high = ((u >> 16) + ay) & 0xFFFF;
        if (blockTop && narrow) ChromaSample(2 * i + 1);
        Luma();
        const uint32_t low = (u + ay) & 0xFFFF;
        row[i] = high << 16 | low;
    }

    void KeptBlock(int i, bool narrow) {
        ay = row[i] - above[i];
        if (chroma) {
            const int s = narrow ? 2 * i + 1 : i;
            ac = chroma[s] - chromaAbove[s];
        }
    }
};

}  // namespace

void TrueMotionDecoder::DecodeKey24(IndexStream& in) {
    const int words = m_nWidth / 4;
    const int chromaLength = ChromaRowLength();
    CodeCursor cursor(in);
    int chromaRow = 0;
    for (int r = 0; r < m_nHeight && !in.exhausted(); ++r) {
        const bool blockTop = IsBlockTopRow(r);
        if (blockTop) ++chromaRow;
        Row24 row{cursor,
                  m_codeTables,
                  m_pWorkImage.get() + static_cast<size_t>(r) * words,
                  m_pWorkImage.get() + static_cast<size_t>(r + 1) * words,
                  blockTop ? m_pWorkImage2 + static_cast<size_t>(chromaRow - 1) * chromaLength : nullptr,
                  blockTop ? m_pWorkImage2 + static_cast<size_t>(chromaRow) * chromaLength : nullptr};
        for (int i = 0; i < words; ++i) row.CodedBlock(i, m_bNarrowBlocks != 0);
    }
}

void TrueMotionDecoder::DecodeDelta24(std::span<const uint8_t> mask, IndexStream& in) {
    const int words = m_nWidth / 4;
    const int chromaLength = ChromaRowLength();
    CodeCursor cursor(in);
    size_t maskPosition = 0;
    ResetMaskWords();
    int chromaRow = 0;
    for (int r = 0; r < m_nHeight && !in.exhausted(); ++r) {
        const bool blockTop = IsBlockTopRow(r);
        if (blockTop) ++chromaRow;
        if (blockTop && (m_nHeight - r) % 4 == 0) maskPosition = LoadMaskStripe(mask, maskPosition);
        Row24 row{cursor,
                  m_codeTables,
                  m_pWorkImage.get() + static_cast<size_t>(r) * words,
                  m_pWorkImage.get() + static_cast<size_t>(r + 1) * words,
                  blockTop ? m_pWorkImage2 + static_cast<size_t>(chromaRow - 1) * chromaLength : nullptr,
                  blockTop ? m_pWorkImage2 + static_cast<size_t>(chromaRow) * chromaLength : nullptr};
        for (int first = 0, word = 0; first < words; first += 32, ++word) {
            uint32_t bits = m_maskWords[static_cast<size_t>(word)];
            const int last = std::min(words, first + 32);
            for (int i = first; i < last; ++i, bits >>= 1) {
                if (bits & 1)
                    row.KeptBlock(i, m_bNarrowBlocks != 0);
                else
                    row.CodedBlock(i, m_bNarrowBlocks != 0);
            }
        }
    }
}

}  // namespace truemotion
