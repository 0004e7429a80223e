// Arbitrary chunks through the DK4 (mono, stereo), DK3 and PCM decoders with an
// arbitrary block alignment and output size.
//
// Input: a byte choosing the decoder, the block alignment (16-bit little-endian), the
// output capacity in samples (16-bit), then chunks, each a 16-bit length and its bytes.

#include <cstring>
#include <memory>

#include "FuzzInput.h"
#include "audio/Dk3Decoder.h"
#include "audio/Dk4Decoder.h"
#include "audio/PcmCopy.h"

namespace {

constexpr size_t kMaxInputBytes = 256u << 10;
constexpr int kMaxChunks = 64;

enum Decoder : uint8_t { kDk4Mono, kDk4Stereo, kDk3, kPcm, kDecoderCount };

size_t Decode(Decoder decoder, std::span<const uint8_t> chunk, uint16_t blockAlign,
              std::span<int16_t> out) {
    switch (decoder) {
        case kDk4Mono:
            return audio::DecodeDk4Mono(chunk, blockAlign, out);
        case kDk4Stereo:
            return audio::DecodeDk4Stereo(chunk, blockAlign, out);
        case kDk3:
            return audio::DecodeDk3(chunk, blockAlign, out);
        default:
            return audio::CopyPcm(
                chunk, blockAlign,
                std::span(reinterpret_cast<uint8_t*>(out.data()), out.size_bytes()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInputBytes || size < 5) return -1;
    std::span<const uint8_t> rest(data, size);
    const auto decoder = static_cast<Decoder>(fuzz::Take(rest, 1)[0] % kDecoderCount);
    const auto blockAlign = static_cast<uint16_t>(fuzz::TakeU16(rest));
    const size_t samples = fuzz::TakeU16(rest);
    const std::unique_ptr<int16_t[]> out(new int16_t[samples]);

    for (int n = 0; n < kMaxChunks && !rest.empty(); ++n) {
        const uint32_t length = fuzz::TakeU16(rest);
        const fuzz::ExactCopy chunk(fuzz::Take(rest, length));
        const size_t bytes = Decode(decoder, chunk.Bytes(), blockAlign, {out.get(), samples});
        fuzz::Require(bytes <= samples * sizeof(int16_t));
        // Whole blocks only: never more blocks than the chunk holds.
        if (blockAlign != 0) fuzz::Require(bytes == 0 || chunk.Bytes().size() >= blockAlign);
        if (decoder == kPcm) fuzz::Require(blockAlign != 0 ? bytes % blockAlign == 0 : bytes == 0);
        fuzz::Touch({reinterpret_cast<const uint8_t*>(out.get()), bytes});
    }
    return 0;
}
