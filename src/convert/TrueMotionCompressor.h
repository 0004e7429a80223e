#pragma once

#include <optional>
#include <vector>

#include "convert/Compressor.h"
#include "truemotion/TrueMotionEncoder.h"

namespace convert {

// TrueMotion 1 through our own encoder, 24-bit: key frames at the settings' rhythm,
// delta frames between them. Pictures the encoder cannot code are refused at the start.
class TrueMotionCompressor final : public ICompressor {
public:
    Result<std::vector<uint8_t>> SeqCompressFrameStart(
        const COMPVARS& vars, const movie::BITMAPINFOHEADER& input) override;
    std::span<const uint8_t> SeqCompressFrame(const uint8_t* bgr, bool& keyFrame) override;

private:
    std::optional<truemotion::TrueMotionEncoder> m_encoder;
    std::vector<uint8_t> m_frame;
    size_t m_pictureBytes = 0;
    int32_t m_keyEvery = 0;
    int64_t m_index = 0;
};

}  // namespace convert
