#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace truemotion::testing {

// A display bitmap (blue, green, red, bottom row first) pre-filled with a marker byte,
// so that a test sees which bytes a decode left alone.
struct DisplayBitmap {
    static constexpr uint8_t kUntouched = 0xA5;

    int width, height;
    std::vector<uint8_t> pixels;

    DisplayBitmap(int w, int h)
        : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3, kUntouched) {}

    uint8_t* data() { return pixels.data(); }
    bool IsUntouched() const {
        for (uint8_t b : pixels)
            if (b != kUntouched) return false;
        return true;
    }
    // Pixel (x, y), y counted from the top, as blue, green, red.
    std::array<int, 3> At(int x, int y) const {
        const uint8_t* p = &pixels[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
    void Set(int x, int y, const std::array<int, 3>& bgr) {
        uint8_t* p = &pixels[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(bgr[c]);
    }
};

}  // namespace truemotion::testing
