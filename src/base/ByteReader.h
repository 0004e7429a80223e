#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// A forward reader over a span of bytes that refuses to read past its end.
// A read that does not fit sets a sticky error flag and yields zeros, so a
// parser can read a whole header and check failed() once.
class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    uint8_t U8();
    uint16_t U16();  // little-endian
    uint32_t U32();  // little-endian
    int16_t S16() { return static_cast<int16_t>(U16()); }
    int32_t S32() { return static_cast<int32_t>(U32()); }

    // Copies count bytes into out, or fails and leaves out zeroed.
    void Read(void* out, size_t count);
    // The next count bytes as a span; empty (and failed) when they do not fit.
    std::span<const uint8_t> Take(size_t count);
    void Skip(size_t count);
    void Seek(size_t position);

    size_t Position() const { return m_position; }
    size_t Remaining() const { return m_bytes.size() - m_position; }
    size_t Size() const { return m_bytes.size(); }
    bool Failed() const { return m_failed; }

private:
    bool Fits(size_t count);

    std::span<const uint8_t> m_bytes;
    size_t m_position = 0;
    bool m_failed = false;
};

// Little-endian loads and stores on raw memory, for fixed records.
inline uint16_t LoadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
