#pragma once

#include <cstdint>

#include "base/SystemRecords.h"

// A PCM wave format of `channels` × `bits` at `rate`, block and byte rate to match.
inline WAVEFORMATEX PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    WAVEFORMATEX format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.cbSize = 0;
    return format;
}
