#pragma once

#include <vector>

#include "convert/Compressor.h"

namespace convert {

// Motion JPEG through libjpeg-turbo: every frame a key frame. The quality comes from
// the settings, or, when a data rate is asked for, is chosen for it: searched for on a
// frame far off the rate, steered by small steps otherwise.
class MjpegCompressor final : public ICompressor {
public:
    ~MjpegCompressor() override;
    Result<std::vector<uint8_t>> SeqCompressFrameStart(
        const COMPVARS& vars, const movie::BITMAPINFOHEADER& input) override;
    std::span<const uint8_t> SeqCompressFrame(const uint8_t* bgr, bool& keyFrame) override;

private:
    static constexpr int kLowestQuality = 5;
    // Compresses into m_jpeg; false when libjpeg-turbo fails.
    bool Compress(const uint8_t* bgr, int quality);

    void* m_handle = nullptr;
    int m_width = 0, m_height = 0;
    int m_quality = 90;
    double m_targetBytes = 0;  // per frame; 0 for a fixed quality
    unsigned char* m_jpeg = nullptr;
    unsigned long m_jpegSize = 0;
};

}  // namespace convert
