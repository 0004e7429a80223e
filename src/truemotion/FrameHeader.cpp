#include "truemotion/FrameHeader.h"

#include <algorithm>
#include <bit>

namespace truemotion {
namespace {

// The header bytes up to the flags, all that holds fields.
constexpr size_t kFieldBytes = kFlagsField + 1;
// The geometry probe reads no further than this into a frame.
constexpr size_t kProbedFrameBytes = 21;
static_assert(kFieldBytes + 2 <= kProbedFrameBytes);

FrameHeader ReadFields(std::span<const uint8_t> frame) {
    const auto d = UnchainHeader<kFieldBytes>(frame);
    FrameHeader h;
    h.size = HeaderBytesOf(frame[0]);
    h.compression = d[kCompressionField];
    h.deltaSet = d[kDeltaSetField];
    h.vectorTable = d[kVectorTableField];
    h.height = static_cast<uint16_t>(d[kHeightField] | d[kHeightField + 1] << 8);
    h.width = static_cast<uint16_t>(d[kWidthField] | d[kWidthField + 1] << 8);
    h.version = d[kVersionField];
    h.type = d[kTypeField];
    h.flags = d[kFlagsField];
    return h;
}

}  // namespace

bool AcceptsHeaderType(int compression, int type) {
    constexpr size_t kRowBytes = sizeof(CompressionRow);
    const size_t index = static_cast<size_t>(compression) * kRowBytes + static_cast<size_t>(type);
    if (index >= kCompressionTable.size() * kRowBytes) return false;
    const auto row =
        std::bit_cast<std::array<uint8_t, kRowBytes>>(kCompressionTable[index / kRowBytes]);
    return row[index % kRowBytes] != 0;
}

ParsedHeader ParseFrameHeader(std::span<const uint8_t> frame) {
    ParsedHeader parsed;
    if (frame.size() < kMinFrameBytes) {
        parsed.fault = HeaderFault::kShortFrame;
        return parsed;
    }
    if (frame[0] < kMinSizeByte) {
        parsed.fault = HeaderFault::kSizeByte;
        return parsed;
    }
    parsed.header = ReadFields(frame);
    const FrameHeader& h = parsed.header;
    if (h.compression < 1 || h.compression > kMaxCompression)
        parsed.fault = HeaderFault::kCompression;
    else if (!AcceptsHeaderType(h.compression, h.type))
        parsed.fault = HeaderFault::kTypeNotAccepted;
    else if (h.Extended() && h.type > kMaxHeaderType)
        parsed.fault = HeaderFault::kExtendedType;
    return parsed;
}

void WriteFrameHeader(const FrameHeader& header, std::vector<uint8_t>& out) {
    std::array<uint8_t, kCodedHeaderBytes> d{};
    d[kCompressionField] = header.compression;
    d[kDeltaSetField] = header.deltaSet;
    d[kVectorTableField] = header.vectorTable;
    d[kHeightField] = static_cast<uint8_t>(header.height);
    d[kHeightField + 1] = static_cast<uint8_t>(header.height >> 8);
    d[kWidthField] = static_cast<uint8_t>(header.width);
    d[kWidthField + 1] = static_cast<uint8_t>(header.width >> 8);
    d[kVersionField] = header.version;
    d[kTypeField] = header.type;
    d[kFlagsField] = header.flags;
    out.assign(std::max(static_cast<size_t>(header.size), kMinFrameBytes), 0);
    out[0] = SizeByteFor(header.size);
    for (size_t k = 0; k < d.size(); ++k) out[k + 2] = out[k + 1] ^ d[k];
}

static_assert(HeaderBytesOf(SizeByteFor(kEncodedHeaderBytes)) == kEncodedHeaderBytes);
static_assert(SizeByteFor(kEncodedHeaderBytes) == 0x13);
static_assert(kMinFrameBytes <= kEncodedHeaderBytes, "the chained bytes lie inside the header");

std::optional<FrameGeometry> ProbeFrameGeometry(std::span<const uint8_t> frame) {
    if (frame.size() < kProbedFrameBytes) return std::nullopt;
    const FrameHeader h = ReadFields(frame);
    FrameGeometry geometry{h.width, h.height};
    if (h.flags & kStretchFlag) geometry.width = (geometry.width / 2) * 3;
    return geometry;
}

}  // namespace truemotion
