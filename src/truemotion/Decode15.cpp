#include <algorithm>
#include <bit>

#include "truemotion/BitmapRows.h"
#include "truemotion/BitmapWriters.h"
#include "truemotion/ChangeMask.h"
#include "truemotion/CodeCursor.h"
#include "truemotion/TrueMotionDecoder.h"

// The 15-bit mode: rows of W/2 pair words, each the word above plus the row's
// accumulator. Escapes add five times their entry.

namespace truemotion {
namespace {

// The steps of one row, over the pair words of the rows above and below.
struct Row15 {
    CodeCursor& cursor;
    const CodeTable& luma;
    const CodeTable& chroma;
    const uint32_t* above;
    uint32_t* row;
    uint32_t acc = 0;

    // Which steps a row takes: block-top rows take a chroma step before every word with
    // narrow blocks, before every second one with wide blocks.
    enum class Layout { kInner, kNarrowTop, kWideTop };
    template <Layout layout>
    static constexpr bool ChromaBefore(int i) {
        return layout == Layout::kNarrowTop || (layout == Layout::kWideTop && i % 2 == 0);
    }

    // Words `first` (even) to `last`. The steps run on copies of the cursor and the
    // accumulator: as members they could be aliased by the row's 32-bit stores and would
    // go through memory at every step, three times slower. With `runs`, a row that holds
    // its steps takes eight words at a time as a run where it can.
    template <Layout layout, bool checked = true>
    void Words(int first, int last, const FirstEntries* runs = nullptr) {
        CodeCursor c = cursor;
        uint32_t a = acc;
        const auto word = [&](int i) {
            if (ChromaBefore<layout>(i)) c.Step<kEscapeScale15, checked>(chroma, chroma, a);
            c.Step<kEscapeScale15, checked>(luma, luma, a);
            row[i] = above[i] + a;
        };
        int i = first;
        if (!checked && runs)
            for (; i + 8 <= last; i += 8)
                if (!RunOfEight<layout>(c, a, i, *runs))
                    for (int w = i; w < i + 8; ++w) word(w);
        for (; i < last; ++i) word(i);
        cursor = c;
        acc = a;
    }
    // Words i to i + 7 when the stream's next steps are a run (see FirstEntries): the
    // same sums as the steps, without a test between them. False, changing nothing, when
    // they are not. A run needs a byte a step, which a row that holds its steps has.
    template <Layout layout>
    bool RunOfEight(CodeCursor& c, uint32_t& a, int i, const FirstEntries& runs) const {
        constexpr int steps = layout == Layout::kInner ? 8 : layout == Layout::kWideTop ? 12 : 16;
        if (!c.AtGroupStart()) return false;
        const RunGroups group(c);
        if (!runs.IsRun<steps>(group)) return false;
        int k = 0;
#pragma GCC unroll 8
        for (int w = 0; w < 8; ++w) {
            if (ChromaBefore<layout>(w)) a += runs.chroma[group(k++)];
            a += runs.luma[group(k++)];
            row[i + w] = above[i + w] + a;
        }
        c.Advance(steps);
        return true;
    }
    // The coded blocks of a delta row, mask block k being pair words 2k and 2k + 1. At
    // most four steps a block, which `checked` false leaves without the end test.
    template <bool checked>
    void CodedBlocks(std::span<const uint16_t> coded, const bool* afterKept, bool blockTop,
                     bool narrow) {
        if (!blockTop)
            EachCoded(coded, afterKept,
                      [&](int k) { Words<Layout::kInner, checked>(2 * k, 2 * k + 2); });
        else if (narrow)
            EachCoded(coded, afterKept,
                      [&](int k) { Words<Layout::kNarrowTop, checked>(2 * k, 2 * k + 2); });
        else
            EachCoded(coded, afterKept,
                      [&](int k) { Words<Layout::kWideTop, checked>(2 * k, 2 * k + 2); });
    }
    template <typename Steps>
    void EachCoded(std::span<const uint16_t> coded, const bool* afterKept, Steps&& steps) {
        for (size_t n = 0; n < coded.size(); ++n) {
            AfterBlock(coded[n], afterKept[n]);
            steps(coded[n]);
        }
    }
    // After a kept block k − 1, prediction goes on from its pixels: worked out for every
    // coded block and kept only after a kept one, without a branch.
    void AfterBlock(int k, bool kept) {
        const int j = k > 0 ? 2 * k - 1 : 0;
        const uint32_t a = row[j] - above[j];
        acc = kept ? a : acc;
    }
};

}  // namespace

void TrueMotionDecoder::DecodeKey15(std::span<const uint8_t> indexStream, const PictureOut& out) {
    const int width = m_nWidth, height = m_nHeight, words = width / 2;
    const bool narrow = m_bNarrowBlocks != 0;
    uint32_t* image = m_pWorkImage.get();
    std::fill_n(image, words, kBlackPair);
    const auto writeRow = FastestRow15Writer();
    const FirstEntries first(m_codeTables);
    const FirstEntries* runs = m_bStepsOnly ? nullptr : &first;
    CodeCursor cursor(indexStream);
    int r = 0;
    for (; r < height && !cursor.Exhausted(); ++r) {
        const uint32_t* above = image + static_cast<size_t>(r) * words;
        Row15 row{cursor, Table(kLumaCodes), Table(kChromaCodes), above,
                  image + static_cast<size_t>(r + 1) * words};
        // The row cannot reach the stream's end (two steps a word at most): no test for it.
        const bool unchecked = cursor.Holds(2 * static_cast<size_t>(words));
        using Layout = Row15::Layout;
        if (!IsBlockTopRow(r))
            unchecked ? row.Words<Layout::kInner, false>(0, words, runs)
                      : row.Words<Layout::kInner>(0, words);
        else if (narrow)
            unchecked ? row.Words<Layout::kNarrowTop, false>(0, words, runs)
                      : row.Words<Layout::kNarrowTop>(0, words);
        else
            unchecked ? row.Words<Layout::kWideTop, false>(0, width / 4 * 2, runs)
                      : row.Words<Layout::kWideTop>(0, width / 4 * 2);
        // Written while the row is still in the cache.
        if (out.pixels) writeRow(row.row, static_cast<size_t>(width / 4), out.Row(r));
    }
    if (out.pixels) WriteImage15(width, height, image, out.pixels, r);
}

void TrueMotionDecoder::DecodeDelta15(std::span<const uint8_t> mask,
                                      std::span<const uint8_t> indexStream, const PictureOut& out) {
    const int height = m_nHeight, words = m_nWidth / 2, blocks = m_nWidth / 4;
    const bool narrow = m_bNarrowBlocks != 0;
    uint32_t* image = m_pWorkImage.get();
    std::fill_n(image, words, kBlackPair);
    const auto writeRow = FastestRow15Writer();
    const auto writeGroups = FastestGroups15Writer();
    CodeCursor cursor(indexStream);
    size_t maskPosition = 0;
    ResetCodedBlocks();
    int r = 0;
    for (; r < height && !cursor.Exhausted(); ++r) {
        const bool blockTop = IsBlockTopRow(r);
        if (blockTop && (height - r) % 4 == 0) maskPosition = LoadMaskStripe(mask, maskPosition);
        Row15 row{cursor, Table(kLumaCodes), Table(kChromaCodes),
                  image + static_cast<size_t>(r) * words,
                  image + static_cast<size_t>(r + 1) * words};
        uint8_t* const display = out.pixels ? out.Row(r) : nullptr;
        const std::span<const uint16_t> coded = m_codedBlocks.Blocks();
        const bool* afterKept = m_codedBlocks.AfterKept();
        if (cursor.Holds(4 * coded.size()))
            row.CodedBlocks<false>(coded, afterKept, blockTop, narrow);
        else
            row.CodedBlocks<true>(coded, afterKept, blockTop, narrow);
        // Kept blocks show what they showed; only the coded ones change.
        if (out.changedOnly)
            writeGroups(row.row, coded, display);
        else if (out.pixels)
            writeRow(row.row, static_cast<size_t>(blocks), display);
    }
    // The rows after an early end keep the last frame's pixels, which a bitmap that
    // shows that frame already holds.
    if (out.pixels && !out.changedOnly) WriteImage15(m_nWidth, height, image, out.pixels, r);
}

}  // namespace truemotion
