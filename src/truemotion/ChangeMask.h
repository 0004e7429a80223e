#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

namespace truemotion {

// The change-mask words of one stripe: bit k of word j is 1 when block 32 j + k is kept.
using MaskWords = std::array<uint32_t, 16>;

// Calls visit(k, afterKept) for each coded block k of a row of `blocks` mask blocks,
// left to right; `afterKept` tells that block k − 1 was kept, so prediction goes on
// from its pixels. Runs of kept blocks cost nothing.
template <typename Visit>
void ForEachCodedBlock(const MaskWords& maskWords, int blocks, Visit&& visit) {
    auto isKept = [&](int k) {
        return (maskWords[static_cast<size_t>(k >> 5)] >> (k & 31) & 1) != 0;
    };
    for (int first = 0; first < blocks; first += 32) {
        const int count = std::min(32, blocks - first);
        uint32_t coded = ~maskWords[static_cast<size_t>(first >> 5)];
        if (count < 32) coded &= (1u << count) - 1;
        while (coded) {
            const int k = first + std::countr_zero(coded);
            coded &= coded - 1;
            visit(k, k > 0 && isKept(k - 1));
        }
    }
}

}  // namespace truemotion
