#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "truemotion/CodeTables.h"

namespace truemotion {

// The index stream of a frame body and the group cursor that it drives: one position
// (group × 4 + slot) that addresses every code table alike, so luminance and chroma
// steps consume one common sequence of slots.
//
// The stream is read forward one byte at a time. Reading past its end yields zeros and
// marks it exhausted; the body decoders stop the frame at the end of the row where that
// happens. Each body decoder keeps its cursor as a local, so that it lives in registers.
class CodeCursor {
public:
    // Reads the first index byte: the cursor starts at slot 0 of that group.
    explicit CodeCursor(std::span<const uint8_t> bytes)
        : m_next(bytes.data()),
          m_end(bytes.data() + bytes.size()),
          m_position(Next() * kCodeSlotCount) {}

    // One step on `table`: adds the next pair entry to `acc`. At the end of a group the
    // next index byte picks the next group; a 0 there is an escape into `escape`, whose
    // entry is added `escapeScale` times.
    //
    // `checked` false leaves out the test for the stream's end, for steps the caller
    // knows to lie within it (see Holds).
    template <uint32_t escapeScale, bool checked = true>
    void Step(const CodeTable& table, const CodeTable& escape, uint32_t& acc) {
        const uint32_t e = Entry(table, m_position);
        acc += e >> 1;
        if (!(e & 1)) [[unlikely]] {
            m_position = (m_position + 1) & kPositionMask;
            return;
        }
        const uint32_t b = Next<checked>();
        if (b != 0) [[likely]] {
            m_position = b * kCodeSlotCount;
            return;
        }
        Escape<escapeScale, checked>(escape, acc);
    }

    bool Exhausted() const { return m_exhausted; }

    // For runs of steps taken outside Step (see FirstEntries): whether the cursor is at
    // the first slot of its group, that group, and the bytes after it.
    bool AtGroupStart() const { return (m_position & (kCodeSlotCount - 1)) == 0; }
    uint32_t Group() const { return m_position / kCodeSlotCount; }
    const uint8_t* Bytes() const { return m_next; }
    // After a run of `count` steps of single-entry groups: `count` bytes read, the last
    // one's group current.
    void Advance(size_t count) {
        m_next += count;
        m_position = m_next[-1] * uint32_t{kCodeSlotCount};
    }

    // Whether `steps` steps cannot reach the stream's end: none reads more than three
    // bytes (the group's, and an escape's two).
    bool Holds(size_t steps) const {
        return static_cast<size_t>(m_end - m_next) >= kMaxBytesPerStep * steps;
    }

private:
    // After an index byte 0: the next byte's group in the escape table, scaled.
    static constexpr size_t kMaxBytesPerStep = 3;

    template <uint32_t escapeScale, bool checked>
    void Escape(const CodeTable& escape, uint32_t& acc) {
        const uint32_t b2 = Next<checked>();
        const uint32_t e2 = Entry(escape, b2 * kCodeSlotCount);
        acc += (e2 >> 1) * escapeScale;
        m_position = b2 * kCodeSlotCount + 1;
        if (e2 & 1) m_position = Next<checked>() * kCodeSlotCount;
    }

    template <bool checked = true>
    uint32_t Next() {
        if (checked && m_next == m_end) [[unlikely]] {
            m_exhausted = true;
            return 0;
        }
        return *m_next++;
    }

    // A group's last entry ends it, but an escape goes on at slot 1 of its group, which
    // may lie past the group's end: the cursor then walks on through the entries after
    // it. Wrapping the position at each such step keeps it inside the table; a group's
    // first slot, set from a byte, always is.
    static constexpr uint32_t kPositionMask = kCodeGroupCount * kCodeSlotCount - 1;
    static uint32_t Entry(const CodeTable& table, uint32_t position) {
        return table.data()->data()[position];
    }

    const uint8_t* m_next;
    const uint8_t* m_end;
    bool m_exhausted = false;
    uint32_t m_position;
};

// The groups of the steps of a run from a cursor at a group start: the cursor's group
// for step 0, then the group of byte k − 1 for step k.
struct RunGroups {
    uint32_t first;
    const uint8_t* bytes;

    explicit RunGroups(const CodeCursor& cursor) : first(cursor.Group()), bytes(cursor.Bytes()) {}
    uint32_t operator()(int k) const { return k == 0 ? first : uint32_t{bytes[k - 1]}; }
};

// The first entries of the luminance and chroma tables, for runs of steps whose groups
// each hold one entry, the way our encoder codes. In such a run every step adds its
// group's first entry and reads the next group's byte, none of them 0: a run of n steps
// reads n bytes and needs no test between them. Every table of a set is built with the
// same group lengths, so whether a group ends at its first slot holds for all four.
struct FirstEntries {
    // Flags of a byte: its group goes on past the first slot; it is 0, an escape.
    static constexpr uint8_t kLongGroup = 1;
    static constexpr uint8_t kEscapeByte = 2;

    std::array<uint32_t, kCodeGroupCount> luma;
    std::array<uint32_t, kCodeGroupCount> chroma;
    std::array<uint8_t, kCodeGroupCount> flags;
    // The 24-bit mode's luminance sums are only ever read in their low 16 bits: there the
    // entries carry their flags at bit 24, and a run's sum tells whether any were set
    // (the low halves of at most 256 entries carry into bits 16..23 only).
    std::array<uint32_t, kCodeGroupCount> lumaFlagged;
    static constexpr int kFlagShift = 24;

    explicit FirstEntries(const CodeTables& tables) {
        for (size_t g = 0; g < kCodeGroupCount; ++g) {
            const uint32_t first = tables[kLumaCodes][g][0];
            luma[g] = first >> 1;
            chroma[g] = tables[kChromaCodes][g][0] >> 1;
            flags[g] =
                static_cast<uint8_t>(((first & 1) ? 0 : kLongGroup) | (g == 0 ? kEscapeByte : 0));
            lumaFlagged[g] = (luma[g] & 0xFFFF) | uint32_t{flags[g]} << kFlagShift;
        }
    }

    // Whether the `steps` steps of `groups` are a run: every group ends at its first
    // slot and no byte read is 0. Needs `steps` bytes.
    template <int steps>
    bool IsRun(const RunGroups& groups) const {
        uint32_t any = flags[groups.first] & kLongGroup;
#pragma GCC unroll 16
        for (int k = 0; k + 1 < steps; ++k) any |= flags[groups.bytes[k]];
        any |= flags[groups.bytes[steps - 1]] & kEscapeByte;
        return any == 0;
    }
};

}  // namespace truemotion
