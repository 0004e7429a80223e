#pragma once

#include <cstdint>
#include <span>

#include "truemotion/CodeTables.h"

namespace truemotion {

// The index stream of a frame body, read forward one byte at a time. Reading past
// the end yields zeros and marks the stream exhausted; the body decoders stop the
// frame at the end of the row where that happens.
class IndexStream {
public:
    explicit IndexStream(std::span<const uint8_t> bytes) : m_next(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    uint8_t Next() {
        if (m_next == m_end) {
            m_exhausted = true;
            return 0;
        }
        return *m_next++;
    }
    bool exhausted() const { return m_exhausted; }

private:
    const uint8_t* m_next;
    const uint8_t* m_end;
    bool m_exhausted = false;
};

// The group cursor: one position (group × 4 + slot) that addresses every code table
// alike, so luminance and chroma steps consume one common sequence of slots.
class CodeCursor {
public:
    explicit CodeCursor(IndexStream& in) : m_in(in), m_position(in.Next() * kCodeSlotCount) {}

    // One step on `table`: adds the next pair entry to `acc`. At the end of a group
    // the next index byte picks the next group; a 0 there is an escape into `escape`,
    // whose entry is added `escapeScale` times.
    void Step(const CodeTable& table, const CodeTable& escape, uint32_t escapeScale, uint32_t& acc) {
        const uint32_t e = Entry(table, m_position++);
        acc += e >> 1;
        if (!(e & 1)) return;
        const uint32_t b = m_in.Next();
        if (b != 0) {
            m_position = b * kCodeSlotCount;
            return;
        }
        const uint32_t b2 = m_in.Next();
        const uint32_t e2 = Entry(escape, b2 * kCodeSlotCount);
        acc += (e2 >> 1) * escapeScale;
        m_position = b2 * kCodeSlotCount + 1;
        if (e2 & 1) m_position = m_in.Next() * kCodeSlotCount;
    }

private:
    // Built tables never move the cursor past a group's last entry; the mask keeps
    // even a broken table inside its bounds.
    static uint32_t Entry(const CodeTable& table, uint32_t position) {
        position &= kCodeGroupCount * kCodeSlotCount - 1;
        return table[position / kCodeSlotCount][position % kCodeSlotCount];
    }

    IndexStream& m_in;
    uint32_t m_position;
};

}  // namespace truemotion
