#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "TestPicture.h"
#include "truemotion/FrameHeader.h"
#include "truemotion/TrueMotionDecoder.h"
#include "truemotion/TrueMotionEncoder.h"
#include "truemotion/support/EncoderSettingsFor.h"

// Our encoder against the decoder: what the decoder shows must be exactly the
// encoder's reconstruction, frame after frame, or delta frames would drift; and it
// must resemble the source.

namespace truemotion {
namespace {

struct RoundTripCase {
    std::string name;
    EncoderSettings settings;
    int width, height;
};

// A case shows as its name, not as the raw bytes of the struct (padding included).
void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

using testing::EncoderSettingsFor;

std::string ModeName(EncoderMode mode) {
    return mode == EncoderMode::k24Bit   ? "Bits24"
           : mode == EncoderMode::k15Bit ? "Bits15"
                                         : "Stretch";
}

// The pictures of a short movie: the synthetic picture with its shapes moving over
// a still background, then fresh noise everywhere, then its negative.
std::vector<std::vector<uint8_t>> Movie(int width, int height) {
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < 4; ++i) pictures.push_back(MakeTestPicture(width, height, 3 * i, 1));
    pictures.push_back(MakeTestPicture(width, height, 9, 2));
    auto negative = pictures.back();
    for (auto& v : negative) v = static_cast<uint8_t>(255 - v);
    pictures.push_back(negative);
    pictures.push_back(MakeTestPicture(width, height, 12, 2));
    return pictures;
}

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, DecoderShowsTheEncodersReconstruction) {
    const auto& c = GetParam();
    auto encoder = TrueMotionEncoder::Create(c.width, c.height, c.settings);
    ASSERT_TRUE(encoder.Ok()) << encoder.Error().message;
    TrueMotionDecoder decoder;
    std::vector<uint8_t> frame, shown(static_cast<size_t>(c.width) * c.height * 3);
    const auto movie = Movie(c.width, c.height);
    for (size_t i = 0; i < movie.size(); ++i) {
        i == 0 ? encoder->EncodeKeyFrame(movie[i], frame)
               : encoder->EncodeDeltaFrame(movie[i], frame);
        if (i == 0) {
            // Opened as the movie source opens it: with the size the first frame declares.
            const auto geometry = ProbeFrameGeometry(frame);
            ASSERT_TRUE(geometry.has_value());
            ASSERT_EQ(geometry->width, c.width);
            ASSERT_TRUE(decoder.Open(geometry->width, geometry->height));
        }
        ASSERT_EQ(decoder.DecodeFrame(frame, shown.data()), 1) << "frame " << i;
        const auto reconstruction = encoder->Reconstruction();
        ASSERT_TRUE(std::equal(shown.begin(), shown.end(), reconstruction.begin()))
            << "frame " << i;
    }
}

