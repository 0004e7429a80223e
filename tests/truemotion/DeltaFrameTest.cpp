#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "support/DisplayBitmap.h"
#include "support/FrameBuilder.h"
#include "truemotion/TrueMotionDecoder.h"

namespace truemotion {
namespace {

using testing::BuildFrame;
using testing::DisplayBitmap;
using testing::HeaderFields;
using testing::Pair;

constexpr uint8_t kAllCompressions[] = {2, 4, 6, 8, 10, 12, 14, 16};

HeaderFields Header(uint8_t compression, int width, int height, uint8_t flags) {
    HeaderFields h;
    h.compression = compression;
    h.width = static_cast<uint16_t>(width);
    h.height = static_cast<uint16_t>(height);
    h.flags = flags;
    return h;
}

// A decoder that has shown a key frame of small random steps.
struct AfterKeyFrame {
    TrueMotionDecoder decoder;
    DisplayBitmap bitmap;
    std::vector<uint8_t> keyPicture;

    AfterKeyFrame(uint8_t compression, int width, int height) : bitmap(width, height) {
        EXPECT_TRUE(decoder.Open(width, height));
        const auto steps = testing::SmallSteps(testing::KeyStepBound(width, height), compression);
        EXPECT_EQ(decoder.DecodeFrame(BuildFrame(Header(compression, width, height, 0), steps),
                                      bitmap.data()),
                  1);
        keyPicture = bitmap.pixels;
    }
    int Delta(std::vector<uint8_t> mask, std::vector<uint8_t> steps) {
        mask.insert(mask.end(), steps.begin(), steps.end());
        return decoder.DecodeFrame(BuildFrame(Header(decoder.GetCompression(), bitmap.width,
                                                     bitmap.height, testing::kDeltaFrameFlags),
                                              mask),
                                   bitmap.data());
    }
};

TEST(DeltaFrames, AllKeptMaskLeavesThePicture) {
    // W = 320: each stripe is three mask words (32, 32 and 16 blocks) in 10 bytes.
    for (uint8_t compression : kAllCompressions) {
        AfterKeyFrame f(compression, 320, 8);
        std::fill(f.bitmap.pixels.begin(), f.bitmap.pixels.end(), 0);
        ASSERT_EQ(f.Delta(std::vector<uint8_t>(testing::MaskBytes(320, 8), 0xFF),
                          testing::SmallSteps(8, 1)),
                  1);
        EXPECT_EQ(f.bitmap.pixels, f.keyPicture) << int{compression};
    }
}

// With every block coded, a delta frame decodes its index stream (after the mask)
// exactly as a key frame decodes the same bytes.
TEST(DeltaFrames, AllCodedMaskDecodesLikeAKeyFrame) {
    for (uint8_t compression : kAllCompressions) {
        for (auto [width, height] : {std::pair{320, 8}, {72, 12}}) {
            const auto steps = testing::SmallSteps(testing::KeyStepBound(width, height), 99);
            TrueMotionDecoder keyDecoder;
            ASSERT_TRUE(keyDecoder.Open(width, height));
            DisplayBitmap key(width, height);
            ASSERT_EQ(keyDecoder.DecodeFrame(
                          BuildFrame(Header(compression, width, height, 0), steps), key.data()),
                      1);

            AfterKeyFrame f(compression, width, height);
            ASSERT_EQ(f.Delta(std::vector<uint8_t>(testing::MaskBytes(width, height), 0), steps),
                      1);
            EXPECT_EQ(f.bitmap.pixels, key.pixels) << int{compression} << " " << width;
        }
    }
}

// The picture with the given blocks (stripe, block) replaced by the two pixels left of
// them, repeated.
std::vector<uint8_t> WithBlocksCopied(const DisplayBitmap& before,
                                      const std::set<std::pair<int, int>>& coded) {
    DisplayBitmap after = before;
    for (auto [stripe, block] : coded)
        for (int y = 4 * stripe; y < 4 * stripe + 4; ++y)
            for (int j = 0; j < 4; ++j)
                after.Set(4 * block + j, y, before.At(4 * block - 2 + j % 2, y));
    return after.pixels;
}

// A coded block after a kept one continues from the kept block's right-hand pixels: in
// the top stripe, with zero steps, it repeats them, in every mode and block shape.
TEST(DeltaFrames, CodedBlockAfterAKeptOneContinuesFromIt) {
    for (uint8_t compression : kAllCompressions) {
        AfterKeyFrame f(compression, 8, 4);
        const DisplayBitmap before = f.bitmap;
        // Block 0 kept, block 1 coded. With blocks two rows high, row 2 must go on with
        // the same stripe rather than load the index stream's bytes as a new one.
        ASSERT_EQ(f.Delta({0x01}, std::vector<uint8_t>(40, Pair(0, 0))), 1);
        EXPECT_EQ(f.bitmap.pixels, WithBlocksCopied(before, {{0, 1}})) << int{compression};
    }
}

// The blocks (stripe, block) in which two pictures differ.
std::set<std::pair<int, int>> ChangedBlocks(const DisplayBitmap& a, const DisplayBitmap& b) {
    std::set<std::pair<int, int>> changed;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.At(x, y) != b.At(x, y)) changed.insert({y / 4, x / 4});
    return changed;
}

TEST(DeltaFrames, StripesOfW320ReadThreeWordsAndAdvanceTenBytes) {
    for (uint8_t compression : {2, 14}) {
        AfterKeyFrame f(compression, 320, 8);
        const DisplayBitmap before = f.bitmap;
        std::vector<uint8_t> mask(20, 0xFF);
        mask[9] = 0x7F;   // stripe 0: block 79, the top bit of the third word's 16
        mask[10] = 0xFE;  // stripe 1: block 0
        mask[13] = 0x7F;  // stripe 1: block 31, the top bit of the first word
        mask[18] = 0xFE;  // stripe 1: block 64, the first of the third word
        ASSERT_EQ(f.Delta(mask, std::vector<uint8_t>(200, Pair(0, 0))), 1);
        const std::set<std::pair<int, int>> coded = {{0, 79}, {1, 0}, {1, 31}, {1, 64}};
        EXPECT_EQ(ChangedBlocks(before, f.bitmap), coded) << int{compression};
        // In the top stripe, where the rows above are all alike, block 79 repeats the
        // kept pixels on its left.
        DisplayBitmap top = before;
        top.pixels = WithBlocksCopied(before, {{0, 79}});
        for (int y = 0; y < 4; ++y)
            for (int x = 312; x < 320; ++x)
                EXPECT_EQ(f.bitmap.At(x, y), top.At(x, y)) << x << "," << y;
    }
}

// Rows above the first stripe of a height that is not a multiple of 4 have no mask
// bits: they keep their pixels, whatever the previous frame's mask said.
TEST(DeltaFrames, RowsAboveTheFirstStripeAreKept) {
    for (uint8_t compression : {4, 12}) {
        AfterKeyFrame f(compression, 8, 6);
        const DisplayBitmap before = f.bitmap;
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_EQ(f.Delta({0x00}, std::vector<uint8_t>(60, Pair(0, 0))), 1);
            for (int x = 0; x < 8; ++x) {
                for (int y = 0; y < 2; ++y)
                    EXPECT_EQ(f.bitmap.At(x, y), before.At(x, y)) << x << "," << y;
                // The coded stripe below repeats the last kept row (zero steps).
                for (int y = 2; y < 6; ++y)
                    EXPECT_EQ(f.bitmap.At(x, y), before.At(x, 1)) << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace truemotion
