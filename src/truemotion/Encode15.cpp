#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "truemotion/BitmapWriters.h"
#include "truemotion/EncoderState.h"
#include "truemotion/StretchMid.h"

// The 15-bit and two-thirds-width modes: pair words of two 5-5-5 pixels, each the word
// above plus one accumulator that sums the luminance and chroma steps of the row.
// Luminance moves the three fields of a pixel alike, so only the chroma steps of
// block-top rows change a pixel's red and blue against its green: they set the colour
// that the rows of the block below inherit.

namespace truemotion {
namespace {

constexpr int kFieldMax = 31;
enum Field { kRed = 0, kGreen = 1, kBlue = 2 };
// The fields a chroma step's high and low nibbles move.
constexpr Field kChromaFields[2] = {kRed, kBlue};
constexpr int kFieldShift[3] = {0, 5, 10};
// Display channel (blue, green, red order) of each field.
constexpr int kFieldChannel[3] = {2, 1, 0};
// A field shows as 8 × its value, so an error of one field step is 8² in 8-bit units.
constexpr double kFieldWeight = 64.0;
// Chroma deltas never break a pixel by themselves (the luminance step after them
// decides), so a chroma lane's range only keeps its sums sane.
constexpr int kChromaReach = 1000;

int FieldOf(uint32_t word, int pixel, int field) {
    return (word >> (16 * pixel + kFieldShift[field])) & 31;
}

// The pixels of a row: the widest picture's.
constexpr int kMaxRowPixels = 2048;

// The lowest and highest field and the field sum of each pixel of words 0..words − 1.
void RowFields(const uint32_t* words, int count, int16_t* lowest, int16_t* highest, int16_t* sum) {
    int w = 0;
#if defined(__SSE2__)
    // Four words, eight pixels, a pass: a pixel is a 16-bit lane.
    const __m128i field = _mm_set1_epi16(31);
    for (; w + 4 <= count; w += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + w));
        const __m128i r = _mm_and_si128(v, field), g = _mm_and_si128(_mm_srli_epi16(v, 5), field),
                      b = _mm_and_si128(_mm_srli_epi16(v, 10), field);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lowest + 2 * w),
                         _mm_min_epi16(_mm_min_epi16(r, g), b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(highest + 2 * w),
                         _mm_max_epi16(_mm_max_epi16(r, g), b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sum + 2 * w),
                         _mm_add_epi16(_mm_add_epi16(r, g), b));
    }
#endif
    for (; w < count; ++w)
        for (int pixel = 0; pixel < 2; ++pixel) {
            const int r = FieldOf(words[w], pixel, 0), g = FieldOf(words[w], pixel, 1),
                      b = FieldOf(words[w], pixel, 2);
            const size_t i = 2 * static_cast<size_t>(w) + static_cast<size_t>(pixel);
            lowest[i] = static_cast<int16_t>(std::min(std::min(r, g), b));
            highest[i] = static_cast<int16_t>(std::max(std::max(r, g), b));
            sum[i] = static_cast<int16_t>(r + g + b);
        }
}

// Where the pixels of pair words show. In the 15-bit mode pixel p of word w is display
// column 2w + p.
struct PairLayout {
    // The value of a channel that pixel p of word w should take.
    static double Wanted(const uint8_t* row, int w, int p, int channel) {
        return row[3 * (2 * w + p) + channel];
    }
    // kWantedScale × the sum of Wanted over the channels, a whole number, for both
    // pixels of word w.
    static constexpr int kWantedScale = 1;
    static std::pair<int, int> ScaledWantedSums(const uint8_t* row, int w) {
        const uint8_t* s = row + 3 * (2 * w);
        return {s[0] + s[1] + s[2], s[3] + s[4] + s[5]};
    }
    // The display columns whose colour pixel p of word w carries.
    static std::pair<int, int> Columns(int w, int p) { return {2 * w + p, 2 * w + p}; }
    static constexpr int kColumns = 1;
    // The display columns of a word, from its pixel 0's first column.
    static constexpr int kWordColumns = 2;
};

