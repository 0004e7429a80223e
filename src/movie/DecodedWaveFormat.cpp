#include "movie/DecodedWaveFormat.h"

#include "movie/DuckMovie.h"

movie::WAVEFORMATEX DecodedWaveFormat(const CDuckMovie& movie) {
    movie::WAVEFORMATEX format;
    movie.GetWaveFormat(&format);
    if (format.wFormatTag != movie::WAVE_FORMAT_PCM) {
        format.wFormatTag = movie::WAVE_FORMAT_PCM;
        format.wBitsPerSample = 16;
        if (movie.HasAudio()) format.nChannels = movie.GetDecodedChannels();
    }
    format.nBlockAlign = static_cast<uint16_t>(format.nChannels * format.wBitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.cbSize = 0;
    return format;
}
