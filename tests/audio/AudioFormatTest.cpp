#include <gtest/gtest.h>

#include <limits>

#include "audio/AudioFormat.h"

namespace audio {
namespace {

struct AlignCase {
    uint16_t formatTag;
    uint16_t channels;
    uint16_t blockAlign;
    bool valid;
};

constexpr AlignCase kAlignCases[] = {
    {WAVE_FORMAT_PCM, 2, 0, false},
    {WAVE_FORMAT_PCM, 1, 1, true},
    {kWaveFormatDk4, 1, 0, false},
    {kWaveFormatDk4, 1, 3, false},
    {kWaveFormatDk4, 1, 4, true},
    {kWaveFormatDk4, 3, 4, true},  // any count but two goes through the mono decoder
    {kWaveFormatDk4, 2, 4, false},
    {kWaveFormatDk4, 2, 7, false},
    {kWaveFormatDk4, 2, 8, true},
    {kWaveFormatDk3, 2, 0, false},
    {kWaveFormatDk3, 2, 16, false},
    {kWaveFormatDk3, 1, 17, true},
    {kWaveFormatDk3, 2, 65535, true},
    {2, 2, 1024, false},  // MS ADPCM and any other tag
};

TEST(AudioFormatTest, RefusesBlockAlignTooSmallForHeader) {
    for (const AlignCase& c : kAlignCases) {
        SCOPED_TRACE(testing::Message() << "tag " << c.formatTag << " channels " << c.channels
                                        << " align " << c.blockAlign);
        EXPECT_EQ(IsValidBlockAlign(c.formatTag, c.channels, c.blockAlign), c.valid);
        if (!c.valid) {
            EXPECT_EQ(FramesPerBlock(c.formatTag, c.channels, c.blockAlign), 0u);
        }
    }
}

TEST(AudioFormatTest, Dk3AlwaysDecodesToStereoAndDk4OnlyForTwoChannels) {
    EXPECT_EQ(DecodedChannelCount(kWaveFormatDk3, 1), 2);
    EXPECT_EQ(DecodedChannelCount(kWaveFormatDk3, 2), 2);
    EXPECT_EQ(DecodedChannelCount(kWaveFormatDk4, 2), 2);
    EXPECT_EQ(DecodedChannelCount(kWaveFormatDk4, 1), 1);
    EXPECT_EQ(DecodedChannelCount(kWaveFormatDk4, 6), 1);
    EXPECT_EQ(DecodedChannelCount(WAVE_FORMAT_PCM, 2), 2);
}

// The wave buffers are sized by DecodedChunkCapacity; every block alignment must fit.
TEST(AudioFormatTest, ChunkCapacityHoldsDecodedOutputOfEveryBlockAlign) {
    struct Format {
        uint16_t formatTag;
        uint16_t channels;
    };
    for (const Format format : {Format{WAVE_FORMAT_PCM, 2}, Format{kWaveFormatDk4, 1},
                                Format{kWaveFormatDk4, 2}, Format{kWaveFormatDk3, 2}}) {
        for (uint32_t align = 1; align <= 65535; ++align) {
            const auto blockAlign = static_cast<uint16_t>(align);
            const size_t frames = FramesPerBlock(format.formatTag, format.channels, blockAlign);
            const size_t bytesPerFrame =
                format.formatTag == WAVE_FORMAT_PCM
                    ? blockAlign
                    : 2u * DecodedChannelCount(format.formatTag, format.channels);
            ASSERT_LE(frames * bytesPerFrame, DecodedChunkCapacity(format.formatTag, blockAlign))
                << "tag " << format.formatTag << " align " << align;
        }
    }
}

TEST(AudioFormatTest, ChunkCapacitySaturatesInsteadOfWrapping) {
    EXPECT_EQ(DecodedChunkCapacity(kWaveFormatDk3, std::numeric_limits<size_t>::max() / 2),
              std::numeric_limits<size_t>::max());
}

TEST(AudioFormatTest, Dk3FramesPerBlockFollowsDataBytesUsed) {
    // k frames use k - k/4 data bytes; the block ends at the first k that uses them all.
    for (uint32_t align = 17; align <= 2000; ++align) {
        const size_t dataBytes = align - kDk3HeaderBytes;
        const size_t frames = Dk3FramesPerBlock(static_cast<uint16_t>(align));
        ASSERT_EQ(frames - frames / 4, dataBytes) << "align " << align;
        const size_t fewer = frames - 1;
        ASSERT_LT(fewer - fewer / 4, dataBytes) << "align " << align;
    }
}

}  // namespace
}  // namespace audio
