#pragma once

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
        const uint32_t e = Entry(table, m_position++);
        acc += e >> 1;
        if (!(e & 1)) return;
        const uint32_t b = Next<checked>();
        if (b != 0) [[likely]] {
            m_position = b * kCodeSlotCount;
            return;
        }
        Escape<escapeScale, checked>(escape, acc);
    }

    bool Exhausted() const { return m_exhausted; }

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

    // Built tables never move the cursor past a group's last entry; the mask keeps even
    // a broken table inside its bounds.
    static uint32_t Entry(const CodeTable& table, uint32_t position) {
        return table.data()->data()[position & (kCodeGroupCount * kCodeSlotCount - 1)];
    }

    const uint8_t* m_next;
    const uint8_t* m_end;
    bool m_exhausted = false;
    uint32_t m_position;
};

}  // namespace truemotion
