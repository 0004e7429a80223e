#include <algorithm>

#include "truemotion/BitmapRows.h"
#include "truemotion/BitmapWriters.h"
#include "truemotion/CodeCursor.h"
#include "truemotion/TrueMotionDecoder.h"

// Frames coded at two thirds of the display width: a coded pair image of W/3 words a
// row, decoded like the 15-bit mode, and a display pair image of W/2 words a row in
// which every four coded pixels a, b, c, d become a, mid(a, b), b, c, mid(c, d), d.

namespace truemotion {
namespace {

// Iterations i to i + 3 when the stream's next steps are a run (see FirstEntries): the
// same sums as the steps, without a test between them. False, changing nothing, when
// they are not.
template <bool blockTop>
bool RunOfFour(CodeCursor& cursor, uint32_t& acc, const FirstEntries& runs, int i,
               const uint32_t* above, uint32_t* row) {
    constexpr int steps = blockTop ? 16 : 8;
    if (!cursor.AtGroupStart()) return false;
    const RunGroups group(cursor);
    if (!runs.IsRun<steps>(group)) return false;
    int k = 0;
#pragma GCC unroll 4
    for (int j = i; j < i + 4; ++j) {
        if (blockTop) acc += runs.chroma[group(k++)];
        acc += runs.luma[group(k++)];
        row[2 * j] = above[2 * j] + acc;
        if (blockTop) acc += runs.chroma[group(k++)];
        acc += runs.luma[group(k++)];
        row[2 * j + 1] = above[2 * j + 1] + acc;
    }
    cursor.Advance(steps);
    return true;
}

// One row: two coded words per iteration, which become three display words once the
// row is done. Block-top rows take a chroma step before each coded word, whatever the
// block width. The steps run on a copy of the cursor, which the row's stores cannot
// alias; with `runs`, a row that holds its steps (and so a byte for each) takes four
// iterations at a time as a run where it can.
template <bool blockTop, bool checked>
void StretchRow(CodeCursor& rowCursor, const CodeTable& luma, const CodeTable& chroma,
                const FirstEntries* runs, int iterations, const uint32_t* above, uint32_t* row) {
    CodeCursor cursor = rowCursor;
    uint32_t acc = 0;
    const auto iteration = [&](int i) {
        if (blockTop) cursor.Step<kEscapeScale15, checked>(chroma, chroma, acc);
        cursor.Step<kEscapeScale15, checked>(luma, luma, acc);
        row[2 * i] = above[2 * i] + acc;
        if (blockTop) cursor.Step<kEscapeScale15, checked>(chroma, chroma, acc);
        cursor.Step<kEscapeScale15, checked>(luma, luma, acc);
        row[2 * i + 1] = above[2 * i + 1] + acc;
    };
    int i = 0;
    if (!checked && runs)
        for (; i + 4 <= iterations; i += 4)
            if (!RunOfFour<blockTop>(cursor, acc, *runs, i, above, row))
                for (int j = i; j < i + 4; ++j) iteration(j);
    for (; i < iterations; ++i) iteration(i);
    rowCursor = cursor;
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
    const auto widenRow = FastestRowWidener();
    const FirstEntries first(m_codeTables);
    const FirstEntries* runs = m_bStepsOnly ? nullptr : &first;
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
                StretchRow<true, false>(cursor, luma, chroma, runs, iterations, above, row);
            else
                StretchRow<true, true>(cursor, luma, chroma, nullptr, iterations, above, row);
        } else if (unchecked) {
            StretchRow<false, false>(cursor, luma, chroma, runs, iterations, above, row);
        } else {
            StretchRow<false, true>(cursor, luma, chroma, nullptr, iterations, above, row);
        }
        widenRow(row, static_cast<size_t>(iterations), display);
        // Written while the row is still in the cache.
        if (out.pixels) writeRow(display, static_cast<size_t>(m_nWidth / 4), out.Row(r));
    }
    if (out.pixels) WriteImage15(m_nWidth, height, m_pWorkImage2, out.pixels, r);
}

}  // namespace truemotion
