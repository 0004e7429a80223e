#pragma once

#include <cstdint>
#include <span>

// Volume for the sound on its way to the device: a gain in steps of 1/65536, applied
// with rounding and saturated at the ends of the sample range. Unity leaves every sample
// as it was, bit for bit; zero gives silence.

namespace audio {

inline constexpr int32_t kUnityGain = 1 << 16;

// The gain of a volume in percent (100 is unity); negative percentages are silence.
constexpr int32_t GainFromPercent(int percent) {
    return percent <= 0 ? 0 : static_cast<int32_t>(int64_t{percent} * kUnityGain / 100);
}

// Signed 16-bit samples.
void ApplyGain16(std::span<int16_t> samples, int32_t gain);
// Unsigned 8-bit samples around 128, as 8-bit PCM stores them.
void ApplyGain8(std::span<uint8_t> samples, int32_t gain);

}  // namespace audio
