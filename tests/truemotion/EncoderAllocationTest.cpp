#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "TestPicture.h"
#include "truemotion/TrueMotionEncoder.h"

// The encoder allocates its working memory when it is created: coding a frame
// allocates nothing beyond the growth of the caller's frame buffer. This binary counts
// every allocation through the global operator new.

namespace {
bool g_counting = false;
long g_allocations = 0;
}  // namespace

// The replacements pair malloc with free, which the compiler cannot see through.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
void* CountedAllocation(std::size_t size) noexcept {
    if (g_counting) ++g_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

void* operator new(std::size_t size) {
    if (void* p = CountedAllocation(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return CountedAllocation(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace truemotion {
namespace {

TEST(EncoderAllocation, FramesAllocateNothing) {
    for (EncoderMode mode : {EncoderMode::k15Bit, EncoderMode::k24Bit, EncoderMode::kStretch}) {
        EncoderSettings settings;
        settings.mode = mode;
        auto encoder = TrueMotionEncoder::Create(96, 30, settings);
        ASSERT_TRUE(encoder.Ok());
        // Moving shapes (delta frames), fresh noise, and a negative (a key frame in the
        // place of a delta frame).
        std::vector<std::vector<uint8_t>> pictures = {
            MakeTestPicture(96, 30, 0, 1), MakeTestPicture(96, 30, 5, 1),
            MakeTestPicture(96, 30, 5, 2), MakeTestPicture(96, 30, 5, 2)};
        for (auto& v : pictures.back()) v = static_cast<uint8_t>(255 - v);
        std::vector<uint8_t> frame;
        frame.reserve(96 * 30 * 3 + 64);

        g_allocations = 0;
        g_counting = true;
        encoder->EncodeKeyFrame(pictures[0], frame);
        for (size_t i = 1; i < pictures.size(); ++i) encoder->EncodeDeltaFrame(pictures[i], frame);
        encoder->EncodeKeyFrame(pictures[1], frame);
        g_counting = false;
        EXPECT_EQ(g_allocations, 0) << static_cast<int>(mode);
    }
}

}  // namespace
}  // namespace truemotion
