#pragma once

#include <array>
#include <cstdint>

// Constant tables of the DK4 and DK3 ADPCM codecs, shared by the decoders and our encoders.

namespace audio {

inline constexpr int32_t kMaxStepIndex = 88;

// Quantiser step by step index 0..88. Close to the IMA table but not equal to it:
// many entries are one larger, and decoded samples depend on these exact values.
// Kept in rows of ten.
// clang-format off
inline constexpr std::array<uint16_t, kMaxStepIndex + 1> kStepTable = {
    7,     8,     9,     10,    11,    12,    13,    15,    16,    18,
    19,    21,    23,    26,    28,    31,    34,    38,    41,    46,
    50,    55,    61,    67,    74,    81,    89,    98,    108,   118,
    130,   143,   158,   173,   191,   210,   231,   254,   279,   307,
    338,   372,   409,   450,   495,   544,   598,   658,   724,   797,
    876,   964,   1060,  1166,  1283,  1411,  1552,  1708,  1878,  2066,
    2273,  2500,  2750,  3025,  3327,  3660,  4026,  4429,  4872,  5359,
    5895,  6484,  7133,  7846,  8631,  9494,  10443, 11487, 12636, 13900,
    15290, 16818, 18500, 20350, 22385, 24624, 27086, 29795, 32767,
};
// clang-format on

// Change of the step index after each nibble (the IMA index table).
inline constexpr std::array<int8_t, 16> kIndexAdjustTable = {
    -1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8,
};

// Odd multiple of step/8 for each nibble: 2 * (n & 7) + 1, negated when bit 3 is set.
inline constexpr std::array<int8_t, 16> kMultiplierTable = {
    1, 3, 5, 7, 9, 11, 13, 15, -1, -3, -5, -7, -9, -11, -13, -15,
};

// Added before the division by 8, so negative nibbles round toward zero a little more.
inline constexpr std::array<int8_t, 16> kBiasTable = {
    0, 0, 0, 0, 0, 0, 0, 0, 7, 7, 7, 7, 7, 7, 7, 7,
};

}  // namespace audio