// In the two-thirds-width mode word w shows as three display columns from 3w: its
// left pixel, their mid pixel, its right pixel. Choosing both pixels to fit all three,
// each takes its own column's value less a sixth of the second difference across them.
struct StretchLayout {
    static double Wanted(const uint8_t* row, int w, int p, int channel) {
        const uint8_t* s = row + 3 * (3 * w) + channel;
        return s[p == 0 ? 0 : 6] - (s[0] - 2 * s[3] + s[6]) / 6.0;
    }
    static constexpr int kWantedScale = 6;
    // The scaled sums of both pixels: linear in the channels, so the columns' channel
    // sums make them, and the pixels share the second difference.
    static std::pair<int, int> ScaledWantedSums(const uint8_t* row, int w) {
        const uint8_t* s = row + 3 * (3 * w);
        const int left = s[0] + s[1] + s[2], mid = s[3] + s[4] + s[5], right = s[6] + s[7] + s[8];
        const int second = left - 2 * mid + right;
        return {6 * left - second, 6 * right - second};
    }
    static std::pair<int, int> Columns(int w, int p) { return {3 * w + p, 3 * w + p + 1}; }
    static constexpr int kColumns = 2;
    static constexpr int kWordColumns = 3;
};

// One row of pair words being coded: the accumulator as the decoder sums it, and the
// same sum field by field, for choosing the steps.
template <typename Layout>
class PairRowCoder {
public:
    // The lowest and highest field of a pixel, and their sum, as Base gives them.
    struct Fields {
        int lowest = 0, highest = 0, sum = 0;
        void Move(int delta) {
            lowest += delta;
            highest += delta;
            sum += 3 * delta;
        }
    };

    PairRowCoder(const EncoderState& state, std::span<const uint8_t> bgr, int row,
                 const uint32_t* above, uint32_t* words, StepWriter& out)
        : m_state(state),
          m_bgr(bgr),
          m_row(row),
          m_source(state.SourceRow(bgr, row)),
          m_above(above),
          m_words(words),
          m_out(out),
          m_quick(state.quickSteps) {}

    // The luminance step of word w; `next` is the word coded after it in the row, or
    // −1, so that the step leaves that word a valid luminance step of its own.
    [[gnu::always_inline]] void LumaStep(int w, int next) {
        if (m_quick)
            if (const auto exact = ExactLumaStep(w, next)) return TakeLumaStep(*exact);
        LongLumaStep(w, next);
    }

    // LumaStep in doubles, for the few steps whole numbers leave; out of line so that
    // its lanes take no room in the quick step's frame.
    [[gnu::noinline]] void LongLumaStep(int w, int next) {
        const auto& codes = m_state.codes;
        LaneTarget lanes[2];
        for (int pixel = 0; pixel < 2; ++pixel) {
            double sum = 0;
            for (int f = 0; f < 3; ++f)
                sum +=
                    Layout::Wanted(m_source, w, pixel, kFieldChannel[f]) / 8.0 - Base(w, pixel, f);
            const auto [lo, hi] = ValidDeltas(w, pixel);
            lanes[pixel] = {sum / 3, lo, hi, 3 * kFieldWeight};
            if (next >= 0) {
                const auto [nextLo, nextHi] = ValidDeltas(next, pixel);
                lanes[pixel].ahead = {&codes.luma, nextLo, nextHi};
            }
        }
        TakeLumaStep(ChooseStep(codes, codes.luma, lanes[0], lanes[1]));
    }

    // LumaStep's choice in whole numbers, where they make it with certainty. With
    // k = kWantedScale the lane's target is X / 24k, X = k Σ wanted − 8k Σ base, and
    // its cost (24kδ − X)² / 3k².
    std::optional<StepChoice> ExactLumaStep(int w, int next) {
        auto fields = [&](int word, int pixel) {
            const uint32_t value = m_above[word] >> (16 * pixel);
            const int* acc = m_acc[pixel];
            const int red = static_cast<int>(value & 31) + acc[kRed];
            const int green = static_cast<int>((value >> 5) & 31) + acc[kGreen];
            const int blue = static_cast<int>((value >> 10) & 31) + acc[kBlue];
            return Fields{std::min({red, green, blue}), std::max({red, green, blue}),
                          red + green + blue};
        };
        // The last step looked ahead to this word: its fields are known. The two pixels
        // by name rather than in a loop over arrays, which GCC keeps on the stack.
        const bool known = m_aheadWord == w;
        m_aheadWord = -1;
        const Fields base0 = known ? m_ahead[0] : fields(w, 0);
        const Fields base1 = known ? m_ahead[1] : fields(w, 1);
        // Bases out of range only follow broken pixels: left to the doubles.
        if ((base0.lowest | base1.lowest) < 0 || std::max(base0.highest, base1.highest) > kFieldMax)
            return std::nullopt;
        Fields ahead0, ahead1;
        if (next >= 0) {
            ahead0 = fields(next, 0);
            ahead1 = fields(next, 1);
            m_aheadWord = next;
            m_ahead[0] = ahead0;
            m_ahead[1] = ahead1;
        }
        const auto exact =
            ExactLumaOn(m_state.codes, m_source, w, base0, base1, next >= 0, ahead0, ahead1);
        if (!exact) return std::nullopt;
        return exact->choice;
    }

