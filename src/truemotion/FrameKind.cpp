#include "truemotion/FrameKind.h"

#include "truemotion/CodeTables.h"
#include "truemotion/FrameGeometry.h"
#include "truemotion/TrueMotionTables.h"

namespace truemotion {

// The checks of the decoder's header parsing, without its state.
FrameKind ClassifyFrame(std::span<const uint8_t> head, size_t frameBytes) {
    if (head.size() < kMinFrameBytes || frameBytes < head.size()) return FrameKind::kRejected;
    const uint8_t b0 = head[0];
    if (b0 < 0x10) return FrameKind::kRejected;
    const size_t headerSize = static_cast<size_t>(((b0 & 0x0F) << 3) | (b0 >> 5));
    const auto d = UnchainHeader<kCodedHeaderBytes>(head);
    const int compression = d[0];
    if (compression < 1 || compression > 16) return FrameKind::kRejected;
    int type = d[10];
    // A type past the row reads on into the next rows, as the decoder's lookup does.
    const size_t rowSize = kCompressionTable[0].size();
    const size_t index = static_cast<size_t>(compression) * rowSize + static_cast<size_t>(type);
    if (index >= kCompressionTable.size() * rowSize ||
        kCompressionTable[index / rowSize][index % rowSize] == 0)
        return FrameKind::kRejected;

    bool key = true, repeat = false;
    if (headerSize > 10 && d[9] >= 2) {
        if (type > 3) return FrameKind::kRejected;
        const uint8_t flags = d[11];
        if (type >= 2) {
            const bool stretch = (flags & 0x04) != 0, deltaFlag = (flags & 0x08) != 0;
            key = stretch || !deltaFlag || (flags & 0x10) != 0;
            repeat = (flags & 0x20) != 0 && !deltaFlag;
        }
    } else {
        type = 0;
    }
    // A fresh decoder builds its code tables from this header; one it cannot build
    // from is refused.
    const int table = (compression & 1) && type != 0 ? 1 : d[2];
    if (d[1] > 3 || VectorTableBytes(table).empty()) return FrameKind::kRejected;
    if (repeat) return FrameKind::kDependent;
    // A key body needs at least its first index byte.
    if (key && frameBytes <= headerSize) return FrameKind::kRejected;
    return key ? FrameKind::kKey : FrameKind::kDependent;
}

}  // namespace truemotion
