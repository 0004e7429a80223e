#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "truemotion/CodeTables.h"
#include "truemotion/FrameHeader.h"

// Decodes our encoder's frames with every pixel field held as a plain integer instead
// of packed into words, to see what the packed arithmetic of the real decoder hides:
// a 15-bit field or a 24-bit luminance byte that leaves its range carries into its
// neighbour there, and would show here as a value out of range. It also checks that
// the index stream holds exactly the steps the frame needs, plus the one byte read
// after the last step.

namespace truemotion::testing {

class FieldCheckingDecoder {
public:
    struct Report {
        int brokenValues = 0;
        bool streamExact = false;
    };

    FieldCheckingDecoder(int width, int height) : m_width(width), m_height(height) {}

    Report Decode(std::span<const uint8_t> frame) {
        const ParsedHeader parsed = ParseFrameHeader(frame);
        const FrameHeader& h = parsed.header;
        const CompressionRow& row = h.Row();
        m_is24 = h.Is24Bit();
        m_narrow = row.blockWidth == 2;
        m_blockMask = row.blockHeight - 1;
        m_luma = kLumaDeltas[h.deltaSet];
        m_chroma = kChromaDeltas[h.deltaSet];
        m_lumaEscape = kLumaEscapeDeltas[h.deltaSet];
        m_chromaEscape = kChromaEscapeDeltas[h.deltaSet];
        ReadGroups(VectorTableBytes(h.CodeVectorTable()));

        const bool stretch = h.Stretch();
        const bool delta = !stretch && !h.KeyFrame();
        m_mask = {};
        size_t start = static_cast<size_t>(h.size);
        if (delta) {
            m_mask = frame.subspan(start, StripeBytes() * static_cast<size_t>(m_height / 4));
            start += m_mask.size();
        }
        m_stream = frame.subspan(start);
        m_position = 0;
        m_broken = 0;
        m_group = Next();
        m_slot = 0;
        if (stretch)
            DecodeStretch();
        else if (m_is24)
            Decode24();
        else
            Decode15();
        return {m_broken, m_position == m_stream.size()};
    }

    // The 15-bit picture as display bytes (blue, green, red, bottom row first).
    std::vector<uint8_t> Picture15() const {
        std::vector<uint8_t> bgr(static_cast<size_t>(m_width) * m_height * 3);
        for (int r = 0; r < m_height; ++r)
            for (int x = 0; x < m_width; ++x) {
                const auto& f = m_fields[Index(r + 1, x, m_width)];
                uint8_t* p = &bgr[(static_cast<size_t>(m_height - 1 - r) * m_width + x) * 3];
                p[0] = static_cast<uint8_t>(8 * f[2]);
                p[1] = static_cast<uint8_t>(8 * f[1]);
                p[2] = static_cast<uint8_t>(8 * f[0]);
            }
        return bgr;
    }

private:
    using Fields = std::array<int, 3>;  // red, green, blue

    struct Group {
        int length = 0;
        std::array<uint8_t, 4> pairs{};
    };

    void ReadGroups(std::span<const uint8_t> table) {
        size_t position = 0;
        for (Group& g : m_groups) {
            g.length = table[position++];
            for (int k = 0; k < g.length; ++k) g.pairs[static_cast<size_t>(k)] = table[position++];
        }
    }

    int Next() {
        if (m_position >= m_stream.size()) {
            ++m_position;  // past the end: the stream is short
            return 0;
        }
        return m_stream[m_position++];
    }

    // One step: the deltas of the left (high nibble) and right (low nibble) lanes.
    std::pair<int, int> Step(bool chroma) {
        const DeltaTable& table = chroma ? m_chroma : m_luma;
        const Group& g = m_groups[static_cast<size_t>(m_group)];
        const uint8_t pair = g.pairs[static_cast<size_t>(m_slot++)];
        int high = table[(pair >> 4) & 7], low = table[pair & 7];
        if (m_slot < g.length) return {high, low};
        const int next = Next();
        m_group = next;
        m_slot = 0;
        if (next != 0) return {high, low};
        const int escape = Next();
        const uint8_t escaped = m_groups[static_cast<size_t>(escape)].pairs[0];
        const DeltaTable& escapeTable = m_is24 ? (chroma ? m_chromaEscape : m_lumaEscape) : table;
        const int scale = m_is24 ? 1 : 5;
        high += scale * escapeTable[(escaped >> 4) & 7];
        low += scale * escapeTable[escaped & 7];
        m_group = escape;
        m_slot = 1;
        if (m_groups[static_cast<size_t>(escape)].length == 1) {
            m_group = Next();
            m_slot = 0;
        }
        return {high, low};
    }

