#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "truemotion/BitmapWriters.h"
#include "truemotion/EncoderState.h"

// The 24-bit mode: a luminance byte per pixel, two pixels a step (the left one in the
// high byte of a 16-bit half), and per block a chroma sample of red and blue offsets
// that the writer adds to the luminance.
//
// Chroma and luminance are separate chains of prediction that only share the index
// stream, so a frame is coded in two passes: first every chroma sample, aimed at the
// rows the writer shows it on, then the luminance, which sees the chroma it is shown
// with; the second pass writes the steps of both in the decoder's order.

namespace truemotion {
namespace {

constexpr int kByteMax = 255;

int RedOf(uint32_t sample) {
    return static_cast<int16_t>(sample & 0xFFFF);
}
// Entries lose their top bit to the end-of-group flag, so bit 31 of a sample carries
// nothing: the blue offset is the signed field of bits 16..30.
int BlueOf(uint32_t sample) {
    return static_cast<int32_t>((sample - static_cast<uint32_t>(RedOf(sample))) << 1) >> 17;
}

struct ChromaGeometry {
    int length;  // samples a chroma row
    int width;   // pixels a sample covers
};

ChromaGeometry GeometryOf(const EncoderState& state) {
    return state.narrowBlocks ? ChromaGeometry{state.width / 2, 2}
                              : ChromaGeometry{state.width / 4, 4};
}

// The chroma step of a sample in whole numbers, for a sample shown on Q source pixels
// (a power of two, which doubles divide exactly) whose red and blue offsets against
// green sum to `red` and `blue`: a lane's target is p / Q with p = sum − Q × have, and
// its cost (2/3) Q (δ − p / Q)², which (3Q/2) × turns into (Qδ − p)². Nothing where
// ChooseExactStep declines, or for sums out of the table's reach.
template <int Q>
std::optional<StepChoice> ExactChromaStep(const StepCodes& codes, int red, int blue, int haveRed,
                                          int haveBlue) {
    static_assert((Q & (Q - 1)) == 0 && Q >= 4);
    constexpr int64_t kUnits = 3 * Q / 2;
    const int pRed = red - Q * haveRed, pBlue = blue - Q * haveBlue;
    constexpr int kReach = LaneOptions::Sorted::kReach * Q;
    if (pRed < -kReach || pRed > kReach || pBlue < -kReach || pBlue > kReach) return std::nullopt;
    const ExactLane redLane{pRed, -kByteMax - haveRed, kByteMax - haveRed, 0};
    const ExactLane blueLane{pBlue, -kByteMax - haveBlue, kByteMax - haveBlue, 0};
    const auto exact = ChooseExactStep<Q, kUnits, true>(codes, codes.chroma, redLane, blueLane);
    if (!exact) return std::nullopt;
    return exact->choice;
}

// The sums of red − green and blue − green over `rows` source rows (from `row`, going
// up the bitmap by `stride`) of `columns` pixels; in SSE2 when `quick`.
void ChromaSums(const uint8_t* row, ptrdiff_t stride, int rows, int columns, bool quick, int& red,
                int& blue) {
#if defined(__SSE2__)
    if (quick && columns == 4) {
        // Four pixels are twelve bytes: summed down the rows in 16-bit lanes, then
        // weighted +1 / −1 by channel and summed across.
        const __m128i zero = _mm_setzero_si128();
        __m128i low = zero, high = zero;
        for (int y = 0; y < rows; ++y, row -= stride) {
            uint64_t first8 = 0;
            uint32_t last4 = 0;
            std::memcpy(&first8, row, 8);
            std::memcpy(&last4, row + 8, 4);
            const __m128i bytes =
                _mm_unpacklo_epi64(_mm_cvtsi64_si128(static_cast<long long>(first8)),
                                   _mm_cvtsi32_si128(static_cast<int>(last4)));
            low = _mm_add_epi16(low, _mm_unpacklo_epi8(bytes, zero));
            high = _mm_add_epi16(high, _mm_unpackhi_epi8(bytes, zero));
        }
        // Bytes b g r b g r b g | r b g r (then four zeros).
        const __m128i redLow = _mm_setr_epi16(0, -1, 1, 0, -1, 1, 0, -1);
        const __m128i redHigh = _mm_setr_epi16(1, 0, -1, 1, 0, 0, 0, 0);
        const __m128i blueLow = _mm_setr_epi16(1, -1, 0, 1, -1, 0, 1, -1);
        const __m128i blueHigh = _mm_setr_epi16(0, 1, -1, 0, 0, 0, 0, 0);
        const __m128i r = _mm_add_epi32(_mm_madd_epi16(low, redLow), _mm_madd_epi16(high, redHigh));
        const __m128i b =
            _mm_add_epi32(_mm_madd_epi16(low, blueLow), _mm_madd_epi16(high, blueHigh));
        // Across the four 32-bit lanes: red in lane 0, blue in lane 1 after the folds.
        const __m128i pairs = _mm_add_epi32(_mm_unpacklo_epi32(r, b), _mm_unpackhi_epi32(r, b));
        const __m128i sums = _mm_add_epi32(pairs, _mm_srli_si128(pairs, 8));
        red = _mm_cvtsi128_si32(sums);
        blue = _mm_cvtsi128_si32(_mm_srli_si128(sums, 4));
        return;
    }
#else
    (void)quick;
#endif
    red = 0;
    blue = 0;
    for (int y = 0; y < rows; ++y, row -= stride) {
        const uint8_t* p = row;
        for (int x = 0; x < columns; ++x, p += 3) {
            red += p[2] - p[1];
            blue += p[0] - p[1];
        }
    }
}

// Chooses the chroma steps of every block-top row and writes the chroma image.
void CodeChroma(EncoderState& state, std::span<const uint8_t> bgr, const KeptBlocks* kept,
                uint32_t* chroma) {
    const auto [length, sampleWidth] = GeometryOf(state);
    const int samplesPerBlock = 4 / sampleWidth;
    const auto& codes = state.codes;
    const ptrdiff_t stride = 3 * static_cast<ptrdiff_t>(state.width);
    int chromaRow = 0;
    for (int r = 0; r < state.height; ++r) {
        if (!state.IsBlockTopRow(r)) continue;
        ++chromaRow;
        const uint32_t* above = chroma + static_cast<size_t>(chromaRow - 1) * length;
        uint32_t* current = chroma + static_cast<size_t>(chromaRow) * length;
        StepCode* steps = state.chromaSteps.data() + static_cast<size_t>(chromaRow - 1) * length;
        // The writer shows chroma row q on the rows from (q − 1) × block height, counted
        // from the top; this differs from the decoder's blocks when the height is not a
        // multiple of the block height.
        const int firstShown = (chromaRow - 1) * state.BlockHeight();
        const int shownRows = std::clamp(state.height - firstShown, 0, state.BlockHeight());
        const int count = shownRows * sampleWidth;
        const uint8_t* firstRow = shownRows > 0 ? state.SourceRow(bgr, firstShown) : nullptr;
        // With the luminance free for each pixel, an offset error e costs about two
        // thirds of e² a pixel.
        const double weight = 2.0 / 3.0 * std::max(shownRows, 1) * sampleWidth;
        const bool quick = state.quickSteps;
        uint32_t ac = 0;
        int acRed = 0, acBlue = 0;
        const auto keptOfRow = state.KeptOfRow(kept, r);
        for (int k = 0; k < state.MaskBlocks(); ++k) {
            if (keptOfRow(k)) {
                const int s = (k + 1) * samplesPerBlock - 1;
                ac = current[s] - above[s];
                acRed = RedOf(current[s]) - RedOf(above[s]);
                acBlue = BlueOf(current[s]) - BlueOf(above[s]);
                continue;
            }
            for (int s = k * samplesPerBlock; s < (k + 1) * samplesPerBlock; ++s) {
                const int haveRed = RedOf(above[s]) + acRed, haveBlue = BlueOf(above[s]) + acBlue;
                int red = 0, blue = 0;
                if (shownRows > 0)
                    ChromaSums(firstRow + 3 * s * sampleWidth, stride, shownRows, sampleWidth,
                               quick, red, blue);
                std::optional<StepChoice> exact;
                if (quick) {
                    if (count == 16)
                        exact = ExactChromaStep<16>(codes, red, blue, haveRed, haveBlue);
                    else if (count == 8)
                        exact = ExactChromaStep<8>(codes, red, blue, haveRed, haveBlue);
                    else if (count == 4)
                        exact = ExactChromaStep<4>(codes, red, blue, haveRed, haveBlue);
                }
                StepChoice choice;
                if (exact) {
                    choice = *exact;
                } else {
                    double wantRed = haveRed, wantBlue = haveBlue;
                    if (shownRows > 0) {
                        wantRed = red / static_cast<double>(count);
                        wantBlue = blue / static_cast<double>(count);
                    }
                    const LaneTarget redLane{wantRed - haveRed, -kByteMax - haveRed,
                                             kByteMax - haveRed, weight};
                    const LaneTarget blueLane{wantBlue - haveBlue, -kByteMax - haveBlue,
                                              kByteMax - haveBlue, weight};
                    choice = ChooseStep(codes, codes.chroma, redLane, blueLane);
                }
                steps[s] = choice.code;
                ac += StepValue(codes, kChromaCodes, choice.code);
                acRed += choice.high;
                acBlue += choice.low;
                current[s] = above[s] + ac;
            }
        }
    }
}

// The error of a luminance step for one pixel. The writer shows green as the
// luminance y and red and blue as y plus their offsets, in one 32-bit addition: an
// offset that takes red out of 0..255 wraps it and borrows from (or carries into)
// green, and blue wraps likewise. So the error is a parabola in y on each stretch of y
// between the points where red or blue wrap. `base` is y before the step; the step
// keeps y itself in 0..255, since luminance bytes are what later rows predict from.
LaneTarget LumaLane(int base, const uint8_t* bgr, uint32_t sample) {
    const int red = RedOf(sample), blue = BlueOf(sample);
    int edges[4] = {0, 0, 0, kByteMax + 1};
    int count = 1;
    for (int offset : {red, blue}) {
        const int edge = offset < 0 ? -offset : kByteMax + 1 - offset;
        if (edge > 0 && edge <= kByteMax) edges[count++] = edge;
    }
    edges[count++] = kByteMax + 1;
    if (count == 4 && edges[1] > edges[2]) std::swap(edges[1], edges[2]);
    LaneTarget lane;
    lane.weight = 3;
    for (int k = 0; k + 1 < count; ++k) {
        const int lo = edges[k], hi = edges[k + 1] - 1;
        if (lo > hi) continue;
        auto wraps = [lo](int offset) {
            return lo + offset < 0 ? 1 : lo + offset > kByteMax ? -1 : 0;
        };
        const int wrapRed = wraps(red), wrapBlue = wraps(blue);
        // y − u costs for each channel: green shows y − wrapRed, red y + red + 256 wrapRed,
        // blue y + blue + 256 wrapBlue.
        const double u[3] = {static_cast<double>(bgr[1] + wrapRed),
                             static_cast<double>(bgr[2] - red - (kByteMax + 1) * wrapRed),
                             static_cast<double>(bgr[0] - blue - (kByteMax + 1) * wrapBlue)};
        const double mean = (u[0] + u[1] + u[2]) / 3;
        const double constant = (u[0] - mean) * (u[0] - mean) + (u[1] - mean) * (u[1] - mean) +
                                (u[2] - mean) * (u[2] - mean);
        lane.pieces[static_cast<size_t>(lane.count++)] = {mean - base, lo - base, hi - base,
                                                          constant};
    }
    size_t least = 0;
    for (size_t k = 1; k < static_cast<size_t>(lane.count); ++k)
        if (lane.pieces[k].constant < lane.pieces[least].constant) least = k;
    std::swap(lane.pieces[0], lane.pieces[least]);
    return lane;
}

// The piece of LumaLane where neither red nor blue wraps, alone, for a pixel whose
// chroma offsets allow the luminances lo..hi (not empty) without a wrap.
PieceLane UnwrappedLumaLane(int base, const uint8_t* bgr, int red, int blue, int lo, int hi) {
    const double u[3] = {static_cast<double>(bgr[1]), static_cast<double>(bgr[2] - red),
                         static_cast<double>(bgr[0] - blue)};
    const double mean = (u[0] + u[1] + u[2]) / 3;
    const double constant = (u[0] - mean) * (u[0] - mean) + (u[1] - mean) * (u[1] - mean) +
                            (u[2] - mean) * (u[2] - mean);
    return PieceLane{{mean - base, lo - base, hi - base, constant}, 3.0, {}};
}

// Whether a delta chosen on the unwrapped piece alone might lose against a wrap. A
// wrap moves one channel's error by 256 against the others, which puts at least
// kWrapSpread into the spread of the three errors.
bool WrapCouldBeat(const PieceLane& unwrapped, int delta) {
    constexpr double kWrapSpread = 209.0;
    const LanePiece& piece = unwrapped.piece;
    if (delta < piece.lo || delta > piece.hi) return true;
    const double cost =
        unwrapped.weight * (delta - piece.target) * (delta - piece.target) + piece.constant;
    // Most pixels sit far inside: sqrt(constant) ≤ 100 leaves a reach of at least 109,
    // whose square no cost up to 11881 exceeds.
    if (piece.constant <= 10000.0 && cost <= 11881.0) return false;
    const double reach = kWrapSpread - std::sqrt(piece.constant);
    return reach <= 0 || cost > reach * reach;
}

LaneTarget WholeLane(const PieceLane& lane) {
    LaneTarget whole(lane.piece.target, lane.piece.lo, lane.piece.hi, lane.weight,
                     lane.piece.constant);
    whole.ahead = lane.ahead;
    return whole;
}

class LumaRowCoder {
public:
    LumaRowCoder(const EncoderState& state, std::span<const uint8_t> bgr, int row,
                 const uint32_t* above, uint32_t* words, const uint32_t* shownChroma,
                 StepWriter& out)
        : m_state(state),
          m_source(state.SourceRow(bgr, row)),
          m_above(above),
          m_words(words),
          m_shownChroma(shownChroma),
          m_sampleShift(state.narrowBlocks ? 1 : 2),
          m_out(out) {}

