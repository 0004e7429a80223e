#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "support/DisplayBitmap.h"
#include "support/FrameBuilder.h"
#include "truemotion/TrueMotionDecoder.h"

// Delta frames written over the picture of the frame before (in the same bitmap, or
// copied from the previous bitmap of a ring) must give the very bytes of a whole write,
// whatever came before: random change masks, a rejected frame, a change of mode.

namespace truemotion {
namespace {

using testing::BuildFrame;
using testing::DisplayBitmap;
using testing::HeaderFields;

struct Frame {
    std::vector<uint8_t> bytes;
    bool accepted;
};

HeaderFields Header(uint8_t compression, int width, int height, uint8_t flags) {
    HeaderFields h;
    h.compression = compression;
    h.width = static_cast<uint16_t>(width);
    h.height = static_cast<uint16_t>(height);
    h.flags = flags;
    return h;
}

Frame Key(uint8_t compression, int width, int height, unsigned seed) {
    return {BuildFrame(Header(compression, width, height, 0),
                       testing::SmallSteps(testing::KeyStepBound(width, height), seed)),
            true};
}

// A delta frame coding about `coded` of its blocks; `steps` index bytes follow the mask,
// so a short stream stops the frame early.
Frame Delta(uint8_t compression, int width, int height, double coded, unsigned seed,
            size_t steps = 0) {
    auto body = testing::RandomMask(width, height, coded, seed);
    const auto indexes =
        testing::SmallSteps(steps ? steps : testing::KeyStepBound(width, height), seed + 1);
    body.insert(body.end(), indexes.begin(), indexes.end());
    return {BuildFrame(Header(compression, width, height, testing::kDeltaFrameFlags), body), true};
}

// A delta frame whose body ends inside its change mask: rejected.
Frame Rejected(uint8_t compression, int width, int height) {
    return {BuildFrame(Header(compression, width, height, testing::kDeltaFrameFlags),
                       std::vector<uint8_t>(testing::MaskBytes(width, height) / 2, 0)),
            false};
}

// The bytes the writers own: whole groups of four pixels of every row.
std::vector<uint8_t> Written(const DisplayBitmap& bitmap) {
    const size_t rowBytes = 3 * static_cast<size_t>(bitmap.width);
    const size_t used = 12 * static_cast<size_t>(bitmap.width / 4);
    std::vector<uint8_t> bytes;
    for (size_t row = 0; row < static_cast<size_t>(bitmap.height); ++row)
        bytes.insert(bytes.end(), bitmap.pixels.begin() + static_cast<long>(row * rowBytes),
                     bitmap.pixels.begin() + static_cast<long>(row * rowBytes + used));
    return bytes;
}

// Decodes `frames` three ways: into one bitmap as a whole write (the reference), into
// one bitmap over its last picture, and into a ring of three bitmaps each started from
// the one before. Every accepted frame must leave the same bytes in all of them.
void ExpectSameAsWholeWrites(int width, int height, const std::vector<Frame>& frames,
                             const std::string& name) {
    TrueMotionDecoder whole, over, ring;
    ASSERT_TRUE(whole.Open(width, height) && over.Open(width, height) && ring.Open(width, height));
    DisplayBitmap reference(width, height), same(width, height);
    std::array<DisplayBitmap, 3> slots{DisplayBitmap(width, height), DisplayBitmap(width, height),
                                       DisplayBitmap(width, height)};
    // Slots that start apart show any stale byte a frame takes over.
    for (size_t s = 0; s < slots.size(); ++s)
        std::fill(slots[s].pixels.begin(), slots[s].pixels.end(), static_cast<uint8_t>(s * 77));
    const uint8_t* last = nullptr;
    for (size_t n = 0; n < frames.size(); ++n) {
        const Frame& f = frames[n];
        ASSERT_EQ(whole.DecodeFrame(f.bytes, reference.data()), f.accepted ? 1 : 0) << name << n;
        ASSERT_EQ(over.DecodeFrame(f.bytes, same.data(), same.data()), f.accepted ? 1 : 0);
        uint8_t* slot = slots[n % slots.size()].data();
        // The caller always names the slot it used last, also after a rejected frame.
        ASSERT_EQ(ring.DecodeFrame(f.bytes, slot, last), f.accepted ? 1 : 0);
        last = slot;
        EXPECT_EQ(same.pixels, reference.pixels) << name << ", frame " << n << ", one bitmap";
        if (f.accepted) {
            EXPECT_EQ(Written(slots[n % slots.size()]), Written(reference))
                << name << ", frame " << n << ", ring";
        }
    }
}

TEST(ChangedBlocks, DeltaFramesOverThePictureEqualWholeWrites) {
    struct Case {
        const char* name;
        uint8_t first, second;  // compressions before and after the change of mode
        int width, height;
    };
    const Case cases[] = {
        {"24-bit, wide blocks 4 high", 10, 10, 132, 16},
        {"24-bit, narrow blocks 2 high", 16, 16, 68, 12},
        {"15-bit", 2, 2, 132, 16},
        {"24-bit block height changes", 10, 12, 68, 16},
        {"24-bit block width changes", 12, 16, 36, 8},
        {"24-bit to 15-bit", 14, 4, 68, 16},
        {"15-bit to 24-bit", 6, 10, 68, 16},
        // Heights that are no whole number of block rows, widths with a last part group.
        {"24-bit, height 18", 10, 12, 70, 18},
        {"15-bit, height 18", 2, 6, 70, 18},
    };
    for (const Case& c : cases) {
        const int w = c.width, h = c.height;
        const std::vector<Frame> frames = {
            Key(c.first, w, h, 1),
            Delta(c.first, w, h, 0.1, 2),
            Delta(c.first, w, h, 0.5, 3),
            Delta(c.first, w, h, 0.9, 4),
            Rejected(c.first, w, h),
            Delta(c.first, w, h, 0.3, 5),
            Delta(c.first, w, h, 0.3, 6, static_cast<size_t>(w)),  // stops early
            Delta(c.first, w, h, 0.2, 7),
            Delta(c.second, w, h, 0.2, 8),  // the mode changes in a delta frame
            Delta(c.second, w, h, 0.2, 9),
            Key(c.second, w, h, 10),
            Delta(c.second, w, h, 0.1, 11),
        };
        ExpectSameAsWholeWrites(w, h, frames, c.name);
    }
}

// A bitmap the decoder did not write last is never taken for its picture.
TEST(ChangedBlocks, OnlyTheBitmapOfTheLastAcceptedFrameCounts) {
    const int w = 64, h = 16;
    const Frame key = Key(10, w, h, 1), delta = Delta(10, w, h, 0.1, 2);
    TrueMotionDecoder reference, decoder;
    ASSERT_TRUE(reference.Open(w, h) && decoder.Open(w, h));
    DisplayBitmap expected(w, h), a(w, h), b(w, h);
    reference.DecodeFrame(key.bytes, expected.data());
    reference.DecodeFrame(delta.bytes, expected.data());

    // Key into a, then a delta into b naming b as the previous picture: b is stale.
    decoder.DecodeFrame(key.bytes, a.data());
    ASSERT_EQ(decoder.DecodeFrame(delta.bytes, b.data(), b.data()), 1);
    EXPECT_EQ(b.pixels, expected.pixels);

    // After Open nothing is known, even for the same bitmap.
    ASSERT_TRUE(decoder.Open(w, h));
    DisplayBitmap fresh(w, h);
    std::fill(expected.pixels.begin(), expected.pixels.end(), 0);
    reference.Open(w, h);
    reference.DecodeFrame(delta.bytes, expected.data());
    std::fill(fresh.pixels.begin(), fresh.pixels.end(), 0);
    ASSERT_EQ(decoder.DecodeFrame(delta.bytes, fresh.data(), b.data()), 1);
    EXPECT_EQ(fresh.pixels, expected.pixels);
}

}  // namespace
}  // namespace truemotion
