#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <vector>

#include "support/DecoderTestAccess.h"
#include "support/DisplayBitmap.h"
#include "truemotion/BitmapRows.h"
#include "truemotion/BitmapWriters.h"
#include "truemotion/TrueMotionDecoder.h"

namespace truemotion {
namespace {

using testing::DisplayBitmap;
using Bgr = std::array<int, 3>;

uint32_t PairWord(uint32_t left, uint32_t right) {
    return left | right << 16;
}

TEST(BitmapWriters, FifteenBitFieldsTimesEightBottomRowFirst) {
    // 4 × 2 picture; image row 0 lies above the picture and is not written.
    const std::vector<uint32_t> image = {
        0xDEADBEEF,
        0xDEADBEEF,  // above
        PairWord(0x8000, 0xFFFF),
        PairWord(0x8C41, 0x7C1F),  // picture row 0
        PairWord(0x801F, 0x83E0),
        PairWord(0xFC00, 0x0C41),  // picture row 1
    };
    DisplayBitmap bitmap(4, 2);
    WriteImage15(4, 2, image.data(), bitmap.data());
    const Bgr expected[2][4] = {
        {{0, 0, 0}, {0xF8, 0xF8, 0xF8}, {24, 16, 8}, {0xF8, 0, 0xF8}},
        {{0, 0, 0xF8}, {0, 0xF8, 0}, {0xF8, 0, 0}, {24, 16, 8}},  // guard bit ignored
    };
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(bitmap.At(x, y), expected[y][x]) << x << "," << y;
    // The first picture row is the last row in memory.
    EXPECT_EQ(bitmap.pixels[12 + 3], 0xF8);
    EXPECT_EQ(bitmap.pixels[0], 0);
    EXPECT_EQ(bitmap.pixels[2], 0xF8);
}

TEST(BitmapWriters, TwentyFourBitGreenIsLuminanceRedAndBlueAddChroma) {
    struct Case {
        uint8_t luma;
        uint32_t sample;
        Bgr expected;
    };
    const Case cases[] = {
        {100, 0, {100, 100, 100}},
        {100, 0xFFFFFFFB, {100, 100, 95}},  // red -5
        {3, 0xFFFFFFFB, {3, 2, 254}},       // red borrows from green
        {250, 10, {250, 251, 4}},           // red carries into green ...
        {250, 10u << 16, {4, 250, 250}},    // ... blue into the unwritten top byte
        {0, 0, {0, 0, 0}},
        {255, 0, {255, 255, 255}},
    };
    TrueMotionDecoder decoder;
    for (const auto& c : cases) {
        const std::vector<uint32_t> luma = {0, c.luma * 0x01010101u};
        const std::vector<uint32_t> chroma = {0, c.sample};
        DisplayBitmap bitmap(4, 1);
        WriteImage24(4, 1, 3, false, luma.data(), chroma.data(),
                     testing::TrueMotionDecoderTestAccess::GrayTable(decoder), bitmap.data());
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(bitmap.At(x, 0), c.expected) << int{c.luma} << " " << c.sample;
    }
    EXPECT_EQ(testing::TrueMotionDecoderTestAccess::GrayTable(decoder)[0], 0x80000000u);
    EXPECT_EQ(testing::TrueMotionDecoderTestAccess::GrayTable(decoder)[1], 0x80010101u);
    EXPECT_EQ(testing::TrueMotionDecoderTestAccess::GrayTable(decoder)[255], 0x80FFFFFFu);
}

// Rows take a new chroma row at every block row, counted from the top; a row's samples
// cover four pixels each, or two with narrow blocks.
TEST(BitmapWriters, TwentyFourBitChromaRowsAndSamples) {
    struct Case {
        int blockMask;
        bool narrow;
    };
    for (const Case c : {Case{3, false}, Case{1, false}, Case{3, true}, Case{1, true}}) {
        const int width = 8, height = 8;
        const int samples = c.narrow ? width / 2 : width / 4;
        const int pixelsPerSample = c.narrow ? 2 : 4;
        const int blockHeight = c.blockMask + 1;
        std::vector<uint32_t> luma(static_cast<size_t>(width / 4 * (height + 1)),
                                   100 * 0x01010101u);
        std::vector<uint32_t> chroma(static_cast<size_t>(samples * (height / blockHeight + 1)));
        // Chroma row k, sample j: red + 10 k + j.
        for (size_t i = 0; i < chroma.size(); ++i)
            chroma[i] = static_cast<uint32_t>(10 * (i / samples) + i % samples);
        DisplayBitmap bitmap(width, height);
        TrueMotionDecoder decoder;
        WriteImage24(width, height, c.blockMask, c.narrow, luma.data(), chroma.data(),
                     testing::TrueMotionDecoderTestAccess::GrayTable(decoder), bitmap.data());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int red = 100 + 10 * (y / blockHeight + 1) + x / pixelsPerSample;
                EXPECT_EQ(bitmap.At(x, y), (Bgr{100, 100, red}))
                    << c.blockMask << c.narrow << " " << x << "," << y;
            }
    }
}

// Only whole groups of four pixels are written: a last, incomplete group is left alone.
TEST(BitmapWriters, WriteOnlyWholeGroupsOfFour) {
    const int width = 6, height = 3;
    const std::vector<uint32_t> pairs(static_cast<size_t>(width / 2 * (height + 1)), 0xFFFFFFFF);
    const std::vector<uint32_t> luma(static_cast<size_t>(width / 4 * (height + 1)), 0x01020304);
    const std::vector<uint32_t> chroma(static_cast<size_t>(width / 4 * (height + 1)), 0);
    TrueMotionDecoder decoder;
    DisplayBitmap bitmap15(width, height), bitmap24(width, height);
    WriteImage15(width, height, pairs.data(), bitmap15.data());
    WriteImage24(width, height, 3, false, luma.data(), chroma.data(),
                 testing::TrueMotionDecoderTestAccess::GrayTable(decoder), bitmap24.data());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(bitmap15.At(x, y), (Bgr{0xF8, 0xF8, 0xF8}));
            EXPECT_EQ(bitmap24.At(x, y)[1], x + 1);
        }
        for (int x = 4; x < width; ++x) {
            EXPECT_EQ(bitmap15.At(x, y)[0], DisplayBitmap::kUntouched);
            EXPECT_EQ(bitmap24.At(x, y)[0], DisplayBitmap::kUntouched);
        }
    }
}

