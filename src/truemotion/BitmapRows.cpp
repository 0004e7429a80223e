#include "truemotion/BitmapRows.h"

#include <cstring>

#include "truemotion/StretchMid.h"

namespace truemotion {
namespace {

// A display pixel as the 24-bit value whose little-endian bytes are blue, green, red.
inline uint32_t Bgr15(uint32_t d) {
    return ((d >> 7) & 0xF8) | ((d << 6) & 0xF800) | ((d << 19) & 0xF80000);
}
inline uint32_t ByteSwap(uint32_t x) {
    return (x >> 24) | ((x >> 8) & 0xFF00) | ((x << 8) & 0xFF0000) | (x << 24);
}
inline uint32_t Bgr24(uint32_t e) {
    return ByteSwap(e) >> 8;
}

inline void Store32(uint8_t* out, uint32_t value) {
    std::memcpy(out, &value, sizeof value);
}

// Writes four pixels, 12 bytes, as three 32-bit stores.
inline void PutGroup(uint8_t* out, uint32_t p0, uint32_t p1, uint32_t p2, uint32_t p3) {
    Store32(out, p0 | p1 << 24);
    Store32(out + 4, p1 >> 8 | p2 << 16);
    Store32(out + 8, p2 >> 16 | p3 << 8);
}

// The group of pair words d0, d1.
inline void PutGroup15(const uint32_t* pairs, uint8_t* out) {
    const uint32_t d0 = pairs[0], d1 = pairs[1];
    PutGroup(out, Bgr15(d0), Bgr15(d0 >> 16), Bgr15(d1), Bgr15(d1 >> 16));
}

// Each pixel is its grey plus the chroma sample: red and blue offsets added in one
// 32-bit sum, so an offset out of range carries into the next byte.
inline void PutGroup24(uint32_t y, const uint32_t* chroma, bool narrow, const uint32_t* gray,
                       uint8_t* out) {
    const uint32_t s0 = chroma[0];
    const uint32_t s1 = narrow ? chroma[1] : s0;
    PutGroup(out, Bgr24(gray[y >> 24] + s0), Bgr24(gray[(y >> 16) & 0xFF] + s0),
             Bgr24(gray[(y >> 8) & 0xFF] + s1), Bgr24(gray[y & 0xFF] + s1));
}

}  // namespace

void WriteRow15Plain(const uint32_t* pairs, size_t groups, uint8_t* out) {
    for (size_t g = 0; g < groups; ++g, out += 12) PutGroup15(pairs + 2 * g, out);
}

void WriteRow24Plain(const uint32_t* luma, const uint32_t* chroma, bool narrow, size_t words,
                     const uint32_t* gray, uint8_t* out) {
    for (size_t i = 0; i < words; ++i, out += 12)
        PutGroup24(luma[i], narrow ? chroma + 2 * i : chroma + i, narrow, gray, out);
}

void WriteGroups15Plain(const uint32_t* pairs, std::span<const uint16_t> groups, uint8_t* out) {
    for (const uint16_t g : groups) PutGroup15(pairs + 2 * size_t{g}, out + 12 * size_t{g});
}

void WriteGroups24Plain(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                        std::span<const uint16_t> groups, const uint32_t* gray, uint8_t* out) {
    for (const uint16_t g : groups)
        PutGroup24(luma[g], narrow ? chroma + 2 * size_t{g} : chroma + g, narrow, gray,
                   out + 12 * size_t{g});
}

void WidenRowPlain(const uint32_t* coded, size_t iterations, uint32_t* display) {
    for (size_t i = 0; i < iterations; ++i) {
        const uint32_t p = coded[2 * i], q = coded[2 * i + 1];
        const uint32_t a = p & 0xFFFF, b = p >> 16, c = q & 0xFFFF, d = q >> 16;
        display[3 * i] = a | mid(a, b) << 16;
        display[3 * i + 1] = b | c << 16;
        display[3 * i + 2] = mid(c, d) | d << 16;
    }
}

RowWidener FastestRowWidener() {
    static const RowWidener widener = HasSsse3Rows() ? WidenRowSsse3 : WidenRowPlain;
    return widener;
}

Row15Writer FastestRow15Writer() {
    static const Row15Writer writer = HasAvx2Rows()    ? WriteRow15Avx2
                                      : HasSsse3Rows() ? WriteRow15Ssse3
                                                       : WriteRow15Plain;
    return writer;
}

Groups15Writer FastestGroups15Writer() {
    static const Groups15Writer writer = HasSsse3Rows() ? WriteGroups15Ssse3 : WriteGroups15Plain;
    return writer;
}

Groups24Writer FastestGroups24Writer() {
    static const Groups24Writer writer = HasSsse3Rows() ? WriteGroups24Ssse3 : WriteGroups24Plain;
    return writer;
}

Row24Writer FastestRow24Writer() {
    static const Row24Writer writer = HasAvx2Rows()    ? WriteRow24Avx2
                                      : HasSsse3Rows() ? WriteRow24Ssse3
                                                       : WriteRow24Plain;
    return writer;
}

}  // namespace truemotion
