#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "FieldCheckingDecoder.h"
#include "TestPicture.h"
#include "truemotion/EncoderState.h"
#include "truemotion/FrameHeader.h"
#include "truemotion/TrueMotionEncoder.h"
#include "truemotion/support/EncoderSettingsFor.h"

// Our encoder on its own: the settings it takes and refuses, the headers it writes,
// the blocks its delta frames keep, and that no step takes a pixel out of range.

namespace truemotion {
namespace {

using testing::EncoderSettingsFor;

TrueMotionEncoder MakeEncoder(int width, int height, const EncoderSettings& settings = {}) {
    auto encoder = TrueMotionEncoder::Create(width, height, settings);
    EXPECT_TRUE(encoder.Ok()) << encoder.Error().message;
    return std::move(encoder.Value());
}

TEST(EncoderSettings, RefusesWhatTheFormatCannotCode) {
    struct Case {
        const char* name;
        int width, height;
        EncoderSettings settings;
    };
    const Case cases[] = {
        {"no width", 0, 16, {}},
        {"too wide", 2052, 16, {}},
        {"width not a multiple of 4", 18, 16, {}},
        {"no height", 16, 0, {}},
        {"too high", 16, 2049, {}},
        {"two-thirds width not a multiple of 12", 40, 16,
         EncoderSettingsFor(EncoderMode::kStretch)},
        {"two-thirds too wide", 2052, 16, EncoderSettingsFor(EncoderMode::kStretch)},
        {"a 15-bit compression in 24-bit mode", 16, 16, EncoderSettingsFor(EncoderMode::k24Bit, 2)},
        {"a 24-bit compression in 15-bit mode", 16, 16,
         EncoderSettingsFor(EncoderMode::k15Bit, 10)},
        {"compression 5 accepts no header", 16, 16, EncoderSettingsFor(EncoderMode::k15Bit, 5)},
        {"compression 9 accepts no header", 16, 16, EncoderSettingsFor(EncoderMode::k24Bit, 9)},
        {"compression 17", 16, 16, EncoderSettingsFor(EncoderMode::k24Bit, 17)},
        {"compression 1 refuses type 0", 16, 16,
         EncoderSettingsFor(EncoderMode::k15Bit, 1, 0, 2, 0)},
        {"compression 10 refuses type 1", 16, 16,
         EncoderSettingsFor(EncoderMode::k24Bit, 10, 0, 2, 1)},
        {"type 4", 16, 16, EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 2, 4)},
        {"two-thirds width needs the flags of type 2", 48, 16,
         EncoderSettingsFor(EncoderMode::kStretch, 2, 0, 2, 1)},
        {"two-thirds width needs an extended header", 48, 16,
         EncoderSettingsFor(EncoderMode::kStretch, 2, 0, 2, 2, 1)},
        {"delta set 4", 16, 16, EncoderSettingsFor(EncoderMode::k15Bit, 2, 4)},
        {"vector table 0", 16, 16, EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 0)},
        {"vector table 4", 16, 16, EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 4)},
        {"version 256", 16, 16, EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 2, 2, 256)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(TrueMotionEncoder::Create(c.width, c.height, c.settings).Ok()) << c.name;

    for (const auto& [width, height, settings] :
         {std::tuple{4, 1, EncoderSettingsFor(EncoderMode::k24Bit)},
          {2048, 2048, EncoderSettingsFor(EncoderMode::k15Bit, 8)},
          {12, 3, EncoderSettingsFor(EncoderMode::kStretch)},
          {2040, 8, EncoderSettingsFor(EncoderMode::kStretch, 6)},
          {16, 16, EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 2, 0)},
          {16, 16, EncoderSettingsFor(EncoderMode::k24Bit, 12, 3, 1, 3, 0)}})
        EXPECT_TRUE(TrueMotionEncoder::Create(width, height, settings).Ok())
            << width << " x " << height;
}

