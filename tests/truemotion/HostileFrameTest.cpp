#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestPicture.h"
#include "support/DisplayBitmap.h"
#include "support/FrameBuilder.h"
#include "truemotion/TrueMotionDecoder.h"
#include "truemotion/TrueMotionEncoder.h"

// Frames are hostile input: truncated or damaged frames are decoded as far as their
// bytes go or refused, and never make the decoder read or write outside a buffer (the
// sanitizer build checks that part).

namespace truemotion {
namespace {

using testing::BuildFrame;
using testing::DisplayBitmap;
using testing::HeaderFields;

struct Kind {
    const char* name;
    uint8_t compression;
    uint8_t flags;
};
constexpr Kind kKinds[] = {
    {"15-bit key", 2, 0},         {"15-bit narrow key", 8, 0},       {"24-bit key", 10, 0},
    {"24-bit narrow key", 14, 0}, {"two-thirds width", 4, 0x04},     {"15-bit delta", 6, 0x08},
    {"24-bit delta", 12, 0x08},   {"24-bit narrow delta", 16, 0x08},
};

std::vector<uint8_t> ValidFrame(const Kind& kind, int width, int height, unsigned seed) {
    HeaderFields h;
    h.compression = kind.compression;
    h.flags = kind.flags;
    h.width = static_cast<uint16_t>(width);
    h.height = static_cast<uint16_t>(height);
    std::vector<uint8_t> body;
    if (kind.flags & testing::kDeltaFrameFlags)
        body = testing::RandomMask(width, height, 0.4, seed);
    std::mt19937 random(seed);
    // Any byte is a valid index, escapes included.
    for (size_t i = 0; i < testing::KeyStepBound(width, height); ++i)
        body.push_back(static_cast<uint8_t>(random()));
    return BuildFrame(h, body);
}

TEST(HostileFrames, EveryTruncationAndRandomDamageIsSafe) {
    std::mt19937 random(7);
    const int width = 48, height = 16;
    // The header's own size fields are not read after the first frame: decoding at an
    // opened size other than the frame's is as safe as at its own.
    const std::pair<int, int> openSizes[] = {{width, height}, {12, 16}, {64, 20},
                                             {48, 5},         {6, 3},   {2048, 4}};
    for (const Kind& kind : kKinds) {
        const auto frame = ValidFrame(kind, width, height, 11);
        for (auto [openWidth, openHeight] : openSizes) {
            TrueMotionDecoder decoder;
            ASSERT_TRUE(decoder.Open(openWidth, openHeight));
            std::vector<uint8_t> pixels(static_cast<size_t>(openWidth) * openHeight * 3);
            for (size_t n = 0; n <= frame.size(); ++n) {
                const int result = decoder.DecodeFrame(std::span(frame).first(n), pixels.data());
                EXPECT_TRUE(result == 0 || result == 1);
                if (n < 25) {
                    EXPECT_EQ(result, 0) << kind.name << " truncated to " << n;
                }
            }
            for (int round = 0; round < 300; ++round) {
                auto damaged = frame;
                for (int k = 0; k < 4; ++k)
                    damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
                // Damage in the header too, now and then.
                if (round % 8 == 0)
                    damaged[1 + random() % 22] ^= static_cast<uint8_t>(1 + random() % 255);
                const int result = decoder.DecodeFrame(damaged, pixels.data());
                EXPECT_TRUE(result == 0 || result == 1);
            }
        }
    }
}

// The same on frames of our encoder, whose index streams look like real ones.
TEST(HostileFrames, TruncatedAndDamagedEncodedFramesAreSafe) {
    std::mt19937 random(7);
    for (EncoderMode mode : {EncoderMode::k15Bit, EncoderMode::k24Bit, EncoderMode::kStretch}) {
        EncoderSettings settings;
        settings.mode = mode;
        const int width = 48, height = 16;
        auto encoder = TrueMotionEncoder::Create(width, height, settings);
        ASSERT_TRUE(encoder.Ok());
        std::vector<uint8_t> key, delta;
        encoder->EncodeKeyFrame(MakeTestPicture(width, height), key);
        encoder->EncodeDeltaFrame(MakeTestPicture(width, height, 5), delta);
        TrueMotionDecoder decoder;
        for (int openWidth : {width, 12, 64}) {
            ASSERT_TRUE(decoder.Open(openWidth, height));
            std::vector<uint8_t> pixels(static_cast<size_t>(openWidth) * height * 3);
            for (const auto& frame : {key, delta}) {
                for (size_t n = 0; n <= frame.size(); ++n)
                    decoder.DecodeFrame(std::span(frame).first(n), pixels.data());
                for (int round = 0; round < 200; ++round) {
                    auto damaged = frame;
                    for (int k = 0; k < 4; ++k)
                        damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
                    decoder.DecodeFrame(damaged, pixels.data());
                }
            }
        }
    }
}

// A key frame whose index stream ends early is decoded up to there; the rows after it
// keep what the working images held.
TEST(HostileFrames, TruncatedKeyFrameStopsWhereItsBytesEnd) {
    for (uint8_t compression : {2, 10}) {
        const int width = 48, height = 16;
        HeaderFields h;
        h.compression = compression;
        // One byte a step: row 0 takes 36 steps (24 luminance, 12 chroma), row 1 24.
        const auto frame =
            BuildFrame(h, testing::SmallSteps(testing::KeyStepBound(width, height), 5));
        TrueMotionDecoder full, cut;
        ASSERT_TRUE(full.Open(width, height));
        ASSERT_TRUE(cut.Open(width, height));
        DisplayBitmap whole(width, height), part(width, height);
        ASSERT_EQ(full.DecodeFrame(frame, whole.data()), 1);
        ASSERT_EQ(cut.DecodeFrame(std::span(frame).first(24 + 50), part.data()), 1);
        for (int x = 0; x < width; ++x) {
            EXPECT_EQ(part.At(x, 0), whole.At(x, 0)) << int{compression};
            // Rows 1 to 3 share row 0's chroma in the 24-bit mode; the next block row
            // is out of reach.
            for (int y = 4; y < height; ++y)
                EXPECT_EQ(part.At(x, y), (std::array<int, 3>{0, 0, 0})) << int{compression};
        }
    }
}

}  // namespace
}  // namespace truemotion