std::vector<RoundTripCase> Cases() {
    std::vector<RoundTripCase> cases;
    auto add = [&](const std::string& name, const EncoderSettings& settings, int width,
                   int height) {
        cases.push_back({name + "_" + std::to_string(width) + "x" + std::to_string(height),
                         settings, width, height});
    };
    // Every compression, each with a delta set and a vector table of its own.
    const int compressions15[] = {1, 2, 3, 4, 6, 8};
    const int compressions24[] = {10, 12, 14, 16};
    for (int k = 0; k < 6; ++k) {
        const int compression = compressions15[k];
        add("Bits15C" + std::to_string(compression),
            EncoderSettingsFor(EncoderMode::k15Bit, compression, k % 4, 1 + k % 3), 64, 48);
        add("StretchC" + std::to_string(compression),
            EncoderSettingsFor(EncoderMode::kStretch, compression, (k + 1) % 4, 1 + (k + 1) % 3),
            96, 32);
    }
    for (int k = 0; k < 4; ++k) {
        const int compression = compressions24[k];
        add("Bits24C" + std::to_string(compression),
            EncoderSettingsFor(EncoderMode::k24Bit, compression, k, 1 + (k + 2) % 3), 64, 48);
    }
    // Every delta set and vector table with the defaults of each mode.
    for (EncoderMode mode : {EncoderMode::k15Bit, EncoderMode::k24Bit, EncoderMode::kStretch})
        for (int deltaSet = 0; deltaSet < 4; ++deltaSet)
            for (int vectorTable = 1; vectorTable <= 3; ++vectorTable)
                add(ModeName(mode) + "Set" + std::to_string(deltaSet) + "Table" +
                        std::to_string(vectorTable),
                    EncoderSettingsFor(mode, 0, deltaSet, vectorTable), 48, 20);
    // Header types and versions: types 0 and 1 and plain headers carry no flags, so
    // all their frames are key frames; type 3 carries them as type 2 does.
    add("Bits15Type0", EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 2, 0), 32, 16);
    add("Bits15Type1", EncoderSettingsFor(EncoderMode::k15Bit, 4, 1, 3, 1), 32, 16);
    add("Bits15Type3", EncoderSettingsFor(EncoderMode::k15Bit, 6, 2, 2, 3), 32, 16);
    add("Bits24Type3", EncoderSettingsFor(EncoderMode::k24Bit, 12, 3, 3, 3), 32, 16);
    add("StretchType3", EncoderSettingsFor(EncoderMode::kStretch, 4, 0, 2, 3), 36, 16);
    // A plain header of an odd compression decodes with the vector table it names,
    // a typed one always with table 1.
    add("Bits15PlainOdd", EncoderSettingsFor(EncoderMode::k15Bit, 3, 0, 3, 2, 1), 32, 16);
    add("Bits15TypedOdd", EncoderSettingsFor(EncoderMode::k15Bit, 3, 0, 3, 2, 2), 32, 16);
    add("Bits24Plain", EncoderSettingsFor(EncoderMode::k24Bit, 14, 1, 2, 3, 0), 32, 16);
    // A stripe of three mask words (32, 32 and 16 blocks).
    for (EncoderMode mode : {EncoderMode::k15Bit, EncoderMode::k24Bit})
        add(ModeName(mode) + "Stripes", EncoderSettingsFor(mode, 0), 320, 16);
    add("StretchWide", EncoderSettingsFor(EncoderMode::kStretch, 0), 480, 8);
    // Small widths and heights of every kind, with wide and narrow blocks of height 4
    // and 2: heights that are not a multiple of the block height start with rows that
    // take no chroma, and those above the first mask stripe are kept by delta frames.
    const EncoderSettings small[] = {
        EncoderSettingsFor(EncoderMode::k15Bit, 2), EncoderSettingsFor(EncoderMode::k15Bit, 8),
        EncoderSettingsFor(EncoderMode::k24Bit, 10), EncoderSettingsFor(EncoderMode::k24Bit, 16),
        EncoderSettingsFor(EncoderMode::kStretch, 6)};
    for (const EncoderSettings& settings : small)
        for (int height : {1, 2, 3, 4, 5, 6, 7, 9, 13})
            for (int width : settings.mode == EncoderMode::kStretch ? std::vector{12, 24}
                                                                    : std::vector{4, 8, 12, 16})
                add(ModeName(settings.mode) + "C" + std::to_string(settings.compression), settings,
                    width, height);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Settings, RoundTrip, ::testing::ValuesIn(Cases()),
                         [](const auto& c) { return c.param.name; });

// The quality our movies are made with, on the synthetic picture at the demo's size,
// for the key frame and for delta frames that follow the shapes as they move.
TEST(RoundTripQuality, SyntheticPictureResemblesItsSource) {
    struct Case {
        EncoderMode mode;
        int width;
        double minPsnr;
    };
    for (const Case& c :
         {Case{EncoderMode::k24Bit, 320, 33.5}, Case{EncoderMode::k15Bit, 320, 31.5},
          Case{EncoderMode::kStretch, 324, 29.5}}) {
        SCOPED_TRACE(ModeName(c.mode));
        EncoderSettings settings;
        settings.mode = c.mode;
        auto encoder = TrueMotionEncoder::Create(c.width, 240, settings);
        ASSERT_TRUE(encoder.Ok());
        TrueMotionDecoder decoder;
        ASSERT_TRUE(decoder.Open(c.width, 240));
        std::vector<uint8_t> frame, shown(static_cast<size_t>(c.width) * 240 * 3);
        for (int i = 0; i < 6; ++i) {
            const auto picture = MakeTestPicture(c.width, 240, 4 * i, 1);
            i == 0 ? encoder->EncodeKeyFrame(picture, frame)
                   : encoder->EncodeDeltaFrame(picture, frame);
            ASSERT_EQ(decoder.DecodeFrame(frame, shown.data()), 1);
            EXPECT_GE(Psnr(picture, shown), i == 0 ? c.minPsnr : c.minPsnr - 1) << "frame " << i;
        }
    }
}

}  // namespace
}  // namespace truemotion
