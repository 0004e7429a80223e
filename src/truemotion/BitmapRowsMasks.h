#pragma once

#include <array>
#include <cstdint>

// The byte-shuffle masks of the vector row kernels, shared by the SSSE3 and the AVX2 ones
// (an AVX2 shuffle applies one 16-byte mask to each half of its register).

namespace truemotion::rows {

using ByteMask = std::array<int8_t, 16>;

// Masks that pack four vectors of four pixels, one pixel a 32-bit lane, into 48 bytes of
// blue, green, red: mask [v][k] takes from vector k the bytes that land in output vector
// v. `blueByte` is the lane byte holding blue; red lies at 2 - blueByte, green at 1.
constexpr std::array<std::array<ByteMask, 4>, 3> PackMasks(int blueByte) {
    std::array<std::array<ByteMask, 4>, 3> masks{};
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 4; ++k)
            for (int b = 0; b < 16; ++b) {
                const int o = 16 * v + b;
                // Channel 0 is blue, 1 green, 2 red.
                const int q = o % 12, pixel = q / 3, channel = q % 3;
                const int source = channel == 1 ? 1 : (channel == 0 ? blueByte : 2 - blueByte);
                masks[v][k][b] = static_cast<int8_t>(o / 12 == k ? 4 * pixel + source : -1);
            }
    return masks;
}

// Lane j of word w's vector holds the luminance byte of pixel j (byte 3 - j of the word)
// in its three low bytes.
constexpr std::array<ByteMask, 4> SpreadMasks() {
    std::array<ByteMask, 4> masks{};
    for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 16; ++b)
            masks[w][b] = static_cast<int8_t>(b % 4 == 3 ? -1 : 4 * w + 3 - b / 4);
    return masks;
}

alignas(16) inline constexpr auto kPack24 = PackMasks(2);
alignas(16) inline constexpr auto kPack15 = PackMasks(0);
alignas(16) inline constexpr auto kSpread = SpreadMasks();

}  // namespace truemotion::rows
