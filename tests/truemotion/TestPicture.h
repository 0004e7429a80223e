#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

// A natural-looking test picture in the display bitmap layout (blue, green, red,
// bottom row first): smooth gradients, a few hard-edged shapes and some noise.
// `shift` moves the shapes, for delta frames.
inline std::vector<uint8_t> MakeTestPicture(int width, int height, int shift = 0,
                                            unsigned seed = 1) {
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width, v = static_cast<double>(y) / height;
            double b = 40 + 150 * v, g = 60 + 120 * u, r = 200 - 100 * u * v;
            const double dx = x - (width * 0.3 + shift), dy = y - height * 0.5;
            if (dx * dx + dy * dy < (height * 0.2) * (height * 0.2)) b = 30, g = 90, r = 240;
            if (x > width * 0.6 && x < width * 0.8 && y > height * 0.2 - shift &&
                y < height * 0.7 - shift)
                b = 220, g = 200, r = 40;
            const double n = noise(random);
            uint8_t* p = &bgr[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(std::clamp(b + n, 0.0, 255.0));
            p[1] = static_cast<uint8_t>(std::clamp(g + n, 0.0, 255.0));
            p[2] = static_cast<uint8_t>(std::clamp(r + n, 0.0, 255.0));
        }
    return bgr;
}

inline double Psnr(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    double sse = 0;
    for (size_t i = 0; i < a.size(); ++i) sse += (a[i] - b[i]) * (a[i] - b[i]);
    if (sse == 0) return 99.0;
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sse);
}
