#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/ByteReader.h"

// Builds little-endian byte strings field by field: the stored records and chunks.
class ByteWriter {
public:
    explicit ByteWriter(size_t reserve = 0) { m_bytes.reserve(reserve); }

    void U8(uint8_t v) { m_bytes.push_back(v); }
    void U16(uint16_t v) {
        m_bytes.push_back(static_cast<uint8_t>(v));
        m_bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void Append(std::span<const uint8_t> bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    }
    // Rewrites a 32-bit field already written, at byte `at`.
    void PatchU32(size_t at, uint32_t v) { StoreLE32(&m_bytes[at], v); }

    size_t Size() const { return m_bytes.size(); }
    const std::vector<uint8_t>& Data() const { return m_bytes; }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};
