#include "truemotion/FrameKind.h"

#include "truemotion/CodeTables.h"
#include "truemotion/FrameHeader.h"

namespace truemotion {

// The checks of the decoder's header parsing, without its state.
FrameKind ClassifyFrame(std::span<const uint8_t> head, size_t frameBytes) {
    if (frameBytes < head.size()) return FrameKind::kRejected;
    const ParsedHeader parsed = ParseFrameHeader(head);
    if (!parsed.Ok()) return FrameKind::kRejected;
    const FrameHeader& h = parsed.header;
    // A fresh decoder builds its code tables from this header; one it cannot build
    // from is refused.
    if (h.deltaSet > 3 || VectorTableBytes(h.CodeVectorTable()).empty())
        return FrameKind::kRejected;
    // A frame coded at two thirds of the width has no change mask.
    const bool key = h.Stretch() || h.KeyFrame();
    const bool repeat = h.Skip() && !h.DeltaFlag();
    if (repeat) return FrameKind::kDependent;
    // A key body needs at least its first index byte.
    if (key && frameBytes <= static_cast<size_t>(h.size)) return FrameKind::kRejected;
    return key ? FrameKind::kKey : FrameKind::kDependent;
}

}  // namespace truemotion
