#pragma once

#include <algorithm>
#include <cstdint>

#include "audio/AdpcmTables.h"

// One ADPCM decoding step: a 4-bit code moves the predictor by a multiple of the
// current step and then adapts the step index. The step index must be in 0..88
// on entry; it stays there.

namespace audio {

// (multiplier * step + bias) / 8, truncated toward zero.
inline int32_t NibbleDelta(unsigned nibble, int32_t step) {
    return (kMultiplierTable[nibble & 15] * step + kBiasTable[nibble & 15]) / 8;
}

inline int32_t AdaptStepIndex(unsigned nibble, int32_t stepIndex) {
    return std::clamp(stepIndex + kIndexAdjustTable[nibble & 15], int32_t{0}, kMaxStepIndex);
}

// DK4 step: the predictor is limited to the 16-bit range. Returns the new sample.
inline int16_t ExpandNibble(unsigned nibble, int32_t& predictor, int32_t& stepIndex) {
    const int32_t delta = NibbleDelta(nibble, kStepTable[stepIndex]);
    predictor = std::clamp(predictor + delta, int32_t{-32768}, int32_t{32767});
    stepIndex = AdaptStepIndex(nibble, stepIndex);
    return static_cast<int16_t>(predictor);
}

// DK3 step: the predictor is not limited; the sample is its low 16 bits. The sum
// wraps at 32 bits so that a long run of hostile codes cannot overflow.
inline int16_t ExpandNibbleUnclamped(unsigned nibble, int32_t& predictor, int32_t& stepIndex) {
    const int32_t delta = NibbleDelta(nibble, kStepTable[stepIndex]);
    predictor =
        static_cast<int32_t>(static_cast<uint32_t>(predictor) + static_cast<uint32_t>(delta));
    stepIndex = AdaptStepIndex(nibble, stepIndex);
    return static_cast<int16_t>(predictor);
}

}  // namespace audio
