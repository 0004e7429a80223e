#include "truemotion/BitmapRows.h"
#include "truemotion/BitmapRowsMasks.h"

// The writers' row kernels with SSSE3 byte shuffles: 16 pixels an iteration, the last
// few by the plain kernels. Built for the processor at run time; elsewhere the plain
// kernels stand in. The short loops over a few vectors are unrolled by pragma, so that
// the vectors stay in registers.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <immintrin.h>

#include <cstring>

namespace truemotion {
namespace {

using rows::ByteMask;
using rows::kPack15;
using rows::kPack24;
using rows::kSpread;

#define LUMEKO_SSSE3 __attribute__((target("ssse3")))

LUMEKO_SSSE3 inline __m128i Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
LUMEKO_SSSE3 inline __m128i Mask(const ByteMask& m) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m.data()));
}

LUMEKO_SSSE3 inline void Pack(const std::array<std::array<ByteMask, 4>, 3>& masks,
                              const __m128i (&px)[4], uint8_t* out) {
#pragma GCC unroll 3
    for (int v = 0; v < 3; ++v) {
        // Output vector v draws on pixel vectors v and v + 1 only.
        const __m128i bytes = _mm_or_si128(_mm_shuffle_epi8(px[v], Mask(masks[v][v])),
                                           _mm_shuffle_epi8(px[v + 1], Mask(masks[v][v + 1])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * v), bytes);
    }
}

// The 12 bytes of four pixels packed into the low bytes of v.
LUMEKO_SSSE3 inline void Store12(uint8_t* out, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), v);
    const uint32_t last = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
    std::memcpy(out + 8, &last, sizeof last);
}

// Per 16-bit pixel of p: blue and green bytes, and red with a zero byte.
LUMEKO_SSSE3 inline void Split15(__m128i p, __m128i& blueGreen, __m128i& red) {
    const __m128i blueMask = _mm_set1_epi16(0x00F8),
                  greenMask = _mm_set1_epi16(static_cast<int16_t>(0xF800));
    blueGreen = _mm_or_si128(_mm_and_si128(_mm_srli_epi16(p, 7), blueMask),
                             _mm_and_si128(_mm_slli_epi16(p, 6), greenMask));
    red = _mm_and_si128(_mm_slli_epi16(p, 3), blueMask);
}

}  // namespace

bool HasSsse3Rows() {
    return __builtin_cpu_supports("ssse3");
}

LUMEKO_SSSE3 void WriteRow15Ssse3(const uint32_t* pairs, size_t groups, uint8_t* out) {
    size_t g = 0;
    for (; g + 4 <= groups; g += 4, out += 48) {
        __m128i px[4];
#pragma GCC unroll 2
        for (int half = 0; half < 2; ++half) {
            __m128i blueGreen, red;
            Split15(Load(pairs + 2 * g + 4 * half), blueGreen, red);
            px[2 * half] = _mm_unpacklo_epi16(blueGreen, red);
            px[2 * half + 1] = _mm_unpackhi_epi16(blueGreen, red);
        }
        Pack(kPack15, px, out);
    }
    WriteRow15Plain(pairs + 2 * g, groups - g, out);
}

LUMEKO_SSSE3 void WriteRow24Ssse3(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                                  size_t words, const uint32_t* gray, uint8_t* out) {
    size_t i = 0;
    for (; i + 4 <= words; i += 4, out += 48) {
        const __m128i y = Load(luma + i);
        __m128i sample[4];
        if (narrow) {
            const __m128i c0 = Load(chroma + 2 * i), c1 = Load(chroma + 2 * i + 4);
            sample[0] = _mm_shuffle_epi32(c0, 0x50);  // samples 0, 0, 1, 1
            sample[1] = _mm_shuffle_epi32(c0, 0xFA);  // 2, 2, 3, 3
            sample[2] = _mm_shuffle_epi32(c1, 0x50);
            sample[3] = _mm_shuffle_epi32(c1, 0xFA);
        } else {
            const __m128i c = Load(chroma + i);
            sample[0] = _mm_shuffle_epi32(c, 0x00);
            sample[1] = _mm_shuffle_epi32(c, 0x55);
            sample[2] = _mm_shuffle_epi32(c, 0xAA);
            sample[3] = _mm_shuffle_epi32(c, 0xFF);
        }
        // The grey of luminance Y is Y in the three low bytes (its top bit is never
        // written); the chroma sample adds with its carries, as in the plain kernel.
        __m128i px[4];
#pragma GCC unroll 4
        for (int w = 0; w < 4; ++w)
            px[w] = _mm_add_epi32(_mm_shuffle_epi8(y, Mask(kSpread[w])), sample[w]);
        Pack(kPack24, px, out);
    }
    WriteRow24Plain(luma + i, narrow ? chroma + 2 * i : chroma + i, narrow, words - i, gray, out);
}

