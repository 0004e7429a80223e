#include <gtest/gtest.h>

#include <deque>
#include <utility>
#include <string>
#include <vector>

#include "base/ByteReader.h"
#include "convert/ConversionHost.h"
#include "movie/AviReader.h"
#include "moviemaker/MovieMaker.h"
#include "platform/MemorySettings.h"
#include "playback/LumekoDoc.h"
#include "support/ManualClock.h"
#include "support/RecordingFrame.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingWaveOut.h"
#include "support/SteppedTimer.h"
#include "support/TempDir.h"

namespace {

uint32_t FourCC(const std::string& code) { return LoadLE32(reinterpret_cast<const uint8_t*>(code.data())); }

// Answers the dialogs from a script: the output path, then one compressor per showing.
class ScriptedHost final : public convert::IConversionHost {
public:
    std::optional<std::string> ChooseOutputPath(const std::string& proposed) override {
        proposedPath = proposed;
        // One answer per script line: asked again, the dialog is cancelled.
        return std::exchange(outputPath, std::nullopt);
    }
    bool ChooseCompressor(convert::COMPVARS& vars) override {
        presets.push_back(vars);
        if (choices.empty()) return false;
        vars.fccHandler = FourCC(choices.front());
        choices.pop_front();
        return true;
    }
    void PumpMessages() override { ++pumps; }
    void ShowProgress(Stage, uint64_t done, uint64_t total) override { lastProgress = {done, total}; }
    void ShowError(std::string_view text) override { errors.emplace_back(text); }
    bool Cancelled() const override { return cancelAfterPumps >= 0 && pumps >= cancelAfterPumps; }

    std::optional<std::string> outputPath;
    std::deque<std::string> choices;
    std::string proposedPath;
    std::vector<convert::COMPVARS> presets;
    std::vector<std::string> errors;
    int pumps = 0;
    int cancelAfterPumps = -1;
    std::pair<uint64_t, uint64_t> lastProgress;
};

class ConvertTest : public ::testing::Test {
protected:
    void Open(int width, moviemaker::SoundKind sound) {
        moviemaker::MovieSpec spec;
        spec.width = width;
        spec.height = 16;
        spec.frames = 20;
        spec.sound = sound;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("source.avi")).ok());
        doc.AttachFrame(&frame);
        doc.m_pendingFiles.push_back(dir.File("source.avi"));
        doc.IdleProcess(0);
        ASSERT_TRUE(doc.m_bOpen);
        host.outputPath = dir.File("out.avi");
    }

    // The pictures the movie decodes to, frame by frame.
    std::vector<std::vector<uint8_t>> DecodedFrames(const std::string& path) {
        RecordingMessageBox quiet;
        CDuckMovie movie(quiet);
        EXPECT_EQ(movie.Open(path), 1);
        movie::BITMAPINFOHEADER bmih;
        movie.GetBitmapHeader(&bmih);
        std::vector<std::vector<uint8_t>> frames;
        for (uint32_t i = 0; i < movie.GetFrameCount(); ++i) {
            frames.emplace_back(static_cast<size_t>(bmih.biWidth) * bmih.biHeight * 3);
            movie.ReadFrame(i, frames.back().data());
        }
        return frames;
    }

    TempDir dir;
    platform::MemorySettings settings;
    ManualClock clock;
    SteppedTimer timer;
    RecordingWaveOut wave;
    RecordingMessageBox messages;
    RecordingFrame frame;
    CLumekoDoc doc{{settings, clock, timer, wave, messages}};
    ScriptedHost host;
};

TEST(ConvertNames, ProposedOutputPath) {
    EXPECT_EQ(convert::ProposedOutputPath("/movies/a.mov"), "/movies/a.avi");
    EXPECT_EQ(convert::ProposedOutputPath("/movies/a.avi"), "/movies/a.avi");
    EXPECT_EQ(convert::ProposedOutputPath("/movies/noext"), "/movies/noext.avi");
    EXPECT_EQ(convert::ProposedOutputPath("/my.movies/noext"), "/my.avi");
}

