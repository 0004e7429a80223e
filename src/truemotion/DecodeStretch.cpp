#include <algorithm>

#include "truemotion/BitmapRows.h"
#include "truemotion/BitmapWriters.h"
#include "truemotion/CodeCursor.h"
#include "truemotion/StretchMid.h"
#include "truemotion/TrueMotionDecoder.h"

// Frames coded at two thirds of the display width: a coded pair image of W/3 words a
// row, decoded like the 15-bit mode, and a display pair image of W/2 words a row in
// which every four coded pixels a, b, c, d become a, mid(a, b), b, c, mid(c, d), d.

namespace truemotion {
namespace {

// One row: two coded words and three display words per iteration. Block-top rows take
// a chroma step before each coded word, whatever the block width.
template <bool blockTop, bool checked>
void StretchRow(CodeCursor& cursor, const CodeTable& luma, const CodeTable& chroma, int iterations,
                const uint32_t* above, uint32_t* row, uint32_t* display) {
    uint32_t acc = 0;
    for (int i = 0; i < iterations; ++i) {
        if (blockTop) cursor.Step<kEscapeScale15, checked>(chroma, chroma, acc);
        cursor.Step<kEscapeScale15, checked>(luma, luma, acc);
        const uint32_t p = above[2 * i] + acc;
        row[2 * i] = p;
        if (blockTop) cursor.Step<kEscapeScale15, checked>(chroma, chroma, acc);
        cursor.Step<kEscapeScale15, checked>(luma, luma, acc);
        const uint32_t q = above[2 * i + 1] + acc;
        row[2 * i + 1] = q;

        const uint32_t a = p & 0xFFFF, b = p >> 16, c = q & 0xFFFF, d = q >> 16;
        display[3 * i] = a | mid(a, b) << 16;
        display[3 * i + 1] = b | c << 16;
        display[3 * i + 2] = mid(c, d) | d << 16;
    }
}

}  // namespace

void TrueMotionDecoder::DecodeStretch(std::span<const uint8_t> indexStream, const PictureOut& out) {
    const int height = m_nHeight, codedWords = m_nWidth / 3, displayWords = m_nWidth / 2;
    const int iterations = m_nWidth / 6;
    uint32_t* coded = m_pWorkImage.get();
    std::fill_n(coded, codedWords, kBlackPair);
    const CodeTable& luma = Table(kLumaCodes);
    const CodeTable& chroma = Table(kChromaCodes);
    const auto writeRow = FastestRow15Writer();
    CodeCursor cursor(indexStream);
    int r = 0;
    for (; r < height && !cursor.Exhausted(); ++r) {
        const uint32_t* above = coded + static_cast<size_t>(r) * codedWords;
        uint32_t* row = coded + static_cast<size_t>(r + 1) * codedWords;
        uint32_t* display = m_pWorkImage2 + static_cast<size_t>(r + 1) * displayWords;
        // The row cannot reach the stream's end (four steps an iteration at most): no
        // test for it.
        const bool unchecked = cursor.Holds(4 * static_cast<size_t>(iterations));
        if (IsBlockTopRow(r)) {
            if (unchecked)
                StretchRow<true, false>(cursor, luma, chroma, iterations, above, row, display);
            else
                StretchRow<true, true>(cursor, luma, chroma, iterations, above, row, display);
        } else if (unchecked) {
            StretchRow<false, false>(cursor, luma, chroma, iterations, above, row, display);
        } else {
            StretchRow<false, true>(cursor, luma, chroma, iterations, above, row, display);
        }
        // Written while the row is still in the cache.
        if (out.pixels) writeRow(display, static_cast<size_t>(m_nWidth / 4), out.Row(r));
    }
    if (out.pixels) WriteImage15(m_nWidth, height, m_pWorkImage2, out.pixels, r);
}

}  // namespace truemotion
