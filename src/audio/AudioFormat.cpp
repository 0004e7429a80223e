#include "audio/AudioFormat.h"

#include <limits>

namespace audio {

bool IsValidBlockAlign(uint16_t formatTag, uint16_t channels, uint16_t blockAlign) {
    switch (formatTag) {
        case WAVE_FORMAT_PCM:
            return blockAlign > 0;
        case kWaveFormatDk4:
            return blockAlign >= (channels == 2 ? kDk4StereoHeaderBytes : kDk4MonoHeaderBytes);
        case kWaveFormatDk3:
            return blockAlign > kDk3HeaderBytes;
        default:
            return false;
    }
}

uint16_t DecodedChannelCount(uint16_t formatTag, uint16_t channels) {
    switch (formatTag) {
        case kWaveFormatDk4:
            return channels == 2 ? 2 : 1;
        case kWaveFormatDk3:
            return 2;
        default:
            return channels;
    }
}

size_t FramesPerBlock(uint16_t formatTag, uint16_t channels, uint16_t blockAlign) {
    if (!IsValidBlockAlign(formatTag, channels, blockAlign)) return 0;
    switch (formatTag) {
        case kWaveFormatDk4:
            return channels == 2 ? size_t{blockAlign} - 7 : 2 * size_t{blockAlign} - 7;
        case kWaveFormatDk3:
            return Dk3FramesPerBlock(blockAlign);
        default:
            return 1;
    }
}

size_t DecodedChunkCapacity(uint16_t formatTag, size_t rawBytes) {
    const size_t factor = formatTag == WAVE_FORMAT_PCM ? 1 : formatTag == kWaveFormatDk4 ? 4 : 6;
    if (rawBytes > std::numeric_limits<size_t>::max() / factor)
        return std::numeric_limits<size_t>::max();
    return rawBytes * factor;
}

}  // namespace audio
