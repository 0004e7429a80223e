#pragma once

#include <cstdint>
#include <vector>

#include "base/Result.h"
#include "movie/AviRecords.h"
#include "moviemaker/MovieMaker.h"

namespace moviemaker {

// The scene's sound for a whole movie, coded and cut into the chunks the file stores.
struct CodedSound {
    movie::WAVEFORMATEX format;
    // The 16-bit word that ADPCM formats append to the format: samples per block.
    uint16_t samplesPerBlock = 0;
    std::vector<std::vector<uint8_t>> chunks;
    // Seconds of sound in each chunk (the last may hold less).
    double chunkSeconds = 0;
};

// Codes `seconds` of the sweep in `kind` (not kNone) at `sampleRate`; each chunk holds
// whole blocks worth about `chunkSeconds`.
Result<CodedSound> CodeSceneSound(SoundKind kind, int sampleRate, double seconds,
                                  double chunkSeconds);

}  // namespace moviemaker
