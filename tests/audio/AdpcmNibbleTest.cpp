#include <gtest/gtest.h>

#include "audio/AdpcmNibble.h"

namespace audio {
namespace {

struct StepCase {
    unsigned nibble;
    int32_t stepIndex;
    int32_t delta;
    int32_t nextStepIndex;
};

// Deltas worked out by hand from (multiplier * step + bias) / 8, truncated toward zero.
// Steps 15 (index 7) and 29795 (index 87) are one larger than in the IMA table and
// give different deltas there.
constexpr StepCase kStepCases[] = {
    {8, 0, 0, 0},          // step 7: (-7 + 7) / 8; index 0 - 1 stays 0
    {0, 0, 0, 0},          // step 7: 7 / 8
    {7, 0, 13, 8},         // step 7: 105 / 8
    {15, 0, -12, 8},       // step 7: -98 / 8
    {8, 1, 0, 0},          // step 8: -1 / 8
    {0, 1, 1, 0},          // step 8: 8 / 8
    {7, 7, 28, 15},        // step 15: 225 / 8 (26 with the IMA step 14)
    {9, 40, -125, 39},     // step 338: -1007 / 8 rounds toward zero
    {1, 87, 11173, 86},    // step 29795: 89385 / 8 (11172 with the IMA step)
    {7, 88, 61438, 88},    // step 32767: index + 8 stays 88
    {12, 88, -36862, 88},  // step 32767: (-294903 + 7) / 8
};

TEST(AdpcmNibbleTest, StepMovesPredictorByTableDeltaAndAdaptsIndex) {
    for (const StepCase& c : kStepCases) {
        SCOPED_TRACE(testing::Message() << "nibble " << c.nibble << " index " << c.stepIndex);
        int32_t predictor = 0;
        int32_t stepIndex = c.stepIndex;
        ExpandNibbleUnclamped(c.nibble, predictor, stepIndex);
        EXPECT_EQ(predictor, c.delta);
        EXPECT_EQ(stepIndex, c.nextStepIndex);
    }
}

struct LimitCase {
    int32_t predictor;
    unsigned nibble;
    int16_t clampedSample;
    int32_t unclampedPredictor;
    int16_t unclampedSample;
};

constexpr LimitCase kLimitCases[] = {
    {32000, 7, 32767, 93438, 27902},       // 32000 + 61438; low 16 bits 93438 - 65536
    {-32000, 15, -32768, -93437, -27901},  // -32000 - 61437; low 16 bits wrap to -27901
    {100, 7, 32767, 61538, -3998},
};

TEST(AdpcmNibbleTest, Dk4ClampsPredictorWhileDk3KeepsLow16Bits) {
    for (const LimitCase& c : kLimitCases) {
        SCOPED_TRACE(testing::Message() << "predictor " << c.predictor << " nibble " << c.nibble);
        int32_t clamped = c.predictor;
        int32_t clampedIndex = kMaxStepIndex;
        EXPECT_EQ(ExpandNibble(c.nibble, clamped, clampedIndex), c.clampedSample);
        EXPECT_EQ(clamped, c.clampedSample);

        int32_t unclamped = c.predictor;
        int32_t unclampedIndex = kMaxStepIndex;
        EXPECT_EQ(ExpandNibbleUnclamped(c.nibble, unclamped, unclampedIndex), c.unclampedSample);
        EXPECT_EQ(unclamped, c.unclampedPredictor);
    }
}

}  // namespace
}  // namespace audio
