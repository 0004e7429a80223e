#include <algorithm>

#include "truemotion/FrameGeometry.h"
#include "truemotion/TrueMotionDecoder.h"
#include "truemotion/TrueMotionTables.h"

namespace truemotion {
namespace {

// Fields of the un-chained header.
enum HeaderByte : int {
    kCompressionByte = 0,
    kDeltaSetByte = 1,
    kVectorTableByte = 2,
    kVersionByte = 9,
    kHeaderTypeByte = 10,
    kFlagsByte = 11,
};

constexpr uint8_t kDeltaFlag = 0x08;
constexpr uint8_t kKeyFlag = 0x10;
constexpr uint8_t kSkipFlag = 0x20;
constexpr uint16_t kTablesBuilt = 0xFFFF;

// The acceptance test reads byte `type` of the compression's 8-byte row. A type above
// 7 reads on into the rows after it, as movies made for this format expect; past the end of
// the table there is nothing to accept.
bool IsAcceptedType(int compression, int type) {
    const size_t index =
        static_cast<size_t>(compression) * kCompressionTable[0].size() + static_cast<size_t>(type);
    const size_t rowSize = kCompressionTable[0].size();
    if (index >= kCompressionTable.size() * rowSize) return false;
    return kCompressionTable[index / rowSize][index % rowSize] != 0;
}

}  // namespace

int TrueMotionDecoder::ParseFrameHeader(std::span<const uint8_t> frame) {
    if (frame.size() < kMinFrameBytes) return 0;
    const uint8_t b0 = frame[0];
    if (b0 < 0x10) return 0;
    const int headerSize = ((b0 & 0x0F) << 3) | (b0 >> 5);
    const auto d = UnchainHeader<kCodedHeaderBytes>(frame);

    const int compression = d[kCompressionByte];
    if (compression < 1 || compression > 16) return 0;
    int type = d[kHeaderTypeByte];
    if (!IsAcceptedType(compression, type)) return 0;

    const bool extended = headerSize > 10 && d[kVersionByte] >= 2;
    if (extended) {
        if (type > 3) return 0;
        const uint8_t flags = d[kFlagsByte];
        if (type >= 2) {
            m_bStretch = (flags & kStretchFlag) != 0;
            m_bDeltaFlag = (flags & kDeltaFlag) != 0;
            m_bKeyFrame = m_bDeltaFlag ? (flags & kKeyFlag) != 0 : 1;
            m_bSkipFlag = (flags & kSkipFlag) != 0;
        } else {
            m_bStretch = m_bDeltaFlag = m_bSkipFlag = 0;
            m_bKeyFrame = 1;
        }
    } else {
        type = 0;
        m_bStretch = m_bDeltaFlag = m_bSkipFlag = 0;
        m_bKeyFrame = 1;
    }

    const auto& row = kCompressionTable[static_cast<size_t>(compression)];
    if (d[kDeltaSetByte] != m_nLastDeltaSet || d[kVectorTableByte] != m_nLastVectorTable ||
        m_wTablesBuilt != kTablesBuilt) {
        // Odd compressions with a typed header always use vector table 1. There is no
        // vector table 0 and no delta set above 3: such frames are rejected.
        const int table = (compression & 1) && type != 0 ? 1 : d[kVectorTableByte];
        const auto layout = row[kCompressionClassByte] == kClass24Bit ? CodeTableLayout::k24Bit
                                                                      : CodeTableLayout::k15Bit;
        if (!BuildCodeTables(d[kDeltaSetByte], VectorTableBytes(table), layout, m_codeTables))
            return 0;
        m_nLastDeltaSet = d[kDeltaSetByte];
        m_nLastVectorTable = d[kVectorTableByte];
        m_wTablesBuilt = kTablesBuilt;
    }

    m_nCompression = static_cast<uint8_t>(compression);
    if (compression != m_nLastCompression) {
        // The rows above the picture of the chroma image and of the luminance image
        // start from zero. The 15-bit modes refill the luminance image's row with
        // black pairs, so a movie that switches to 24-bit would predict from those.
        m_nLastCompression = compression;
        std::fill_n(m_pWorkImage2, m_nWidth / 2, 0u);
        std::fill_n(m_pWorkImage.get(), m_nWidth / 2, 0u);
    }
    m_nHeaderType = static_cast<uint8_t>(type);
    m_bNarrowBlocks = row[kCompressionBlockWidthByte] == 2;
    m_nBlockShift = row[kCompressionBlockHeightByte] == 4 ? 2 : 1;
    m_nBlockMask = (1 << m_nBlockShift) - 1;
    return headerSize;
}

}  // namespace truemotion
