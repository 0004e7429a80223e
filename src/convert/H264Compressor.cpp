#include "convert/H264Compressor.h"

#include <cstdint>
// x264.h needs the fixed-width integer types declared before it.
#include <x264.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "movie/AviRecordCodec.h"

namespace convert {
namespace {

// Limited-range BT.601, the matrix the stream's colour description names.
inline uint8_t Luma(int b, int g, int r) {
    return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
inline uint8_t BlueDifference(int b, int g, int r) {
    return static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
inline uint8_t RedDifference(int b, int g, int r) {
    return static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

// Bottom-up BGR rows to top-down 4:2:0 planes; each chroma sample is the mean of a
// 2 × 2 block. Width and height are even.
void ToPlanes(const uint8_t* bgr, int width, int height, uint8_t* y, uint8_t* u, uint8_t* v) {
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int row = 0; row < height; row += 2) {
        const uint8_t* top = bgr + stride * static_cast<size_t>(height - 1 - row);
        const uint8_t* bottom = top - stride;
        uint8_t* y0 = y + static_cast<size_t>(row) * static_cast<size_t>(width);
        uint8_t* y1 = y0 + width;
        uint8_t* uRow = u + static_cast<size_t>(row / 2) * static_cast<size_t>(width / 2);
        uint8_t* vRow = v + static_cast<size_t>(row / 2) * static_cast<size_t>(width / 2);
        for (int x = 0; x < width; x += 2) {
            const uint8_t* a = top + x * 3;
            const uint8_t* c = bottom + x * 3;
            y0[x] = Luma(a[0], a[1], a[2]);
            y0[x + 1] = Luma(a[3], a[4], a[5]);
            y1[x] = Luma(c[0], c[1], c[2]);
            y1[x + 1] = Luma(c[3], c[4], c[5]);
            const int b = (a[0] + a[3] + c[0] + c[3] + 2) >> 2;
            const int g = (a[1] + a[4] + c[1] + c[4] + 2) >> 2;
            const int r = (a[2] + a[5] + c[2] + c[5] + 2) >> 2;
            uRow[x / 2] = BlueDifference(b, g, r);
            vRow[x / 2] = RedDifference(b, g, r);
        }
    }
}

}  // namespace

H264Compressor::~H264Compressor() {
    if (m_encoder) x264_encoder_close(m_encoder);
}

float H264Compressor::RateFactorFor(int32_t quality) {
    const int32_t q = std::clamp<int32_t>(quality, 0, 10000);
    return 51.0f - 50.0f * static_cast<float>(q) / 10000.0f;
}

Result<std::vector<uint8_t>> H264Compressor::SeqCompressFrameStart(
    const COMPVARS& vars, const movie::BITMAPINFOHEADER& input) {
    if (input.biBitCount != 24 || input.biWidth <= 0 || input.biHeight <= 0)
        return MakeError(ErrorKind::Unsupported, "H.264 takes 24-bit pictures");
    if (input.biWidth % 2 || input.biHeight % 2)
        return MakeError(ErrorKind::Unsupported,
                         "H.264 in 4:2:0 takes even picture sizes only, not " +
                             std::to_string(input.biWidth) + "x" + std::to_string(input.biHeight));

    x264_param_t param;
    // No B-frames and no look-ahead: every picture comes out as it goes in, which an AVI
    // file, one chunk per frame and no reordering, needs.
    if (x264_param_default_preset(&param, "veryfast", "zerolatency") < 0)
        return MakeError(ErrorKind::Unsupported, "x264 has no such preset");
    param.i_log_level = X264_LOG_NONE;
    param.i_width = input.biWidth;
    param.i_height = input.biHeight;
    param.i_csp = X264_CSP_I420;
    const double fps = vars.framesPerSecond > 0 ? vars.framesPerSecond : 15.0;
    param.i_fps_num = static_cast<uint32_t>(std::lround(fps * 1000));
    param.i_fps_den = 1000;
    param.b_vfr_input = 0;
    // Key frames exactly at the asked rhythm: no scene-cut key frames in between.
    param.i_keyint_max = vars.lKey > 0 ? vars.lKey : X264_KEYINT_MAX_INFINITE;
    param.i_keyint_min = 1;
    param.i_scenecut_threshold = 0;
    param.b_open_gop = 0;
    param.b_repeat_headers = 1;
    param.b_annexb = 1;
    // The stream says what its numbers mean: limited-range BT.601 (smpte170m), so that
    // players do not take it for full range.
    param.vui.b_fullrange = 0;
    param.vui.i_colorprim = 6;
    param.vui.i_transfer = 6;
    param.vui.i_colmatrix = 6;
    if (vars.lDataRate > 0) {
        // Kilobytes per second to x264's kilobits; a one-second buffer holds the rate.
        const int kbits =
            static_cast<int>(std::min<int64_t>(int64_t{vars.lDataRate} * 8192 / 1000, INT32_MAX));
        param.rc.i_rc_method = X264_RC_ABR;
        param.rc.i_bitrate = std::max(kbits, 1);
        param.rc.i_vbv_max_bitrate = param.rc.i_bitrate;
        param.rc.i_vbv_buffer_size = param.rc.i_bitrate;
    } else {
        param.rc.i_rc_method = X264_RC_CRF;
        param.rc.f_rf_constant = RateFactorFor(vars.lQ);
    }
    if (x264_param_apply_profile(&param, "high") < 0)
        return MakeError(ErrorKind::Unsupported, "x264 cannot code this in the High profile");

    if (m_encoder) x264_encoder_close(m_encoder);
    m_encoder = x264_encoder_open(&param);
    if (!m_encoder) return MakeError(ErrorKind::Unsupported, "x264 cannot take this picture size");
    m_width = input.biWidth;
    m_height = input.biHeight;
    m_keyEvery = vars.lKey;
    m_index = 0;
    const size_t luma = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
    m_planes.assign(luma + luma / 2, 0);

    movie::BITMAPINFOHEADER out = input;
    out.biCompression = movie::MakeFourCC("H264");
    out.biSizeImage = static_cast<uint32_t>(luma * 3);
    return movie::SerializeBitmapInfoHeader(out);
}

std::span<const uint8_t> H264Compressor::SeqCompressFrame(const uint8_t* bgr, bool& keyFrame) {
    keyFrame = false;
    if (!m_encoder) return {};
    const size_t luma = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
    uint8_t* y = m_planes.data();
    uint8_t* u = y + luma;
    uint8_t* v = u + luma / 4;
    ToPlanes(bgr, m_width, m_height, y, u, v);

    x264_picture_t in;
    x264_picture_init(&in);
    in.img.i_csp = X264_CSP_I420;
    in.img.i_plane = 3;
    in.img.plane[0] = y;
    in.img.plane[1] = u;
    in.img.plane[2] = v;
    in.img.i_stride[0] = m_width;
    in.img.i_stride[1] = in.img.i_stride[2] = m_width / 2;
    in.i_pts = m_index;
    const bool due = m_index == 0 || (m_keyEvery > 0 && m_index % m_keyEvery == 0);
    in.i_type = due ? X264_TYPE_IDR : X264_TYPE_P;
    ++m_index;

    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    x264_picture_t out;
    const int bytes = x264_encoder_encode(m_encoder, &nals, &nalCount, &in, &out);
    if (bytes <= 0 || nalCount <= 0) return {};
    keyFrame = out.b_keyframe != 0;
    // x264 lays a picture's units end to end in one buffer.
    return {nals[0].p_payload, static_cast<size_t>(bytes)};
}

}  // namespace convert
