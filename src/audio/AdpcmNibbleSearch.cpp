#include "audio/AdpcmNibbleSearch.h"

#include <cstdlib>

#include "audio/AdpcmNibble.h"

namespace audio {

unsigned ChooseNibble(int32_t target, int32_t& predictor, int32_t& stepIndex) {
    unsigned best = 0;
    int32_t bestError = INT32_MAX;
    for (unsigned nibble = 0; nibble < 16; ++nibble) {
        int32_t trialPredictor = predictor;
        int32_t trialIndex = stepIndex;
        const int32_t error = std::abs(ExpandNibble(nibble, trialPredictor, trialIndex) - target);
        if (error < bestError) {
            bestError = error;
            best = nibble;
        }
    }
    ExpandNibble(best, predictor, stepIndex);
    return best;
}

int32_t InitialStepIndex(std::span<const int16_t> values, size_t stride) {
    constexpr size_t kLookAhead = 8;
    int64_t totalChange = 0;
    size_t changes = 0;
    for (size_t i = stride; i < values.size() && changes < kLookAhead; i += stride, ++changes)
        totalChange += std::abs(int32_t{values[i]} - int32_t{values[i - stride]});
    const int64_t meanChange = changes > 0 ? totalChange / static_cast<int64_t>(changes) : 0;

    int32_t best = 0;
    for (int32_t index = 1; index <= kMaxStepIndex; ++index)
        if (std::abs(kStepTable[index] - meanChange) < std::abs(kStepTable[best] - meanChange))
            best = index;
    return best;
}

}  // namespace audio
