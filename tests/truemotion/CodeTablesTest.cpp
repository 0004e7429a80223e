#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "support/DisplayBitmap.h"
#include "support/FrameBuilder.h"
#include "truemotion/CodeTables.h"
#include "truemotion/TrueMotionDecoder.h"

namespace truemotion {
namespace {

using testing::BuildFrame;
using testing::DisplayBitmap;
using testing::HeaderFields;

// Number of entries of each group, read from the end bits the way the decoder walks them.
std::vector<int> GroupLengths(const CodeTable& table) {
    std::vector<int> lengths;
    for (const auto& group : table) {
        int length = 1;
        while (length <= kCodeSlotCount && !(group[static_cast<size_t>(length - 1)] & 1)) ++length;
        lengths.push_back(length);
    }
    return lengths;
}

TEST(CodeTables, GroupsEndWhereTheVectorTableSaysInEveryTable) {
    struct Case {
        int vectorTable;
        std::map<int, int> groupsOfLength;
    };
    const Case cases[] = {
        {1, {{1, 49}, {2, 128}, {3, 69}, {4, 10}}},
        {2, {{1, 64}, {2, 128}, {3, 64}}},
        {3, {{1, 64}, {2, 120}, {3, 63}, {4, 9}}},
    };
    for (const auto& c : cases) {
        for (auto layout : {CodeTableLayout::k15Bit, CodeTableLayout::k24Bit}) {
            CodeTables tables{};
            ASSERT_TRUE(BuildCodeTables(0, VectorTableBytes(c.vectorTable), layout, tables));
            for (int kind = 0; kind < 4; ++kind) {
                std::map<int, int> counted;
                for (int length : GroupLengths(tables[static_cast<size_t>(kind)]))
                    ++counted[length];
                EXPECT_EQ(counted, c.groupsOfLength)
                    << "table " << c.vectorTable << " kind " << kind;
            }
        }
    }
    EXPECT_TRUE(VectorTableBytes(0).empty());
    EXPECT_TRUE(VectorTableBytes(4).empty());
}

// Fields of one 15-bit pixel.
struct Rgb15 {
    int r, g, b;
};
Rgb15 Fields15(uint32_t pixel) {
    return {static_cast<int>(pixel & 31), static_cast<int>((pixel >> 5) & 31),
            static_cast<int>((pixel >> 10) & 31)};
}

// The entries do what the packed arithmetic needs: added to a pair word or a 16-bit
// half, they move each pixel by its own delta, borrows included.
TEST(CodeTables, EntriesMoveEachPixelByItsDelta) {
    CodeTables tables{};
    // Group 97 of table 2 holds the pair bytes 0x02 and 0x01: left pixel delta 0, right
    // delta 2, then left 0, right 1.
    ASSERT_TRUE(BuildCodeTables(2, VectorTableBytes(2), CodeTableLayout::k15Bit, tables));
    {
        // Delta set 2: luminance 2, -3, 10, -10, 23, ...; chroma 0, -4, 3, -16, ...
        const uint32_t start = (0x8000u | 12 * 0x421u) * 0x10001u;  // both pixels r = g = b = 12
        const uint32_t first = tables[kLumaCodes][97][0], second = tables[kLumaCodes][97][1];
        EXPECT_EQ(first & 1, 0u);
        EXPECT_EQ(second & 1, 1u);
        // Pair (0, 2): left +2, right +10.
        const uint32_t moved = start + (first >> 1);
        EXPECT_EQ(Fields15(moved).g, 14);
        EXPECT_EQ(Fields15(moved >> 16).b, 22);
        // Pair (0, 1) on top: left +2, right -3.
        const uint32_t again = moved + (second >> 1);
        EXPECT_EQ(Fields15(again).r, 16);
        EXPECT_EQ(Fields15(again >> 16).r, 19);
        EXPECT_EQ(again & 0x8000u, 0x8000u) << "the left pixel's guard bit stops the borrow";
        // Chroma pair (0, 1): red +0, blue -4, in both pixels.
        const uint32_t tinted = start + (tables[kChromaCodes][97][1] >> 1);
        for (uint32_t pixel : {tinted, tinted >> 16}) {
            EXPECT_EQ(Fields15(pixel).r, 12);
            EXPECT_EQ(Fields15(pixel).g, 12);
            EXPECT_EQ(Fields15(pixel).b, 8);
        }
    }
    ASSERT_TRUE(BuildCodeTables(3, VectorTableBytes(2), CodeTableLayout::k24Bit, tables));
    {
        // Delta set 3: luminance and chroma 0, -2, 2, -8, 8, -18, 18, -40; escapes
        // 0, 40, 80, -76, 160, -154, 236, -236. Group 255 is the single pair (7, 7).
        const uint32_t half = 100 * 256 + 100;
        EXPECT_EQ((half + (tables[kLumaCodes][255][0] >> 1)) & 0xFFFF, 60u * 256 + 60);
        // 100 - 236 is 0x78 in a byte; the left byte also takes the right one's borrow.
        EXPECT_EQ((half + (tables[kLumaEscapeCodes][255][0] >> 1)) & 0xFFFF, 0x7778u);
        // The chroma entry puts the high nibble's delta in the low 16 bits (red) and the
        // low nibble's above them (blue).
        const uint32_t chroma = tables[kChromaCodes][97][0] >> 1;
        EXPECT_EQ(static_cast<int16_t>(chroma & 0xFFFF), 0);
        EXPECT_EQ(static_cast<int32_t>(chroma) >> 16, 2);
        const uint32_t escape = tables[kChromaEscapeCodes][97][1] >> 1;
        EXPECT_EQ(static_cast<int32_t>(escape) >> 16, 40);
        EXPECT_EQ(tables[kChromaEscapeCodes][97][1] & 1, 1u);
    }
}

TEST(CodeTables, RefusesUnknownDeltaSetsAndMalformedTablesWithoutWriting) {
    CodeTables tables{};
    ASSERT_TRUE(BuildCodeTables(0, VectorTableBytes(1), CodeTableLayout::k15Bit, tables));
    const CodeTables before = tables;
    const std::vector<uint8_t> tooShort(VectorTableBytes(2).begin(), VectorTableBytes(2).end() - 1);
    std::vector<uint8_t> badLength(VectorTableBytes(2).begin(), VectorTableBytes(2).end());
    badLength[0] = 5;
    EXPECT_FALSE(BuildCodeTables(4, VectorTableBytes(2), CodeTableLayout::k15Bit, tables));
    EXPECT_FALSE(BuildCodeTables(-1, VectorTableBytes(2), CodeTableLayout::k15Bit, tables));
    EXPECT_FALSE(BuildCodeTables(0, VectorTableBytes(0), CodeTableLayout::k15Bit, tables));
    EXPECT_FALSE(BuildCodeTables(0, tooShort, CodeTableLayout::k15Bit, tables));
    EXPECT_FALSE(BuildCodeTables(0, badLength, CodeTableLayout::k24Bit, tables));
    badLength[0] = 0;
    EXPECT_FALSE(BuildCodeTables(0, badLength, CodeTableLayout::k24Bit, tables));
    EXPECT_EQ(tables, before);
}

// The decoder builds its tables only when the delta-set or vector-table byte changes:
// a frame shows which tables it was decoded with.
TEST(CodeTables, DecoderRebuildsOnlyWhenTheirBytesChange) {
    std::mt19937 random(3);
    std::vector<uint8_t> body(testing::KeyStepBound(8, 8));
    for (auto& b : body) b = static_cast<uint8_t>(1 + random() % 255);
    auto header = [](uint8_t compression, uint8_t deltaSet, uint8_t vectorTable) {
        HeaderFields h;
        h.compression = compression;
        h.deltaSet = deltaSet;
        h.vectorTable = vectorTable;
        h.width = h.height = 8;
        return h;
    };
    auto fresh = [&](const HeaderFields& h) {
        TrueMotionDecoder decoder;
        EXPECT_TRUE(decoder.Open(8, 8));
        DisplayBitmap bitmap(8, 8);
        EXPECT_EQ(decoder.DecodeFrame(BuildFrame(h, body), bitmap.data()), 1);
        return bitmap.pixels;
    };
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(8, 8));
    DisplayBitmap bitmap(8, 8);
    auto after = [&](const HeaderFields& h) {
        EXPECT_EQ(decoder.DecodeFrame(BuildFrame(h, body), bitmap.data()), 1);
        return bitmap.pixels;
    };

