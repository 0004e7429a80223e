#include "base/ByteReader.h"

#include <cstring>

bool ByteReader::Fits(size_t count) {
    if (m_failed || count > Remaining()) {
        m_failed = true;
        return false;
    }
    return true;
}

uint8_t ByteReader::U8() {
    if (!Fits(1)) return 0;
    return m_bytes[m_position++];
}

uint16_t ByteReader::U16() {
    if (!Fits(2)) return 0;
    const uint16_t v = LoadLE16(m_bytes.data() + m_position);
    m_position += 2;
    return v;
}

uint32_t ByteReader::U32() {
    if (!Fits(4)) return 0;
    const uint32_t v = LoadLE32(m_bytes.data() + m_position);
    m_position += 4;
    return v;
}

void ByteReader::Read(void* out, size_t count) {
    if (!Fits(count)) {
        std::memset(out, 0, count);
        return;
    }
    std::memcpy(out, m_bytes.data() + m_position, count);
    m_position += count;
}

std::span<const uint8_t> ByteReader::Take(size_t count) {
    if (!Fits(count)) return {};
    const auto out = m_bytes.subspan(m_position, count);
    m_position += count;
    return out;
}

void ByteReader::Skip(size_t count) {
    if (Fits(count)) m_position += count;
}

void ByteReader::Seek(size_t position) {
    if (position > m_bytes.size()) {
        m_failed = true;
        return;
    }
    m_position = position;
}
