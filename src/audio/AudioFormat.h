#pragma once

#include <cstddef>
#include <cstdint>

#include "base/SystemRecords.h"

// The audio formats a movie may carry, and the sizes that follow from their
// block alignment. Shared by the movie source, the wave output and the converter.

namespace audio {

// The compressed format tags; PCM is the system's WAVE_FORMAT_PCM.
inline constexpr uint16_t kWaveFormatDk4 = 0x61;
inline constexpr uint16_t kWaveFormatDk3 = 0x62;

// Block header sizes: a block must hold its header and, for DK3, at least one data byte.
inline constexpr uint16_t kDk4MonoHeaderBytes = 4;
inline constexpr uint16_t kDk4StereoHeaderBytes = 8;
inline constexpr uint16_t kDk3HeaderBytes = 16;

// Block alignments our encoders use for 22050 Hz movies.
inline constexpr uint16_t kDefaultDk4MonoBlockAlign = 512;
inline constexpr uint16_t kDefaultDk4StereoBlockAlign = 1024;
inline constexpr uint16_t kDefaultDk3BlockAlign = 1024;

// Stereo frames of one DK3 block: the block ends at the first frame after which every
// data byte has been used, and k frames use k - k/4 bytes. 0 when the block has no data.
constexpr size_t Dk3FramesPerBlock(uint16_t blockAlign) {
    if (blockAlign <= kDk3HeaderBytes) return 0;
    const size_t dataBytes = blockAlign - kDk3HeaderBytes;
    switch (dataBytes % 3) {
        case 0:
            return 4 * dataBytes / 3 - 1;
        case 1:
            return 4 * (dataBytes - 1) / 3 + 1;
        default:
            return 4 * (dataBytes - 2) / 3 + 2;
    }
}

// Whether a stream of this format can be decoded with this block alignment.
// PCM needs a non-zero alignment (one sample frame). DK4 mono needs its 4-byte header
// (a header-only block is valid and gives one sample), DK4 stereo its 8-byte header
// (header only: one frame), DK3 its 16-byte header plus one data byte, since a DK3 block
// without data never reaches its end. Any other tag is refused.
bool IsValidBlockAlign(uint16_t formatTag, uint16_t channels, uint16_t blockAlign);

// Channels of the decoded PCM: DK3 always decodes to stereo; DK4 decodes to stereo only
// for two channels (every other count goes through the mono decoder); PCM is unchanged.
uint16_t DecodedChannelCount(uint16_t formatTag, uint16_t channels);

// Sample frames per block (for PCM a block is one frame); 0 for an invalid alignment.
size_t FramesPerBlock(uint16_t formatTag, uint16_t channels, uint16_t blockAlign);

// Bytes a decoded chunk may need for rawBytes of input: x1 PCM, x4 DK4, x6 any other
// tag. Saturates instead of wrapping around.
size_t DecodedChunkCapacity(uint16_t formatTag, size_t rawBytes);

}  // namespace audio
