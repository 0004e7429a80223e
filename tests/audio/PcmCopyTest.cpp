#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "AudioDecoders.h"
#include "audio/PcmCopy.h"

namespace audio {
namespace {

struct CopyCase {
    const char* what;
    uint16_t blockAlign;
    size_t srcBytes;
    size_t dstBytes;
    size_t copied;
};

constexpr CopyCase kCopyCases[] = {
    {"8-bit mono", 1, 7, 100, 7},
    {"8-bit stereo", 2, 8, 100, 8},
    {"8-bit stereo, torn last frame", 2, 9, 100, 8},
    {"16-bit mono", 2, 10, 100, 10},
    {"16-bit stereo", 4, 16, 100, 16},
    {"16-bit stereo, torn last frame", 4, 19, 100, 16},
    {"16-bit stereo, less than one frame", 4, 3, 100, 0},
    {"16-bit stereo, room for 2.5 frames", 4, 16, 10, 8},
    {"16-bit stereo, no room", 4, 16, 0, 0},
    {"no block alignment", 0, 16, 100, 0},
};

TEST(PcmCopyTest, CopiesWholeFramesThatFitUnchanged) {
    for (const CopyCase& c : kCopyCases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> src = RandomBytes(c.srcBytes, 5);
        std::vector<uint8_t> buffer(c.dstBytes + 16, 0xEE);

        ASSERT_EQ(CopyPcm(src, c.blockAlign, std::span(buffer).first(c.dstBytes)), c.copied);
        EXPECT_TRUE(std::equal(src.begin(), src.begin() + static_cast<ptrdiff_t>(c.copied),
                               buffer.begin()));
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<ptrdiff_t>(c.copied), buffer.end(),
                                [](uint8_t b) { return b == 0xEE; }));
    }
}

}  // namespace
}  // namespace audio