    // ExactLumaStep's choice for word w on the fields of its pixels as they stand, and
    // of the next word's when `ahead`.
    [[gnu::always_inline]] static MaybeExactChoice ExactLumaOn(
        const StepCodes& codes, const uint8_t* source, int w, const Fields& base0,
        const Fields& base1, bool ahead, const Fields& next0, const Fields& next1) {
        // Bases out of range only follow broken pixels: left to the doubles.
        if (std::min(base0.lowest, base1.lowest) < 0 ||
            std::max(base0.highest, base1.highest) > kFieldMax)
            return {};
        const auto [wanted0, wanted1] = Layout::ScaledWantedSums(source, w);
        auto lane = [&](int wanted, const Fields& base, const Fields& next) {
            return ExactLane{wanted - 8 * Layout::kWantedScale * base.sum,
                             -base.lowest,
                             kFieldMax - base.highest,
                             0,
                             ahead,
                             -next.lowest,
                             kFieldMax - next.highest};
        };
        return ChooseExactStep<24 * Layout::kWantedScale>(
            codes, codes.luma, lane(wanted0, base0, next0), lane(wanted1, base1, next1));
    }

    // The fields of pixel `pixel` of word w above, moved by the accumulator: red and
    // blue by their offsets against green, then all by the luminance sum.
    static Fields AboveFields(const uint32_t* above, int w, int pixel, int red, int blue,
                              int luma) {
        const uint32_t value = above[w] >> (16 * pixel);
        const int r = static_cast<int>(value & 31) + red, g = static_cast<int>((value >> 5) & 31),
                  b = static_cast<int>((value >> 10) & 31) + blue;
        return {std::min(std::min(r, g), b) + luma, std::max(std::max(r, g), b) + luma,
                r + g + b + 3 * luma};
    }

    // The coder's state for the row loops below, in locals: the stores of index bytes
    // and words could alias the members, and GCC would reload them at every step. From
    // a row's start the chroma steps move red and blue of both pixels alike and the
    // luminance steps a pixel's fields alike, so two offsets and a sum a pixel hold it.
    // The rows and the codes ride along for the same reason.
    struct RowState {
        uint8_t* out;
        uint32_t accWord = 0;
        int luma0 = 0, luma1 = 0, red = 0, blue = 0;
        const uint32_t* above;
        uint32_t* words;
        const uint8_t* source;
        const StepCodes* codes;
    };
    RowState Start() const {
        return {m_out.Position(), 0, 0, 0, 0, 0, m_above, m_words, m_source, &m_state.codes};
    }
    void Put(const RowState& row) {
        m_out.SetPosition(row.out);
        m_aheadWord = -1;
        m_accWord = row.accWord;
        for (int pixel = 0; pixel < 2; ++pixel) {
            const int luma = pixel == 0 ? row.luma0 : row.luma1;
            m_acc[pixel][kRed] = luma + row.red;
            m_acc[pixel][kGreen] = luma;
            m_acc[pixel][kBlue] = luma + row.blue;
        }
    }
    RowState Get() const {
        return {m_out.Position(),
                m_accWord,
                m_acc[0][kGreen],
                m_acc[1][kGreen],
                m_acc[0][kRed] - m_acc[0][kGreen],
                m_acc[0][kBlue] - m_acc[0][kGreen],
                m_above,
                m_words,
                m_source,
                &m_state.codes};
    }
    [[gnu::always_inline]] static void Write(RowState& row, StepCode code) {
        row.out[0] = code.group;
        row.out[1] = 0;
        row.out[2] = code.escape;
        row.out += code.escape != 0 ? 3 : 1;
    }

    // The luminance step of word w in a row loop, looking ahead to the next word when
    // `ahead`; the long way on the members where whole numbers leave it. `fields` holds
    // the fields of word w above moved by the chroma offsets alone, and then the next
    // word's, which the step after this one takes on (luminance moves them all alike);
    // `aboveOf(word, pixel)` gives them.
    template <typename AboveOf>
    [[gnu::always_inline]] void RowLumaStep(RowState& row, int w, bool ahead, Fields (&fields)[2],
                                            AboveOf aboveOf) {
        auto moved = [](const Fields& raw, int luma) {
            return Fields{raw.lowest + luma, raw.highest + luma, raw.sum + 3 * luma};
        };
        const Fields base0 = moved(fields[0], row.luma0), base1 = moved(fields[1], row.luma1);
        Fields next0, next1;
        if (ahead) {
            fields[0] = aboveOf(w + 1, 0);
            fields[1] = aboveOf(w + 1, 1);
            next0 = moved(fields[0], row.luma0);
            next1 = moved(fields[1], row.luma1);
        }
        if (const auto exact =
                ExactLumaOn(*row.codes, row.source, w, base0, base1, ahead, next0, next1)) {
            Write(row, exact->choice.code);
            row.accWord += StepValue(*row.codes, kLumaCodes, exact->choice.code);
            row.luma0 += exact->choice.high;
            row.luma1 += exact->choice.low;
            row.words[w] = row.above[w] + row.accWord;
            return;
        }
        Put(row);
        LongLumaStep(w, ahead ? w + 1 : -1);
        StoreWord(w);
        row = Get();
    }

