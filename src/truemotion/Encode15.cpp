#include <algorithm>

#include "truemotion/BitmapWriters.h"
#include "truemotion/EncoderState.h"
#include "truemotion/StretchMid.h"

// The 15-bit and two-thirds-width modes: pair words of two 5-5-5 pixels, each the word
// above plus one accumulator that sums the luminance and chroma steps of the row.

namespace truemotion {
namespace {

constexpr uint32_t kBlackPair = 0x80008000u;
constexpr int kEscapeScale15 = 5;
enum Field { kRed = 0, kGreen = 1, kBlue = 2 };
constexpr int kFieldShift[3] = {0, 5, 10};
// Display channel (blue, green, red order) of each field.
constexpr int kFieldChannel[3] = {2, 1, 0};

int FieldOf(uint32_t word, int pixel, int field) { return (word >> (16 * pixel + kFieldShift[field])) & 31; }

// One row of pair words being coded: the accumulator as the decoder sums it, and the
// same sum field by field for choosing the steps.
// TargetX maps (word, pixel of the word) to the source column the pixel shows.
template <typename TargetX>
class PairRowCoder {
public:
    PairRowCoder(EncoderState& state, std::span<const uint8_t> bgr, int row, const uint32_t* above, uint32_t* words,
                 TargetX targetX, std::vector<uint8_t>& out)
        : m_state(state), m_bgr(bgr), m_row(row), m_above(above), m_words(words), m_out(out), m_targetX(targetX) {}

    void LumaStep(int w) {
        auto cost = [&](int pixel) {
            return [this, w, pixel](int delta) {
                double total = 0;
                bool broken = false;
                for (int f = 0; f < 3; ++f) {
                    const int v = FieldOf(m_above[w], pixel, f) + m_acc[pixel][f] + delta;
                    broken = broken || v < 0 || v > 31;
                    const int t = Target(w, pixel, kFieldChannel[f]);
                    total += static_cast<double>((v * 8 - t) * (v * 8 - t));
                }
                return broken ? kBrokenPixelCost + total : total;
            };
        };
        const auto& c = m_state.codes;
        const StepChoice choice = ChooseStep(c.luma, c.luma, kEscapeScale15, c.nibbles, cost(0), cost(1));
        m_accWord += EmitStep(c, kLumaCodes, kLumaCodes, kEscapeScale15, choice, m_out);
        for (int pixel = 0; pixel < 2; ++pixel) {
            const int n = pixel == 0 ? choice.high : choice.low;
            const int m = pixel == 0 ? choice.escapeHigh : choice.escapeLow;
            const int delta = c.luma[n] + (m >= 0 ? kEscapeScale15 * c.luma[m] : 0);
            for (int f = 0; f < 3; ++f) m_acc[pixel][f] += delta;
        }
    }

    // A chroma step for the pixels of words first..last: red takes the high nibble,
    // blue the low one, for both pixels of every word alike.
    void ChromaStep(int first, int last) {
        auto cost = [&](int field) {
            return [this, first, last, field](int delta) {
                double total = 0;
                for (int w = first; w <= last; ++w)
                    for (int pixel = 0; pixel < 2; ++pixel) {
                        const double have = FieldOf(m_above[w], pixel, field) - FieldOf(m_above[w], pixel, kGreen) +
                                            m_acc[pixel][field] - m_acc[pixel][kGreen] + delta;
                        const double want = BlockOffset(w, pixel, kFieldChannel[field]) / 8.0;
                        total += 64.0 * (have - want) * (have - want);
                    }
                return total;
            };
        };
        const auto& c = m_state.codes;
        const StepChoice choice = ChooseStep(c.chroma, c.chroma, kEscapeScale15, c.nibbles, cost(kRed), cost(kBlue));
        m_accWord += EmitStep(c, kChromaCodes, kChromaCodes, kEscapeScale15, choice, m_out);
        const int red = c.chroma[choice.high] + (choice.escapeHigh >= 0 ? kEscapeScale15 * c.chroma[choice.escapeHigh] : 0);
        const int blue = c.chroma[choice.low] + (choice.escapeLow >= 0 ? kEscapeScale15 * c.chroma[choice.escapeLow] : 0);
        for (int pixel = 0; pixel < 2; ++pixel) {
            m_acc[pixel][kRed] += red;
            m_acc[pixel][kBlue] += blue;
        }
    }

    void StoreWord(int w) { m_words[w] = m_above[w] + m_accWord; }

