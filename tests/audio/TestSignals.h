#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

// Interleaved 16-bit signals at 22050 Hz for the encoder round trips and the benchmark.

namespace audio {

inline constexpr int kSampleRate = 22050;

enum class Signal { Tone, NoiseAndTones };

// Tone: 1 kHz at half of full scale, the right channel a quarter period behind the left
// (so a sum-and-difference coder has both channels to carry). Noise and tones: three
// tones of different pitch per channel under white noise, a busy and rough signal.
inline std::vector<int16_t> MakeSignal(Signal signal, int channels, size_t frames) {
    std::vector<int16_t> samples(frames * static_cast<size_t>(channels));
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> noise(-3000.0, 3000.0);
    for (size_t frame = 0; frame < frames; ++frame) {
        const double t = static_cast<double>(frame) / kSampleRate;
        for (int channel = 0; channel < channels; ++channel) {
            double value = 0;
            if (signal == Signal::Tone) {
                value = 16000 * std::sin(2 * std::numbers::pi * (1000 * t - 0.25 * channel));
            } else {
                const double shift = 1 + 0.13 * channel;
                value = 6000 * std::sin(2 * std::numbers::pi * 220 * shift * t) +
                        5000 * std::sin(2 * std::numbers::pi * 1375 * shift * t) +
                        4000 * std::sin(2 * std::numbers::pi * 4400 * shift * t) + noise(random);
            }
            samples[frame * static_cast<size_t>(channels) + static_cast<size_t>(channel)] =
                static_cast<int16_t>(std::lround(value));
        }
    }
    return samples;
}

}  // namespace audio
