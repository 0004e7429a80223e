#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "FrameBuilder.h"
#include "TestPicture.h"
#include "truemotion/FrameGeometry.h"
#include "truemotion/StretchMid.h"
#include "truemotion/TrueMotionDecoder.h"
#include "truemotion/TrueMotionEncoder.h"

namespace truemotion {
namespace {

// Table 2's single-pair group for pair (h, l): 192 + h + 8 l.
uint8_t Pair(int h, int l) { return static_cast<uint8_t>(192 + h + 8 * l); }

constexpr uint8_t kUntouched = 0xA5;

struct Picture {
    int width, height;
    std::vector<uint8_t> pixels;
    Picture(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3, kUntouched) {}
    // Pixel (x, y) with y from the top, as blue, green, red.
    std::array<int, 3> At(int x, int y) const {
        const uint8_t* p = &pixels[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

TEST(FrameHeader, RejectsWhatItCannotDecode) {
    struct Case {
        const char* why;
        HeaderFields fields;
        int expected;
    };
    const std::vector<uint8_t> body(64, Pair(0, 0));
    const Case cases[] = {
        {"accepted 24-bit", {10, 0, 2, 4, 4, 2, 2, 0}, 1},
        {"compression 0", {0, 0, 2, 4, 4, 2, 2, 0}, 0},
        {"compression 17", {17, 0, 2, 4, 4, 2, 2, 0}, 0},
        {"compression 1 type 0", {1, 0, 2, 4, 4, 2, 0, 0}, 0},
        {"compression 2 type 0", {2, 0, 2, 4, 4, 2, 0, 0}, 1},
        {"compression 5 never", {5, 0, 2, 4, 4, 2, 2, 0}, 0},
        {"compression 9 never", {9, 0, 2, 4, 4, 2, 2, 0}, 0},
        {"compression 10 type 1", {10, 0, 2, 4, 4, 2, 1, 0}, 0},
        {"extended type 4", {2, 0, 2, 4, 4, 2, 4, 0}, 0},
        {"version 1 type 4 reads the class byte", {2, 0, 2, 4, 4, 1, 4, 0}, 1},
        {"vector table 0", {2, 0, 0, 4, 4, 2, 2, 0}, 0},
        {"vector table 4", {2, 0, 4, 4, 4, 2, 2, 0}, 0},
        {"odd compression forces table 1", {1, 0, 9, 4, 4, 2, 2, 0}, 1},
        {"delta set 4", {2, 4, 2, 4, 4, 2, 2, 0}, 0},
    };
    for (const auto& c : cases) {
        TrueMotionDecoder decoder;
        ASSERT_TRUE(decoder.Open(4, 4));
        Picture picture(4, 4);
        EXPECT_EQ(decoder.DecodeFrame(BuildFrame(c.fields, body), picture.pixels.data()), c.expected) << c.why;
        if (c.expected == 0) {
            EXPECT_EQ(picture.pixels, std::vector<uint8_t>(48, kUntouched)) << c.why << ": bitmap touched";
        }
    }
}

TEST(FrameHeader, RejectsShortFramesAndSmallSizeBytes) {
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(4, 4));
    Picture picture(4, 4);
    auto frame = BuildFrame({}, std::vector<uint8_t>(64, Pair(0, 0)));
    EXPECT_EQ(decoder.DecodeFrame(std::span(frame).first(22), picture.pixels.data()), 0);
    frame[0] = 0x0F;
    EXPECT_EQ(decoder.DecodeFrame(frame, picture.pixels.data()), 0);
    frame[0] = 0x10;  // header size 0
    EXPECT_EQ(decoder.DecodeFrame(frame, picture.pixels.data()), 0);
    EXPECT_EQ(picture.pixels, std::vector<uint8_t>(48, kUntouched));
}

// With every step adding nothing, each row repeats the one above: black in the 15-bit
// mode (guard bits only), luminance and chroma 0 in the 24-bit mode.
TEST(KeyFrames, ZeroStepsRepeatTheRowAbove) {
    for (uint8_t compression : {2, 10}) {
        TrueMotionDecoder decoder;
        ASSERT_TRUE(decoder.Open(8, 4));
        Picture picture(8, 4);
        HeaderFields h;
        h.compression = compression;
        ASSERT_EQ(decoder.DecodeFrame(BuildFrame(h, std::vector<uint8_t>(80, Pair(0, 0))), picture.pixels.data()), 1);
        EXPECT_EQ(picture.pixels, std::vector<uint8_t>(8 * 4 * 3, 0)) << int{compression};
    }
}

// A hand-computed 24-bit key frame, 4 × 4, delta set 0: the first step's luminance
// pair (3, 1) lands in pixels 0 and 1, the second (6, -1) accumulates on top of it.
TEST(KeyFrames, Hand24BitPixels) {
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(4, 4));
    Picture picture(4, 4);
    // Steps of row 0 (block-top): chroma (red +1, blue -1), luma (3, 1), luma (6, -1).
    // Later rows: all zero.
    std::vector<uint8_t> body = {Pair(2, 1), Pair(4, 2), Pair(6, 1)};
    body.resize(64, Pair(0, 0));
    ASSERT_EQ(decoder.DecodeFrame(BuildFrame({}, body), picture.pixels.data()), 1);
    // Luminance: p0 = 3, p1 = 1, p2 = 3 + 6 = 9, p3 = 1 - 1 = 0; red +1, blue -1.
    const std::array<int, 3> expected[4] = {{2, 3, 4}, {0, 1, 2}, {8, 9, 10}, {255, 0, 1}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(picture.At(x, y), expected[x]) << x << "," << y;
}

// 15-bit: a luminance entry moves all three fields of a pixel; the writer scales by 8.
TEST(KeyFrames, Hand15BitPixelsAndEscape) {
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(4, 4));
    Picture picture(4, 4);
    HeaderFields h;
    h.compression = 2;
    // Row 0: chroma (0, 0), luma (1, 3) then escape with (4, 2) × 5, luma (0, 0).
    std::vector<uint8_t> body = {Pair(0, 0), Pair(2, 4), 0, Pair(4, 2), Pair(0, 0)};
    body.resize(64, Pair(0, 0));
    ASSERT_EQ(decoder.DecodeFrame(BuildFrame(h, body), picture.pixels.data()), 1);
    // Left pixel 1 + 5 * 3 = 16, right 3 + 5 * 1 = 8, in all fields.
    EXPECT_EQ(picture.At(0, 0), (std::array<int, 3>{128, 128, 128}));
    EXPECT_EQ(picture.At(1, 0), (std::array<int, 3>{64, 64, 64}));
    EXPECT_EQ(picture.At(0, 3), (std::array<int, 3>{128, 128, 128}));
}

TEST(KeyFrames, SkipFlagLeavesTheBitmap) {
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(4, 4));
    Picture picture(4, 4);
    HeaderFields h;
    h.flags = 0x20;
    EXPECT_EQ(decoder.DecodeFrame(BuildFrame(h, std::vector<uint8_t>(64, Pair(3, 3))), picture.pixels.data()), 1);
    EXPECT_EQ(picture.pixels, std::vector<uint8_t>(48, kUntouched));
}

TEST(Stretch, MidPixel) {
    auto pixel = [](int r, int g, int b) { return static_cast<uint32_t>(0x8000 | r | g << 5 | b << 10); };
    auto red = [](uint32_t p) { return p & 31; };
    auto green = [](uint32_t p) { return (p >> 5) & 31; };
    EXPECT_EQ(red(mid(pixel(1, 0, 0), pixel(4, 0, 0))), 2u);
    EXPECT_EQ(green(mid(pixel(0, 2, 0), pixel(0, 5, 0))), 4u);
    EXPECT_EQ(green(mid(pixel(0, 4, 0), pixel(0, 3, 0))), 4u);
    EXPECT_EQ(green(mid(pixel(0, 3, 0), pixel(0, 4, 0))), 3u);
    EXPECT_EQ(mid(pixel(7, 9, 30), pixel(7, 9, 30)), pixel(7, 9, 30));
    EXPECT_NE(mid(pixel(7, 31, 3), pixel(7, 31, 3)), pixel(7, 31, 3));
}

TEST(FrameGeometry, StretchWidthRule) {
    HeaderFields h;
    h.width = 320;
    h.height = 240;
    h.flags = kStretchFlag;
    EXPECT_EQ(ProbeFrameGeometry(BuildFrame(h, {}))->width, 480);
    h.width = 321;
    EXPECT_EQ(ProbeFrameGeometry(BuildFrame(h, {}))->width, 480);
    EXPECT_EQ(ProbeFrameGeometry(BuildFrame(h, {}))->height, 240);
    EXPECT_FALSE(ProbeFrameGeometry(std::vector<uint8_t>(20, 0x55)).has_value());
}

// A change mask of all ones keeps the previous picture; W = 320 exercises a stripe of
// three mask words (32, 32 and 16 blocks).
TEST(DeltaFrames, AllKeptMaskLeavesThePicture) {
    auto encoder = TrueMotionEncoder::Create(320, 8, {});
    ASSERT_TRUE(encoder.ok());
    const auto source = MakeTestPicture(320, 8);
    std::vector<uint8_t> key;
    encoder->EncodeKeyFrame(source, key);
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(320, 8));
    Picture picture(320, 8);
    ASSERT_EQ(decoder.DecodeFrame(key, picture.pixels.data()), 1);
    const auto before = picture.pixels;

