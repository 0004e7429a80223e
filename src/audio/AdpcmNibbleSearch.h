#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Helpers of our ADPCM encoders: they choose codes by the decoder's own arithmetic.

namespace audio {

// The DK4 nibble whose decoded sample lands closest to target; predictor and step
// index are advanced by it exactly as the decoder will.
unsigned ChooseNibble(int32_t target, int32_t& predictor, int32_t& stepIndex);

// A step index for a block's first header: the one whose step is closest to the mean
// size of the first few changes of the signal. Later blocks carry the index the
// encoder has adapted to. values are read with the given stride.
int32_t InitialStepIndex(std::span<const int16_t> values, size_t stride);

}  // namespace audio
