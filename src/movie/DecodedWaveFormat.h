#pragma once

#include "movie/AviRecords.h"

class CDuckMovie;

// The format the movie's sound decodes to, as the wave device plays it and the converter
// writes it: PCM as stored, DK4 and DK3 as 16-bit PCM on their decoded channels (DK3
// always two, whatever the format declares, so it plays at its true speed). The block
// and byte rate follow from channels and bits; no extra bytes.
movie::WAVEFORMATEX DecodedWaveFormat(const CDuckMovie& movie);
