#include "convert/Compressor.h"

#include "convert/MjpegCompressor.h"
#ifdef LUMEKO_HAVE_X264
#include "convert/H264Compressor.h"
#endif
#include "convert/TrueMotionCompressor.h"

namespace convert {

std::vector<CompressorInfo> InstalledCompressors() {
    return {
        {kFccUncompressed, "Full Frames (Uncompressed)", false, false, false},
        {movie::MakeFourCC("MJPG"), "Motion JPEG", true, false, true},
        {movie::MakeFourCC("DUCK"), "Duck TrueMotion 1 (Lumeko)", false, true, false},
#ifdef LUMEKO_HAVE_X264
        {movie::MakeFourCC("H264"), "H.264 (x264)", true, true, true},
#endif
    };
}

std::unique_ptr<ICompressor> CreateCompressor(uint32_t fccHandler) {
    if (fccHandler == movie::MakeFourCC("MJPG")) return std::make_unique<MjpegCompressor>();
    if (fccHandler == movie::MakeFourCC("DUCK")) return std::make_unique<TrueMotionCompressor>();
#ifdef LUMEKO_HAVE_X264
    if (fccHandler == movie::MakeFourCC("H264")) return std::make_unique<H264Compressor>();
#endif
    return nullptr;
}

}  // namespace convert
