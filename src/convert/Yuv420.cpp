#include "convert/Yuv420.h"

#include <cstddef>

namespace convert {

namespace {

// BT.601 limited range in 16.16 fixed point, from the 8-bit RGB coefficients / 255.
constexpr int kYr = 16829, kYg = 33039, kYb = 6416;    // 65.481, 128.553, 24.966
constexpr int kUr = -9714, kUg = -19070, kUb = 28784;  // -37.797, -74.203, 112
constexpr int kVr = 28784, kVg = -24103, kVb = -4681;  // 112, -93.786, -18.214
constexpr int kHalf = 1 << 15;

}  // namespace

void BgrToI420(const uint8_t* bgrBottomUp, int width, int height, int factor,
               const I420Planes& out) {
    const int outW = width * factor, outH = height * factor;
    const auto source = [&](int x, int y) {
        // Output row y (top first) comes from source row height-1-y/factor of the bottom-up
        // picture.
        return bgrBottomUp +
               (static_cast<size_t>(height - 1 - y / factor) * width + x / factor) * 3;
    };
    for (int y = 0; y < outH; ++y) {
        uint8_t* row = out.y + static_cast<size_t>(y) * out.yStride;
        for (int x = 0; x < outW; ++x) {
            const uint8_t* p = source(x, y);
            row[x] =
                static_cast<uint8_t>(16 + ((kYr * p[2] + kYg * p[1] + kYb * p[0] + kHalf) >> 16));
        }
    }
    for (int y = 0; y + 1 < outH; y += 2) {
        uint8_t* u = out.u + static_cast<size_t>(y / 2) * out.uvStride;
        uint8_t* v = out.v + static_cast<size_t>(y / 2) * out.uvStride;
        for (int x = 0; x + 1 < outW; x += 2) {
            int r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const uint8_t* p = source(x + dx, y + dy);
                    b += p[0], g += p[1], r += p[2];
                }
            // Sums of four: the coefficients take the extra factor 4 in the shift.
            u[x / 2] =
                static_cast<uint8_t>(128 + ((kUr * r + kUg * g + kUb * b + (kHalf << 2)) >> 18));
            v[x / 2] =
                static_cast<uint8_t>(128 + ((kVr * r + kVg * g + kVb * b + (kHalf << 2)) >> 18));
        }
    }
}

}  // namespace convert
