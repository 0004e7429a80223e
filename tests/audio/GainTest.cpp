#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/Gain.h"

namespace {

using audio::ApplyGain16;
using audio::ApplyGain8;
using audio::GainFromPercent;

const std::vector<int16_t> kSamples16 = {0,     1,      -1,    2,      -2,    1000,  -1000,
                                         16383, -16384, 32767, -32768, 12345, -23456};
const std::vector<uint8_t> kSamples8 = {0, 1, 64, 127, 128, 129, 192, 254, 255};

TEST(Gain, UnityIsBitExactAndZeroIsSilence) {
    auto s16 = kSamples16;
    ApplyGain16(s16, GainFromPercent(100));
    EXPECT_EQ(s16, kSamples16);
    auto s8 = kSamples8;
    ApplyGain8(s8, GainFromPercent(100));
    EXPECT_EQ(s8, kSamples8);

    for (const int percent : {0, -5}) {
        s16 = kSamples16;
        ApplyGain16(s16, GainFromPercent(percent));
        EXPECT_EQ(s16, std::vector<int16_t>(kSamples16.size(), 0));
        s8 = kSamples8;
        ApplyGain8(s8, GainFromPercent(percent));
        EXPECT_EQ(s8, std::vector<uint8_t>(kSamples8.size(), 128))
            << "8-bit silence is its midpoint";
    }
}

TEST(Gain, ScalesWithRoundingAndSaturatesAtBothEnds) {
    struct Case {
        int percent;
        int16_t in, out;
    };
    for (const Case& c :
         {Case{50, 1000, 500}, Case{50, -1000, -500}, Case{50, 3, 2}, Case{50, -3, -1},
          Case{200, 16383, 32766}, Case{200, 16384, 32767}, Case{200, -16384, -32768},
          Case{200, -16385, -32768}, Case{200, 32767, 32767}, Case{200, -32768, -32768},
          Case{150, 30000, 32767}, Case{150, -30000, -32768}}) {
        std::vector<int16_t> s = {c.in};
        ApplyGain16(s, GainFromPercent(c.percent));
        EXPECT_EQ(s[0], c.out) << c.percent << "% of " << c.in;
    }
    std::vector<uint8_t> s8 = {0, 255, 64, 192, 100};
    ApplyGain8(s8, GainFromPercent(200));
    EXPECT_EQ(s8, (std::vector<uint8_t>{0, 255, 0, 255, 72}));
}

}  // namespace
