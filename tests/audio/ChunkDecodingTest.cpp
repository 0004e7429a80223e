#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AudioDecoders.h"

// What every chunk decoder must do with a chunk of several blocks, and with
// a destination that is too small.

namespace audio {
namespace {

constexpr int16_t kUntouched = 0x7A7A;

class ChunkDecoding : public ::testing::TestWithParam<DecoderCase> {};

// A block decoded alone, for comparison with the same block inside a chunk.
std::vector<int16_t> DecodeAlone(const DecoderCase& decoder, std::span<const uint8_t> block) {
    std::vector<int16_t> out(DecodedBytesPerBlock(decoder, static_cast<uint16_t>(block.size())) /
                             2);
    EXPECT_EQ(decoder.decode(block, static_cast<uint16_t>(block.size()), out), 2 * out.size());
    return out;
}

TEST_P(ChunkDecoding, DecodesWholeBlocksEachFromItsOwnHeaderAndIgnoresTrailingPart) {
    const DecoderCase& decoder = GetParam();
    for (const uint16_t blockAlign : {decoder.minBlockAlign, uint16_t(decoder.minBlockAlign + 1),
                                      uint16_t{64}, uint16_t{1024}}) {
        SCOPED_TRACE(testing::Message() << "block align " << blockAlign);
        const size_t blockBytes = DecodedBytesPerBlock(decoder, blockAlign);
        const std::vector<uint8_t> chunk = RandomBytes(2 * blockAlign + blockAlign / 2, blockAlign);
        std::vector<int16_t> out(3 * blockBytes / 2, kUntouched);

        ASSERT_EQ(decoder.decode(chunk, blockAlign, out), 2 * blockBytes);

        std::vector<int16_t> expected = DecodeAlone(decoder, std::span(chunk).first(blockAlign));
        const std::vector<int16_t> second =
            DecodeAlone(decoder, std::span(chunk).subspan(blockAlign, blockAlign));
        expected.insert(expected.end(), second.begin(), second.end());
        expected.resize(out.size(), kUntouched);
        EXPECT_EQ(out, expected);
    }
}

TEST_P(ChunkDecoding, ChunkShorterThanOneBlockGivesNothing) {
    const DecoderCase& decoder = GetParam();
    const uint16_t blockAlign = 1024;
    for (const size_t size : {size_t{0}, size_t{1}, size_t{blockAlign - 1}}) {
        SCOPED_TRACE(testing::Message() << "chunk of " << size << " bytes");
        const std::vector<uint8_t> chunk = RandomBytes(size, 1);
        std::vector<int16_t> out(4 * blockAlign, kUntouched);
        EXPECT_EQ(decoder.decode(chunk, blockAlign, out), 0u);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == kUntouched; }));
    }
}

// The destination is a window into a larger buffer; nothing beyond the window may change,
// and only whole blocks are decoded, so a block is never cut short.
TEST_P(ChunkDecoding, WritesOnlyTheWholeBlocksThatFitTheDestination) {
    const DecoderCase& decoder = GetParam();
    const uint16_t blockAlign = 100;
    const size_t blockSamples = DecodedBytesPerBlock(decoder, blockAlign) / 2;
    const std::vector<uint8_t> chunk = RandomBytes(3 * blockAlign, 7);
    for (const size_t capacity : {size_t{0}, size_t{1}, blockSamples - 1, blockSamples,
                                  2 * blockSamples + 1, 3 * blockSamples, 5 * blockSamples}) {
        SCOPED_TRACE(testing::Message() << "room for " << capacity << " samples");
        std::vector<int16_t> buffer(capacity + 64, kUntouched);
        const size_t blocks = std::min<size_t>(3, capacity / blockSamples);

        EXPECT_EQ(decoder.decode(chunk, blockAlign, std::span(buffer).first(capacity)),
                  blocks * blockSamples * 2);
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<ptrdiff_t>(blocks * blockSamples),
                                buffer.end(), [](int16_t s) { return s == kUntouched; }));
    }
}

TEST_P(ChunkDecoding, RefusesBlockAlignTooSmallForHeader) {
    const DecoderCase& decoder = GetParam();
    const std::vector<uint8_t> chunk = RandomBytes(256, 3);
    std::vector<int16_t> out(4 * chunk.size(), kUntouched);
    for (uint16_t blockAlign = 0; blockAlign < decoder.minBlockAlign; ++blockAlign) {
        SCOPED_TRACE(testing::Message() << "block align " << blockAlign);
        EXPECT_EQ(decoder.decode(chunk, blockAlign, out), 0u);
    }
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == kUntouched; }));
}

INSTANTIATE_TEST_SUITE_P(Decoders, ChunkDecoding, ::testing::ValuesIn(kDecoders), DecoderName);

}  // namespace
}  // namespace audio
