// Arbitrary frame bytes through the TrueMotion decoder, one picture size class per
// input, with the decoder's state (code tables, working images) carried from frame to
// frame as in a movie.
//
// Input: one byte choosing the size class, then frames, each a 16-bit little-endian
// length and that many bytes (the last one may be cut short).

#include <array>
#include <cstring>
#include <memory>

#include "FuzzInput.h"
#include "truemotion/TrueMotionDecoder.h"

namespace {

constexpr size_t kMaxInputBytes = 256u << 10;
constexpr int kMaxFrames = 64;

struct PictureSize {
    int width;
    int height;
};

// Small, odd (neither side a multiple of 4), a width that two-thirds coding divides
// evenly, and the widest picture the decoder takes.
constexpr std::array<PictureSize, 4> kSizeClasses = {{
    {8, 4},
    {37, 13},
    {96, 24},
    {truemotion::kMaxWidth, 8},
}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInputBytes || size == 0) return -1;
    std::span<const uint8_t> rest(data, size);
    const PictureSize picture = kSizeClasses[fuzz::Take(rest, 1)[0] % kSizeClasses.size()];

    truemotion::TrueMotionDecoder decoder;
    fuzz::Require(decoder.Open(picture.width, picture.height));
    const size_t imageBytes =
        static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height) * 3;
    const std::unique_ptr<uint8_t[]> pixels(new uint8_t[imageBytes]());
    const std::unique_ptr<uint8_t[]> before(new uint8_t[imageBytes]);

    for (int n = 0; n < kMaxFrames && !rest.empty(); ++n) {
        const uint32_t length = fuzz::TakeU16(rest);
        const fuzz::ExactCopy frame(fuzz::Take(rest, length));
        std::memcpy(before.get(), pixels.get(), imageBytes);
        const int decoded = decoder.DecodeFrame(frame.Bytes(), pixels.get());
        fuzz::Require(decoded == 0 || decoded == 1);
        // A rejected frame leaves the picture on screen as it was.
        if (decoded == 0) fuzz::Require(std::memcmp(before.get(), pixels.get(), imageBytes) == 0);
        fuzz::Touch({pixels.get(), imageBytes});
    }
    return 0;
}
