#pragma once

#include <cstdint>

#include "movie/AviRecords.h"

// The compressor choice and its settings, as the compressor dialog fills them in.

namespace convert {

inline constexpr uint32_t ICMF_COMPVARS_VALID = 1;
inline constexpr uint32_t kFccVideoCompressor = movie::MakeFourCC("vidc");
inline constexpr uint32_t kFccUncompressed = movie::MakeFourCC("DIB ");

struct COMPVARS {
    uint32_t cbSize = 64;
    uint32_t dwFlags = ICMF_COMPVARS_VALID;
    uint32_t fccType = kFccVideoCompressor;
    uint32_t fccHandler = kFccUncompressed;
    // A key frame every lKey frames (0: only the first); data rate in kilobytes per
    // second (0: none asked); quality 0..10000.
    int32_t lKey = 15;
    int32_t lDataRate = 0;
    int32_t lQ = 10000;
    // The movie's frame rate, so that a data rate becomes bytes per frame.
    double framesPerSecond = 15.0;
};

}  // namespace convert
