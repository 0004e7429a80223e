#include <gtest/gtest.h>

#include <vector>

#include "support/DecoderTestAccess.h"
#include "support/DisplayBitmap.h"
#include "support/FrameBuilder.h"
#include "truemotion/FrameHeader.h"
#include "truemotion/TrueMotionDecoder.h"

namespace truemotion {
namespace {

using testing::BuildFrame;
using testing::DisplayBitmap;
using testing::HeaderFields;
using testing::Pair;

HeaderFields Fields(uint8_t compression, uint8_t deltaSet, uint8_t vectorTable, uint8_t version,
                    uint8_t type, uint8_t flags = 0) {
    HeaderFields h;
    h.compression = compression;
    h.deltaSet = deltaSet;
    h.vectorTable = vectorTable;
    h.version = version;
    h.type = type;
    h.flags = flags;
    return h;
}

TEST(FrameHeader, AcceptsAndRejectsByCompressionTypeAndTables) {
    struct Case {
        const char* why;
        HeaderFields fields;
        int expected;
    };
    const Case cases[] = {
        {"24-bit, type 2", Fields(10, 0, 2, 2, 2), 1},
        {"24-bit, type 3", Fields(16, 3, 3, 2, 3), 1},
        {"compression 0", Fields(0, 0, 2, 2, 2), 0},
        {"compression 17", Fields(17, 0, 2, 2, 2), 0},
        {"compression 1 takes no type 0", Fields(1, 0, 2, 2, 0), 0},
        {"compression 1 takes type 1", Fields(1, 0, 2, 2, 1), 1},
        {"compression 2 takes type 0", Fields(2, 0, 2, 2, 0), 1},
        {"compression 5 never", Fields(5, 0, 2, 2, 2), 0},
        {"compression 7 never", Fields(7, 0, 2, 2, 2), 0},
        {"compression 9 never", Fields(9, 0, 2, 2, 2), 0},
        {"compression 15 never", Fields(15, 0, 2, 2, 2), 0},
        {"24-bit takes no type 1", Fields(10, 0, 2, 2, 1), 0},
        {"extended type 4", Fields(2, 0, 2, 2, 4), 0},
        {"version 1, type 4 passes on the class byte", Fields(2, 0, 2, 1, 4), 1},
        {"vector table 0", Fields(2, 0, 0, 2, 2), 0},
        {"vector table 4", Fields(2, 0, 4, 2, 2), 0},
        {"odd compression uses table 1 whatever the byte", Fields(1, 0, 0, 2, 2), 1},
        {"odd compression uses table 1, byte above 3", Fields(3, 0, 9, 2, 1), 1},
        {"odd compression, untyped header, reads the byte", Fields(1, 0, 9, 1, 1), 0},
        {"delta set 4", Fields(2, 4, 2, 2, 2), 0},
    };
    const std::vector<uint8_t> body(64, Pair(0, 0));
    for (const auto& c : cases) {
        TrueMotionDecoder decoder;
        ASSERT_TRUE(decoder.Open(4, 4));
        DisplayBitmap bitmap(4, 4);
        EXPECT_EQ(decoder.DecodeFrame(BuildFrame(c.fields, body), bitmap.data()), c.expected)
            << c.why;
        if (c.expected == 0) {
            EXPECT_TRUE(bitmap.IsUntouched()) << c.why;
        } else {
            EXPECT_EQ(decoder.GetCompression(), c.fields.compression) << c.why;
        }
    }
}

TEST(FrameHeader, RejectsShortFramesAndSmallSizeBytes) {
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(4, 4));
    DisplayBitmap bitmap(4, 4);
    auto frame = BuildFrame({}, std::vector<uint8_t>(64, Pair(0, 0)));
    EXPECT_EQ(decoder.DecodeFrame(std::span(frame).first(22), bitmap.data()), 0)
        << "shorter than the coded header";
    EXPECT_EQ(decoder.DecodeFrame(std::span(frame).first(24), bitmap.data()), 0) << "no body";
    frame[0] = 0x0F;
    EXPECT_EQ(decoder.DecodeFrame(frame, bitmap.data()), 0) << "size byte below 0x10";
    frame[0] = 0x10;
    EXPECT_EQ(decoder.DecodeFrame(frame, bitmap.data()), 0) << "header size 0";
    EXPECT_TRUE(bitmap.IsUntouched());
    TrueMotionDecoder closed;
    EXPECT_EQ(
        closed.DecodeFrame(BuildFrame({}, std::vector<uint8_t>(64, Pair(0, 0))), bitmap.data()), 0);
}

// The flags decide between a key frame, a delta frame (change mask first) and a frame
// left undrawn; only headers of type 2 and 3 carry them.
TEST(FrameHeader, FlagsSelectKeyDeltaOrSkip) {
    // As a key frame every step adds +3; as a delta frame the mask byte (group 255,
    // odd) keeps the one block, so the zeroed working images show black.
    std::vector<uint8_t> body(64, Pair(4, 4));
    body[0] = 0xFF;
    auto decode = [&](const HeaderFields& h) {
        TrueMotionDecoder decoder;
        EXPECT_TRUE(decoder.Open(4, 4));
        DisplayBitmap bitmap(4, 4);
        EXPECT_EQ(decoder.DecodeFrame(BuildFrame(h, body), bitmap.data()), 1);
        return bitmap.pixels;
    };
    const auto key = decode(Fields(2, 0, 2, 2, 2, 0x00));
    const auto delta = decode(Fields(2, 0, 2, 2, 2, 0x08));
    ASSERT_NE(key, delta);
    ASSERT_EQ(delta, std::vector<uint8_t>(48, 0));

    struct Case {
        const char* why;
        HeaderFields fields;
        const std::vector<uint8_t>* expected;  // null: bitmap untouched
    };
    const Case cases[] = {
        {"delta flag", Fields(2, 0, 2, 2, 2, 0x08), &delta},
        {"delta and key flags", Fields(2, 0, 2, 2, 3, 0x18), &key},
        {"skip and delta flags", Fields(2, 0, 2, 2, 2, 0x28), &delta},
        {"skip, delta and key flags", Fields(2, 0, 2, 2, 2, 0x38), &key},
        {"key flag alone", Fields(2, 0, 2, 2, 2, 0x10), &key},
        {"skip flag alone", Fields(2, 0, 2, 2, 2, 0x20), nullptr},
        {"type 1 carries no flags", Fields(2, 0, 2, 2, 1, 0x28), &key},
        {"version 1 carries no flags", Fields(2, 0, 2, 1, 2, 0x28), &key},
        {"24-bit delta flag", Fields(10, 0, 2, 2, 2, 0x08), &delta},
    };
    for (const auto& c : cases) {
        TrueMotionDecoder decoder;
        ASSERT_TRUE(decoder.Open(4, 4));
        DisplayBitmap bitmap(4, 4);
        EXPECT_EQ(decoder.DecodeFrame(BuildFrame(c.fields, body), bitmap.data()), 1) << c.why;
        if (c.expected)
            EXPECT_EQ(bitmap.pixels, *c.expected) << c.why;
        else
            EXPECT_TRUE(bitmap.IsUntouched()) << c.why;
    }
}

// A delta frame too short for its change mask and first index byte holds no picture.
TEST(FrameHeader, DeltaFrameWithoutItsMaskIsRejected) {
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(64, 8));
    DisplayBitmap bitmap(64, 8);
    HeaderFields h = Fields(10, 0, 2, 2, 2, 0x08);
    const size_t mask = testing::MaskBytes(64, 8);
    ASSERT_EQ(mask, 4u);
    EXPECT_EQ(decoder.DecodeFrame(BuildFrame(h, std::vector<uint8_t>(mask, 0xFF)), bitmap.data()),
              0);
    EXPECT_TRUE(bitmap.IsUntouched());
    EXPECT_EQ(
        decoder.DecodeFrame(BuildFrame(h, std::vector<uint8_t>(mask + 1, 0xFF)), bitmap.data()), 1);
}

