#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "support/DecoderTestAccess.h"
#include "support/DisplayBitmap.h"
#include "support/FrameBuilder.h"
#include "truemotion/StretchMid.h"
#include "truemotion/TrueMotionDecoder.h"

// Key frames decoded against pixels worked out by hand. All frames use vector table 2,
// whose groups 192..255 hold one pair each (see Pair), and delta set 0:
//   luminance  0, -1, 1, -3, 3, -6, 6, -6     escape 0, -15, 50, -50, 115, ...
//   chroma     0, -1, 1, -2, 3, -4, 5, -4     escape 0, -20, 15, -80, 100, ...
// In a luminance pair the high nibble moves the left pixel, the low one the right
// pixel; in a chroma pair the high nibble moves red, the low one blue.

namespace truemotion {
namespace {

using testing::BuildFrame;
using testing::DisplayBitmap;
using testing::HeaderFields;
using testing::Pair;

using Bgr = std::array<int, 3>;
using Row = std::vector<Bgr>;

// A 15-bit grey of field value v, as the writer shows it.
Bgr Grey15(int v) {
    return {8 * v, 8 * v, 8 * v};
}

struct HandCase {
    const char* why;
    uint8_t compression;
    uint8_t flags;
    int width, height;
    std::vector<uint8_t> body;  // padded with zero steps
    std::vector<Row> rows;      // expected picture, top row first; one row stands for all
};

void ExpectDecodes(const HandCase& c) {
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(c.width, c.height)) << c.why;
    DisplayBitmap bitmap(c.width, c.height);
    HeaderFields h;
    h.compression = c.compression;
    h.flags = c.flags;
    auto body = c.body;
    body.resize(testing::KeyStepBound(c.width, c.height), Pair(0, 0));
    ASSERT_EQ(decoder.DecodeFrame(BuildFrame(h, body), bitmap.data()), 1) << c.why;
    for (int y = 0; y < c.height; ++y) {
        const Row& row = c.rows[c.rows.size() == 1 ? 0 : static_cast<size_t>(y)];
        for (int x = 0; x < c.width; ++x)
            EXPECT_EQ(bitmap.At(x, y), row[static_cast<size_t>(x)])
                << c.why << " at " << x << "," << y;
    }
}

TEST(KeyFrames, ZeroStepsRepeatTheRowAbove) {
    // Every row repeats the one above: black with guard bits in the 15-bit modes,
    // luminance and chroma 0 in the 24-bit mode.
    for (uint8_t compression : {2, 4, 6, 8, 10, 12, 14, 16}) {
        for (uint8_t flags : {0, 4}) {
            if (compression > 8 && flags) continue;
            ExpectDecodes({"zero steps", compression, flags, 12, 8, {}, {Row(12, Bgr{0, 0, 0})}});
        }
    }
}

TEST(KeyFrames, FifteenBitPixels) {
    const HandCase cases[] = {
        {"wide blocks: one chroma step per two words; an escape adds five times its entry",
         2,
         0,
         4,
         4,
         // chroma (0, 0); luminance (1, 3), then escape with (3, 1) x 5; luminance (0, 0)
         {Pair(0, 0), Pair(2, 4), 0, Pair(4, 2), Pair(0, 0)},
         {{Grey15(16), Grey15(8), Grey15(16), Grey15(8)}}},
        {"narrow blocks: a chroma step before every word",
         6,
         0,
         4,
         4,
         // chroma red +3; luminance (1, 3); word; chroma blue +1; luminance (0, 0); word
         {Pair(4, 0), Pair(2, 4), Pair(0, 2), Pair(0, 0)},
         {{{8, 8, 32}, {24, 24, 48}, {16, 8, 32}, {32, 24, 48}}}},
        {"height 3, blocks 2 high: the top row is an inner row and takes no chroma",
         4,
         0,
         4,
         3,
         // row 0: luminance (1, 1), (0, 0); row 1: chroma red and blue +3, two zero steps
         {Pair(2, 2), Pair(0, 0), Pair(4, 4)},
         {Row(4, Grey15(1)), Row(4, Bgr{32, 8, 32}), Row(4, Bgr{32, 8, 32})}},
        {"an escape entry that is not the last of its group continues with slot 1",
         2,
         0,
         4,
         4,
         // chroma (0, 0); escape into group 106 (pairs 0x02, 0x22): chroma blue +1 x 5 from
         // slot 0, then the luminance step takes slot 1, (1, 1), without reading a byte
         {Pair(0, 0), 0, 106, Pair(0, 0)},
         {Row(4, Bgr{48, 8, 8})}},
        {"a 0 right after an escape that ends its group is group 0, not another escape",
         2,
         0,
         4,
         4,
         // chroma (0, 0); escape (0, 3) x 5: blue +15; then group 0 (three zero pairs),
         // whose last step ends on row 1 and reads luminance (1, 1) for its second word
         {Pair(0, 0), 0, Pair(0, 4), 0, Pair(2, 2)},
         {Row(4, Bgr{120, 0, 0}),
          {{120, 0, 0}, {120, 0, 0}, {128, 8, 8}, {128, 8, 8}},
          {{120, 0, 0}, {120, 0, 0}, {128, 8, 8}, {128, 8, 8}},
          {{120, 0, 0}, {120, 0, 0}, {128, 8, 8}, {128, 8, 8}}}},
        {"a first index byte of 0 is group 0",
         2,
         0,
         4,
         4,
         {0, Pair(4, 4)},
         {Row(4, Grey15(0)), Row(4, Grey15(3)), Row(4, Grey15(3)), Row(4, Grey15(3))}},
    };
    for (const auto& c : cases) ExpectDecodes(c);
}

TEST(KeyFrames, TwentyFourBitPixels) {
    const HandCase cases[] = {
        {"wide blocks: luminance pairs accumulate over the row",
         10,
         0,
         4,
         4,
         // chroma red +1, blue -1; luminance (3, 1), then (6, -1) on top: 3, 1, 9, 0
         {Pair(2, 1), Pair(4, 2), Pair(6, 1)},
         // blue = Y - 1 (0 - 1 wraps), green = Y, red = Y + 1
         {{{2, 3, 4}, {0, 1, 2}, {8, 9, 10}, {255, 0, 1}}}},
        {"narrow blocks: two chroma samples a word",
         14,
         0,
         4,
         4,
         // chroma red +3, blue +1; luminance (6, 3); chroma red -1; luminance (1, 1)
         {Pair(4, 2), Pair(6, 4), Pair(1, 0), Pair(2, 2)},
         {{{7, 6, 9}, {4, 3, 6}, {8, 7, 9}, {5, 4, 6}}}},
        {"escapes use the escape tables once",
         10,
         0,
         4,
         4,
         // chroma (0, 0), escape red +100; luminance (0, 0), escape (50, 0); (0, 0)
         {Pair(0, 0), 0, Pair(4, 0), Pair(0, 0), 0, Pair(2, 0), Pair(0, 0)},
         {{{50, 50, 150}, {0, 0, 100}, {50, 50, 150}, {0, 0, 100}}}},
    };
    for (const auto& c : cases) ExpectDecodes(c);
}

TEST(KeyFrames, TwoThirdsWidthFramesWidenEveryFourPixelsToSix) {
    // Coded pixels per row: 1, 3, 1, 3 then 4, 3, 3, 4, shown as a, mid(a, b), b, c,
    // mid(c, d), d. mid(4, 3) rounds red down and green and blue up; mid(3, 4) is 3.
    const std::vector<uint8_t> body = {Pair(0, 0), Pair(2, 4), Pair(0, 0), Pair(0, 0),
                                       Pair(0, 0), Pair(4, 0), Pair(0, 0), Pair(1, 2)};
    const Row row = {Grey15(1), Grey15(2),    Grey15(3), Grey15(1), Grey15(2), Grey15(3),
                     Grey15(4), {32, 32, 24}, Grey15(3), Grey15(3), Grey15(3), Grey15(4)};
    // Two chroma steps per two coded words on block-top rows, narrow blocks or not.
    for (uint8_t compression : {2, 6})
        ExpectDecodes({"two-thirds width", compression, 0x04, 12, 4, body, {row}});
}

TEST(KeyFrames, MidPixel) {
    auto pixel = [](int r, int g, int b) {
        return static_cast<uint32_t>(0x8000 | r | g << 5 | b << 10);
    };
    struct Case {
        uint32_t x, y, expected;
    };
    const Case cases[] = {
        {pixel(1, 0, 0), pixel(4, 0, 0), pixel(2, 0, 0)},  // red: floor of the mean
        {pixel(0, 2, 0), pixel(0, 5, 0), pixel(0, 4, 0)},  // green: (2 + 6) / 2
        {pixel(0, 4, 0), pixel(0, 3, 0), pixel(0, 4, 0)},  // (4 + 4) / 2
        {pixel(0, 3, 0), pixel(0, 4, 0), pixel(0, 3, 0)},  // (2 + 4) / 2
        {pixel(0, 0, 3), pixel(0, 0, 4), pixel(0, 0, 3)},  // blue likewise
        {pixel(7, 9, 30), pixel(7, 9, 30), pixel(7, 9, 30)},
        {pixel(31, 30, 30), pixel(31, 30, 30), pixel(31, 30, 30)},
        {0x8000, 0x8000, 0x8000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mid(c.x, c.y), c.expected) << std::hex << c.x << " " << c.y;
    // A green or blue field of 31 overflows into the next field.
    EXPECT_NE(mid(pixel(7, 31, 3), pixel(7, 31, 3)), pixel(7, 31, 3));
    EXPECT_NE(mid(pixel(7, 3, 31), pixel(7, 3, 31)), pixel(7, 3, 31));
}

// Key frames take runs of single-entry groups without a test between the steps. A run
// must give what stepping one code at a time gives, and must not be taken where a group
// goes on past its first slot, a byte is an escape, the cursor stands inside a group or
// the stream ends: random streams mixing all of these, in every mode and block layout,
// decode alike both ways, and so does a delta frame on top of each.
TEST(KeyFrames, RunsOfSingleGroupsDecodeAsSteps) {
    struct Mode {
        uint8_t compression;
        uint8_t flags;
    };
    const Mode modes[] = {{2, 0},
                          {4, 0},
                          {6, 0},
                          {8, 0},
                          {10, 0},
                          {12, 0},
                          {14, 0},
                          {16, 0},
                          {2, testing::kStretchFrameFlags},
                          {4, testing::kStretchFrameFlags}};
    const int sizes[][2] = {{48, 8}, {96, 12}, {24, 6}, {144, 5}};
    std::mt19937 random(41);
    const auto stream = [&](size_t length) {
        std::vector<uint8_t> bytes(length);
        for (auto& b : bytes) {
            const unsigned pick = random() % 100;
            // Mostly single pairs; long groups, escapes and anything else now and then.
            b = static_cast<uint8_t>(pick < 80   ? 192 + random() % 64
                                     : pick < 95 ? random() % 256
                                                 : 0);
        }
        return bytes;
    };
    for (const Mode& mode : modes)
        for (const auto& size : sizes)
            for (int round = 0; round < 12; ++round) {
                const int width = size[0], height = size[1];
                TrueMotionDecoder runs, steps;
                ASSERT_TRUE(runs.Open(width, height));
                ASSERT_TRUE(steps.Open(width, height));
                testing::TrueMotionDecoderTestAccess::StepOnly(steps);
                HeaderFields h;
                h.compression = mode.compression;
                h.flags = mode.flags;
                h.width = static_cast<uint16_t>(mode.flags ? width / 3 * 2 : width);
                h.height = static_cast<uint16_t>(height);
                h.deltaSet = static_cast<uint8_t>(round % 4);
                h.vectorTable = static_cast<uint8_t>(1 + round % 3);
                const size_t bound = testing::KeyStepBound(width, height);
                // Some streams end early, inside the picture.
                const auto key = BuildFrame(h, stream(round % 4 == 3 ? bound / 3 : bound));
                DisplayBitmap a(width, height), b(width, height);
                ASSERT_EQ(runs.DecodeFrame(key, a.data()), steps.DecodeFrame(key, b.data()));
                ASSERT_EQ(a.pixels, b.pixels)
                    << "key frame, compression " << int{mode.compression} << ", flags "
                    << int{mode.flags} << ", " << width << "x" << height << ", round " << round;
                if (mode.flags) continue;
                h.flags = testing::kDeltaFrameFlags;
                auto body = testing::RandomMask(width, height, 0.5, static_cast<unsigned>(round));
                const auto delta = stream(bound);
                body.insert(body.end(), delta.begin(), delta.end());
                const auto frame = BuildFrame(h, body);
                ASSERT_EQ(runs.DecodeFrame(frame, a.data()), steps.DecodeFrame(frame, b.data()));
                ASSERT_EQ(a.pixels, b.pixels)
                    << "delta frame, compression " << int{mode.compression} << ", " << width << "x"
                    << height << ", round " << round;
            }
}

}  // namespace
}  // namespace truemotion
