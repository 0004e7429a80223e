#include "convert/MjpegCompressor.h"

#include <turbojpeg.h>

#include <algorithm>

#include "movie/AviRecordCodec.h"

namespace convert {

MjpegCompressor::~MjpegCompressor() {
    if (m_jpeg) tjFree(m_jpeg);
    if (m_handle) tjDestroy(m_handle);
}

Result<std::vector<uint8_t>> MjpegCompressor::SeqCompressFrameStart(
    const COMPVARS& vars, const movie::BITMAPINFOHEADER& input) {
    if (input.biBitCount != 24 || input.biWidth <= 0 || input.biHeight <= 0)
        return MakeError(ErrorKind::Unsupported, "Motion JPEG takes 24-bit pictures");
    m_handle = tjInitCompress();
    if (!m_handle) return MakeError(ErrorKind::OutOfMemory, tjGetErrorStr());
    m_width = input.biWidth;
    m_height = input.biHeight;
    m_quality = std::clamp(vars.lQ / 100, 1, 100);
    m_targetBytes = vars.lDataRate > 0 && vars.framesPerSecond > 0
                        ? vars.lDataRate * 1024.0 / vars.framesPerSecond
                        : 0;
    movie::BITMAPINFOHEADER out = input;
    out.biCompression = movie::MakeFourCC("MJPG");
    out.biSizeImage = static_cast<uint32_t>(m_width * m_height * 3);
    return movie::SerializeBitmapInfoHeader(out);
}

bool MjpegCompressor::Compress(const uint8_t* bgr, int quality) {
    return tjCompress2(m_handle, bgr, m_width, m_width * 3, m_height, TJPF_BGR, &m_jpeg,
                       &m_jpegSize, TJSAMP_420, quality, TJFLAG_BOTTOMUP) == 0;
}

std::span<const uint8_t> MjpegCompressor::SeqCompressFrame(const uint8_t* bgr, bool& keyFrame) {
    keyFrame = true;
    if (!Compress(bgr, m_quality)) return {};
    if (m_targetBytes > 0) {
        const double size = static_cast<double>(m_jpegSize);
        const bool tooLarge = size > m_targetBytes * 1.5 && m_quality > kLowestQuality;
        const bool tooSmall = size < m_targetBytes * 0.5 && m_quality < 100;
        if (tooLarge || tooSmall) {
            // Far off the asked rate (the first frame, a change of scene): the best
            // quality that fits, found by halving.
            int low = kLowestQuality, high = 100, fits = kLowestQuality;
            while (low <= high) {
                const int mid = (low + high) / 2;
                if (!Compress(bgr, mid)) return {};
                if (static_cast<double>(m_jpegSize) <= m_targetBytes) {
                    fits = mid;
                    low = mid + 1;
                } else {
                    high = mid - 1;
                }
            }
            m_quality = fits;
            if (!Compress(bgr, m_quality)) return {};
        } else {
            // Near it: nudge the quality for the next frame.
            if (size > m_targetBytes * 1.1) m_quality = std::max(kLowestQuality, m_quality - 5);
            if (size < m_targetBytes * 0.9) m_quality = std::min(100, m_quality + 2);
        }
    }
    return {m_jpeg, m_jpegSize};
}

}  // namespace convert