namespace {

// Byte masks that pick 16-bit lanes: -1 leaves a lane zero.
constexpr ByteMask Lanes(std::array<int, 8> lanes) {
    ByteMask mask{};
    for (int j = 0; j < 8; ++j) {
        mask[2 * j] = static_cast<int8_t>(lanes[j] < 0 ? -1 : 2 * lanes[j]);
        mask[2 * j + 1] = static_cast<int8_t>(lanes[j] < 0 ? -1 : 2 * lanes[j] + 1);
    }
    return mask;
}
// Two iterations, coded pixels a0 b0 c0 d0 a1 b1 c1 d1 in lanes 0..7 and their mids in
// the even lanes of a second vector, give a0 m m b0 c0 m d0 a1 m (8 lanes) and
// b1 c1 m d1 (4 lanes).
alignas(16) constexpr ByteMask kWideFirstCoded = Lanes({0, -1, 1, 2, -1, 3, 4, -1});
alignas(16) constexpr ByteMask kWideFirstMid = Lanes({-1, 0, -1, -1, 2, -1, -1, 4});
alignas(16) constexpr ByteMask kWideRestCoded = Lanes({5, 6, -1, 7, -1, -1, -1, -1});
alignas(16) constexpr ByteMask kWideRestMid = Lanes({-1, -1, 6, -1, -1, -1, -1, -1});

}  // namespace

LUMEKO_SSSE3 void WidenRowSsse3(const uint32_t* coded, size_t iterations, uint32_t* display) {
    // mid(x, y) on 16-bit lanes: of the sum only bits 1..15 are kept, which no carry out
    // of the lane can reach, so the 17-bit mask of y's field shrinks to 16 bits.
    const __m128i fields = _mm_set1_epi16(0x7BDF),
                  bias = _mm_set1_epi16(static_cast<int16_t>(0x8420)),
                  guard = _mm_set1_epi16(static_cast<int16_t>(0x8000));
    const __m128i firstCoded = Mask(kWideFirstCoded), firstMid = Mask(kWideFirstMid),
                  restCoded = Mask(kWideRestCoded), restMid = Mask(kWideRestMid);
    size_t i = 0;
    for (; i + 2 <= iterations; i += 2, coded += 4, display += 6) {
        const __m128i x = Load(coded);
        const __m128i y = _mm_srli_epi32(x, 16);
        const __m128i sum =
            _mm_add_epi16(_mm_and_si128(x, fields), _mm_and_si128(_mm_add_epi16(y, bias), fields));
        const __m128i mids = _mm_or_si128(_mm_srli_epi16(sum, 1), guard);
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(display),
            _mm_or_si128(_mm_shuffle_epi8(x, firstCoded), _mm_shuffle_epi8(mids, firstMid)));
        _mm_storel_epi64(
            reinterpret_cast<__m128i*>(display + 4),
            _mm_or_si128(_mm_shuffle_epi8(x, restCoded), _mm_shuffle_epi8(mids, restMid)));
    }
    WidenRowPlain(coded, iterations - i, display);
}

LUMEKO_SSSE3 void WriteGroups15Ssse3(const uint32_t* pairs, std::span<const uint16_t> groups,
                                     uint8_t* out) {
    const __m128i pack = Mask(kPack15[0][0]);
    for (const uint16_t g : groups) {
        __m128i blueGreen, red;
        Split15(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pairs + 2 * size_t{g})), blueGreen,
                red);
        Store12(out + 12 * size_t{g}, _mm_shuffle_epi8(_mm_unpacklo_epi16(blueGreen, red), pack));
    }
}

LUMEKO_SSSE3 void WriteGroups24Ssse3(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                                     std::span<const uint16_t> groups, const uint32_t*,
                                     uint8_t* out) {
    const __m128i spread = Mask(kSpread[0]), pack = Mask(kPack24[0][0]);
    for (const uint16_t g : groups) {
        const __m128i y = _mm_cvtsi32_si128(static_cast<int>(luma[g]));
        // Samples 0, 0, 1, 1 with narrow blocks; one sample for the four pixels otherwise.
        const __m128i sample =
            narrow ? _mm_shuffle_epi32(
                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(chroma + 2 * size_t{g})),
                         0x50)
                   : _mm_set1_epi32(static_cast<int>(chroma[g]));
        Store12(out + 12 * size_t{g},
                _mm_shuffle_epi8(_mm_add_epi32(_mm_shuffle_epi8(y, spread), sample), pack));
    }
}

}  // namespace truemotion

#else

namespace truemotion {

bool HasSsse3Rows() {
    return false;
}
void WriteRow15Ssse3(const uint32_t* pairs, size_t groups, uint8_t* out) {
    WriteRow15Plain(pairs, groups, out);
}
void WriteRow24Ssse3(const uint32_t* luma, const uint32_t* chroma, bool narrow, size_t words,
                     const uint32_t* gray, uint8_t* out) {
    WriteRow24Plain(luma, chroma, narrow, words, gray, out);
}
void WriteGroups15Ssse3(const uint32_t* pairs, std::span<const uint16_t> groups, uint8_t* out) {
    WriteGroups15Plain(pairs, groups, out);
}
void WidenRowSsse3(const uint32_t* coded, size_t iterations, uint32_t* display) {
    WidenRowPlain(coded, iterations, display);
}
void WriteGroups24Ssse3(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                        std::span<const uint16_t> groups, const uint32_t* gray, uint8_t* out) {
    WriteGroups24Plain(luma, chroma, narrow, groups, gray, out);
}

}  // namespace truemotion

#endif