    HeaderFields h;
    h.width = 320;
    h.height = 8;
    h.flags = 0x08;
    std::vector<uint8_t> body(2 * 10, 0xFF);
    body.resize(body.size() + 4, Pair(5, 5));
    std::fill(picture.pixels.begin(), picture.pixels.end(), 0);
    ASSERT_EQ(decoder.DecodeFrame(BuildFrame(h, body), picture.pixels.data()), 1);
    EXPECT_EQ(picture.pixels, before);
}

// Frames are hostile: every truncation and random damage of real frames decodes or is
// refused without reading or writing outside a buffer (the sanitizer build checks).
TEST(HostileFrames, TruncatedAndDamagedFramesAreSafe) {
    std::mt19937 random(7);
    for (EncoderMode mode : {EncoderMode::k15Bit, EncoderMode::k24Bit, EncoderMode::kStretch}) {
        EncoderSettings settings;
        settings.mode = mode;
        const int width = 48, height = 16;
        auto encoder = TrueMotionEncoder::Create(width, height, settings);
        ASSERT_TRUE(encoder.ok());
        std::vector<uint8_t> key, delta;
        encoder->EncodeKeyFrame(MakeTestPicture(width, height), key);
        encoder->EncodeDeltaFrame(MakeTestPicture(width, height, 5), delta);
        TrueMotionDecoder decoder;
        // Open a larger picture than the frames declare, and a smaller one.
        for (int openWidth : {width, 12, 64}) {
            ASSERT_TRUE(decoder.Open(openWidth, height));
            std::vector<uint8_t> pixels(static_cast<size_t>(openWidth) * height * 3);
            for (const auto& frame : {key, delta}) {
                for (size_t n = 0; n <= frame.size(); ++n) decoder.DecodeFrame(std::span(frame).first(n), pixels.data());
                for (int round = 0; round < 200; ++round) {
                    auto damaged = frame;
                    for (int k = 0; k < 4; ++k) damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
                    decoder.DecodeFrame(damaged, pixels.data());
                }
            }
        }
    }
}

TEST(Decoder, OpenRefusesAbsurdSizes) {
    TrueMotionDecoder decoder;
    for (auto [w, h] : {std::pair{0, 4}, {4, 0}, {2049, 4}, {4, 2049}, {-4, 4}}) EXPECT_FALSE(decoder.Open(w, h));
    EXPECT_TRUE(decoder.Open(2048, 2048));
    EXPECT_EQ(decoder.GetGrayTable()[0], 0x80000000u);
    EXPECT_EQ(decoder.GetGrayTable()[255], 0x80FFFFFFu);
}

}  // namespace
}  // namespace truemotion
