#include "truemotion/BitmapRows.h"
#include "truemotion/BitmapWriters.h"
#include "truemotion/ChangeMask.h"
#include "truemotion/CodeCursor.h"
#include "truemotion/TrueMotionDecoder.h"

// The 24-bit mode: a luminance image of W/4 words (four pixels a word, the first in
// the top byte) and a chroma image with one row per block-top row, each sample the
// one above plus the chroma accumulator.

namespace truemotion {
namespace {

constexpr uint32_t kEscapeScale24 = 1;

// The steps of one row. `chroma` and `chromaAbove` are null on rows that take no chroma.
struct Row24 {
    CodeCursor& cursor;
    const CodeTables& tables;
    const uint32_t* above;
    uint32_t* row;
    const uint32_t* chromaAbove;
    uint32_t* chroma;

    // What the steps change: the cursor and the two accumulators. The step loops keep it
    // in a local, which the row's 32-bit stores cannot alias, so that it stays in
    // registers; through the reference it went to memory at every step.
    struct State {
        CodeCursor cursor;
        uint32_t ay = 0;
        uint32_t ac = 0;
    };

    template <bool checked>
    void Luma(State& s) const {
        s.cursor.Step<kEscapeScale24, checked>(tables[kLumaCodes], tables[kLumaEscapeCodes], s.ay);
    }
    template <bool checked>
    void ChromaSample(State& s, int k) const {
        s.cursor.Step<kEscapeScale24, checked>(tables[kChromaCodes], tables[kChromaEscapeCodes],
                                               s.ac);
        chroma[k] = chromaAbove[k] + s.ac;
    }
    // The luminance word i: the pair accumulator is added to each 16-bit half of the word
    // above, after the step for that half.
    template <bool blockTop, bool narrow, bool checked>
    void Word(State& s, int i) const {
        const uint32_t u = above[i];
        if (blockTop) ChromaSample<checked>(s, narrow ? 2 * i : i);
        Luma<checked>(s);
        const uint32_t high = ((u >> 16) + s.ay) & 0xFFFF;
        if (blockTop && narrow) ChromaSample<checked>(s, 2 * i + 1);
        Luma<checked>(s);
        const uint32_t low = (u + s.ay) & 0xFFFF;
        row[i] = high << 16 | low;
    }
    // Words i to i + 3 when the stream's next steps are a run (see FirstEntries): the
    // same sums as Word, without a test between the steps. The run is checked at its end,
    // from the flags its luminance sum carries; when it was none, the state goes back and
    // false is returned, and the words are stepped again over what it wrote.
    template <bool blockTop, bool narrow>
    bool RunOfFour(State& s, int i, const FirstEntries& first) const {
        constexpr int perWord = blockTop ? (narrow ? 4 : 3) : 2;
        constexpr int steps = 4 * perWord;
        if (!s.cursor.AtGroupStart()) return false;
        const RunGroups group(s.cursor);
        const uint32_t ayBefore = s.ay, acBefore = s.ac;
        uint32_t chromaFlags = 0;
        const auto chromaStep = [&](int k, int c) {
            const uint32_t g = group(k);
            chromaFlags |= first.flags[g];
            s.ac += first.chroma[g];
            chroma[c] = chromaAbove[c] + s.ac;
        };
#pragma GCC unroll 4
        for (int w = 0; w < 4; ++w) {
            const int word = i + w;
            int k = w * perWord;
            const uint32_t u = above[word];
            if (blockTop) chromaStep(k++, narrow ? 2 * word : word);
            s.ay += first.lumaFlagged[group(k++)];
            const uint32_t high = ((u >> 16) + s.ay) & 0xFFFF;
            if (blockTop && narrow) chromaStep(k++, 2 * word + 1);
            s.ay += first.lumaFlagged[group(k++)];
            const uint32_t low = (u + s.ay) & 0xFFFF;
            row[word] = high << 16 | low;
        }
        // Each step's group was flagged through its entry; the last byte read is no
        // step's group, and may be an escape.
        const uint32_t flags = ((s.ay - ayBefore) >> FirstEntries::kFlagShift) | chromaFlags |
                               (group.bytes[steps - 1] == 0 ? 1u : 0u);
        if (flags != 0) {
            s.ay = ayBefore;
            s.ac = acBefore;
            return false;
        }
        s.cursor.Advance(steps);
        return true;
    }
    // Rows that hold their steps try runs four words at a time: a run needs a byte a
    // step, which such a row has (it holds three a step).
    template <bool blockTop, bool narrow, bool checked>
    void Words(int words, const FirstEntries* runs) const {
        State s{cursor};
        int i = 0;
        if (!checked && runs)
            for (; i + 4 <= words; i += 4)
                if (!RunOfFour<blockTop, narrow>(s, i, *runs))
                    for (int w = i; w < i + 4; ++w) Word<blockTop, narrow, checked>(s, w);
        for (; i < words; ++i) Word<blockTop, narrow, checked>(s, i);
        cursor = s.cursor;
    }
    // A whole row, without testing for the stream's end when it cannot come in the row
    // (at most four steps a word).
    template <bool blockTop, bool narrow>
    void WholeRow(int words, const FirstEntries* runs) const {
        if (cursor.Holds(4 * static_cast<size_t>(words)))
            Words<blockTop, narrow, false>(words, runs);
        else
            Words<blockTop, narrow, true>(words, runs);
    }
    // The coded blocks of a delta row, one mask block being one luminance word. At most
    // four steps a block, which `checked` false leaves without the end test.
    template <bool checked>
    void CodedBlocks(std::span<const uint16_t> coded, const bool* afterKept, bool narrow) const {
        if (!chroma)
            EachCoded<false, false, checked>(coded, afterKept);
        else if (narrow)
            EachCoded<true, true, checked>(coded, afterKept);
        else
            EachCoded<true, false, checked>(coded, afterKept);
    }
    template <bool blockTop, bool narrow, bool checked>
    void EachCoded(std::span<const uint16_t> coded, const bool* afterKept) const {
        State s{cursor};
        for (size_t n = 0; n < coded.size(); ++n) {
            AfterBlock<blockTop, narrow>(s, coded[n], afterKept[n]);
            Word<blockTop, narrow, checked>(s, coded[n]);
        }
        cursor = s.cursor;
    }
    // After a kept block i − 1, prediction goes on from its pixels and its last chroma
    // sample. Worked out for every coded block and kept only after a kept one: a choice
    // without a branch, which a scattered mask would mispredict.
    template <bool blockTop, bool narrow>
    void AfterBlock(State& s, int i, bool kept) const {
        const int j = i > 0 ? i - 1 : 0;
        const uint32_t y = row[j] - above[j];
        s.ay = kept ? y : s.ay;
        if (blockTop) {
            const int k = narrow ? 2 * j + 1 : j;
            const uint32_t c = chroma[k] - chromaAbove[k];
            s.ac = kept ? c : s.ac;
        }
    }
};

// The layout of the two images of the 24-bit mode.
struct Images24 {
    uint32_t* luma;
    uint32_t* chroma;
    size_t words;
    size_t chromaLength;

