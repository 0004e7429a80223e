#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>

// What every fuzz target shares: inputs copied into buffers of their exact size, so a
// read one byte past the end is a sanitizer report, and outputs read byte by byte, so
// a write that was never backed by memory shows up too.

namespace fuzz {

class ExactCopy {
public:
    explicit ExactCopy(std::span<const uint8_t> bytes)
        : m_pBytes(new uint8_t[bytes.size()]), m_nSize(bytes.size()) {
        if (m_nSize != 0) std::memcpy(m_pBytes.get(), bytes.data(), m_nSize);
    }
    std::span<const uint8_t> Bytes() const { return {m_pBytes.get(), m_nSize}; }

private:
    std::unique_ptr<uint8_t[]> m_pBytes;
    size_t m_nSize;
};

// Reads every byte of `bytes` into a sink the optimiser must keep. Left out of the
// coverage instrumentation, which would otherwise cost more than the decoding; the
// address checks stay.
__attribute__((noinline, no_sanitize("coverage"))) inline void Touch(
    std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (const uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
    volatile uint8_t sink = sum;
    (void)sink;
}

// A property the code promises does not hold: a finding, like a sanitizer report.
inline void Require(bool holds) {
    if (!holds) std::abort();
}

// Takes `n` bytes from the front of `rest`, or fewer when it is shorter.
inline std::span<const uint8_t> Take(std::span<const uint8_t>& rest, size_t n) {
    n = n < rest.size() ? n : rest.size();
    const auto front = rest.first(n);
    rest = rest.subspan(n);
    return front;
}

inline uint32_t TakeU16(std::span<const uint8_t>& rest) {
    const auto b = Take(rest, 2);
    return (b.size() > 0 ? b[0] : 0u) | (b.size() > 1 ? b[1] << 8 : 0u);
}

}  // namespace fuzz
