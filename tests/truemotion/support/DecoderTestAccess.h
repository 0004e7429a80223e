#pragma once

#include <array>
#include <cstdint>

#include "truemotion/TrueMotionDecoder.h"

// What the tests read of the decoder's state and no caller needs.

namespace truemotion::testing {

class TrueMotionDecoderTestAccess {
public:
    static int Width(const TrueMotionDecoder& decoder) { return decoder.m_nWidth; }
    static int Height(const TrueMotionDecoder& decoder) { return decoder.m_nHeight; }
    static const std::array<uint32_t, 256>& GrayTable(const TrueMotionDecoder& decoder) {
        return decoder.m_grayTable;
    }
    static void StepOnly(TrueMotionDecoder& decoder) { decoder.m_bStepsOnly = true; }
};

}  // namespace truemotion::testing