    // The luminance step of the half word holding pixels x and x + 1 (`aboveHalf` is
    // its half of the word above); returns the half as the decoder computes it.
    // `nextAboveHalf` is the half above the next step on the same lanes, or −1, so
    // that this step leaves that one a valid step of its own.
    uint32_t Step(int x, uint32_t aboveHalf, int nextAboveHalf) {
        // Both pixels of a step show the same chroma sample.
        const uint32_t sample = m_shownChroma[x >> m_sampleShift];
        const int red = RedOf(sample), blue = BlueOf(sample);
        // The luminances where neither red nor blue wraps.
        const int lo = std::max({0, -red, -blue}),
                  hi = std::min({kByteMax, kByteMax - red, kByteMax - blue});
        const int highBase = static_cast<int>((aboveHalf >> 8) & 0xFF) + m_ayHigh;
        const int lowBase = static_cast<int>(aboveHalf & 0xFF) + m_ayLow;
        // In whole numbers first, for pixels in range whose unwrapped piece is not
        // empty: three times that piece's cost, (3δ − p)² + c3, with p = 3 × its
        // target and c3 = 3 × its constant.
        if (lo <= hi && static_cast<unsigned>(highBase) <= kByteMax &&
            static_cast<unsigned>(lowBase) <= kByteMax) {
            const uint8_t* source = m_source + 3 * x;
            auto exactLane = [&](const uint8_t* bgr, int base, int nextBase) {
                const int u0 = bgr[1], u1 = bgr[2] - red, u2 = bgr[0] - blue;
                const int sum = u0 + u1 + u2;
                return ExactLane{sum - 3 * base,     lo - base,
                                 hi - base,          3 * (u0 * u0 + u1 * u1 + u2 * u2) - sum * sum,
                                 nextAboveHalf >= 0, -nextBase,
                                 kByteMax - nextBase};
            };
            const ExactLane high =
                exactLane(source, highBase, ((nextAboveHalf >> 8) & 0xFF) + m_ayHigh);
            const ExactLane low = exactLane(source + 3, lowBase, (nextAboveHalf & 0xFF) + m_ayLow);
            const auto quick = ChooseExactStep<3>(m_state.codes, m_state.codes.luma, high, low);
            // No wrap can win where WrapCouldBeat's first bound holds by a margin
            // its rounding cannot cross.
            if (quick && high.c3 <= 29999 && quick->highCost3 <= 35642 && low.c3 <= 29999 &&
                quick->lowCost3 <= 35642)
                return Finish(quick->choice, aboveHalf);
        }
        return Finish(ChooseInDoubles(x, aboveHalf, nextAboveHalf), aboveHalf);
    }

