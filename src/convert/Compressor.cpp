#include "convert/Compressor.h"

#include "convert/MjpegCompressor.h"
#include "convert/TrueMotionCompressor.h"

namespace convert {

std::vector<CompressorInfo> InstalledCompressors() {
    return {{kFccUncompressed, "Full Frames (Uncompressed)"},
            {movie::MakeFourCC("MJPG"), "Motion JPEG"},
            {movie::MakeFourCC("DUCK"), "Duck TrueMotion 1 (Lumeko)"}};
}

std::unique_ptr<ICompressor> CreateCompressor(uint32_t fccHandler) {
    if (fccHandler == movie::MakeFourCC("MJPG")) return std::make_unique<MjpegCompressor>();
    if (fccHandler == movie::MakeFourCC("DUCK")) return std::make_unique<TrueMotionCompressor>();
    return nullptr;
}

}  // namespace convert