// What the decoder reads from our headers: the un-chained fields, the display size the
// movie source takes from the first frame, and the frame flags.
TEST(EncoderHeader, CarriesTheSettingsTheSizeAndTheFlags) {
    struct Case {
        const char* name;
        EncoderSettings settings;
        int width, height;
        bool delta;
        int codedWidth;
        uint8_t flags;
    };
    const Case cases[] = {
        {"24-bit key", EncoderSettingsFor(EncoderMode::k24Bit, 14, 3, 3, 3), 32, 260, false, 32,
         0x00},
        {"24-bit delta", EncoderSettingsFor(EncoderMode::k24Bit, 16, 1, 1), 64, 8, true, 64, 0x08},
        {"15-bit key", EncoderSettingsFor(EncoderMode::k15Bit, 4, 2, 2), 1028, 4, false, 1028,
         0x00},
        {"two thirds", EncoderSettingsFor(EncoderMode::kStretch, 8, 0, 3), 480, 24, false, 320,
         0x04},
        {"two thirds delta", EncoderSettingsFor(EncoderMode::kStretch, 2), 36, 4, true, 24, 0x04},
        {"plain header", EncoderSettingsFor(EncoderMode::k15Bit, 1, 0, 3, 1, 1), 16, 4, true, 16,
         0x00},
        {"type 0", EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 2, 0), 16, 4, true, 16, 0x00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto encoder = MakeEncoder(c.width, c.height, c.settings);
        const auto picture = MakeTestPicture(c.width, c.height);
        std::vector<uint8_t> frame;
        encoder.EncodeKeyFrame(picture, frame);
        if (c.delta) encoder.EncodeDeltaFrame(MakeTestPicture(c.width, c.height, 4), frame);
        ASSERT_GE(frame.size(), 24u);
        EXPECT_EQ(frame[0], 0x13);  // a header of 24 bytes
        const auto d = UnchainHeader<kCodedHeaderBytes>(frame);
        EXPECT_EQ(d[kCompressionField], c.settings.compression);
        EXPECT_EQ(d[kDeltaSetField], c.settings.deltaSet);
        EXPECT_EQ(d[kVectorTableField], c.settings.vectorTable);
        EXPECT_EQ(d[kHeightField] + 256 * d[kHeightField + 1], c.height);
        EXPECT_EQ(d[kWidthField] + 256 * d[kWidthField + 1], c.codedWidth);
        EXPECT_EQ(d[kVersionField], c.settings.headerVersion);
        EXPECT_EQ(d[kTypeField], c.settings.headerType);
        EXPECT_EQ(d[kFlagsField], c.flags);
        EXPECT_EQ(encoder.LastFrameIsKey(), c.flags != 0x08);
        const auto geometry = ProbeFrameGeometry(frame);
        ASSERT_TRUE(geometry.has_value());
        EXPECT_EQ(geometry->width, c.width);
        EXPECT_EQ(geometry->height, c.height);
    }
}

TEST(Encoder, ShortPictureCodesNothing) {
    auto encoder = MakeEncoder(16, 8);
    std::vector<uint8_t> frame(5, 1);
    encoder.EncodeKeyFrame(std::vector<uint8_t>(16 * 8 * 3 - 1), frame);
    EXPECT_TRUE(frame.empty());
    encoder.EncodeDeltaFrame(std::vector<uint8_t>(16 * 8 * 3 - 1), frame);
    EXPECT_TRUE(frame.empty());
}

// A delta frame's change mask, read back from the frame: kept[stripe][block].
std::vector<std::vector<bool>> KeptBlocksOf(const std::vector<uint8_t>& frame, int width,
                                            int height) {
    const size_t stripeBytes = static_cast<size_t>((width / 4 + 7) / 8);
    std::vector<std::vector<bool>> kept(static_cast<size_t>(height / 4),
                                        std::vector<bool>(static_cast<size_t>(width / 4)));
    for (size_t s = 0; s < kept.size(); ++s)
        for (size_t k = 0; k < kept[s].size(); ++k)
            kept[s][k] = (frame[24 + s * stripeBytes + k / 8] >> (k % 8)) & 1;
    return kept;
}

// Paints pixels x0..x1 − 1 of rows y0..y1 − 1 (from the top) of a display bitmap.
void Paint(std::vector<uint8_t>& bgr, int width, int height, int x0, int x1, int y0, int y1,
           uint8_t value) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[(static_cast<size_t>(height - 1 - y) * width + x) * 3 + c] = value;
}

