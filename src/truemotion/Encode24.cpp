#include <algorithm>

#include "truemotion/BitmapWriters.h"
#include "truemotion/EncoderState.h"

// The 24-bit mode: a luminance byte per pixel, two pixels a step (the left one in the
// high byte of a 16-bit half), and per block a chroma sample of red and blue offsets
// that the writer adds to the luminance.

namespace truemotion {
namespace {

constexpr int kEscapeScale24 = 1;

int RedOf(uint32_t sample) { return static_cast<int16_t>(sample & 0xFFFF); }
// Entries lose their top bit to the end-of-group flag, so bit 31 of a sample carries
// nothing: the blue offset is the signed field of bits 16..30.
int BlueOf(uint32_t sample) {
    return static_cast<int32_t>((sample - static_cast<uint32_t>(RedOf(sample))) << 1) >> 17;
}

class LumaChromaRowCoder {
public:
    LumaChromaRowCoder(EncoderState& state, std::span<const uint8_t> bgr, int row, const uint32_t* above, uint32_t* words,
                       const uint32_t* chromaAbove, uint32_t* chroma, std::vector<uint8_t>& out)
        : m_state(state), m_bgr(bgr), m_row(row), m_above(above), m_words(words), m_chromaAbove(chromaAbove),
          m_chroma(chroma), m_out(out) {}

    // Chroma sample s, covering the block's pixels from column x0 to x1.
    void ChromaStep(int s, int x0, int x1) {
        const int rows = std::min(m_state.BlockHeight(), m_state.height - m_row);
        double red = 0, blue = 0;
        for (int y = m_row; y < m_row + rows; ++y)
            for (int x = x0; x <= x1; ++x) {
                const int g = Source(x, y, 1);
                red += Source(x, y, 2) - g;
                blue += Source(x, y, 0) - g;
            }
        const double count = rows * (x1 - x0 + 1);
        const double wantRed = red / count, wantBlue = blue / count;
        const int haveRed = RedOf(m_chromaAbove[s]) + m_acRed, haveBlue = BlueOf(m_chromaAbove[s]) + m_acBlue;
        auto cost = [count](int have, double want) {
            return [count, have, want](int delta) { return count * (have + delta - want) * (have + delta - want); };
        };
        const auto& c = m_state.codes;
        const StepChoice choice = ChooseStep(c.chroma, c.chromaEscape, kEscapeScale24, c.nibbles, cost(haveRed, wantRed),
                                             cost(haveBlue, wantBlue));
        m_ac += EmitStep(c, kChromaCodes, kChromaEscapeCodes, kEscapeScale24, choice, m_out);
        m_acRed += c.chroma[choice.high] + (choice.escapeHigh >= 0 ? c.chromaEscape[choice.escapeHigh] : 0);
        m_acBlue += c.chroma[choice.low] + (choice.escapeLow >= 0 ? c.chromaEscape[choice.escapeLow] : 0);
        m_chroma[s] = m_chromaAbove[s] + m_ac;
    }

    // A luminance step for the half word holding pixels x and x + 1; returns the
    // half as the decoder computes it.
    uint32_t LumaStep(int x, uint32_t aboveHalf, const uint32_t* chromaRow) {
        const auto pixelCost = [&](int pixel, int lane) {
            const int aboveY = static_cast<int>(aboveHalf >> (pixel == 0 ? 8 : 0)) & 0xFF;
            const uint32_t sample = chromaRow[m_state.narrowBlocks ? (x + pixel) / 2 : (x + pixel) / 4];
            const int px = x + pixel;
            return [this, aboveY, lane, sample, px](int delta) {
                const int y = aboveY + lane + delta;
                const bool broken = y < 0 || y > 255;
                const uint32_t e = m_state.grayTable[static_cast<size_t>(std::clamp(y, 0, 255))] + sample;
                double total = 0;
                for (int ch = 0; ch < 3; ++ch) {
                    const int d = static_cast<int>((e >> (8 * (2 - ch))) & 0xFF) - Source(px, m_row, ch);
                    total += d * d;
                }
                return broken ? kBrokenPixelCost + total : total;
            };
        };
        const auto& c = m_state.codes;
        const StepChoice choice = ChooseStep(c.luma, c.lumaEscape, kEscapeScale24, c.nibbles, pixelCost(0, m_ayHigh),
                                             pixelCost(1, m_ayLow));
        m_ay += EmitStep(c, kLumaCodes, kLumaEscapeCodes, kEscapeScale24, choice, m_out);
        m_ayHigh += c.luma[choice.high] + (choice.escapeHigh >= 0 ? c.lumaEscape[choice.escapeHigh] : 0);
        m_ayLow += c.luma[choice.low] + (choice.escapeLow >= 0 ? c.lumaEscape[choice.escapeLow] : 0);
        return (aboveHalf + m_ay) & 0xFFFF;
    }

