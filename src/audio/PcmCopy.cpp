#include "audio/PcmCopy.h"

#include <algorithm>
#include <cstring>

namespace audio {

size_t CopyPcm(std::span<const uint8_t> src, uint16_t blockAlign, std::span<uint8_t> dst) {
    if (blockAlign == 0) return 0;
    const size_t bytes = std::min(src.size(), dst.size()) / blockAlign * blockAlign;
    if (bytes > 0) std::memcpy(dst.data(), src.data(), bytes);
    return bytes;
}

}  // namespace audio