class DeltaFrames : public ::testing::TestWithParam<EncoderMode> {};

// The same picture again keeps every block: the mask is all ones and the index
// stream is the single byte the decoder reads first.
TEST_P(DeltaFrames, TheSamePictureKeepsEveryBlock) {
    const int width = 64, height = 16;
    auto encoder = MakeEncoder(width, height, EncoderSettingsFor(GetParam()));
    const auto picture = MakeTestPicture(width, height);
    std::vector<uint8_t> key, delta;
    encoder.EncodeKeyFrame(picture, key);
    encoder.EncodeDeltaFrame(picture, delta);
    EXPECT_FALSE(encoder.LastFrameIsKey());
    ASSERT_EQ(delta.size(), 24 + 4 * 2 + 1u);
    for (const auto& stripe : KeptBlocksOf(delta, width, height))
        for (bool kept : stripe) EXPECT_TRUE(kept);
}

// A smooth picture that every mode codes closely, so that coding an unchanged block
// again could not improve it.
std::vector<uint8_t> SmoothPicture(int width, int height) {
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &bgr[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(90 + y);
            p[1] = static_cast<uint8_t>(120 + x / 8);
            p[2] = static_cast<uint8_t>(100 + x / 8 + y);
        }
    return bgr;
}

// One changed block is the only one coded, wherever it lies: here in the third mask
// word of a 320-wide stripe (blocks 64..79), at both edges and in the middle.
TEST_P(DeltaFrames, OnlyTheChangedBlockIsCoded) {
    const int width = 320, height = 16;
    auto encoder = MakeEncoder(width, height, EncoderSettingsFor(GetParam()));
    auto picture = SmoothPicture(width, height);
    std::vector<uint8_t> frame;
    encoder.EncodeKeyFrame(picture, frame);
    for (const auto& [block, stripe] : {std::pair{70, 2}, {0, 0}, {79, 3}, {33, 1}}) {
        Paint(picture, width, height, 4 * block, 4 * block + 4, 4 * stripe, 4 * stripe + 4, 250);
        encoder.EncodeDeltaFrame(picture, frame);
        const auto kept = KeptBlocksOf(frame, width, height);
        for (int s = 0; s < height / 4; ++s)
            for (int k = 0; k < width / 4; ++k)
                EXPECT_EQ(kept[static_cast<size_t>(s)][static_cast<size_t>(k)],
                          s != stripe || k != block)
                    << "painted block " << block << " of stripe " << stripe << "; stripe " << s
                    << " block " << k;
        // The coded block shows the paint.
        const auto shown = encoder.Reconstruction();
        const size_t centre =
            (static_cast<size_t>(height - 2 - 4 * stripe) * width + 4 * block + 2) * 3;
        EXPECT_NEAR(shown[centre + 1], 250, 24);
    }
}

