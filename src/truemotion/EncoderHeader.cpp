#include "truemotion/EncoderHeader.h"

#include <array>

#include "truemotion/FrameGeometry.h"

namespace truemotion {
namespace {

// The size byte codes the header size as ((b & 15) << 3) | (b >> 5); 0x13 is 24, with
// bit 4 set to pass the check that a size byte is at least 0x10.
constexpr uint8_t kHeaderSizeByte = 0x13;
static_assert((((kHeaderSizeByte & 0x0F) << 3) | (kHeaderSizeByte >> 5)) == kEncodedHeaderBytes);
static_assert(kCodedHeaderBytes + 2 <= kEncodedHeaderBytes,
              "the chained bytes lie inside the header");

}  // namespace

void WriteEncodedHeader(const EncodedHeader& header, std::vector<uint8_t>& out) {
    std::array<uint8_t, kCodedHeaderBytes> d{};
    d[0] = static_cast<uint8_t>(header.compression);
    d[1] = static_cast<uint8_t>(header.deltaSet);
    d[2] = static_cast<uint8_t>(header.vectorTable);
    d[3] = static_cast<uint8_t>(header.height & 0xFF);
    d[4] = static_cast<uint8_t>(header.height >> 8);
    d[5] = static_cast<uint8_t>(header.codedWidth & 0xFF);
    d[6] = static_cast<uint8_t>(header.codedWidth >> 8);
    d[9] = static_cast<uint8_t>(header.version);
    d[10] = static_cast<uint8_t>(header.type);
    d[11] = header.flags;
    out.assign(kEncodedHeaderBytes, 0);
    out[0] = kHeaderSizeByte;
    for (size_t k = 0; k < d.size(); ++k) out[k + 2] = out[k + 1] ^ d[k];
}

}  // namespace truemotion
