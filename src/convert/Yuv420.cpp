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
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    // Output row y (top first) comes from source row height-1-y/factor of the bottom-up picture.
    const auto sourceRow = [&](int y) {
        return bgrBottomUp + static_cast<size_t>(height - 1 - y / factor) * rowBytes;
    };
    for (int y = 0; y < outH; ++y) {
        const uint8_t* p = sourceRow(y);
        uint8_t* row = out.y + static_cast<size_t>(y) * out.yStride;
        for (int x = 0; x < width; ++x, p += 3) {
            const auto luma =
                static_cast<uint8_t>(16 + ((kYr * p[2] + kYg * p[1] + kYb * p[0] + kHalf) >> 16));
            for (int k = 0; k < factor; ++k) *row++ = luma;
        }
    }
    for (int y = 0; y + 1 < outH; y += 2) {
        const uint8_t* top = sourceRow(y);
        const uint8_t* bottom = sourceRow(y + 1);
        uint8_t* u = out.u + static_cast<size_t>(y / 2) * out.uvStride;
        uint8_t* v = out.v + static_cast<size_t>(y / 2) * out.uvStride;
        for (int x = 0; x + 1 < outW; x += 2) {
            const size_t left = static_cast<size_t>(factor == 1 ? x : x / factor) * 3;
            const size_t right = static_cast<size_t>(factor == 1 ? x + 1 : (x + 1) / factor) * 3;
            const int b = top[left] + top[right] + bottom[left] + bottom[right];
            const int g = top[left + 1] + top[right + 1] + bottom[left + 1] + bottom[right + 1];
            const int r = top[left + 2] + top[right + 2] + bottom[left + 2] + bottom[right + 2];
            // Sums of four: the coefficients take the extra factor 4 in the shift.
            u[x / 2] =
                static_cast<uint8_t>(128 + ((kUr * r + kUg * g + kUb * b + (kHalf << 2)) >> 18));
            v[x / 2] =
                static_cast<uint8_t>(128 + ((kVr * r + kVg * g + kVb * b + (kHalf << 2)) >> 18));
        }
    }
}

}  // namespace convert