    size_t StripeBytes() const { return static_cast<size_t>(((m_width / 4) + 7) / 8); }
    bool IsBlockTop(int r) const { return ((m_height - r) & m_blockMask) == 0; }
    bool IsKept(int r, int block) const {
        if (m_mask.empty()) return false;
        const int stripe = m_height / 4 - (m_height - r + 3) / 4;
        if (stripe < 0) return true;
        return (m_mask[static_cast<size_t>(stripe) * StripeBytes() +
                       static_cast<size_t>(block / 8)] >>
                (block % 8)) &
               1;
    }
    static size_t Index(int row, int x, int width) { return static_cast<size_t>(row) * width + x; }

    void Check(int value, int max) { m_broken += value < 0 || value > max; }

    // The 15-bit pair image and the coded image of the two-thirds mode.
    void DecodeFields(int codedWidth, bool stretch) {
        m_fields.resize(Index(m_height + 1, 0, codedWidth));
        for (int r = 0; r < m_height; ++r) {
            Fields acc[2] = {};
            auto word = [&](int w) {
                for (int p = 0; p < 2; ++p)
                    for (int f = 0; f < 3; ++f) {
                        const int v =
                            m_fields[Index(r, 2 * w + p, codedWidth)][static_cast<size_t>(f)] +
                            acc[p][static_cast<size_t>(f)];
                        m_fields[Index(r + 1, 2 * w + p, codedWidth)][static_cast<size_t>(f)] = v;
                        Check(v, 31);
                    }
            };
            auto luma = [&] {
                const auto [high, low] = Step(false);
                for (int f = 0; f < 3; ++f)
                    acc[0][static_cast<size_t>(f)] += high, acc[1][static_cast<size_t>(f)] += low;
            };
            auto chroma = [&] {
                const auto [red, blue] = Step(true);
                for (auto& a : acc) a[0] += red, a[2] += blue;
            };
            const bool top = IsBlockTop(r);
            for (int k = 0; k < codedWidth / 4; ++k) {
                if (IsKept(r, k)) {
                    for (int p = 0; p < 2; ++p)
                        for (size_t f = 0; f < 3; ++f)
                            acc[p][f] = m_fields[Index(r + 1, 4 * k + 2 + p, codedWidth)][f] -
                                        m_fields[Index(r, 4 * k + 2 + p, codedWidth)][f];
                    continue;
                }
                if (top) chroma();
                luma();
                word(2 * k);
                if (top && (m_narrow || stretch)) chroma();
                luma();
                word(2 * k + 1);
            }
        }
    }

    void Decode15() { DecodeFields(m_width, false); }
    void DecodeStretch() { DecodeFields(m_width / 3 * 2, true); }

    void Decode24() {
        m_luma24.resize(Index(m_height + 1, 0, m_width));
        for (int r = 0; r < m_height; ++r) {
            int left = 0, right = 0;
            auto half = [&](int x) {
                const auto [high, low] = Step(false);
                left += high, right += low;
                for (int p = 0; p < 2; ++p) {
                    const int v = m_luma24[Index(r, x + p, m_width)] + (p == 0 ? left : right);
                    m_luma24[Index(r + 1, x + p, m_width)] = v;
                    Check(v, 255);
                }
            };
            const bool top = IsBlockTop(r);
            for (int i = 0; i < m_width / 4; ++i) {
                if (IsKept(r, i)) {
                    left = m_luma24[Index(r + 1, 4 * i + 2, m_width)] -
                           m_luma24[Index(r, 4 * i + 2, m_width)];
                    right = m_luma24[Index(r + 1, 4 * i + 3, m_width)] -
                            m_luma24[Index(r, 4 * i + 3, m_width)];
                    continue;
                }
                if (top) Step(true);
                half(4 * i);
                if (top && m_narrow) Step(true);
                half(4 * i + 2);
            }
        }
    }

    int m_width, m_height;
    bool m_is24 = false, m_narrow = false;
    int m_blockMask = 0;
    DeltaTable m_luma{}, m_chroma{}, m_lumaEscape{}, m_chromaEscape{};
    std::array<Group, 256> m_groups{};
    std::span<const uint8_t> m_mask, m_stream;
    size_t m_position = 0;
    int m_group = 0, m_slot = 0, m_broken = 0;
    std::vector<Fields> m_fields;
    std::vector<int> m_luma24;
};

}  // namespace truemotion::testing