// A change that coding would gain less than the keep threshold on stays out; a
// threshold of 0 codes it. The change is one luminance step (8 in the 15-bit mode, 6
// in the 24-bit one) on four pixels of what the decoder shows, so that coding can
// reach it exactly.
TEST_P(DeltaFrames, SmallChangesStayBelowTheThreshold) {
    const int width = 32, height = 8;
    const int nudge = GetParam() == EncoderMode::k15Bit ? 8 : 6;
    for (int threshold : {5, 0}) {
        EncoderSettings settings = EncoderSettingsFor(GetParam());
        settings.keepThreshold = threshold;
        auto encoder = MakeEncoder(width, height, settings);
        std::vector<uint8_t> frame;
        encoder.EncodeKeyFrame(MakeTestPicture(width, height), frame);
        std::vector<uint8_t> nudged(encoder.Reconstruction().begin(),
                                    encoder.Reconstruction().end());
        encoder.EncodeDeltaFrame(nudged, frame);
        ASSERT_FALSE(encoder.LastFrameIsKey());
        // Pixels 4..7 of the bottom row: block 1 of the last stripe.
        for (size_t i = 4 * 3; i < 8 * 3; ++i) nudged[i] = static_cast<uint8_t>(nudged[i] + nudge);
        encoder.EncodeDeltaFrame(nudged, frame);
        EXPECT_EQ(KeptBlocksOf(frame, width, height)[1][1], threshold > 0)
            << "threshold " << threshold;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, DeltaFrames,
                         ::testing::Values(EncoderMode::k15Bit, EncoderMode::k24Bit),
                         [](const auto& mode) {
                             return mode.param == EncoderMode::k15Bit ? "Bits15" : "Bits24";
                         });

// When a frame cannot be a delta frame, or a key frame serves better, EncodeDeltaFrame
// codes a key frame.
TEST(DeltaFrames, FallBackToKeyFrames) {
    std::vector<uint8_t> frame;
    {
        auto encoder = MakeEncoder(32, 8);
        encoder.EncodeDeltaFrame(MakeTestPicture(32, 8), frame);
        EXPECT_TRUE(encoder.LastFrameIsKey()) << "first frame";
    }
    for (const EncoderSettings& settings :
         {EncoderSettingsFor(EncoderMode::kStretch),
          EncoderSettingsFor(EncoderMode::k15Bit, 2, 0, 2, 1),
          EncoderSettingsFor(EncoderMode::k24Bit, 10, 0, 2, 2, 1)}) {
        auto encoder = MakeEncoder(48, 8, settings);
        const auto picture = MakeTestPicture(48, 8);
        encoder.EncodeKeyFrame(picture, frame);
        encoder.EncodeDeltaFrame(picture, frame);
        EXPECT_TRUE(encoder.LastFrameIsKey()) << "no delta flag";
    }
    {
        auto encoder = MakeEncoder(32, 8);
        encoder.EncodeKeyFrame(MakeTestPicture(32, 8), frame);
        auto negative = MakeTestPicture(32, 8);
        for (auto& v : negative) v = static_cast<uint8_t>(255 - v);
        encoder.EncodeDeltaFrame(negative, frame);
        EXPECT_TRUE(encoder.LastFrameIsKey()) << "every block changed";
    }
    // Six rows: the top two lie above the first stripe, which delta frames keep. (In
    // the 15-bit mode, where those rows take no chroma of a later block.)
    for (const auto& [y0, y1, key] : {std::tuple{0, 2, true}, {2, 6, false}}) {
        auto encoder = MakeEncoder(32, 6, EncoderSettingsFor(EncoderMode::k15Bit));
        auto picture = MakeTestPicture(32, 6);
        encoder.EncodeKeyFrame(picture, frame);
        Paint(picture, 32, 6, 8, 12, y0, y1, 0);
        encoder.EncodeDeltaFrame(picture, frame);
        EXPECT_EQ(encoder.LastFrameIsKey(), key) << "rows " << y0 << ".." << y1;
        // The paint shows (from green well above 40 in the synthetic picture).
        EXPECT_LT(encoder.Reconstruction()[(static_cast<size_t>(6 - 1 - y0) * 32 + 9) * 3 + 1], 30);
    }
}

// No step takes a 15-bit field or a 24-bit luminance byte out of range, so no carry or
// guard bit spoils a neighbour: checked on the synthetic picture and a moving sequence,
// for every delta set and vector table. (The 15-bit modes with the coarse delta set 2
// cannot follow strongly saturated colours everywhere and are left out.)
TEST(EncoderRange, NoStepBreaksAPixel) {
    struct Mode {
        EncoderMode mode;
        int compression, width;
    };
    for (const Mode& m : {Mode{EncoderMode::k24Bit, 10, 96}, Mode{EncoderMode::k24Bit, 16, 96},
                          Mode{EncoderMode::k15Bit, 2, 96}, Mode{EncoderMode::k15Bit, 8, 96},
                          Mode{EncoderMode::k15Bit, 3, 96}, Mode{EncoderMode::kStretch, 2, 96}})
        for (int deltaSet = 0; deltaSet < 4; ++deltaSet)
            for (int vectorTable = 1; vectorTable <= 3; ++vectorTable) {
                if (m.mode != EncoderMode::k24Bit && deltaSet == 2) continue;
                SCOPED_TRACE("compression " + std::to_string(m.compression) + ", delta set " +
                             std::to_string(deltaSet) + ", vector table " +
                             std::to_string(vectorTable));
                const int height = 61;
                auto encoder =
                    MakeEncoder(m.width, height,
                                EncoderSettingsFor(m.mode, m.compression, deltaSet, vectorTable));
                testing::FieldCheckingDecoder checker(m.width, height);
                std::vector<uint8_t> frame;
                for (int i = 0; i < 4; ++i) {
                    const auto picture = MakeTestPicture(m.width, height, 7 * i, 3);
                    i == 0 ? encoder.EncodeKeyFrame(picture, frame)
                           : encoder.EncodeDeltaFrame(picture, frame);
                    const auto report = checker.Decode(frame);
                    EXPECT_EQ(report.brokenValues, 0) << "frame " << i;
                    EXPECT_TRUE(report.streamExact) << "frame " << i;
                    if (m.mode == EncoderMode::k15Bit) {
                        const auto shown = encoder.Reconstruction();
                        EXPECT_TRUE(
                            std::equal(shown.begin(), shown.end(), checker.Picture15().begin()))
                            << "frame " << i;
                    }
                }
            }
}

// The coders' quick paths choose every step as the long way does: the same frames and
// reconstructions, key and delta, for every block shape and delta set of the 15-bit,
// two-thirds-width and 24-bit modes, on the synthetic picture and on pictures of few grey levels,
// whose targets often fall halfway between two deltas.
TEST(EncoderQuickSteps, ChooseAsTheLongWay) {
    struct Mode {
        EncoderMode mode;
        int compression;
    };
    // A width whose 15-bit rows end in a word pair short of four.
    const int width = 108, height = 62;
    auto greyLevels = [&](unsigned seed, int levels) {
        std::vector<uint8_t> bgr(static_cast<size_t>(width) * height * 3);
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> level(0, levels - 1), tint(-2, 2);
        for (size_t i = 0; i < bgr.size(); i += 3) {
            const int grey = 40 + 160 * level(random) / (levels - 1);
            bgr[i] = static_cast<uint8_t>(grey + tint(random));
            bgr[i + 1] = static_cast<uint8_t>(grey);
            bgr[i + 2] = static_cast<uint8_t>(grey + tint(random));
        }
        return bgr;
    };
    for (const Mode& m : {Mode{EncoderMode::k15Bit, 1}, Mode{EncoderMode::k15Bit, 2},
                          Mode{EncoderMode::k15Bit, 3}, Mode{EncoderMode::k15Bit, 4},
                          Mode{EncoderMode::k15Bit, 8}, Mode{EncoderMode::kStretch, 2},
                          Mode{EncoderMode::k24Bit, 10}, Mode{EncoderMode::k24Bit, 12},
                          Mode{EncoderMode::k24Bit, 14}, Mode{EncoderMode::k24Bit, 16}})
        for (int deltaSet = 0; deltaSet < 4; ++deltaSet) {
            SCOPED_TRACE("mode " + std::to_string(static_cast<int>(m.mode)) + ", compression " +
                         std::to_string(m.compression) + ", delta set " + std::to_string(deltaSet));
            const auto settings = EncoderSettingsFor(m.mode, m.compression, deltaSet, 2);
            auto quick = MakeEncoder(width, height, settings);
            auto longWay = MakeEncoder(width, height, settings);
            longWay.State().quickSteps = false;
            std::vector<uint8_t> quickFrame, longFrame;
            for (int i = 0; i < 5; ++i) {
                const auto picture = i < 3 ? MakeTestPicture(width, height, 5 * i, 9)
                                           : greyLevels(static_cast<unsigned>(i), 2 + 3 * (i - 3));
                for (auto* encoder : {&quick, &longWay}) {
                    auto& frame = encoder == &quick ? quickFrame : longFrame;
                    i == 0 ? encoder->EncodeKeyFrame(picture, frame)
                           : encoder->EncodeDeltaFrame(picture, frame);
                }
                ASSERT_EQ(quickFrame, longFrame) << "frame " << i;
                const auto a = quick.Reconstruction(), b = longWay.Reconstruction();
                ASSERT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "frame " << i;
            }
        }
}

}  // namespace
}  // namespace truemotion