// The value the decoder, the key-frame index and the tests all read: every field where
// the writer put it, the flags in effect only for a typed extended header, and each
// refusal with its reason.
TEST(FrameHeader, ParseReadsWhatTheWriterWroteOrSaysWhyNot) {
    FrameHeader written;
    written.size = 40;
    written.compression = 12;
    written.deltaSet = 3;
    written.vectorTable = 1;
    written.height = 0x1234;
    written.width = 0x0567;
    written.version = 2;
    written.type = 3;
    written.flags = kDeltaFlag | kSkipFlag;
    std::vector<uint8_t> frame;
    WriteFrameHeader(written, frame);
    ASSERT_EQ(frame.size(), 40u);
    const ParsedHeader parsed = ParseFrameHeader(frame);
    ASSERT_TRUE(parsed.Ok());
    const FrameHeader& h = parsed.header;
    EXPECT_EQ(h.size, 40);
    EXPECT_EQ(h.compression, 12);
    EXPECT_EQ(h.deltaSet, 3);
    EXPECT_EQ(h.vectorTable, 1);
    EXPECT_EQ(h.height, 0x1234);
    EXPECT_EQ(h.width, 0x0567);
    EXPECT_EQ(h.Type(), 3);
    EXPECT_TRUE(h.DeltaFlag());
    EXPECT_FALSE(h.KeyFrame());
    EXPECT_TRUE(h.Skip());
    EXPECT_TRUE(h.Is24Bit());
    EXPECT_EQ(h.Row().blockHeight, 2);

    struct Case {
        const char* why;
        HeaderFields fields;
        int headerSize;
        size_t frameBytes;
        HeaderFault fault;
    };
    const Case cases[] = {
        {"22 bytes", Fields(10, 0, 2, 2, 2), 24, 22, HeaderFault::kShortFrame},
        {"size byte 0x0F", Fields(10, 0, 2, 2, 2), 0x0F << 3, 200, HeaderFault::kSizeByte},
        {"compression 17", Fields(17, 0, 2, 2, 2), 24, 24, HeaderFault::kCompression},
        {"type 1 on 24 bits", Fields(10, 0, 2, 2, 1), 24, 24, HeaderFault::kTypeNotAccepted},
        {"extended type 4", Fields(2, 0, 2, 2, 4), 24, 24, HeaderFault::kExtendedType},
        {"type 4 of version 1", Fields(2, 0, 2, 1, 4), 24, 24, HeaderFault::kNone},
    };
    for (const auto& c : cases) {
        auto bytes = BuildFrame(c.fields, std::vector<uint8_t>(200, 0), c.headerSize);
        if (c.fault == HeaderFault::kSizeByte) bytes[0] = 0x0F;
        bytes.resize(c.frameBytes);
        EXPECT_EQ(ParseFrameHeader(bytes).fault, c.fault) << c.why;
    }

    // A plain header of 10 bytes is type 0 without flags, whatever its later bytes hold.
    HeaderFields plain = Fields(2, 0, 2, 2, 2, kStretchFlag);
    const auto plainFrame = BuildFrame(plain, std::vector<uint8_t>(30, 0), 24);
    auto shortened = plainFrame;
    shortened[0] = SizeByteFor(10);
    const ParsedHeader plainParsed = ParseFrameHeader(shortened);
    ASSERT_TRUE(plainParsed.Ok());
    EXPECT_EQ(plainParsed.header.Type(), 0);
    EXPECT_FALSE(plainParsed.header.Stretch());
    EXPECT_TRUE(ParseFrameHeader(plainFrame).header.Stretch());
}

