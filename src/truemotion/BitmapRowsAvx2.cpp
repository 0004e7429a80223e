#include "truemotion/BitmapRows.h"
#include "truemotion/BitmapRowsMasks.h"

// The writers' row kernels with AVX2: 32 pixels an iteration, each half of a register
// packing 16 of them as the SSSE3 kernels do, the last few by the SSSE3 kernels. Built
// for the processor at run time; elsewhere the plain kernels stand in.
//
// The short loops over a few vectors are unrolled by pragma: left as loops, the
// compiler keeps those vectors on the stack and the kernel runs at half speed.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <immintrin.h>

namespace truemotion {
namespace {

using rows::ByteMask;
using rows::kPack15;
using rows::kPack24;
using rows::kSpread;

#define LUMEKO_AVX2 __attribute__((target("avx2")))

LUMEKO_AVX2 inline __m256i Load(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}
// The same 16-byte mask in both halves.
LUMEKO_AVX2 inline __m256i Mask(const ByteMask& m) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(m.data())));
}

// Packs 32 pixels: the low halves of px hold pixels 0..15 and give bytes 0..47, the
// high halves pixels 16..31 and bytes 48..95.
LUMEKO_AVX2 inline void Pack(const std::array<std::array<ByteMask, 4>, 3>& masks,
                             const __m256i (&px)[4], uint8_t* out) {
    __m256i bytes[3];
#pragma GCC unroll 3
    for (int v = 0; v < 3; ++v)
        bytes[v] = _mm256_or_si256(_mm256_shuffle_epi8(px[v], Mask(masks[v][v])),
                                   _mm256_shuffle_epi8(px[v + 1], Mask(masks[v][v + 1])));
    // Halves (low 0, low 1), (low 2, high 0), (high 1, high 2).
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permute2x128_si256(bytes[0], bytes[1], 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32),
                        _mm256_permute2x128_si256(bytes[2], bytes[0], 0x30));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64),
                        _mm256_permute2x128_si256(bytes[1], bytes[2], 0x31));
}

}  // namespace

bool HasAvx2Rows() {
    return __builtin_cpu_supports("avx2") && HasSsse3Rows();
}

LUMEKO_AVX2 void WriteRow15Avx2(const uint32_t* pairs, size_t groups, uint8_t* out) {
    const __m256i blueMask = _mm256_set1_epi16(0x00F8),
                  greenMask = _mm256_set1_epi16(static_cast<int16_t>(0xF800));
    size_t g = 0;
    for (; g + 8 <= groups; g += 8, out += 96) {
        const __m256i p0 = Load(pairs + 2 * g), p1 = Load(pairs + 2 * g + 8);
        // Words 0..3 and 8..11, then 4..7 and 12..15: each half then holds 16 pixels.
        const __m256i halves[2] = {_mm256_permute2x128_si256(p0, p1, 0x20),
                                   _mm256_permute2x128_si256(p0, p1, 0x31)};
        __m256i px[4];
#pragma GCC unroll 2
        for (int half = 0; half < 2; ++half) {
            const __m256i p = halves[half];
            const __m256i blueGreen =
                _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(p, 7), blueMask),
                                _mm256_and_si256(_mm256_slli_epi16(p, 6), greenMask));
            const __m256i red = _mm256_and_si256(_mm256_slli_epi16(p, 3), blueMask);
            px[2 * half] = _mm256_unpacklo_epi16(blueGreen, red);
            px[2 * half + 1] = _mm256_unpackhi_epi16(blueGreen, red);
        }
        Pack(kPack15, px, out);
    }
    WriteRow15Ssse3(pairs + 2 * g, groups - g, out);
}

LUMEKO_AVX2 void WriteRow24Avx2(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                                size_t words, const uint32_t* gray, uint8_t* out) {
    size_t i = 0;
    if (narrow) {
        for (; i + 8 <= words; i += 8, out += 96) {
            const __m256i y = Load(luma + i);
            const __m256i c0 = Load(chroma + 2 * i), c1 = Load(chroma + 2 * i + 8);
            // Samples 0..3 and 8..11, then 4..7 and 12..15.
            const __m256i lo = _mm256_permute2x128_si256(c0, c1, 0x20),
                          hi = _mm256_permute2x128_si256(c0, c1, 0x31);
            const __m256i sample[4] = {
                _mm256_shuffle_epi32(lo, 0x50), _mm256_shuffle_epi32(lo, 0xFA),
                _mm256_shuffle_epi32(hi, 0x50), _mm256_shuffle_epi32(hi, 0xFA)};
            __m256i px[4];
#pragma GCC unroll 4
            for (int w = 0; w < 4; ++w)
                px[w] = _mm256_add_epi32(_mm256_shuffle_epi8(y, Mask(kSpread[w])), sample[w]);
            Pack(kPack24, px, out);
        }
    } else {
        for (; i + 8 <= words; i += 8, out += 96) {
            const __m256i y = Load(luma + i);
            const __m256i c = Load(chroma + i);
            const __m256i sample[4] = {_mm256_shuffle_epi32(c, 0x00), _mm256_shuffle_epi32(c, 0x55),
                                       _mm256_shuffle_epi32(c, 0xAA),
                                       _mm256_shuffle_epi32(c, 0xFF)};
            __m256i px[4];
#pragma GCC unroll 4
            for (int w = 0; w < 4; ++w)
                px[w] = _mm256_add_epi32(_mm256_shuffle_epi8(y, Mask(kSpread[w])), sample[w]);
            Pack(kPack24, px, out);
        }
    }
    WriteRow24Ssse3(luma + i, narrow ? chroma + 2 * i : chroma + i, narrow, words - i, gray, out);
}

}  // namespace truemotion

#else

namespace truemotion {

bool HasAvx2Rows() {
    return false;
}
void WriteRow15Avx2(const uint32_t* pairs, size_t groups, uint8_t* out) {
    WriteRow15Plain(pairs, groups, out);
}
void WriteRow24Avx2(const uint32_t* luma, const uint32_t* chroma, bool narrow, size_t words,
                    const uint32_t* gray, uint8_t* out) {
    WriteRow24Plain(luma, chroma, narrow, words, gray, out);
}

}  // namespace truemotion

#endif