// Full frames: every frame a key frame holding the decoded picture; DK4 becomes 16-bit PCM.
TEST_F(ConvertTest, FullFramesAndDecodedSound) {
    Open(32, moviemaker::SoundKind::kDk4Stereo);
    host.choices = {"DIB "};
    doc.OnConvert(host);
    EXPECT_EQ(frame.panes[0], "変換終了");
    EXPECT_EQ(host.presets.at(0).fccHandler, movie::MakeFourCC("DIB "));
    EXPECT_EQ(host.presets.at(0).lKey, 15);
    EXPECT_EQ(host.presets.at(0).lQ, 10000);
    EXPECT_GE(host.pumps, 20);

    auto out = movie::AviReader::OpenFile(dir.File("out.avi"));
    ASSERT_TRUE(out.ok());
    const int video = out->FindStream(movie::streamtypeVIDEO, 0), audio = out->FindStream(movie::streamtypeAUDIO, 0);
    ASSERT_GE(video, 0);
    ASSERT_GE(audio, 0);
    EXPECT_STREQ(out->StreamInfo(video).szName, "ZEVEDI TrueMotion Video #1");
    EXPECT_STREQ(out->StreamInfo(audio).szName, "ZEVEDI TrueMotin Audio #1");
    EXPECT_EQ(out->StreamFormat(video).size(), 40u);
    EXPECT_EQ(out->StreamInfo(video).dwLength, 20u);
    const auto format = out->StreamFormat(audio);
    ASSERT_EQ(format.size(), 18u);
    EXPECT_EQ(LoadLE16(&format[0]), 1);
    EXPECT_EQ(LoadLE16(&format[2]), 2);
    EXPECT_EQ(LoadLE16(&format[14]), 16);

    const auto decoded = DecodedFrames(dir.File("source.avi"));
    std::vector<uint8_t> sample(32 * 16 * 3);
    for (uint32_t i = 0; i < 20; ++i) {
        auto read = out->Read(video, i, 1, sample);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(sample, decoded[i]) << i;
    }
    EXPECT_EQ(doc.m_pCurrentImage, doc.m_pFrameSlot[0]);
}

// A compressor that cannot take the picture gives the message and the dialog again;
// our TrueMotion compressor then writes a movie that plays back close to the source.
TEST_F(ConvertTest, RefusedCompressorThenTrueMotion) {
    Open(36, moviemaker::SoundKind::kNone);
    host.choices = {"XXXX", "DUCK"};
    doc.OnConvert(host);
    EXPECT_EQ(host.errors, (std::vector<std::string>{"このCODECには変換できません"}));
    EXPECT_EQ(host.presets.size(), 2u);
    EXPECT_EQ(frame.panes[0], "変換終了");
    const auto source = DecodedFrames(dir.File("source.avi"));
    const auto converted = DecodedFrames(dir.File("out.avi"));
    ASSERT_EQ(converted.size(), source.size());
    // A second generation of lossy coding on a tiny, busy picture: about 25 dB.
    double sse = 0, bytes = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        for (size_t k = 0; k < source[i].size(); ++k) sse += (source[i][k] - converted[i][k]) * (source[i][k] - converted[i][k]);
        bytes += static_cast<double>(source[i].size());
    }
    EXPECT_LT(sse / bytes, 250.0);
}

TEST_F(ConvertTest, MotionJpegFrames) {
    Open(32, moviemaker::SoundKind::kPcm8);
    host.choices = {"MJPG"};
    doc.OnConvert(host);
    auto out = movie::AviReader::OpenFile(dir.File("out.avi"));
    ASSERT_TRUE(out.ok());
    const int video = out->FindStream(movie::streamtypeVIDEO, 0);
    EXPECT_EQ(out->StreamInfo(video).fccHandler, movie::MakeFourCC("MJPG"));
    std::vector<uint8_t> sample(out->LargestChunkBytes(video));
    auto read = out->Read(video, 0, 1, sample);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(sample[0], 0xFF);
    EXPECT_EQ(sample[1], 0xD8);  // a JPEG picture
    const auto format = out->StreamFormat(out->FindStream(movie::streamtypeAUDIO, 0));
    EXPECT_EQ(LoadLE16(&format[14]), 8) << "8-bit PCM stays 8-bit";
}

TEST_F(ConvertTest, CancelOrSourceAsOutputLeavesNoFile) {
    Open(32, moviemaker::SoundKind::kDk4Stereo);
    host.choices = {"DIB "};
    host.cancelAfterPumps = 5;
    doc.OnConvert(host);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.avi")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.avi.partial")));
    EXPECT_NE(frame.panes[0], "変換終了");
    EXPECT_TRUE(host.errors.empty());

    // The movie being read is never written over: the name is refused, and the dialog
    // cancelled the second time.
    host.cancelAfterPumps = -1;
    host.outputPath = dir.File("source.avi");
    host.choices = {"DIB "};
    const auto before = std::filesystem::file_size(dir.File("source.avi"));
    doc.OnConvert(host);
    EXPECT_EQ(host.errors, (std::vector<std::string>{"変換元のﾌｧｲﾙには書き込めません"}));
    EXPECT_EQ(std::filesystem::file_size(dir.File("source.avi")), before);
}

TEST_F(ConvertTest, CancellingCreatesNothing) {
    Open(32, moviemaker::SoundKind::kNone);
    host.outputPath.reset();
    doc.OnConvert(host);
    host.outputPath = dir.File("out.avi");
    host.choices.clear();
    doc.OnConvert(host);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.avi")));
    EXPECT_EQ(host.proposedPath, dir.File("source.avi"));
}

}  // namespace
