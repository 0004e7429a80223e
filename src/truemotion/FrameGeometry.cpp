#include "truemotion/FrameGeometry.h"

namespace truemotion {

std::optional<FrameGeometry> ProbeFrameGeometry(std::span<const uint8_t> frame) {
    constexpr size_t kProbedBytes = 19;
    if (frame.size() < kProbedBytes + 2) return std::nullopt;
    const auto d = UnchainHeader<kProbedBytes>(frame);
    FrameGeometry geometry{d[5] + 256 * d[6], d[3] + 256 * d[4]};
    if (d[11] & kStretchFlag) geometry.width = (geometry.width / 2) * 3;
    return geometry;
}

}  // namespace truemotion