    // The luminance steps of words 0..words − 1 of a row that takes no chroma step and
    // keeps no block, each looking ahead to the next word; the fields of the pixels
    // above come from one pass over the row.
    void LumaRow(int words) {
        if (2 * words > kMaxRowPixels)
            return LumaRowOf(
                words, [&](int w, int pixel) { return AboveFields(m_above, w, pixel, 0, 0, 0); });
        int16_t lowest[kMaxRowPixels], highest[kMaxRowPixels], sum[kMaxRowPixels];
        RowFields(m_above, words, lowest, highest, sum);
        LumaRowOf(words, [&](int w, int pixel) {
            const int i = 2 * w + pixel;
            return Fields{lowest[i], highest[i], sum[i]};
        });
    }
    template <typename AboveOf>
    [[gnu::always_inline]] void LumaRowOf(int words, AboveOf aboveOf) {
        RowState row = Start();
        Fields fields[2] = {aboveOf(0, 0), aboveOf(0, 1)};
        for (int w = 0; w < words; ++w) RowLumaStep(row, w, w + 1 < words, fields, aboveOf);
        Put(row);
    }

    // A block-top row that keeps no block, of `rows` rows below: for each group of
    // `Words` words (two for the 15-bit mode's blocks four wide, else one) a chroma
    // step, then a luminance step a word, the first looking ahead to the second.
    template <int Words>
    void TopRow(int words, int rows) {
        RowState row = Start();
        for (int first = 0; first < words; first += Words) {
            std::optional<StepChoice> chroma;
            const int acc[2][3] = {{row.luma0 + row.red, row.luma0, row.luma0 + row.blue},
                                   {row.luma1 + row.red, row.luma1, row.luma1 + row.blue}};
            if (rows == 4)
                chroma = QuickChromaStep<4, Words>(first, acc);
            else if (rows == 2)
                chroma = QuickChromaStep<2, Words>(first, acc);
            if (chroma) {
                Write(row, chroma->code);
                row.accWord += StepValue(*row.codes, kChromaCodes, chroma->code);
                row.red += chroma->high;
                row.blue += chroma->low;
            } else {
                Put(row);
                LongChromaStep(first, first + Words - 1);
                row = Get();
            }
            Fields fields[2] = {AboveFields(row.above, first, 0, row.red, row.blue, 0),
                                AboveFields(row.above, first, 1, row.red, row.blue, 0)};
#pragma GCC unroll 2
            for (int i = 0; i < Words; ++i)
                RowLumaStep(row, first + i, i + 1 < Words, fields, [&](int w, int pixel) {
                    return AboveFields(row.above, w, pixel, row.red, row.blue, 0);
                });
        }
        Put(row);
    }

    void TakeLumaStep(const StepChoice& choice) {
        m_out.Append(choice.code);
        m_accWord += StepValue(m_state.codes, kLumaCodes, choice.code);
        for (int f = 0; f < 3; ++f) {
            m_acc[0][f] += choice.high;
            m_acc[1][f] += choice.low;
        }
        // A luminance step moves every field of a pixel alike.
        m_ahead[0].Move(choice.high);
        m_ahead[1].Move(choice.low);
    }

    // A chroma step for the pixels of words first..last: red takes the high nibble,
    // blue the low one, for both pixels of every word alike.
    void ChromaStep(int first, int last) {
        const int rows = std::min(m_state.BlockHeight(), m_state.height - m_row);
        std::optional<StepChoice> quick;
        if (m_quick && rows == 4)
            quick = last > first ? QuickChromaStep<4, 2>(first, m_acc)
                                 : QuickChromaStep<4, 1>(first, m_acc);
        else if (m_quick && rows == 2)
            quick = last > first ? QuickChromaStep<2, 2>(first, m_acc)
                                 : QuickChromaStep<2, 1>(first, m_acc);
        if (!quick) return LongChromaStep(first, last);
        m_aheadWord = -1;
        TakeChromaStep(*quick);
    }

