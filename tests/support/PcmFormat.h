#pragma once

#include <cstdint>

#include "movie/AviRecords.h"

// A PCM wave format of `channels` × `bits` at `rate`, block and byte rate to match.
inline movie::WAVEFORMATEX PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
    movie::WAVEFORMATEX format;
    format.wFormatTag = movie::WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.cbSize = 0;
    return format;
}
