#include "truemotion/TrueMotionDecoder.h"

#include <algorithm>
#include <new>

#include "truemotion/BitmapWriters.h"

namespace truemotion {

TrueMotionDecoder::TrueMotionDecoder() {
    for (uint32_t v = 0; v < m_grayTable.size(); ++v) m_grayTable[v] = 0x80000000u + v * 0x010101u;
}

TrueMotionDecoder::~TrueMotionDecoder() = default;

bool TrueMotionDecoder::Open(int width, int height) {
    Close();
    if (width <= 0 || height <= 0 || width > kMaxWidth || height > kMaxHeight) return false;
    // 8 × W × (H + 3) bytes: two cells a pixel for H + 3 rows.
    const size_t cells = 2 * static_cast<size_t>(width) * (static_cast<size_t>(height) + 3);
    // All of it starts zeroed: the rows above the picture and the first delta frame's
    // prediction rely on that.
    m_pWorkImage.reset(new (std::nothrow) uint32_t[cells]());
    if (!m_pWorkImage) return false;
    m_pWorkImage2 =
        m_pWorkImage.get() + static_cast<size_t>(width) * (static_cast<size_t>(height) + 1);
    m_nWidth = width;
    m_nHeight = height;
    m_nLastDeltaSet = 0;
    m_nLastVectorTable = 0;
    m_wTablesBuilt = 0;
    m_nCompression = 0;
    m_maskWords.fill(0);
    m_lastWriter = Writer::kNone;
    return true;
}

void TrueMotionDecoder::Reset() {
    if (!m_pWorkImage) return;
    std::fill_n(m_pWorkImage.get(),
                2 * static_cast<size_t>(m_nWidth) * (static_cast<size_t>(m_nHeight) + 3), 0u);
    m_nLastDeltaSet = 0;
    m_nLastVectorTable = 0;
    m_wTablesBuilt = 0;
    m_nCompression = 0;
    m_nLastCompression = 0;
    m_maskWords.fill(0);
    m_lastWriter = Writer::kNone;
}

bool TrueMotionDecoder::WritePicture(uint8_t* pixels) const {
    switch (m_lastWriter) {
        case Writer::kNone:
            return false;
        case Writer::k15:
            WriteImage15(m_nWidth, m_nHeight, m_pWorkImage.get(), pixels);
            break;
        case Writer::kStretch:
            WriteImage15(m_nWidth, m_nHeight, m_pWorkImage2, pixels);
            break;
        case Writer::k24:
            WriteImage24(m_nWidth, m_nHeight, m_nWriterBlockMask, m_bWriterNarrow,
                         m_pWorkImage.get(), m_pWorkImage2, m_grayTable, pixels);
            break;
    }
    return true;
}

void TrueMotionDecoder::Close() {
    m_pWorkImage.reset();
    m_pWorkImage2 = nullptr;
    m_nWidth = 0;
    m_nHeight = 0;
    m_lastWriter = Writer::kNone;
}

int TrueMotionDecoder::DecodeFrame(std::span<const uint8_t> frame, uint8_t* pixels) {
    if (!m_pWorkImage) return 0;
    const int headerSize = ParseFrameHeader(frame);
    if (headerSize == 0) return 0;
    return DecodeFrameBody(frame.subspan(std::min(frame.size(), static_cast<size_t>(headerSize))),
                           pixels);
}

int TrueMotionDecoder::DecodeFrameBody(std::span<const uint8_t> body, uint8_t* pixels) {
    if (m_nCompression == 0) return 0;
    if (m_nHeaderType < 2) {
        m_bDeltaFlag = 0;
        m_bKeyFrame = 1;
        m_bSkipFlag = 0;
    }
    if (m_bSkipFlag && !m_bDeltaFlag) return 1;
    // A body without its first index byte (or, for a delta frame, without its whole
    // change mask) holds no picture: the frame is refused and the bitmap kept.
    const size_t maskBytes =
        static_cast<size_t>(m_nHeight >> 2) * static_cast<size_t>(((m_nWidth >> 2) + 7) >> 3);
    const bool delta = !m_bStretch && !m_bKeyFrame;
    if (body.size() < (delta ? maskBytes : 0) + 1) return 0;

    if (m_bStretch) {
        DecodeStretch(body);
        m_lastWriter = Writer::kStretch;
    } else if (m_nCompression > 8) {
        if (delta)
            DecodeDelta24(body, body.subspan(maskBytes));
        else
            DecodeKey24(body);
        m_lastWriter = Writer::k24;
        m_nWriterBlockMask = m_nBlockMask;
        m_bWriterNarrow = m_bNarrowBlocks != 0;
    } else {
        if (delta)
            DecodeDelta15(body, body.subspan(maskBytes));
        else
            DecodeKey15(body);
        m_lastWriter = Writer::k15;
    }
    if (pixels) WritePicture(pixels);
    return 1;
}

}  // namespace truemotion
