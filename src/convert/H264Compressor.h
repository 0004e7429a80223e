#pragma once

#include <vector>

#include "convert/Compressor.h"

struct x264_t;

namespace convert {

// H.264 through libx264, as an Annex B stream with its parameter sets before every key
// frame, one coded picture out for each picture in. Key frames come at the settings'
// rhythm and nowhere else; a data rate is held with x264's rate control, otherwise the
// quality chooses a constant rate factor. Pictures x264 cannot take in 4:2:0 (odd sizes)
// are refused at the start.
class H264Compressor final : public ICompressor {
public:
    H264Compressor() = default;
    H264Compressor(const H264Compressor&) = delete;
    H264Compressor& operator=(const H264Compressor&) = delete;
    ~H264Compressor() override;

    Result<std::vector<uint8_t>> SeqCompressFrameStart(
        const COMPVARS& vars, const movie::BITMAPINFOHEADER& input) override;
    std::span<const uint8_t> SeqCompressFrame(const uint8_t* bgr, bool& keyFrame) override;

    // The constant rate factor a quality of 0..10000 stands for: 51 (worst) to 1 (best).
    static float RateFactorFor(int32_t quality);

private:
    x264_t* m_encoder = nullptr;
    int m_width = 0, m_height = 0;
    int32_t m_keyEvery = 0;
    int64_t m_index = 0;
    // The picture in x264's planes: luma, then the two quarter-size chroma planes.
    std::vector<uint8_t> m_planes;
};

}  // namespace convert
