#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "truemotion/TrueMotionTables.h"

// The header in front of every TrueMotion frame, the first stage below the decoder.
// Byte 0 codes the header's size in bytes; the header's own bytes follow chained:
// header byte k is frame byte k + 1 XOR frame byte k + 2.

namespace truemotion {

// Bytes of a frame that the chained header coding covers, after the size byte.
inline constexpr size_t kCodedHeaderBytes = 21;
// A frame must hold the size byte, the coded header bytes and the byte they chain to.
inline constexpr size_t kMinFrameBytes = kCodedHeaderBytes + 2;

// Where the fields lie among the un-chained header bytes. Height and width take two
// bytes each, low byte first.
enum HeaderField : size_t {
    kCompressionField = 0,
    kDeltaSetField = 1,
    kVectorTableField = 2,
    kHeightField = 3,
    kWidthField = 5,
    kVersionField = 9,
    kTypeField = 10,
    kFlagsField = 11,
};

// Bits of the flags byte.
// The frame is coded at two thirds of the display width.
inline constexpr uint8_t kStretchFlag = 0x04;
// The frame may build on the one before it; with kKeyFlag it does not.
inline constexpr uint8_t kDeltaFlag = 0x08;
inline constexpr uint8_t kKeyFlag = 0x10;
// Without kDeltaFlag: the frame repeats the one before it and has no body.
inline constexpr uint8_t kSkipFlag = 0x20;

// The size byte codes the header size as ((b & 15) << 3) | (b >> 5); bit 4 is not part
// of it, and coders of this format (ours too) set it. A byte below 0x10 has that bit and
// the size's low three bits clear: the frame is taken as one without a header.
inline constexpr uint8_t kMinSizeByte = 0x10;
constexpr int HeaderBytesOf(uint8_t sizeByte) {
    return ((sizeByte & 0x0F) << 3) | (sizeByte >> 5);
}
// The size byte of a header of `headerBytes` bytes (a multiple of 8 up to 120, plus 0..7),
// with bit 4 set so that it passes the kMinSizeByte check.
constexpr uint8_t SizeByteFor(int headerBytes) {
    return static_cast<uint8_t>(((headerBytes >> 3) & 0x0F) | ((headerBytes & 7) << 5) | 0x10);
}

// Headers of up to 10 bytes are the format's first kind: they end before the version,
// type and flags bytes (header byte k lies in frame bytes k + 1 and k + 2), so what the
// frame holds there is body, and such a header is type 0 without flags.
inline constexpr int kPlainHeaderBytes = 10;
// Version from which a longer header carries a type, and the type from which it
// carries flags.
inline constexpr int kExtendedVersion = 2;
inline constexpr int kFirstTypeWithFlags = 2;
inline constexpr int kMaxHeaderType = 3;
inline constexpr int kMaxCompression = 16;

// Header byte k is frame byte k + 1 XOR frame byte k + 2. `frame` holds at least
// `count` + 2 bytes.
template <size_t count>
std::array<uint8_t, count> UnchainHeader(std::span<const uint8_t> frame) {
    std::array<uint8_t, count> header{};
    for (size_t k = 0; k < count; ++k) header[k] = frame[k + 1] ^ frame[k + 2];
    return header;
}

// The fields of a frame header as they stand in the frame. The accessors give what the
// decoder goes by: a plain header, or a type without flags, has its flags in effect 0.
struct FrameHeader {
    // Header bytes, from the size byte; the body follows them.
    int size = 0;
    uint8_t compression = 0;
    uint8_t deltaSet = 0;
    uint8_t vectorTable = 0;
    uint16_t height = 0;
    // The coded width: two thirds of the display width for stretch frames.
    uint16_t width = 0;
    uint8_t version = 0;
    uint8_t type = 0;
    uint8_t flags = 0;

    bool Extended() const { return size > kPlainHeaderBytes && version >= kExtendedVersion; }
    // The header type in effect.
    int Type() const { return Extended() ? type : 0; }
    // The flags in effect.
    uint8_t Flags() const { return Type() >= kFirstTypeWithFlags ? flags : 0; }
    bool Stretch() const { return (Flags() & kStretchFlag) != 0; }
    bool DeltaFlag() const { return (Flags() & kDeltaFlag) != 0; }
    bool KeyFrame() const { return !DeltaFlag() || (Flags() & kKeyFlag) != 0; }
    bool Skip() const { return (Flags() & kSkipFlag) != 0; }
    // The vector table the code tables are built from: odd compressions with a typed
    // header always use table 1, whatever the header says.
    int CodeVectorTable() const { return (compression & 1) && Type() != 0 ? 1 : vectorTable; }
    // The compression's row; compression is 0..16 in a parsed header.
    const CompressionRow& Row() const { return kCompressionTable[compression]; }
    bool Is24Bit() const { return Row().codeClass == kClass24Bit; }
};

// Why ParseFrameHeader refused a header.
enum class HeaderFault : uint8_t {
    kNone,
    // Shorter than kMinFrameBytes.
    kShortFrame,
    // Size byte below kMinSizeByte.
    kSizeByte,
    // Compression 0 or above 16.
    kCompression,
    // A type the compression's row does not accept.
    kTypeNotAccepted,
    // An extended header of type above 3.
    kExtendedType,
};

struct ParsedHeader {
    FrameHeader header;
    HeaderFault fault = HeaderFault::kNone;
    bool Ok() const { return fault == HeaderFault::kNone; }
};

// Reads and checks a frame's header: the value, or the reason it was refused. The code
// tables it names are not checked here: whether they can be built depends on the
// decoder's state.
ParsedHeader ParseFrameHeader(std::span<const uint8_t> frame);

// Whether `compression`'s row accepts header type `type`. A type above 3 reads on into
// the row's other bytes and the rows after it, as movies made for this format expect;
// past the end of the table nothing is accepted.
bool AcceptsHeaderType(int compression, int type);

// The header our encoder puts in front of every frame: 24 bytes, so that all 21 chained
// header bytes lie inside it and none is taken from the body.
inline constexpr size_t kEncodedHeaderBytes = 24;

// Replaces `out` with the header's bytes, chained as ParseFrameHeader un-chains them:
// `header.size` of them, or kMinFrameBytes when that is more, so that every chained byte
// lies in `out`. The bytes past the fields are zero.
void WriteFrameHeader(const FrameHeader& header, std::vector<uint8_t>& out);

struct FrameGeometry {
    int width;
    int height;
};

// The display size that a movie's first frame declares: its height, and its width,
// widened by half when the frame is coded at two thirds of it. The header is not
// checked, only its size fields and stretch flag read: a movie whose first frame is
// refused still opens, with that frame shown as not decoded. Nothing when the frame
// is too short to hold the fields.
std::optional<FrameGeometry> ProbeFrameGeometry(std::span<const uint8_t> frame);

}  // namespace truemotion
