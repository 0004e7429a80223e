#pragma once

#include <array>
#include <cstdint>
#include <span>

// The code tables that turn a group cursor of the index stream into packed pair deltas.

namespace truemotion {

enum class CodeTableLayout { k15Bit, k24Bit };

// Which of the four tables of CodeTables.
enum CodeTableKind : int {
    kLumaCodes = 0,
    kChromaCodes = 1,
    kLumaEscapeCodes = 2,
    kChromaEscapeCodes = 3,
};

inline constexpr int kCodeGroupCount = 256;
inline constexpr int kCodeSlotCount = 4;

// One table: 256 groups of up to 4 entries. An entry is a packed pair delta shifted left
// by one; bit 0 is set on the last entry of its group.
using CodeTable = std::array<std::array<uint32_t, kCodeSlotCount>, kCodeGroupCount>;
// Luminance, chroma, luminance escape, chroma escape.
using CodeTables = std::array<CodeTable, 4>;

// The vector table 1..3 as bytes; empty for any other number.
std::span<const uint8_t> VectorTableBytes(int table);

// Fills `tables` for delta set 0..3 from a vector table (a VectorTableBytes result).
// The escape tables are filled in both layouts: the 15-bit mode never reads them, but a
// 24-bit frame may reuse tables built for a 15-bit one and walks their end bits.
// Returns false, leaving `tables` unchanged, for a delta set outside 0..3 or a vector
// table that does not hold 256 well-formed groups.
bool BuildCodeTables(int deltaSet, std::span<const uint8_t> vectorTable, CodeTableLayout layout,
                     CodeTables& tables);

}  // namespace truemotion