    // A kept block: prediction goes on from its word and its last chroma sample.
    void KeepFrom(int i, int lastSample) {
        m_ay = m_words[i] - m_above[i];
        m_ayHigh = static_cast<int>((m_words[i] >> 8) & 0xFF) - static_cast<int>((m_above[i] >> 8) & 0xFF);
        m_ayLow = static_cast<int>(m_words[i] & 0xFF) - static_cast<int>(m_above[i] & 0xFF);
        if (m_chroma) {
            m_ac = m_chroma[lastSample] - m_chromaAbove[lastSample];
            m_acRed = RedOf(m_chroma[lastSample]) - RedOf(m_chromaAbove[lastSample]);
            m_acBlue = BlueOf(m_chroma[lastSample]) - BlueOf(m_chromaAbove[lastSample]);
        }
    }

    void CodeBlock(int i, const uint32_t* chromaRow) {
        const uint32_t u = m_above[i];
        const bool narrow = m_state.narrowBlocks;
        if (m_chroma) ChromaStep(narrow ? 2 * i : i, 4 * i, narrow ? 4 * i + 1 : 4 * i + 3);
        const uint32_t high = LumaStep(4 * i, u >> 16, chromaRow);
        if (m_chroma && narrow) ChromaStep(2 * i + 1, 4 * i + 2, 4 * i + 3);
        const uint32_t low = LumaStep(4 * i + 2, u & 0xFFFF, chromaRow);
        m_words[i] = high << 16 | low;
    }

private:
    int Source(int x, int y, int channel) const {
        return EncoderState::Source(m_bgr, m_state.width, m_state.height, x, y, channel);
    }

    EncoderState& m_state;
    std::span<const uint8_t> m_bgr;
    int m_row;
    const uint32_t* m_above;
    uint32_t* m_words;
    const uint32_t* m_chromaAbove;  // null on rows without chroma
    uint32_t* m_chroma;
    std::vector<uint8_t>& m_out;
    uint32_t m_ay = 0, m_ac = 0;
    int m_ayHigh = 0, m_ayLow = 0, m_acRed = 0, m_acBlue = 0;
};

}  // namespace

void EncodeLumaChromaFrame(EncoderState& state, std::span<const uint8_t> bgr, const KeptBlocks& kept,
                           std::vector<uint8_t>& out) {
    const int words = state.width / 4;
    const size_t chromaLength = static_cast<size_t>(state.narrowBlocks ? state.width / 2 : state.width / 4);
    uint32_t* luma = state.image.data();
    uint32_t* chroma = state.image2.data();
    size_t chromaRow = 0;
    for (int r = 0; r < state.height; ++r) {
        const bool blockTop = state.IsBlockTopRow(r);
        if (blockTop) ++chromaRow;
        uint32_t* current = chroma + chromaRow * chromaLength;
        LumaChromaRowCoder row(state, bgr, r, luma + static_cast<size_t>(r) * words,
                               luma + static_cast<size_t>(r + 1) * words,
                               blockTop ? current - chromaLength : nullptr, blockTop ? current : nullptr, out);
        for (int i = 0; i < words; ++i) {
            if (!kept.empty() && kept[static_cast<size_t>(r / 4) * words + i])
                row.KeepFrom(i, state.narrowBlocks ? 2 * i + 1 : i);
            else
                row.CodeBlock(i, current);
        }
    }
    WriteImage24(state.width, state.height, state.blockMask, state.narrowBlocks, luma, chroma, state.grayTable,
                 state.reconstruction.data());
}

}  // namespace truemotion