    // The step as the doubles choose it, for the steps the whole numbers leave open.
    [[gnu::noinline]] StepChoice ChooseInDoubles(int x, uint32_t aboveHalf,
                                                 int nextAboveHalf) const {
        const uint32_t sample = m_shownChroma[x >> m_sampleShift];
        const uint8_t* source = m_source + 3 * x;
        const int red = RedOf(sample), blue = BlueOf(sample);
        const int lo = std::max({0, -red, -blue}),
                  hi = std::min({kByteMax, kByteMax - red, kByteMax - blue});
        const int base[2] = {static_cast<int>((aboveHalf >> 8) & 0xFF) + m_ayHigh,
                             static_cast<int>(aboveHalf & 0xFF) + m_ayLow};
        LaneAhead ahead[2];
        if (nextAboveHalf >= 0) {
            const int nextBase[2] = {((nextAboveHalf >> 8) & 0xFF) + m_ayHigh,
                                     (nextAboveHalf & 0xFF) + m_ayLow};
            for (int pixel = 0; pixel < 2; ++pixel)
                ahead[pixel] = {&m_state.codes.luma, -nextBase[pixel], kByteMax - nextBase[pixel]};
        }
        const auto& codes = m_state.codes;
        const bool unwrapped = lo <= hi;
        StepChoice choice;
        PieceLane lanes[2];
        if (unwrapped) {
            for (int pixel = 0; pixel < 2; ++pixel) {
                lanes[pixel] =
                    UnwrappedLumaLane(base[pixel], source + 3 * pixel, red, blue, lo, hi);
                lanes[pixel].ahead = ahead[pixel];
            }
            const auto quick = ChooseOnePieceStep(codes, codes.luma, lanes[0], lanes[1]);
            choice = quick
                         ? *quick
                         : ChooseStep(codes, codes.luma, WholeLane(lanes[0]), WholeLane(lanes[1]));
        }
        // Most steps stay clear of the wraps; only the others need every piece.
        if (!unwrapped || WrapCouldBeat(lanes[0], choice.high) ||
            WrapCouldBeat(lanes[1], choice.low)) {
            LaneTarget whole[2];
            for (int pixel = 0; pixel < 2; ++pixel) {
                whole[pixel] = LumaLane(base[pixel], source + 3 * pixel, sample);
                whole[pixel].ahead = ahead[pixel];
            }
            choice = ChooseStep(codes, codes.luma, whole[0], whole[1]);
        }
        return choice;
    }

