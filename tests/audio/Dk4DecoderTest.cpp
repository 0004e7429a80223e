#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "audio/Dk4Decoder.h"
#include "base/ByteReader.h"

namespace audio {
namespace {

std::vector<uint8_t> MonoBlock(int16_t predictor, uint8_t stepIndex,
                               std::initializer_list<uint8_t> data) {
    std::vector<uint8_t> block(4);
    StoreLE16(block.data(), static_cast<uint16_t>(predictor));
    block[2] = stepIndex;
    block[3] = 0xA5;  // unused; must not matter
    block.insert(block.end(), data);
    return block;
}

std::vector<uint8_t> StereoBlock(int16_t left, uint8_t leftIndex, int16_t right, uint8_t rightIndex,
                                 std::initializer_list<uint8_t> data) {
    std::vector<uint8_t> block = MonoBlock(left, leftIndex, {});
    const std::vector<uint8_t> rightHeader = MonoBlock(right, rightIndex, {});
    block.insert(block.end(), rightHeader.begin(), rightHeader.end());
    block.insert(block.end(), data);
    return block;
}

std::vector<int16_t> DecodeMono(const std::vector<uint8_t>& chunk, uint16_t blockAlign) {
    std::vector<int16_t> out(2 * chunk.size(), -1);
    out.resize(DecodeDk4Mono(chunk, blockAlign, out) / 2);
    return out;
}

std::vector<int16_t> DecodeStereo(const std::vector<uint8_t>& chunk, uint16_t blockAlign) {
    std::vector<int16_t> out(2 * chunk.size(), -1);
    out.resize(DecodeDk4Stereo(chunk, blockAlign, out) / 2);
    return out;
}

using Samples = std::vector<int16_t>;

TEST(Dk4DecoderTest, HeaderOnlyBlockGivesItsStoredPredictor) {
    std::vector<uint8_t> chunk = MonoBlock(-1234, 40, {});
    const std::vector<uint8_t> second = MonoBlock(32767, 200, {});
    chunk.insert(chunk.end(), second.begin(), second.end());
    EXPECT_EQ(DecodeMono(chunk, 4), (Samples{-1234, 32767}));

    EXPECT_EQ(DecodeStereo(StereoBlock(-32768, 0, 77, 88, {}), 8), (Samples{-32768, 77}));
}

// Worked by hand. Mono, high nibble first, the index carried from nibble to nibble:
// 7 at step 7: +13 (index 8); 15 at step 16: -(15*16-7)/8 = -29 (index 16);
// 0 at step 34: +4 (index 15); 8 at step 31: -(31-7)/8 = -3 (index 14).
// Stereo, high nibble left and low nibble right: left 7 at step 7: +13, then 8 at
// step 16: -1; right 0 at step 32767: +4095, then 15 at step 29795 (index 87):
// -(15*29795-7)/8 = -55865, which clamps to -32768.
TEST(Dk4DecoderTest, DecodesHandWorkedBlocks) {
    EXPECT_EQ(DecodeMono(MonoBlock(1000, 0, {0x7F, 0x08}), 6),
              (Samples{1000, 1013, 984, 988, 985}));
    EXPECT_EQ(DecodeStereo(StereoBlock(100, 0, -100, 88, {0x70, 0x8F}), 10),
              (Samples{100, -100, 113, 3995, 112, -32768}));
}

// The predictor is held at the limit, so the next code moves from the limit itself:
// 8 at step 32767 takes 4095 off 32767, 0 adds 4095 to -32768.
TEST(Dk4DecoderTest, PredictorStaysWithin16Bits) {
    EXPECT_EQ(DecodeMono(MonoBlock(32700, 88, {0x77, 0x78}), 6),
              (Samples{32700, 32767, 32767, 32767, 28672}));
    EXPECT_EQ(DecodeMono(MonoBlock(-32700, 88, {0xFF, 0xF0}), 6),
              (Samples{-32700, -32768, -32768, -32768, -28673}));
    EXPECT_EQ(DecodeStereo(StereoBlock(32000, 88, -32000, 88, {0x7F, 0x80}), 10),
              (Samples{32000, -32000, 32767, -32768, 28672, -28673}));
}

TEST(Dk4DecoderTest, StepIndexStaysWithinTable) {
    // A header index above 88 is taken as 88: code 0 adds 32767/8, then 29795/8.
    for (const uint8_t headerIndex : {uint8_t{88}, uint8_t{89}, uint8_t{200}, uint8_t{255}}) {
        SCOPED_TRACE(testing::Message() << "header index " << int{headerIndex});
        EXPECT_EQ(DecodeMono(MonoBlock(0, headerIndex, {0x00}), 5), (Samples{0, 4095, 7819}));
        EXPECT_EQ(DecodeStereo(StereoBlock(0, headerIndex, 0, headerIndex, {0x00}), 9),
                  (Samples{0, 0, 4095, 4095}));
    }
    // Index 0 with adjustment -1 stays 0, so code 1 keeps adding 3*7/8 = 2. Index 88 with
    // +8 stays 88: code 7 adds 15*32767/8 = 61438, then code 8 takes 4095 off.
    EXPECT_EQ(DecodeMono(MonoBlock(0, 0, {0x11, 0x11}), 6), (Samples{0, 2, 4, 6, 8}));
    EXPECT_EQ(DecodeMono(MonoBlock(-32768, 88, {0x78}), 5), (Samples{-32768, 28670, 24575}));
}

}  // namespace
}  // namespace audio
