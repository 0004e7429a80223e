#include "convert/TrueMotionCompressor.h"

#include "movie/AviRecordCodec.h"

namespace convert {

Result<std::vector<uint8_t>> TrueMotionCompressor::SeqCompressFrameStart(
    const COMPVARS& vars, const movie::BITMAPINFOHEADER& input) {
    if (input.biBitCount != 24)
        return MakeError(ErrorKind::Unsupported, "TrueMotion takes 24-bit pictures");
    auto encoder = truemotion::TrueMotionEncoder::Create(input.biWidth, input.biHeight, {});
    if (!encoder) return encoder.Error();
    m_encoder.emplace(std::move(encoder.Value()));
    m_pictureBytes = static_cast<size_t>(input.biWidth) * static_cast<size_t>(input.biHeight) * 3;
    m_keyEvery = vars.lKey;
    m_index = 0;
    movie::BITMAPINFOHEADER out = input;
    out.biCompression = movie::MakeFourCC("DUCK");
    out.biSizeImage = static_cast<uint32_t>(m_pictureBytes);
    return movie::SerializeBitmapInfoHeader(out);
}

std::span<const uint8_t> TrueMotionCompressor::SeqCompressFrame(const uint8_t* bgr,
                                                                bool& keyFrame) {
    const std::span<const uint8_t> picture(bgr, m_pictureBytes);
    keyFrame = m_index == 0 || (m_keyEvery > 0 && m_index % m_keyEvery == 0);
    keyFrame ? m_encoder->EncodeKeyFrame(picture, m_frame)
             : m_encoder->EncodeDeltaFrame(picture, m_frame);
    ++m_index;
    return m_frame;
}

}  // namespace convert