    ASSERT_NE(fresh(header(2, 0, 1)), fresh(header(2, 0, 2)))
        << "the body must tell the tables apart";
    // Compression 1 with a typed header builds from table 1 whatever its byte says ...
    EXPECT_EQ(after(header(1, 0, 2)), fresh(header(1, 0, 1)));
    // ... and a following compression 2 frame with the same bytes reuses those tables.
    EXPECT_EQ(after(header(2, 0, 2)), fresh(header(2, 0, 1)));
    // A rejected frame leaves them in place.
    EXPECT_EQ(decoder.DecodeFrame(BuildFrame(header(2, 4, 3), body), bitmap.data()), 0);
    EXPECT_EQ(after(header(2, 0, 2)), fresh(header(2, 0, 1)));
    // Another delta set or vector-table byte rebuilds them.
    EXPECT_EQ(after(header(2, 1, 2)), fresh(header(2, 1, 2)));
    EXPECT_EQ(after(header(2, 1, 3)), fresh(header(2, 1, 3)));
    EXPECT_EQ(after(header(10, 2, 2)), fresh(header(10, 2, 2)));
    // Opening forgets them, even for a first frame whose bytes are both 0.
    ASSERT_TRUE(decoder.Open(8, 8));
    EXPECT_EQ(after(header(1, 0, 0)), fresh(header(1, 0, 1)));
}

}  // namespace
}  // namespace truemotion
