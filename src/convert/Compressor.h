#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "convert/CompressorVars.h"
#include "movie/AviRecords.h"

// The video compressors Lumeko converts with, in place of the system's compression
// manager: a sequence is started for one input format, then fed frame after frame.

namespace convert {

class ICompressor {
public:
    virtual ~ICompressor() = default;
    // Prepares a sequence for 24-bit bottom-up frames of `input`'s size; fails when the
    // compressor cannot take them. Returns the stream format of its output.
    virtual Result<std::vector<uint8_t>> SeqCompressFrameStart(
        const COMPVARS& vars, const movie::BITMAPINFOHEADER& input) = 0;
    // Compresses the next frame of the sequence.
    virtual std::span<const uint8_t> SeqCompressFrame(const uint8_t* bgr, bool& keyFrame) = 0;
};

struct CompressorInfo {
    uint32_t fccHandler;
    std::string name;
    // Which of the settings it heeds.
    bool heedsQuality = false;
    bool heedsKeyFrames = false;
    bool heedsDataRate = false;
};

// Every compressor there is, full frames first.
std::vector<CompressorInfo> InstalledCompressors();
// A compressor for a handler code; nothing for 'DIB ' (full frames need none) or an
// unknown code.
std::unique_ptr<ICompressor> CreateCompressor(uint32_t fccHandler);

}  // namespace convert
