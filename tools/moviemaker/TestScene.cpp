#include "TestScene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace moviemaker {
namespace {

struct Colour {
    double b, g, r;
};

uint8_t ToByte(double v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5);
}

// Position on a path that bounces between 0 and `span`.
double Bounce(double travelled, double span) {
    if (span <= 0) return 0;
    const double m = std::fmod(travelled, 2 * span);
    return m < span ? m : 2 * span - m;
}

// Text-like strokes: a fixed pseudo-random pattern of short horizontal and vertical
// bars in a grid of 6 × 8 cells, the way a line of small print looks.
bool IsStroke(int x, int y) {
    const int cellX = x / 6, cellY = y / 8, inX = x % 6, inY = y % 8;
    const uint32_t seed =
        static_cast<uint32_t>(cellX * 73856093) ^ static_cast<uint32_t>(cellY * 19349663);
    const uint32_t glyph = (seed * 2654435761u) >> 20;
    if (inX == 5 || inY == 7) return false;  // spacing between glyphs and lines
    const bool bar = (glyph & 1) && inY == 1 + static_cast<int>(glyph >> 1 & 3);
    const bool stem = (glyph & 8) && inX == static_cast<int>(glyph >> 4 & 3) + 1;
    return bar || stem;
}

}  // namespace

void DrawSceneFrame(int width, int height, int index, double fps, std::span<uint8_t> bgr) {
    const double t = index / fps;
    const double discRadius = std::max(4.0, std::min(width, height) / 8.0);
    const double discX = discRadius + Bounce(t * width * 0.35, width - 2 * discRadius);
    const double discY = discRadius + Bounce(t * height * 0.5, height - 2 * discRadius);
    const int barWidth = std::max(4, width / 10);
    const int barX = static_cast<int>(Bounce(t * width * 0.2, width - barWidth));
    const int textTop = height / 8, textBottom = textTop + std::max(8, height / 5);
    const int textLeft = width / 16, textRight = width / 2;
    const int rampTop = height - std::max(4, height / 12);

    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;  // bottom-up storage
        uint8_t* out = bgr.data() + static_cast<size_t>(row) * width * 3;
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            Colour c{60 + 120 * v,
                     40 + 100 * u + 40 * std::sin(2 * std::numbers::pi * (u + t * 0.1)),
                     200 - 120 * u * v};
            if (y >= rampTop) {
                const double grey = 255.0 * x / std::max(1, width - 1);
                c = {grey, grey, grey};
            } else if (y >= textTop && y < textBottom && x >= textLeft && x < textRight) {
                c = IsStroke(x - textLeft, y - textTop) ? Colour{20, 20, 20}
                                                        : Colour{235, 235, 225};
            }
            if (x >= barX && x < barX + barWidth && y < rampTop) c = {30, 180, 240};
            const double dx = x - discX, dy = y - discY;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < discRadius) {
                const double shade = 1.0 - 0.5 * d / discRadius;
                c = {40 * shade, 90 * shade, 250 * shade};
            }
            out[3 * x + 0] = ToByte(c.b);
            out[3 * x + 1] = ToByte(c.g);
            out[3 * x + 2] = ToByte(c.r);
        }
    }
}

void RenderSceneSound(int sampleRate, int channels, int64_t firstFrame, int64_t totalFrames,
                      std::span<int16_t> samples) {
    // Exponential sweep from 220 Hz to 880 Hz over the movie; the phase is the integral of
    // the frequency so the tone stays continuous across chunks.
    const double duration = std::max<int64_t>(totalFrames, 1) / static_cast<double>(sampleRate);
    const double k = std::log(4.0) / duration;
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    for (size_t i = 0; i < frames; ++i) {
        const double time = static_cast<double>(firstFrame + static_cast<int64_t>(i)) / sampleRate;
        const double phase = 2 * std::numbers::pi * 220.0 * (std::exp(k * time) - 1.0) / k;
        for (int ch = 0; ch < channels; ++ch) {
            // The right channel carries the fifth above, at a lower level.
            const double value = ch == 0 ? 0.5 * std::sin(phase) : 0.35 * std::sin(1.5 * phase);
            samples[i * channels + ch] = static_cast<int16_t>(std::lround(value * 32767.0));
        }
    }
}

}  // namespace moviemaker
