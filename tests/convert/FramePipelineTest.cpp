#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <vector>

#include "convert/FramePipeline.h"

namespace convert {
namespace {

constexpr size_t kBytes = 64;

// Frame n's picture: every byte n + 1 (the initial picture is all 0).
std::vector<uint8_t> PictureOf(uint32_t frame) {
    return std::vector<uint8_t>(kBytes, static_cast<uint8_t>(frame + 1));
}

// Pictures come in order; a frame that does not decode (rejected, or not read) shows the
// one before it, as a single bitmap would; `previous` is always the picture before.
TEST(FramePipeline, PicturesInOrderAndFailedFramesShowThePictureBefore) {
    const std::set<uint32_t> failing = {0, 5, 6, 11};
    const uint32_t frames = 40;
    const std::vector<uint8_t> initial(kBytes, 0);
    std::atomic<int> wrongPrevious{0};
    std::vector<uint8_t> expectedPrevious = initial;
    FramePipeline pipeline(
        frames, kBytes, initial.data(),
        [&](uint32_t index, uint8_t* picture, const uint8_t* previous) {
            // Only the decoding thread touches expectedPrevious.
            if (!std::equal(expectedPrevious.begin(), expectedPrevious.end(), previous))
                ++wrongPrevious;
            if (failing.count(index)) {
                // What a decoder may leave in a ring picture: stale bytes.
                std::memset(picture, 0xEE, kBytes);
                return index % 2 ? 0 : -1;
            }
            const auto p = PictureOf(index);
            std::memcpy(picture, p.data(), kBytes);
            expectedPrevious = p;
            return 1;
        });
    ASSERT_TRUE(pipeline.Started());
    std::vector<uint8_t> shown = initial;
    for (uint32_t i = 0; i < frames; ++i) {
        const uint8_t* picture = pipeline.Acquire();
        if (!failing.count(i)) shown = PictureOf(i);
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), picture)) << "frame " << i;
        pipeline.Release();
    }
    EXPECT_EQ(wrongPrevious.load(), 0);
}

// The decoding thread stays at most the pipeline's pictures ahead of the caller, and
// stopping early (a cancelled conversion) neither hangs nor decodes on.
TEST(FramePipeline, StaysAFewPicturesAheadAndStopsEarly) {
    std::atomic<uint32_t> released{0}, decoded{0}, mostAhead{0};
    const std::vector<uint8_t> initial(kBytes, 0);
    {
        FramePipeline pipeline(1000, kBytes, initial.data(),
                               [&](uint32_t index, uint8_t*, const uint8_t*) {
                                   mostAhead = std::max(mostAhead.load(), index - released);
                                   decoded = index + 1;
                                   return 1;
                               });
        for (int i = 0; i < 10; ++i) {
            pipeline.Acquire();
            // Counted before the pipeline learns of it, so the count never lags.
            ++released;
            pipeline.Release();
        }
    }
    EXPECT_LT(mostAhead.load(), FramePipeline::kPictures);
    EXPECT_LE(decoded.load(), 10 + FramePipeline::kPictures);
}

}  // namespace
}  // namespace convert