    // A kept word: prediction goes on from it.
    void KeepFrom(int w) {
        m_accWord = m_words[w] - m_above[w];
        for (int pixel = 0; pixel < 2; ++pixel)
            for (int f = 0; f < 3; ++f) m_acc[pixel][f] = FieldOf(m_words[w], pixel, f) - FieldOf(m_above[w], pixel, f);
    }

private:
    int Target(int w, int pixel, int channel) const {
        return EncoderState::Source(m_bgr, m_state.width, m_state.height, m_targetX(w, pixel), m_row, channel);
    }

    // The mean of (channel − green) over the block rows below this one, at the pixel's column.
    double BlockOffset(int w, int pixel, int channel) const {
        const int x = m_targetX(w, pixel);
        const int rows = std::min(m_state.BlockHeight(), m_state.height - m_row);
        double sum = 0;
        for (int y = m_row; y < m_row + rows; ++y)
            sum += EncoderState::Source(m_bgr, m_state.width, m_state.height, x, y, channel) -
                   EncoderState::Source(m_bgr, m_state.width, m_state.height, x, y, 1);
        return sum / rows;
    }

    EncoderState& m_state;
    std::span<const uint8_t> m_bgr;
    int m_row;
    const uint32_t* m_above;
    uint32_t* m_words;
    std::vector<uint8_t>& m_out;
    TargetX m_targetX;
    uint32_t m_accWord = 0;
    int m_acc[2][3] = {};
};

}  // namespace

void EncodePairFrame(EncoderState& state, std::span<const uint8_t> bgr, const KeptBlocks& kept,
                     std::vector<uint8_t>& out) {
    const int words = state.width / 2, blocks = state.width / 4;
    uint32_t* image = state.image.data();
    std::fill_n(image, words, kBlackPair);
    auto column = [](int w, int pixel) { return 2 * w + pixel; };
    for (int r = 0; r < state.height; ++r) {
        const bool blockTop = state.IsBlockTopRow(r);
        PairRowCoder row(state, bgr, r, image + static_cast<size_t>(r) * words, image + static_cast<size_t>(r + 1) * words,
                         column, out);
        for (int k = 0; k < blocks; ++k) {
            if (!kept.empty() && kept[static_cast<size_t>(r / 4) * blocks + k]) {
                row.KeepFrom(2 * k + 1);
                continue;
            }
            if (blockTop) row.ChromaStep(2 * k, state.narrowBlocks ? 2 * k : 2 * k + 1);
            row.LumaStep(2 * k);
            row.StoreWord(2 * k);
            if (blockTop && state.narrowBlocks) row.ChromaStep(2 * k + 1, 2 * k + 1);
            row.LumaStep(2 * k + 1);
            row.StoreWord(2 * k + 1);
        }
    }
    WriteImage15(state.width, state.height, image, state.reconstruction.data());
}

void EncodeStretchFrame(EncoderState& state, std::span<const uint8_t> bgr, std::vector<uint8_t>& out) {
    const int codedWords = state.width / 3, displayWords = state.width / 2;
    uint32_t* coded = state.image.data();
    std::fill_n(coded, codedWords, kBlackPair);
    // Coded pixels a, b, c, d of words 2i and 2i + 1 show at display columns 6i, 6i + 2,
    // 6i + 3 and 6i + 5; the columns between them are their mid pixels.
    auto column = [](int w, int pixel) { return 6 * (w / 2) + (w % 2 == 0 ? 2 * pixel : 3 + 2 * pixel); };
    for (int r = 0; r < state.height; ++r) {
        const bool blockTop = state.IsBlockTopRow(r);
        uint32_t* row = coded + static_cast<size_t>(r + 1) * codedWords;
        PairRowCoder coder(state, bgr, r, coded + static_cast<size_t>(r) * codedWords, row, column, out);
        uint32_t* display = state.image2.data() + static_cast<size_t>(r + 1) * displayWords;
        for (int i = 0; i < state.width / 6; ++i) {
            for (int w = 2 * i; w <= 2 * i + 1; ++w) {
                if (blockTop) coder.ChromaStep(w, w);
                coder.LumaStep(w);
                coder.StoreWord(w);
            }
            const uint32_t a = row[2 * i] & 0xFFFF, b = row[2 * i] >> 16;
            const uint32_t c = row[2 * i + 1] & 0xFFFF, d = row[2 * i + 1] >> 16;
            display[3 * i] = a | mid(a, b) << 16;
            display[3 * i + 1] = b | c << 16;
            display[3 * i + 2] = mid(c, d) | d << 16;
        }
    }
    WriteImage15(state.width, state.height, state.image2.data(), state.reconstruction.data());
}

}  // namespace truemotion
