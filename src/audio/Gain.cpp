#include "audio/Gain.h"

#include <algorithm>

namespace audio {
namespace {

// round(sample × gain / 65536), held within [low, high].
int32_t Scale(int32_t sample, int32_t gain, int32_t low, int32_t high) {
    const int64_t scaled = (int64_t{sample} * gain + (kUnityGain / 2)) >> 16;
    return static_cast<int32_t>(std::clamp<int64_t>(scaled, low, high));
}

}  // namespace

void ApplyGain16(std::span<int16_t> samples, int32_t gain) {
    if (gain == kUnityGain) return;
    for (int16_t& s : samples) s = static_cast<int16_t>(Scale(s, gain, INT16_MIN, INT16_MAX));
}

void ApplyGain8(std::span<uint8_t> samples, int32_t gain) {
    if (gain == kUnityGain) return;
    for (uint8_t& s : samples)
        s = static_cast<uint8_t>(Scale(int32_t{s} - 128, gain, -128, 127) + 128);
}

}  // namespace audio
