#include <gtest/gtest.h>

#include <vector>

#include "AudioDecoders.h"

// Any bytes and any block alignment: the decoders must neither crash nor read or write
// out of bounds, and must still give exactly one block's output per whole block. Input
// and output live in buffers of exactly their size, so the sanitizers see any overrun.

namespace audio {
namespace {

enum class Fill { Random, Zeros, MaximalUp, MaximalDown, SmallestDown };

std::vector<uint8_t> Filled(Fill fill, size_t size, uint32_t seed) {
    switch (fill) {
        case Fill::Random:
            return RandomBytes(size, seed);
        case Fill::Zeros:
            return std::vector<uint8_t>(size, 0x00);
        // Every code is the largest step up (and every header index byte is above 88).
        case Fill::MaximalUp:
            return std::vector<uint8_t>(size, 0x77);
        case Fill::MaximalDown:
            return std::vector<uint8_t>(size, 0xFF);
        case Fill::SmallestDown:
            return std::vector<uint8_t>(size, 0x88);
    }
    return {};
}

constexpr Fill kFills[] = {Fill::Random, Fill::Zeros, Fill::MaximalUp, Fill::MaximalDown,
                           Fill::SmallestDown};

void DecodeTruncated(const DecoderCase& decoder, const std::vector<uint8_t>& chunk, size_t size,
                     uint16_t blockAlign) {
    const std::vector<uint8_t> src(chunk.begin(), chunk.begin() + static_cast<ptrdiff_t>(size));
    std::vector<int16_t> dst(DecodedChunkCapacity(decoder.formatTag, size) / 2);
    const size_t expected = blockAlign >= decoder.minBlockAlign
                                ? size / blockAlign * DecodedBytesPerBlock(decoder, blockAlign)
                                : 0;
    ASSERT_EQ(decoder.decode(src, blockAlign, dst), expected) << "chunk of " << size << " bytes";
}

class MalformedChunk : public ::testing::TestWithParam<DecoderCase> {};

TEST_P(MalformedChunk, EverySmallBlockAlignAndEveryTruncation) {
    const DecoderCase& decoder = GetParam();
    for (const Fill fill : kFills) {
        for (uint32_t align = 0; align <= 64; ++align) {
            const auto blockAlign = static_cast<uint16_t>(align);
            SCOPED_TRACE(testing::Message() << "fill " << int(fill) << " block align " << align);
            const std::vector<uint8_t> chunk = Filled(fill, 3 * align + align / 2 + 5, align);
            for (size_t size = 0; size <= chunk.size(); ++size)
                DecodeTruncated(decoder, chunk, size, blockAlign);
        }
    }
}

TEST_P(MalformedChunk, LargeBlockAlignsCutAroundTheirBlocks) {
    const DecoderCase& decoder = GetParam();
    for (const Fill fill : kFills) {
        for (const size_t align : {size_t{255}, size_t{1000}, size_t{4096}, size_t{65535}}) {
            const auto blockAlign = static_cast<uint16_t>(align);
            SCOPED_TRACE(testing::Message() << "fill " << int(fill) << " block align " << align);
            const std::vector<uint8_t> chunk = Filled(fill, 2 * align + align / 2, blockAlign);
            for (const size_t size :
                 {size_t{0}, align - 1, align, align + 1, 2 * align - 1, 2 * align, chunk.size()})
                DecodeTruncated(decoder, chunk, size, blockAlign);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Decoders, MalformedChunk, ::testing::ValuesIn(kDecoders), DecoderName);

}  // namespace
}  // namespace audio