    // ChromaStep's choice where whole numbers make it and it fits, for blocks of `Rows`
    // rows and the words first..first + Words − 1: ExactChromaStep's lanes and
    // LumaCanFollow and SpreadFits on fields read once, in locals GCC keeps in registers.
    template <int Rows, int Words>
    std::optional<StepChoice> QuickChromaStep(int first, const int (&acc)[2][3]) const {
        constexpr int kCount = 2 * Words;
        constexpr int kSpan = Layout::kWordColumns * Words;
        // The block's offsets of red and of blue against green, column by column.
        int red[kSpan] = {}, blue[kSpan] = {};
        const uint8_t* row = m_source + 3 * Layout::kWordColumns * first;
        const ptrdiff_t stride = 3 * static_cast<ptrdiff_t>(m_state.width);
#if defined(__x86_64__)
        // The block's bytes summed down its rows in 16-bit lanes (four rows of 255 stay
        // far below their range), read without a byte past the block's last.
        if constexpr (3 * kSpan <= 12) {
            constexpr int kBytes = 3 * kSpan;
            const __m128i zero = _mm_setzero_si128();
            __m128i low = zero, high = zero;
#pragma GCC unroll 4
            for (int y = 0; y < Rows; ++y, row -= stride) {
                uint64_t first8 = 0;
                uint32_t last4 = 0;
                std::memcpy(&first8, row, std::min(kBytes, 8));
                if constexpr (kBytes > 8) std::memcpy(&last4, row + 8, kBytes - 8);
                const __m128i bytes =
                    _mm_unpacklo_epi64(_mm_cvtsi64_si128(static_cast<long long>(first8)),
                                       _mm_cvtsi32_si128(static_cast<int>(last4)));
                low = _mm_add_epi16(low, _mm_unpacklo_epi8(bytes, zero));
                high = _mm_add_epi16(high, _mm_unpackhi_epi8(bytes, zero));
            }
            alignas(16) int16_t sums[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(sums), low);
            _mm_store_si128(reinterpret_cast<__m128i*>(sums + 8), high);
#pragma GCC unroll 6
            for (int x = 0; x < kSpan; ++x) {
                red[x] = sums[3 * x + kFieldChannel[kRed]] - sums[3 * x + 1];
                blue[x] = sums[3 * x + kFieldChannel[kBlue]] - sums[3 * x + 1];
            }
        } else
#endif
        {
#pragma GCC unroll 4
            for (int y = 0; y < Rows; ++y, row -= stride)
#pragma GCC unroll 6
                for (int x = 0; x < kSpan; ++x) {
                    const uint8_t* source = row + 3 * x;
                    red[x] += source[kFieldChannel[kRed]] - source[1];
                    blue[x] += source[kFieldChannel[kBlue]] - source[1];
                }
        }
        // Each pixel's fields as the accumulator predicts them.
        int fields[kCount][3];
        int p[2] = {};
#pragma GCC unroll 4
        for (int i = 0; i < kCount; ++i) {
            const int pixel = i & 1;
            const uint32_t value = m_above[first + i / 2] >> (16 * pixel);
#pragma GCC unroll 3
            for (int f = 0; f < 3; ++f)
                fields[i][f] = static_cast<int>((value >> kFieldShift[f]) & 31) + acc[pixel][f];
#pragma GCC unroll 2
            for (int x = 0; x < Layout::kColumns; ++x) {
                const int column = Layout::kWordColumns * (i / 2) + pixel + x;
                p[0] += red[column];
                p[1] += blue[column];
            }
        }
        constexpr int kColumns = Layout::kColumns;
        constexpr int kQ = 8 * Rows * kColumns * kCount;
        constexpr int64_t kUnits = int64_t{Rows} * Rows * kColumns * kColumns * kCount;
        ExactLane lanes[2];
#pragma GCC unroll 2
        for (int lane = 0; lane < 2; ++lane) {
            const Field field = kChromaFields[lane];
            int have = 0;
#pragma GCC unroll 4
            for (int i = 0; i < kCount; ++i) have += fields[i][field] - fields[i][kGreen];
            const int target = p[lane] - kQ / kCount * have;
            // Only pixels far out of range (after broken ones) leave the table's reach.
            if (std::abs(target) > LaneOptions::Sorted::kReach * kQ) return std::nullopt;
            lanes[lane] = {target, -kChromaReach, kChromaReach, 0};
        }
        const auto exact = ChooseExactStep<kQ, kUnits, true>(m_state.codes, m_state.codes.chroma,
                                                             lanes[0], lanes[1]);
        if (!exact) return std::nullopt;
        const int redDelta = exact->choice.high, blueDelta = exact->choice.low;
        // LumaCanFollow for the first word, SpreadFits for the second.
        bool fits = true;
#pragma GCC unroll 4
        for (int i = 0; i < kCount; ++i) {
            const int r = fields[i][kRed] + redDelta, g = fields[i][kGreen],
                      b = fields[i][kBlue] + blueDelta;
            const int lowest = std::min(std::min(r, g), b), highest = std::max(std::max(r, g), b);
            fits = fits && (i < 2 ? m_state.codes.luma.Reaches(-lowest, kFieldMax - highest)
                                  : highest - lowest <= kFieldMax);
        }
        if (!fits) return std::nullopt;
        return exact->choice;
    }

