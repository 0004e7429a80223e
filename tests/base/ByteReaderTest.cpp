#include <gtest/gtest.h>

#include <array>

#include "base/ByteReader.h"

TEST(ByteReader, ReadsLittleEndianFields) {
    const std::array<uint8_t, 7> bytes = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.U8(), 0x01);
    EXPECT_EQ(reader.U16(), 0x1234);
    EXPECT_EQ(reader.U32(), 0x12345678u);
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(reader.Remaining(), 0u);
}

TEST(ByteReader, OverrunIsStickyAndYieldsZeros) {
    const std::array<uint8_t, 3> bytes = {0xFF, 0xFF, 0xFF};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.U32(), 0u);
    EXPECT_TRUE(reader.Failed());
    // Later reads that would fit on their own still fail: the header is bad.
    EXPECT_EQ(reader.U8(), 0);
    EXPECT_TRUE(reader.Take(1).empty());
    EXPECT_EQ(reader.Position(), 0u);
}

TEST(ByteReader, SeekPastEndFails) {
    const std::array<uint8_t, 4> bytes{};
    ByteReader reader(bytes);
    reader.Seek(4);
    EXPECT_FALSE(reader.Failed());
    reader.Seek(5);
    EXPECT_TRUE(reader.Failed());
}
