#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace truemotion {

// Bytes of a frame that the chained header coding covers, after the size byte.
inline constexpr size_t kCodedHeaderBytes = 21;
// A frame must hold the size byte, the coded header bytes and the byte they chain to.
inline constexpr size_t kMinFrameBytes = kCodedHeaderBytes + 2;

// Header byte k is frame byte k + 1 XOR frame byte k + 2. `frame` holds at least
// `count` + 2 bytes.
template <size_t count>
std::array<uint8_t, count> UnchainHeader(std::span<const uint8_t> frame) {
    std::array<uint8_t, count> header{};
    for (size_t k = 0; k < count; ++k) header[k] = frame[k + 1] ^ frame[k + 2];
    return header;
}

// Flag of the header's flags byte: the frame is coded at two thirds of the display width.
inline constexpr uint8_t kStretchFlag = 0x04;

struct FrameGeometry {
    int width;
    int height;
};

// The display size that a movie's first frame declares: its height, and its width,
// widened by half when the frame is coded at two thirds of it. Nothing when the frame
// is too short to hold the size fields.
std::optional<FrameGeometry> ProbeFrameGeometry(std::span<const uint8_t> frame);

}  // namespace truemotion
