#include "truemotion/TrueMotionDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "truemotion/BitmapWriters.h"
#include "truemotion/FrameHeader.h"

namespace truemotion {

namespace {
// Marks the code tables as built from m_nLastDeltaSet and m_nLastVectorTable.
constexpr uint16_t kTablesBuilt = 0xFFFF;
}  // namespace

TrueMotionDecoder::TrueMotionDecoder() : m_grayTable(kGrayTable) {}

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
    m_codedBlocks.Clear();
    m_pLastPixels = nullptr;
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
    m_codedBlocks.Clear();
    m_lastWriter = Writer::kNone;
    m_pLastPixels = nullptr;
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
    m_pLastPixels = nullptr;
    m_lastWriter = Writer::kNone;
}

int TrueMotionDecoder::DecodeFrame(std::span<const uint8_t> frame, uint8_t* pixels,
                                   const uint8_t* previous) {
    if (!m_pWorkImage) return 0;
    const ParsedHeader parsed = ParseFrameHeader(frame);
    const int headerSize = parsed.Ok() ? TakeHeader(parsed.header) : 0;
    const int result =
        headerSize == 0
            ? 0
            : DecodeFrameBody(
                  frame.subspan(std::min(frame.size(), static_cast<size_t>(headerSize))), pixels,
                  previous);
    // A rejected frame leaves no bitmap known to show the working images.
    if (result == 0) m_pLastPixels = nullptr;
    return result;
}

int TrueMotionDecoder::TakeHeader(const FrameHeader& header) {
    m_bStretch = header.Stretch();
    m_bDeltaFlag = header.DeltaFlag();
    m_bKeyFrame = header.KeyFrame();
    m_bSkipFlag = header.Skip();

    if (header.deltaSet != m_nLastDeltaSet || header.vectorTable != m_nLastVectorTable ||
        m_wTablesBuilt != kTablesBuilt) {
        // There is no vector table 0 and no delta set above 3: such frames are refused.
        const auto layout = header.Is24Bit() ? CodeTableLayout::k24Bit : CodeTableLayout::k15Bit;
        if (!BuildCodeTables(header.deltaSet, VectorTableBytes(header.CodeVectorTable()), layout,
                             m_codeTables))
            return 0;
        m_nLastDeltaSet = header.deltaSet;
        m_nLastVectorTable = header.vectorTable;
        m_wTablesBuilt = kTablesBuilt;
    }

    m_nCompression = header.compression;
    if (header.compression != m_nLastCompression) {
        // The rows above the picture of the chroma image and of the luminance image
        // start from zero. The 15-bit modes refill the luminance image's row with
        // black pairs, so a movie that switches to 24-bit would predict from those.
        m_nLastCompression = header.compression;
        std::fill_n(m_pWorkImage2, m_nWidth / 2, 0u);
        std::fill_n(m_pWorkImage.get(), m_nWidth / 2, 0u);
    }
    const CompressionRow& row = header.Row();
    m_bNarrowBlocks = row.blockWidth == 2;
    m_nBlockShift = row.blockHeight == 4 ? 2 : 1;
    m_nBlockMask = (1 << m_nBlockShift) - 1;
    return header.size;
}

uint32_t TrueMotionDecoder::PictureLayout() const {
    return (m_nCompression > 8 ? 1u : 0u) | (m_bStretch ? 2u : 0u) | (m_bNarrowBlocks ? 4u : 0u) |
           static_cast<uint32_t>(m_nBlockMask) << 3;
}

int TrueMotionDecoder::DecodeFrameBody(std::span<const uint8_t> body, uint8_t* pixels,
                                       const uint8_t* previous) {
    if (m_nCompression == 0) return 0;
    if (m_bSkipFlag && !m_bDeltaFlag) {
        // The bitmap is left as it was: only the one that showed the last frame still does.
        if (pixels != m_pLastPixels) m_pLastPixels = nullptr;
        return 1;
    }
    // A body without its first index byte (or, for a delta frame, without its whole
    // change mask) holds no picture: the frame is refused and the bitmap kept.
    const size_t maskBytes =
        static_cast<size_t>(m_nHeight >> 2) * static_cast<size_t>(((m_nWidth >> 2) + 7) >> 3);
    const bool delta = !m_bStretch && !m_bKeyFrame;
    if (body.size() < (delta ? maskBytes : 0) + 1) return 0;

    const bool bits24 = !m_bStretch && m_nCompression > 8;
    // The 24-bit writer starts its block rows at the top, the decoder at the bottom: they
    // agree, and a row can be written as soon as it is decoded, when the height is a
    // whole number of block rows.
    const bool rowByRow = !bits24 || (m_nHeight & m_nBlockMask) == 0;
    const uint32_t layout = PictureLayout();
    const bool changedOnly = delta && rowByRow && pixels != nullptr && previous != nullptr &&
                             previous == m_pLastPixels && layout == m_nLastLayout;
    // The display bitmap's rows are 3 × width bytes, unpadded.
    const size_t rowBytes = 3 * static_cast<size_t>(m_nWidth);
    if (changedOnly && previous != pixels)
        std::memcpy(pixels, previous, rowBytes * static_cast<size_t>(m_nHeight));
    const PictureOut out{rowByRow ? pixels : nullptr, changedOnly, rowBytes, m_nHeight};

    if (m_bStretch) {
        DecodeStretch(body, out);
        m_lastWriter = Writer::kStretch;
    } else if (bits24) {
        if (delta)
            DecodeDelta24(body, body.subspan(maskBytes), out);
        else
            DecodeKey24(body, out);
        m_lastWriter = Writer::k24;
        m_nWriterBlockMask = m_nBlockMask;
        m_bWriterNarrow = m_bNarrowBlocks != 0;
        if (!rowByRow && pixels) WritePicture(pixels);
    } else {
        if (delta)
            DecodeDelta15(body, body.subspan(maskBytes), out);
        else
            DecodeKey15(body, out);
        m_lastWriter = Writer::k15;
    }
    // Without a bitmap (a seek's way to its target) no picture holds this frame.
    m_pLastPixels = pixels;
    m_nLastLayout = layout;
    return 1;
}

}  // namespace truemotion