    uint32_t Finish(const StepChoice& choice, uint32_t aboveHalf) {
        m_out.Append(choice.code);
        m_ay += StepValue(m_state.codes, kLumaCodes, choice.code);
        m_ayHigh += choice.high;
        m_ayLow += choice.low;
        return (aboveHalf + m_ay) & 0xFFFF;
    }

    // Codes word i, with the chroma steps of its block-top row interleaved when
    // `chromaSteps` is given; `nextCoded` tells whether word i + 1 is coded after it.
    void CodeWord(int i, const StepCode* chromaSteps, bool nextCoded) {
        const bool narrow = m_state.narrowBlocks;
        if (chromaSteps) m_out.Append(chromaSteps[narrow ? 2 * i : i]);
        const uint32_t high = Step(4 * i, m_above[i] >> 16, static_cast<int>(m_above[i] & 0xFFFF));
        if (chromaSteps && narrow) m_out.Append(chromaSteps[2 * i + 1]);
        const uint32_t low = Step(4 * i + 2, m_above[i] & 0xFFFF,
                                  nextCoded ? static_cast<int>(m_above[i + 1] >> 16) : -1);
        m_words[i] = high << 16 | low;
    }

    // A kept word: prediction goes on from it.
    void KeepFrom(int i) {
        m_ay = m_words[i] - m_above[i];
        m_ayHigh =
            static_cast<int>((m_words[i] >> 8) & 0xFF) - static_cast<int>((m_above[i] >> 8) & 0xFF);
        m_ayLow = static_cast<int>(m_words[i] & 0xFF) - static_cast<int>(m_above[i] & 0xFF);
    }

private:
    const EncoderState& m_state;
    const uint8_t* m_source;
    const uint32_t* m_above;
    uint32_t* m_words;
    const uint32_t* m_shownChroma;
    int m_sampleShift;  // pixels a chroma sample covers, as a shift
    StepWriter& m_out;
    uint32_t m_ay = 0;
    int m_ayHigh = 0, m_ayLow = 0;
};

}  // namespace

void EncodeLumaChromaFrame(EncoderState& state, std::span<const uint8_t> bgr,
                           const KeptBlocks* kept, WorkImages& images, std::vector<uint8_t>& out) {
    const int words = state.width / 4;
    const int chromaLength = GeometryOf(state).length;
    uint32_t* luma = images.image.data();
    uint32_t* chroma = images.image2.data();
    CodeChroma(state, bgr, kept, chroma);
    // One luminance step a pixel pair, and a chroma step a sample of the block-top rows.
    StepWriter writer(out, static_cast<size_t>(state.width) * static_cast<size_t>(state.height));

    int chromaRow = 0;
    for (int r = 0; r < state.height; ++r) {
        const bool blockTop = state.IsBlockTopRow(r);
        if (blockTop) ++chromaRow;
        const uint32_t* shownChroma =
            chroma + static_cast<size_t>(r / state.BlockHeight() + 1) * chromaLength;
        const StepCode* chromaSteps =
            blockTop ? state.chromaSteps.data() + static_cast<size_t>(chromaRow - 1) * chromaLength
                     : nullptr;
        LumaRowCoder row(state, bgr, r, luma + static_cast<size_t>(r) * words,
                         luma + static_cast<size_t>(r + 1) * words, shownChroma, writer);
        const auto keptOfRow = state.KeptOfRow(kept, r);
        for (int i = 0; i < words; ++i) {
            if (keptOfRow(i))
                row.KeepFrom(i);
            else
                row.CodeWord(i, chromaSteps, i + 1 < words && !keptOfRow(i + 1));
        }
    }
    WriteImage24(state.width, state.height, state.blockMask, state.narrowBlocks, luma, chroma,
                 state.grayTable, images.pixels.data());
}

}  // namespace truemotion
