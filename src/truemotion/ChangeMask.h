#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>

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

// The coded blocks of one stripe, left to right, each with whether the block before it
// was kept. Listed once when the stripe's mask is read and walked by each of its rows,
// so that the rows do not search the mask bits again.
class CodedBlocks {
public:
    void Clear() { m_count = 0; }
    void List(const MaskWords& maskWords, int blocks) {
        m_count = 0;
        ForEachCodedBlock(maskWords, blocks, [&](int k, bool afterKept) {
            m_blocks[m_count] = static_cast<uint16_t>(k);
            m_afterKept[m_count++] = afterKept;
        });
    }
    size_t Count() const { return m_count; }
    // The numbers of the coded blocks, and whether the block before each was kept.
    std::span<const uint16_t> Blocks() const { return {m_blocks.data(), m_count}; }
    const bool* AfterKept() const { return m_afterKept.data(); }

private:
    static constexpr size_t kMaxBlocks = 32 * std::tuple_size_v<MaskWords>;
    std::array<uint16_t, kMaxBlocks> m_blocks{};
    std::array<bool, kMaxBlocks> m_afterKept{};
    size_t m_count = 0;
};

}  // namespace truemotion