    void TakeChromaStep(const StepChoice& choice) {
        m_out.Append(choice.code);
        m_accWord += StepValue(m_state.codes, kChromaCodes, choice.code);
        for (int pixel = 0; pixel < 2; ++pixel) {
            m_acc[pixel][kRed] += choice.high;
            m_acc[pixel][kBlue] += choice.low;
        }
    }

    // ChromaStep for the steps QuickChromaStep leaves, out of line.
    [[gnu::noinline]] void LongChromaStep(int first, int last) {
        m_aheadWord = -1;
        const int rows = std::min(m_state.BlockHeight(), m_state.height - m_row);
        // The block's offsets of red and of blue against green in each pixel's
        // columns, for both lanes in one pass over the source.
        Offsets offsets = {};
        for (int y = m_row; y < m_row + rows; ++y) {
            const uint8_t* row = m_state.SourceRow(m_bgr, y);
            for (int w = first; w <= last; ++w)
                for (int pixel = 0; pixel < 2; ++pixel) {
                    const auto [x0, x1] = Layout::Columns(w, pixel);
                    for (int x = x0; x <= x1; ++x) {
                        const uint8_t* source = row + 3 * x;
                        offsets[w - first][pixel][0] += source[kFieldChannel[kRed]] - source[1];
                        offsets[w - first][pixel][1] += source[kFieldChannel[kBlue]] - source[1];
                    }
                }
        }
        // The lanes in doubles, for the steps whole numbers leave: made only then, since
        // even their making costs.
        auto doubleLanes = [&](LaneTarget(&lanes)[2]) {
            for (int lane = 0; lane < 2; ++lane) {
                const Field field = kChromaFields[lane];
                double sum = 0;
                for (int w = first; w <= last; ++w)
                    for (int pixel = 0; pixel < 2; ++pixel) {
                        const int have = Base(w, pixel, field) - Base(w, pixel, kGreen);
                        // The block's mean offset of this channel against green.
                        const auto [x0, x1] = Layout::Columns(w, pixel);
                        sum +=
                            offsets[w - first][pixel][lane] / (8.0 * rows * (x1 - x0 + 1)) - have;
                    }
                const int count = 2 * (last - first + 1);
                lanes[lane] = {sum / count, -kChromaReach, kChromaReach, kFieldWeight * count};
            }
        };
        const auto& codes = m_state.codes;
        // The colour must leave the first word a valid luminance step, and the fields
        // of the second word no wider apart than a valid pixel's (the first word's
        // luminance moves all of them alike).
        auto fits = [&](int red, int blue) {
            return LumaCanFollow(first, red, blue) &&
                   (last == first || SpreadFits(last, red, blue));
        };
        const bool pair = last > first;
        std::optional<StepChoice> exact;
        if (rows == 4)
            exact = pair ? ExactChromaStep<4, 4>(offsets, first)
                         : ExactChromaStep<4, 2>(offsets, first);
        else if (rows == 2)
            exact = pair ? ExactChromaStep<2, 4>(offsets, first)
                         : ExactChromaStep<2, 2>(offsets, first);
        StepChoice choice;
        if (exact && fits(exact->high, exact->low)) {
            choice = *exact;
        } else {
            LaneTarget lanes[2];
            doubleLanes(lanes);
            choice = exact ? *exact : ChooseStep(codes, codes.chroma, lanes[0], lanes[1]);
            if (!fits(choice.high, choice.low))
                choice = ChooseFittingStep(codes, codes.chroma, lanes[0], lanes[1], fits)
                             .value_or(choice);
        }
        m_out.Append(choice.code);
        m_accWord += StepValue(codes, kChromaCodes, choice.code);
        for (int pixel = 0; pixel < 2; ++pixel) {
            m_acc[pixel][kRed] += choice.high;
            m_acc[pixel][kBlue] += choice.low;
        }
    }