// A row's working-image words at random: luminance, chroma (two samples a word) and
// 15-bit pairs. With `decoderChroma`, chroma offsets as the decoder makes them: small,
// of either sign.
struct RandomWords {
    std::vector<uint32_t> luma, chroma, pairs;
};
RandomWords RandomRow(std::mt19937& random, size_t words, bool decoderChroma) {
    RandomWords row{std::vector<uint32_t>(words), std::vector<uint32_t>(2 * words),
                    std::vector<uint32_t>(2 * words)};
    for (auto* v : {&row.luma, &row.chroma, &row.pairs})
        for (auto& x : *v) x = static_cast<uint32_t>(random());
    if (decoderChroma)
        for (auto& c : row.chroma)
            c = static_cast<uint32_t>(static_cast<int>(random() % 64) - 32) * 0x10001u;
    return row;
}

// The fast row kernels give the plain kernels' bytes, for every row length (their main
// loops, their tails and both together) and any working-image contents, and write nothing
// past the row.
TEST(BitmapWriters, FastRowsMatchThePlainOnes) {
    struct Kernels {
        const char* name;
        bool available;
        Row15Writer row15;
        Row24Writer row24;
    };
    const Kernels kernels[] = {{"SSSE3", HasSsse3Rows(), WriteRow15Ssse3, WriteRow24Ssse3},
                               {"AVX2", HasAvx2Rows(), WriteRow15Avx2, WriteRow24Avx2}};
    for (const Kernels& k : kernels) {
        if (!k.available) {
            std::cout << "no " << k.name << " on this processor\n";
            continue;
        }
        std::mt19937 random(17);
        TrueMotionDecoder decoder;
        const uint32_t* gray = testing::TrueMotionDecoderTestAccess::GrayTable(decoder).data();
        for (int round = 0; round < 200; ++round) {
            const size_t words = static_cast<size_t>(round % 41);
            const auto [luma, chroma, pairs] = RandomRow(random, words, round % 2 == 1);
            for (bool narrow : {false, true}) {
                std::vector<uint8_t> plain(12 * words + 16, 0x5A), fast(12 * words + 16, 0x5A);
                WriteRow24Plain(luma.data(), chroma.data(), narrow, words, gray, plain.data());
                k.row24(luma.data(), chroma.data(), narrow, words, gray, fast.data());
                EXPECT_EQ(fast, plain)
                    << k.name << " 24-bit, " << words << " words, narrow " << narrow;
            }
            std::vector<uint8_t> plain(12 * words + 16, 0x5A), fast(12 * words + 16, 0x5A);
            WriteRow15Plain(pairs.data(), words, plain.data());
            k.row15(pairs.data(), words, fast.data());
            EXPECT_EQ(fast, plain) << k.name << " 15-bit, " << words << " groups";
        }
    }
}

