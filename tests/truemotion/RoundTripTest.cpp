#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestPicture.h"
#include "truemotion/TrueMotionDecoder.h"
#include "truemotion/TrueMotionEncoder.h"

namespace truemotion {
namespace {

struct RoundTripCase {
    const char* name;
    EncoderSettings settings;
    int width, height;
    double minPsnr;  // for the key frame of the test picture
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Our encoder's reconstruction must be exactly what the decoder shows, frame after
// frame, or delta frames would drift; and it must resemble its source.
TEST_P(RoundTrip, DecoderShowsTheEncodersReconstruction) {
    const auto& c = GetParam();
    auto encoder = TrueMotionEncoder::Create(c.width, c.height, c.settings);
    ASSERT_TRUE(encoder.ok()) << encoder.error().message;
    TrueMotionDecoder decoder;
    ASSERT_TRUE(decoder.Open(c.width, c.height));
    std::vector<uint8_t> frame, shown(static_cast<size_t>(c.width) * c.height * 3);

    for (int i = 0; i < 4; ++i) {
        const auto picture =
            MakeTestPicture(c.width, c.height, 3 * i, 1 + static_cast<unsigned>(i));
        i == 0 ? encoder->EncodeKeyFrame(picture, frame)
               : encoder->EncodeDeltaFrame(picture, frame);
        ASSERT_EQ(decoder.DecodeFrame(frame, shown.data()), 1) << "frame " << i;
        const auto reconstruction = encoder->Reconstruction();
        ASSERT_TRUE(std::equal(shown.begin(), shown.end(), reconstruction.begin()))
            << "frame " << i;
        const double psnr = Psnr(picture, shown);
        EXPECT_GE(psnr, i == 0 ? c.minPsnr : c.minPsnr - 3) << "frame " << i;
    }
}

EncoderSettings Settings(EncoderMode mode, int compression, int deltaSet, int vectorTable,
                         int headerType = 2) {
    EncoderSettings s;
    s.mode = mode;
    s.compression = compression;
    s.deltaSet = deltaSet;
    s.vectorTable = vectorTable;
    s.headerType = headerType;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RoundTrip,
    ::testing::Values(
        RoundTripCase{"Bits24Default", Settings(EncoderMode::k24Bit, 0, 0, 2), 64, 48, 22},
        RoundTripCase{"Bits24NarrowShort", Settings(EncoderMode::k24Bit, 16, 1, 3, 3), 40, 24, 22},
        RoundTripCase{"Bits24Set2", Settings(EncoderMode::k24Bit, 12, 2, 2), 32, 32, 21},
        RoundTripCase{"Bits24Set3Width320", Settings(EncoderMode::k24Bit, 14, 3, 3), 320, 16, 28},
        RoundTripCase{"Bits15Default", Settings(EncoderMode::k15Bit, 0, 0, 2), 64, 48, 22},
        RoundTripCase{"Bits15Odd", Settings(EncoderMode::k15Bit, 1, 1, 2), 48, 32, 20},
        RoundTripCase{"Bits15NarrowShort", Settings(EncoderMode::k15Bit, 8, 3, 3, 3), 36, 20, 22},
        RoundTripCase{"Bits15Tall", Settings(EncoderMode::k15Bit, 4, 2, 2), 16, 64, 14},
        RoundTripCase{"Stretch", Settings(EncoderMode::kStretch, 0, 0, 2), 48, 32, 21},
        RoundTripCase{"StretchOddTable", Settings(EncoderMode::kStretch, 3, 0, 2), 96, 16, 24}),
    [](const auto& param) { return std::string(param.param.name); });

// The quality our movies are made with, on a picture of the demo's size.
TEST(Encoder, KeyFrameQualityAtDemoSize) {
    struct Case {
        EncoderMode mode;
        int width;
        double minPsnr;
    };
    for (const Case& c :
         {Case{EncoderMode::k24Bit, 320, 33.0}, Case{EncoderMode::k15Bit, 320, 31.0},
          Case{EncoderMode::kStretch, 324, 24.0}}) {
        EncoderSettings settings;
        settings.mode = c.mode;
        auto encoder = TrueMotionEncoder::Create(c.width, 240, settings);
        ASSERT_TRUE(encoder.ok());
        const auto picture = MakeTestPicture(c.width, 240);
        std::vector<uint8_t> frame;
        encoder->EncodeKeyFrame(picture, frame);
        EXPECT_GE(Psnr(picture, encoder->Reconstruction()), c.minPsnr) << static_cast<int>(c.mode);
    }
}

TEST(Encoder, RefusesSizesAndSettingsItCannotCode) {
    struct Case {
        int width, height;
        EncoderSettings settings;
    };
    const Case cases[] = {
        {0, 16, {}},
        {2052, 16, {}},
        {18, 16, {}},
        {16, 0, {}},
        {16, 2049, {}},
        {40, 16, Settings(EncoderMode::kStretch, 0, 0, 2)},
        {48, 16, Settings(EncoderMode::kStretch, 2, 0, 2, 1)},  // no flags, so no stretch flag
        {16, 16, Settings(EncoderMode::k24Bit, 2, 0, 2)},       // a 15-bit compression
        {16, 16, Settings(EncoderMode::k24Bit, 10, 0, 2, 1)},   // untyped header carries no flags
        {16, 16, Settings(EncoderMode::k15Bit, 5, 0, 2)},       // never accepted
        {16, 16, Settings(EncoderMode::k15Bit, 2, 4, 2)},
        {16, 16, Settings(EncoderMode::k15Bit, 2, 0, 0)},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(TrueMotionEncoder::Create(c.width, c.height, c.settings).ok());
}

TEST(Encoder, UnchangedPictureCodesAsAllKeptDeltaFrame) {
    auto encoder = TrueMotionEncoder::Create(64, 32, {});
    ASSERT_TRUE(encoder.ok());
    const auto picture = MakeTestPicture(64, 32);
    std::vector<uint8_t> key, delta;
    encoder->EncodeKeyFrame(picture, key);
    // Feeding the reconstruction back changes nothing: every block is kept.
    const std::vector<uint8_t> shown(encoder->Reconstruction().begin(),
                                     encoder->Reconstruction().end());
    encoder->EncodeDeltaFrame(shown, delta);
    const size_t maskBytes = (32 / 4) * ((64 / 4 + 7) / 8);
    EXPECT_EQ(delta.size(), 24 + maskBytes + 1);
    EXPECT_LT(delta.size(), key.size() / 20);
}

}  // namespace
}  // namespace truemotion
