#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Row kernels of the display-bitmap writers: one picture row into 3 bytes a pixel (blue,
// green, red), whole groups of four pixels only. The plain kernels define the result;
// the SSSE3 and AVX2 ones, used where the processor has them, give the same bytes faster.

namespace truemotion {

// `groups` groups of 4 pixels from 2 × `groups` pair words.
void WriteRow15Plain(const uint32_t* pairs, size_t groups, uint8_t* out);
// `words` luminance words (4 pixels each) with their chroma samples: one a word, or two
// with narrow blocks. `gray` is the grey table.
void WriteRow24Plain(const uint32_t* luma, const uint32_t* chroma, bool narrow, size_t words,
                     const uint32_t* gray, uint8_t* out);

// Only the listed groups of a row (group g at bytes 12 g), the others left as they are.
void WriteGroups15Plain(const uint32_t* pairs, std::span<const uint16_t> groups, uint8_t* out);
void WriteGroups24Plain(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                        std::span<const uint16_t> groups, const uint32_t* gray, uint8_t* out);

// A row of a frame coded at two thirds of its width made display-wide: each iteration's
// two coded words, pixels a, b, c, d, become three display words, pixels a, mid(a, b),
// b, c, mid(c, d), d.
void WidenRowPlain(const uint32_t* coded, size_t iterations, uint32_t* display);

// Whether this processor runs the SSSE3 kernels.
bool HasSsse3Rows();
void WriteRow15Ssse3(const uint32_t* pairs, size_t groups, uint8_t* out);
void WriteRow24Ssse3(const uint32_t* luma, const uint32_t* chroma, bool narrow, size_t words,
                     const uint32_t* gray, uint8_t* out);
void WidenRowSsse3(const uint32_t* coded, size_t iterations, uint32_t* display);
void WriteGroups15Ssse3(const uint32_t* pairs, std::span<const uint16_t> groups, uint8_t* out);
void WriteGroups24Ssse3(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                        std::span<const uint16_t> groups, const uint32_t* gray, uint8_t* out);

// Whether this processor runs the AVX2 kernels.
bool HasAvx2Rows();
void WriteRow15Avx2(const uint32_t* pairs, size_t groups, uint8_t* out);
void WriteRow24Avx2(const uint32_t* luma, const uint32_t* chroma, bool narrow, size_t words,
                    const uint32_t* gray, uint8_t* out);

using Row15Writer = void (*)(const uint32_t* pairs, size_t groups, uint8_t* out);
using Row24Writer = void (*)(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                             size_t words, const uint32_t* gray, uint8_t* out);
using Groups15Writer = void (*)(const uint32_t* pairs, std::span<const uint16_t> groups,
                                uint8_t* out);
using Groups24Writer = void (*)(const uint32_t* luma, const uint32_t* chroma, bool narrow,
                                std::span<const uint16_t> groups, const uint32_t* gray,
                                uint8_t* out);
using RowWidener = void (*)(const uint32_t* coded, size_t iterations, uint32_t* display);
// The fastest kernels this processor runs, chosen once.
Row15Writer FastestRow15Writer();
Row24Writer FastestRow24Writer();
Groups15Writer FastestGroups15Writer();
RowWidener FastestRowWidener();
Groups24Writer FastestGroups24Writer();

}  // namespace truemotion