TEST(FrameGeometry, ProbesSizeAndWidensTwoThirdsFrames) {
    struct Case {
        uint16_t width, height;
        uint8_t flags, version, type;
        int expectedWidth;
    };
    const Case cases[] = {
        {320, 240, 0x00, 2, 2, 320},
        {320, 240, 0x04, 2, 2, 480},
        {321, 240, 0x04, 2, 2, 480},
        // The probe reads the flag whatever the header's version and type.
        {320, 240, 0x04, 0, 0, 480},
        {2000, 1000, 0x0C, 2, 2, 3000},
    };
    for (const auto& c : cases) {
        HeaderFields h;
        h.width = c.width;
        h.height = c.height;
        h.flags = c.flags;
        h.version = c.version;
        h.type = c.type;
        const auto geometry = ProbeFrameGeometry(BuildFrame(h, std::vector<uint8_t>{}));
        ASSERT_TRUE(geometry.has_value());
        EXPECT_EQ(geometry->width, c.expectedWidth) << c.width;
        EXPECT_EQ(geometry->height, c.height);
    }
    const auto frame = BuildFrame({}, std::vector<uint8_t>{});
    EXPECT_TRUE(ProbeFrameGeometry(std::span(frame).first(21)).has_value());
    EXPECT_FALSE(ProbeFrameGeometry(std::span(frame).first(20)).has_value());
}

TEST(Decoder, OpenRefusesAbsurdSizes) {
    TrueMotionDecoder decoder;
    for (auto [w, h] : {std::pair{0, 4}, {4, 0}, {2049, 4}, {4, 2049}, {-4, 4}, {4, -4}}) {
        EXPECT_FALSE(decoder.Open(w, h)) << w << "x" << h;
        EXPECT_EQ(testing::TrueMotionDecoderTestAccess::Width(decoder), 0);
    }
    ASSERT_TRUE(decoder.Open(2048, 2048));
    EXPECT_EQ(testing::TrueMotionDecoderTestAccess::Width(decoder), 2048);
    EXPECT_EQ(testing::TrueMotionDecoderTestAccess::Height(decoder), 2048);
    decoder.Close();
    decoder.Close();
    EXPECT_EQ(testing::TrueMotionDecoderTestAccess::Width(decoder), 0);
}

}  // namespace
}  // namespace truemotion