    // A chroma step's offsets of red and blue against green: [word − first][pixel][lane].
    using Offsets = int[2][2][2];

    // ChromaStep's choice in whole numbers, where they make it with certainty, for
    // blocks of `Rows` rows and `Count` pixels (the words first..first + Count / 2 − 1).
    // A lane's target is P / Q with P = Σ offset − 8 × Rows × columns × Σ have and
    // Q = 8 × Rows × columns × Count, and its cost 64 × Count × (δ − P / Q)². The
    // doubles hold these exactly: every divisor is a power of two.
    template <int Rows, int Count>
    std::optional<StepChoice> ExactChromaStep(const Offsets& offsets, int first) const {
        constexpr int kColumns = Layout::kColumns;
        constexpr int kQ = 8 * Rows * kColumns * Count;
        constexpr int64_t kUnits = int64_t{Rows} * Rows * kColumns * kColumns * Count;
        static_assert(kUnits * 64 * Count == int64_t{kQ} * kQ);
        ExactLane lanes[2];
        for (int lane = 0; lane < 2; ++lane) {
            const Field field = kChromaFields[lane];
            int p = 0;
            for (int w = first; w < first + Count / 2; ++w)
                for (int pixel = 0; pixel < 2; ++pixel)
                    p += offsets[w - first][pixel][lane] -
                         kQ / Count * (Base(w, pixel, field) - Base(w, pixel, kGreen));
            // Only pixels far out of range (after broken ones) leave the table's reach.
            if (std::abs(p) > LaneOptions::Sorted::kReach * kQ) return std::nullopt;
            lanes[lane] = {p, -kChromaReach, kChromaReach, 0};
        }
        const auto exact = ChooseExactStep<kQ, kUnits, true>(m_state.codes, m_state.codes.chroma,
                                                             lanes[0], lanes[1]);
        if (!exact) return std::nullopt;
        return exact->choice;
    }

    void StoreWord(int w) {
        m_words[w] = m_above[w] + m_accWord;
    }

    // A kept word: prediction goes on from it.
    void KeepFrom(int w) {
        m_aheadWord = -1;
        m_accWord = m_words[w] - m_above[w];
        for (int pixel = 0; pixel < 2; ++pixel)
            for (int f = 0; f < 3; ++f)
                m_acc[pixel][f] = FieldOf(m_words[w], pixel, f) - FieldOf(m_above[w], pixel, f);
    }

private:
    // Field f of pixel `pixel` of word w as the accumulator predicts it so far.
    int Base(int w, int pixel, int f) const {
        return FieldOf(m_above[w], pixel, f) + m_acc[pixel][f];
    }

    // The luminance deltas that keep every field of the pixel in 0..31.
    std::pair<int, int> ValidDeltas(int w, int pixel) const {
        int lowest = Base(w, pixel, 0), highest = lowest;
        for (int f = 1; f < 3; ++f) {
            lowest = std::min(lowest, Base(w, pixel, f));
            highest = std::max(highest, Base(w, pixel, f));
        }
        return {-lowest, kFieldMax - highest};
    }

    // Whether, after chroma deltas red and blue, some luminance step keeps both
    // pixels of word w valid.
    bool LumaCanFollow(int w, int red, int blue) const {
        for (int pixel = 0; pixel < 2; ++pixel) {
            const int r = Base(w, pixel, kRed) + red, g = Base(w, pixel, kGreen),
                      b = Base(w, pixel, kBlue) + blue;
            if (!m_state.codes.luma.Reaches(-std::min({r, g, b}), kFieldMax - std::max({r, g, b})))
                return false;
        }
        return true;
    }

    // Whether, after chroma deltas red and blue, the fields of each pixel of word w lie
    // no wider apart than a valid pixel's.
    bool SpreadFits(int w, int red, int blue) const {
        for (int pixel = 0; pixel < 2; ++pixel) {
            const int r = Base(w, pixel, kRed) + red, g = Base(w, pixel, kGreen),
                      b = Base(w, pixel, kBlue) + blue;
            if (std::max({r, g, b}) - std::min({r, g, b}) > kFieldMax) return false;
        }
        return true;
    }

    const EncoderState& m_state;
    std::span<const uint8_t> m_bgr;
    int m_row;
    const uint8_t* m_source;
    const uint32_t* m_above;
    uint32_t* m_words;
    StepWriter& m_out;
    const bool m_quick;
    uint32_t m_accWord = 0;
    int m_acc[2][3] = {};
    // The word the last luminance step looked ahead to (−1 for none), and its pixels'
    // fields as they stand.
    int m_aheadWord = -1;
    Fields m_ahead[2];
};

}  // namespace

