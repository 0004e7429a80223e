#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

#include "audio/Dk3Decoder.h"
#include "base/ByteReader.h"

namespace audio {
namespace {

std::vector<uint8_t> Block(int16_t sum, int16_t difference, uint8_t sumIndex,
                           uint8_t differenceIndex, std::initializer_list<uint8_t> data) {
    std::vector<uint8_t> block(16 + data.size(), 0xA5);  // bytes 0-9 are unused and must not matter
    std::copy(data.begin(), data.end(), block.begin() + 16);
    StoreLE16(block.data() + 10, static_cast<uint16_t>(sum));
    StoreLE16(block.data() + 12, static_cast<uint16_t>(difference));
    block[14] = sumIndex;
    block[15] = differenceIndex;
    return block;
}

using Frames = std::vector<int16_t>;  // interleaved left, right

Frames Decode(const std::vector<uint8_t>& chunk) {
    std::vector<int16_t> out(3 * chunk.size(), -1);
    out.resize(DecodeDk3(chunk, static_cast<uint16_t>(chunk.size()), out) / 2);
    return out;
}

// Worked by hand; nibbles are taken low first, in groups sum, difference, sum.
//   byte 0 low 7:  S 1000 + 105/8 = 1013 (sum index 8)
//   byte 0 high 9: D -100 - (21-7)/8 = -101; E = (-100 + -101)/2 = -100, toward zero
//                  frame 1: 1013 - 100, 1013 + 100
//   byte 1 low 8:  S 1013 - (16-7)/8 = 1012 (sum index 7); E = -101
//                  frame 2: 1012 - 101, 1012 + 101
//   byte 1 high 3: S 1012 + 7*15/8 = 1025
//   byte 2 low 11: D -101 - (49-7)/8 = -106; E = (-101 + -106)/2 = -103, toward zero
//                  frame 3: 1025 - 103, 1025 + 103; every data byte is taken, the block ends
TEST(Dk3DecoderTest, DecodesHandWorkedBlock) {
    const Frames expected = {913, 1113, 911, 1113, 922, 1128};
    EXPECT_EQ(Decode(Block(1000, -100, 0, 0, {0x97, 0x38, 0x0B})), expected);
    // The high nibble of the last byte is never used.
    EXPECT_EQ(Decode(Block(1000, -100, 0, 0, {0x97, 0x38, 0xFB})), expected);
    // Nor are the first ten header bytes.
    std::vector<uint8_t> zeroedUnused = Block(1000, -100, 0, 0, {0x97, 0x38, 0x0B});
    std::fill(zeroedUnused.begin(), zeroedUnused.begin() + 10, 0);
    EXPECT_EQ(Decode(zeroedUnused), expected);
}

// Neither the predictors nor S + E and S - E are limited; each sample is the low 16 bits,
// and the next code moves from the unlimited predictor.
TEST(Dk3DecoderTest, PredictorIsNotLimitedAndSamplesWrap) {
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        Frames expected;
    };
    const Case cases[] = {
        // S 32000 + 61438 = 93438 -> 27902, then + 4095 = 97533 -> 31997.
        {"sum above 32767", Block(32000, 0, 88, 0, {0x87, 0x00}), {27902, 27902, 31997, 31997}},
        // S -32000 - 61437 = -93437 -> -27901, then + 4095 = -89342 -> -23806.
        {"sum below -32768",
         Block(-32000, 0, 88, 0, {0x8F, 0x00}),
         {-27901, -27901, -23806, -23806}},
        // S 32000 and E 2000: left 34000 -> -31536, right 30000.
        {"S + E above 32767",
         Block(32000, 2000, 0, 0, {0x80, 0x00}),
         {-31536, 30000, -31536, 30000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Decode(c.block), c.expected);
    }
}

TEST(Dk3DecoderTest, StepIndexAbove88IsTakenAs88) {
    // Code 0 at step 32767 adds 4095 to the sum; the difference code 8 there takes 4095 off.
    for (const uint8_t headerIndex : {uint8_t{88}, uint8_t{89}, uint8_t{255}}) {
        SCOPED_TRACE(testing::Message() << "header index " << int{headerIndex});
        // E = (0 + -4095)/2 = -2047: 4095 - 2047, 4095 + 2047.
        EXPECT_EQ(Decode(Block(0, 0, headerIndex, headerIndex, {0x80})), (Frames{2048, 6142}));
    }
}

// A block gives 4n/3 - 1 frames for n = B - 16 data bytes when 3 divides n,
// 4(n-1)/3 + 1 when n mod 3 is 1 and 4(n-2)/3 + 2 when it is 2.
TEST(Dk3DecoderTest, FramesPerBlockFollowBlockAlign) {
    struct Case {
        uint16_t blockAlign;
        size_t bytes;
    };
    for (const Case c : {Case{17, 4}, Case{18, 8}, Case{19, 12}, Case{20, 20}, Case{1024, 5372},
                         Case{1025, 5380}, Case{1026, 5384}}) {
        SCOPED_TRACE(testing::Message() << "block align " << c.blockAlign);
        std::vector<uint8_t> block(c.blockAlign, 0x5A);
        std::vector<int16_t> out(3 * block.size() + 1, 0x7777);
        EXPECT_EQ(DecodeDk3(block, c.blockAlign, out), c.bytes);
        EXPECT_NE(out[c.bytes / 2 - 1], 0x7777) << "last frame not written";
        EXPECT_EQ(out[c.bytes / 2], 0x7777) << "written past the block's frames";
    }
}

}  // namespace
}  // namespace audio