    // Row r's luminance row and the one above, and on block-top rows the next chroma row
    // and the one above it.
    Row24 RowAt(CodeCursor& cursor, const CodeTables& tables, int r, bool blockTop,
                int& chromaRow) const {
        uint32_t* current = luma + static_cast<size_t>(r + 1) * words;
        uint32_t* chromaCurrent =
            blockTop ? chroma + static_cast<size_t>(++chromaRow) * chromaLength : nullptr;
        return Row24{cursor,
                     tables,
                     current - words,
                     current,
                     blockTop ? chromaCurrent - chromaLength : nullptr,
                     chromaCurrent};
    }
};

}  // namespace

void TrueMotionDecoder::DecodeKey24(std::span<const uint8_t> indexStream, const PictureOut& out) {
    const int height = m_nHeight, words = m_nWidth / 4;
    const bool narrow = m_bNarrowBlocks != 0;
    const size_t chromaLength = static_cast<size_t>(ChromaRowLength());
    const Images24 images{m_pWorkImage.get(), m_pWorkImage2, static_cast<size_t>(words),
                          chromaLength};
    const auto writeRow = FastestRow24Writer();
    const FirstEntries first(m_codeTables);
    const FirstEntries* runs = m_bStepsOnly ? nullptr : &first;
    CodeCursor cursor(indexStream);
    int chromaRow = 0;
    int r = 0;
    for (; r < height && !cursor.Exhausted(); ++r) {
        const bool blockTop = IsBlockTopRow(r);
        Row24 row = images.RowAt(cursor, m_codeTables, r, blockTop, chromaRow);
        if (!blockTop)
            row.WholeRow<false, false>(words, runs);
        else if (narrow)
            row.WholeRow<true, true>(words, runs);
        else
            row.WholeRow<true, false>(words, runs);
        // Written while the row is still in the cache.
        if (out.pixels)
            writeRow(row.row, m_pWorkImage2 + static_cast<size_t>(chromaRow) * chromaLength, narrow,
                     static_cast<size_t>(words), m_grayTable.data(), out.Row(r));
    }
    if (out.pixels)
        WriteImage24(m_nWidth, height, m_nBlockMask, narrow, m_pWorkImage.get(), m_pWorkImage2,
                     m_grayTable, out.pixels, r);
}

void TrueMotionDecoder::DecodeDelta24(std::span<const uint8_t> mask,
                                      std::span<const uint8_t> indexStream, const PictureOut& out) {
    const int height = m_nHeight, words = m_nWidth / 4;
    const bool narrow = m_bNarrowBlocks != 0;
    const size_t chromaLength = static_cast<size_t>(ChromaRowLength());
    const Images24 images{m_pWorkImage.get(), m_pWorkImage2, static_cast<size_t>(words),
                          chromaLength};
    const auto writeRow = FastestRow24Writer();
    const auto writeGroups = FastestGroups24Writer();
    CodeCursor cursor(indexStream);
    size_t maskPosition = 0;
    ResetCodedBlocks();
    int chromaRow = 0;
    int r = 0;
    for (; r < height && !cursor.Exhausted(); ++r) {
        const bool blockTop = IsBlockTopRow(r);
        if (blockTop && (height - r) % 4 == 0) maskPosition = LoadMaskStripe(mask, maskPosition);
        Row24 row = images.RowAt(cursor, m_codeTables, r, blockTop, chromaRow);
        const uint32_t* shownChroma = m_pWorkImage2 + static_cast<size_t>(chromaRow) * chromaLength;
        uint8_t* const display = out.pixels ? out.Row(r) : nullptr;
        const std::span<const uint16_t> coded = m_codedBlocks.Blocks();
        const bool* afterKept = m_codedBlocks.AfterKept();
        if (cursor.Holds(4 * coded.size()))
            row.CodedBlocks<false>(coded, afterKept, narrow);
        else
            row.CodedBlocks<true>(coded, afterKept, narrow);
        // Kept blocks show what they showed; only the coded ones change.
        if (out.changedOnly)
            writeGroups(row.row, shownChroma, narrow, coded, m_grayTable.data(), display);
        else if (out.pixels)
            writeRow(row.row, shownChroma, narrow, static_cast<size_t>(words), m_grayTable.data(),
                     display);
    }
    // After an early end the rest of the block row shows its new chroma samples under
    // kept luminance; the rows below keep the last frame's pixels, which a bitmap that
    // shows that frame already holds.
    if (out.changedOnly) {
        const uint32_t* shownChroma = m_pWorkImage2 + static_cast<size_t>(chromaRow) * chromaLength;
        for (; r < height && !IsBlockTopRow(r); ++r) {
            const uint32_t* luma = m_pWorkImage.get() + static_cast<size_t>(r + 1) * words;
            writeGroups(luma, shownChroma, narrow, m_codedBlocks.Blocks(), m_grayTable.data(),
                        out.Row(r));
        }
    }
    if (out.pixels && !out.changedOnly)
        WriteImage24(m_nWidth, height, m_nBlockMask, narrow, m_pWorkImage.get(), m_pWorkImage2,
                     m_grayTable, out.pixels, r);
}

}  // namespace truemotion