void EncodePairFrame(EncoderState& state, std::span<const uint8_t> bgr, const KeptBlocks* kept,
                     WorkImages& images, std::vector<uint8_t>& out) {
    const int words = state.width / 2, blocks = state.width / 4;
    uint32_t* image = images.image.data();
    std::fill_n(image, words, kBlackPair);
    // At most a luminance and a chroma step a pixel pair.
    StepWriter writer(out, static_cast<size_t>(state.width) * static_cast<size_t>(state.height));
    for (int r = 0; r < state.height; ++r) {
        const bool blockTop = state.IsBlockTopRow(r);
        PairRowCoder<PairLayout> row(state, bgr, r, image + static_cast<size_t>(r) * words,
                                     image + static_cast<size_t>(r + 1) * words, writer);
        const auto keptOfRow = state.KeptOfRow(kept, r);
        if (state.quickSteps && !keptOfRow.all &&
            (keptOfRow.flags == nullptr || std::none_of(keptOfRow.flags, keptOfRow.flags + blocks,
                                                        [](uint8_t flag) { return flag != 0; }))) {
            if (!blockTop) {
                row.LumaRow(words);
            } else {
                const int rows = std::min(state.BlockHeight(), state.height - r);
                state.narrowBlocks ? row.TopRow<1>(words, rows) : row.TopRow<2>(words, rows);
            }
            continue;
        }
        if (keptOfRow.all) continue;
        for (int k = 0; k < blocks; ++k) {
            if (keptOfRow(k)) {
                // Prediction goes on from the last kept block before a coded one.
                if (k + 1 < blocks && !keptOfRow(k + 1)) row.KeepFrom(2 * k + 1);
                continue;
            }
            // A luminance step looks ahead to the next word of the row unless a chroma
            // step comes first, which can still mend that word's colour.
            const bool nextCoded = k + 1 < blocks && !keptOfRow(k + 1);
            const bool narrowTop = blockTop && state.narrowBlocks;
            if (blockTop) row.ChromaStep(2 * k, state.narrowBlocks ? 2 * k : 2 * k + 1);
            row.LumaStep(2 * k, narrowTop ? -1 : 2 * k + 1);
            row.StoreWord(2 * k);
            if (narrowTop) row.ChromaStep(2 * k + 1, 2 * k + 1);
            row.LumaStep(2 * k + 1, nextCoded && !blockTop ? 2 * k + 2 : -1);
            row.StoreWord(2 * k + 1);
        }
    }
    WriteImage15(state.width, state.height, image, images.pixels.data());
}

void EncodeStretchFrame(EncoderState& state, std::span<const uint8_t> bgr, WorkImages& images,
                        std::vector<uint8_t>& out) {
    const int codedWords = state.width / 3, displayWords = state.width / 2;
    uint32_t* coded = images.image.data();
    std::fill_n(coded, codedWords, kBlackPair);
    // At most a luminance and a chroma step a coded pixel pair.
    StepWriter writer(out, static_cast<size_t>(state.width) * static_cast<size_t>(state.height));
    for (int r = 0; r < state.height; ++r) {
        const bool blockTop = state.IsBlockTopRow(r);
        uint32_t* row = coded + static_cast<size_t>(r + 1) * codedWords;
        PairRowCoder<StretchLayout> coder(state, bgr, r,
                                          coded + static_cast<size_t>(r) * codedWords, row, writer);
        uint32_t* display = images.image2.data() + static_cast<size_t>(r + 1) * displayWords;
        if (state.quickSteps) {
            blockTop ? coder.TopRow<1>(codedWords, std::min(state.BlockHeight(), state.height - r))
                     : coder.LumaRow(codedWords);
        } else {
            // Block-top rows take a chroma step before each coded word, whatever the
            // block width.
            for (int w = 0; w < codedWords; ++w) {
                if (blockTop) coder.ChromaStep(w, w);
                coder.LumaStep(w, !blockTop && w + 1 < codedWords ? w + 1 : -1);
                coder.StoreWord(w);
            }
        }
        for (int i = 0; i < state.width / 6; ++i) {
            const uint32_t a = row[2 * i] & 0xFFFF, b = row[2 * i] >> 16;
            const uint32_t c = row[2 * i + 1] & 0xFFFF, d = row[2 * i + 1] >> 16;
            display[3 * i] = a | mid(a, b) << 16;
            display[3 * i + 1] = b | c << 16;
            display[3 * i + 2] = mid(c, d) | d << 16;
        }
    }
    WriteImage15(state.width, state.height, images.image2.data(), images.pixels.data());
}

}  // namespace truemotion