// The changed-groups kernel writes the listed groups as the plain one does, and nothing
// else: random subsets of rows of every length up to a few vectors, both block layouts.
TEST(BitmapWriters, FastGroupsMatchThePlainOnes) {
    if (!HasSsse3Rows()) GTEST_SKIP() << "no SSSE3 on this processor";
    std::mt19937 random(29);
    TrueMotionDecoder decoder;
    const uint32_t* gray = testing::TrueMotionDecoderTestAccess::GrayTable(decoder).data();
    for (int round = 0; round < 200; ++round) {
        const size_t words = static_cast<size_t>(1 + round % 41);
        const auto [luma, chroma, pairs] = RandomRow(random, words, round % 2 == 1);
        std::vector<uint16_t> groups;
        for (size_t g = 0; g < words; ++g)
            if (random() % 3 == 0) groups.push_back(static_cast<uint16_t>(g));
        for (bool narrow : {false, true}) {
            std::vector<uint8_t> plain(12 * words + 16, 0x5A), fast(12 * words + 16, 0x5A);
            WriteGroups24Plain(luma.data(), chroma.data(), narrow, groups, gray, plain.data());
            WriteGroups24Ssse3(luma.data(), chroma.data(), narrow, groups, gray, fast.data());
            EXPECT_EQ(fast, plain) << "24-bit, " << words << " words, narrow " << narrow;
        }
        std::vector<uint8_t> plain(12 * words + 16, 0x5A), fast(12 * words + 16, 0x5A);
        WriteGroups15Plain(pairs.data(), groups, plain.data());
        WriteGroups15Ssse3(pairs.data(), groups, fast.data());
        EXPECT_EQ(fast, plain) << "15-bit, " << words << " groups";
        // Plain against the whole-row kernel on the listed groups, untouched elsewhere.
        std::vector<uint8_t> whole(12 * words + 16, 0x5A);
        WriteRow15Plain(pairs.data(), words, whole.data());
        for (size_t g = 0, n = 0; g < words; ++g) {
            const bool listed = n < groups.size() && groups[n] == g;
            n += listed;
            for (size_t b = 12 * g; b < 12 * g + 12; ++b)
                ASSERT_EQ(plain[b], listed ? whole[b] : 0x5A) << "group " << g << " byte " << b;
        }
    }
}

// The vector widening of two-thirds-width rows gives the plain one's words, mids with
// every carry and guard bit included, and writes nothing past the row.
TEST(BitmapWriters, FastWideningMatchesThePlainOne) {
    if (!HasSsse3Rows()) GTEST_SKIP() << "no SSSE3 on this processor";
    std::mt19937 random(31);
    for (int round = 0; round < 200; ++round) {
        const size_t iterations = static_cast<size_t>(round % 23);
        std::vector<uint32_t> coded(2 * iterations);
        for (auto& x : coded) x = static_cast<uint32_t>(random());
        std::vector<uint32_t> plain(3 * iterations + 4, 0x5A5A5A5A), fast(plain);
        WidenRowPlain(coded.data(), iterations, plain.data());
        WidenRowSsse3(coded.data(), iterations, fast.data());
        ASSERT_EQ(fast, plain) << iterations << " iterations";
    }
}

}  // namespace
}  // namespace truemotion
