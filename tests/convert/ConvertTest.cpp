#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/ByteReader.h"
#include "convert/Compressor.h"
#include "convert/ConversionHost.h"
#include "movie/AviReader.h"
#include "moviemaker/MovieMaker.h"
#include "platform/MemorySettings.h"
#include "playback/LumekoDoc.h"
#include "support/FaultyOutputFiles.h"
#include "support/FileBytes.h"
#include "support/ManualClock.h"
#include "support/RecordingFrame.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingWaveOut.h"
#include "support/SteppedTimer.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"
#include "truemotion/TrueMotionEncoder.h"

namespace {

uint32_t FourCC(const std::string& code) {
    return LoadLE32(reinterpret_cast<const uint8_t*>(code.data()));
}

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
        if (keyEvery) vars.lKey = *keyEvery;
        if (dataRate) vars.lDataRate = *dataRate;
        return true;
    }
    void PumpMessages() override { ++pumps; }
    void ShowProgress(Stage, uint64_t done, uint64_t total) override {
        lastProgress = {done, total};
    }
    void ShowError(std::string_view text) override { errors.emplace_back(text); }
    void ShowFailure(std::string_view text, std::string_view reason) override {
        errors.emplace_back(text);
        reasons.emplace_back(reason);
    }
    bool MayReplaceExisting() const override { return mayReplace; }
    bool Cancelled() const override { return cancelAfterPumps >= 0 && pumps >= cancelAfterPumps; }
    movie::OutputFiles& OutputFiles() override {
        return files ? *files : movie::OutputFiles::Disk();
    }

    std::optional<std::string> outputPath;
    std::deque<std::string> choices;
    std::string proposedPath;
    std::vector<convert::COMPVARS> presets;
    std::vector<std::string> errors;
    std::vector<std::string> reasons;
    bool mayReplace = true;
    int pumps = 0;
    int cancelAfterPumps = -1;
    std::pair<uint64_t, uint64_t> lastProgress;
    std::optional<int32_t> keyEvery;
    std::optional<int32_t> dataRate;
    movie::OutputFiles* files = nullptr;
};

bool HaveCompressor(const char* code) {
    for (const auto& c : convert::InstalledCompressors())
        if (c.fccHandler == FourCC(code)) return true;
    return false;
}

// The key-frame flag of each video chunk, in order, as the file's 'idx1' lists them.
std::vector<bool> IndexedVideoKeyFlags(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    std::vector<bool> keys;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = LoadLE32(&bytes[at + 4]);
        if (LoadLE32(&bytes[at]) == FourCC("idx1")) {
            for (size_t e = at + 8; e + 16 <= std::min<size_t>(bytes.size(), at + 8 + size);
                 e += 16)
                if (bytes[e] == '0' && bytes[e + 1] == '0')
                    keys.push_back((LoadLE32(&bytes[e + 4]) & 0x10) != 0);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return keys;
}

// Every name in the folder, hidden ones too, in order.
std::vector<std::string> NamesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Names for the operations of a conversion's output, for the traces.
std::string Step(const std::vector<std::string>& operations, size_t i) {
    return "operation " + std::to_string(i) + " (" + operations[i] + ")";
}

class ConvertTest : public ::testing::Test {
protected:
    void Open(int width, moviemaker::SoundKind sound, int height = 16) {
        OpenIn(doc, width, sound, height);
    }
    // Makes a movie of 20 frames and opens it in `document`, shown in `frame`.
    void OpenIn(CLumekoDoc& document, int width, moviemaker::SoundKind sound, int height) {
        moviemaker::MovieSpec spec;
        spec.width = width;
        spec.height = height;
        spec.frames = 20;
        spec.sound = sound;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("source.avi")).Ok());
        document.AttachFrame(&frame);
        document.m_pendingFiles.push_back(dir.File("source.avi"));
        document.IdleProcess(0);
        ASSERT_TRUE(document.m_bOpen);
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
    ASSERT_TRUE(out.Ok());
    const int video = out->FindStream(movie::streamtypeVIDEO, 0),
              audio = out->FindStream(movie::streamtypeAUDIO, 0);
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
        ASSERT_TRUE(read.Ok());
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
        for (size_t k = 0; k < source[i].size(); ++k)
            sse += (source[i][k] - converted[i][k]) * (source[i][k] - converted[i][k]);
        bytes += static_cast<double>(source[i].size());
    }
    EXPECT_LT(sse / bytes, 250.0);
}

// Both stream headers field by field, and the sound's format: ADPCM becomes 16-bit PCM
// with the decoder's channels, PCM keeps its bits; a silent movie gets no sound stream.
TEST_F(ConvertTest, StreamHeadersAndSoundFormatForEachKindOfSound) {
    using moviemaker::SoundKind;
    struct Case {
        const char* name;
        SoundKind sound;
        uint16_t channels, bits;
    };
    const Case cases[] = {{"8-bit PCM", SoundKind::kPcm8, 2, 8},
                          {"16-bit PCM", SoundKind::kPcm16, 2, 16},
                          {"DK4 stereo", SoundKind::kDk4Stereo, 2, 16},
                          {"DK4 mono", SoundKind::kDk4Mono, 1, 16},
                          {"DK3", SoundKind::kDk3, 2, 16},
                          {"no sound", SoundKind::kNone, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestDocument fresh;
        OpenIn(fresh.doc, 32, c.sound, 24);
        host.choices = {"DIB "};
        fresh.doc.OnConvert(host);
        ASSERT_EQ(frame.panes[0], "変換終了");
        auto out = movie::AviReader::OpenFile(dir.File("out.avi"));
        ASSERT_TRUE(out.Ok());

        const int video = out->FindStream(movie::streamtypeVIDEO, 0);
        ASSERT_EQ(video, 0);
        const movie::AVISTREAMINFO& v = out->StreamInfo(video);
        EXPECT_EQ(v.fccHandler, FourCC("DIB "));
        EXPECT_EQ(v.dwFlags | v.dwCaps | v.wPriority | v.wLanguage | v.dwStart | v.dwInitialFrames |
                      v.dwQuality | v.dwSampleSize,
                  0u);
        EXPECT_EQ(v.dwScale, 1u);
        EXPECT_EQ(v.dwRate, 15u);
        EXPECT_EQ(v.dwLength, 20u);
        EXPECT_EQ(v.dwSuggestedBufferSize, 32u * 24 * 3);
        EXPECT_EQ(v.rcFrame.left | v.rcFrame.top, 0);
        EXPECT_EQ(v.rcFrame.right, 32);
        EXPECT_EQ(v.rcFrame.bottom, 24);
        EXPECT_STREQ(v.szName, "ZEVEDI TrueMotion Video #1");
        const auto bitmap = out->StreamFormat(video);
        ASSERT_EQ(bitmap.size(), 40u);
        EXPECT_EQ(LoadLE16(&bitmap[14]), 24) << "bits per pixel";
        EXPECT_EQ(LoadLE32(&bitmap[16]), 0u) << "BI_RGB";

        const int audio = out->FindStream(movie::streamtypeAUDIO, 0);
        if (c.sound == SoundKind::kNone) {
            EXPECT_EQ(audio, -1);
            EXPECT_EQ(out->StreamCount(), 1);
            continue;
        }
        ASSERT_EQ(audio, 1);
        const uint16_t align = static_cast<uint16_t>(c.channels * c.bits / 8);
        const movie::AVISTREAMINFO& a = out->StreamInfo(audio);
        EXPECT_EQ(a.fccHandler, 0u);
        EXPECT_EQ(a.dwScale, align);
        EXPECT_EQ(a.dwRate, 22050u * align);
        EXPECT_EQ(a.dwSampleSize, align);
        EXPECT_EQ(a.dwSuggestedBufferSize, fresh.doc.m_nAudioBufferSize);
        EXPECT_EQ(a.rcFrame.left | a.rcFrame.top | a.rcFrame.right | a.rcFrame.bottom, 0);
        EXPECT_EQ(a.dwFlags | a.dwStart | a.dwInitialFrames | a.dwQuality, 0u);
        EXPECT_STREQ(a.szName, "ZEVEDI TrueMotin Audio #1");
        // All of the sound: 20 frames at 15 per second, give or take one coded block.
        EXPECT_NEAR(static_cast<double>(a.dwLength), 22050.0 * 20 / 15, 1100.0);

        const auto pcm = out->StreamFormat(audio);
        ASSERT_EQ(pcm.size(), 18u);
        EXPECT_EQ(LoadLE16(&pcm[0]), 1) << "PCM";
        EXPECT_EQ(LoadLE16(&pcm[2]), c.channels);
        EXPECT_EQ(LoadLE32(&pcm[4]), 22050u);
        EXPECT_EQ(LoadLE32(&pcm[8]), 22050u * align);
        EXPECT_EQ(LoadLE16(&pcm[12]), align);
        EXPECT_EQ(LoadLE16(&pcm[14]), c.bits);
        EXPECT_EQ(LoadLE16(&pcm[16]), 0) << "no extra bytes";
    }
}

// The index flags follow what each compressor reports: key frames at the asked rhythm
// for the compressors that code deltas, every frame for those that do not.
TEST_F(ConvertTest, IndexKeyFlagsFollowTheKeyFrameRhythm) {
    struct Case {
        const char* codec;
        int32_t keyEvery;
        const char* keys;  // one letter per frame: K key, . delta
    };
    const Case cases[] = {
        {"DUCK", 15, "K..............K...."}, {"DUCK", 4, "K...K...K...K...K..."},
        {"DUCK", 0, "K..................."},  {"DUCK", 1, "KKKKKKKKKKKKKKKKKKKK"},
        {"MJPG", 15, "KKKKKKKKKKKKKKKKKKKK"}, {"DIB ", 4, "KKKKKKKKKKKKKKKKKKKK"},
        {"H264", 15, "K..............K...."}, {"H264", 6, "K.....K.....K.....K."},
        {"H264", 0, "K..................."},
    };
    Open(32, moviemaker::SoundKind::kDk4Mono);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.codec) + " every " + std::to_string(c.keyEvery));
        if (!HaveCompressor(c.codec)) continue;
        host.outputPath = dir.File("out.avi");
        host.choices = {c.codec};
        host.keyEvery = c.keyEvery;
        doc.OnConvert(host);
        ASSERT_EQ(frame.panes[0], "変換終了");
        std::string keys;
        for (bool key : IndexedVideoKeyFlags(dir.File("out.avi"))) keys += key ? 'K' : '.';
        EXPECT_EQ(keys, c.keys);
    }
}

// A data rate is held: the movie's pictures add up to about the asked kilobytes per
// second, far below what the same compressor writes at full quality.
TEST_F(ConvertTest, DataRateHoldsThePicturesSize) {
    Open(160, moviemaker::SoundKind::kNone, 120);
    const auto pictureBytes = [&] {
        auto out = movie::AviReader::OpenFile(dir.File("out.avi"));
        EXPECT_TRUE(out.Ok());
        uint64_t bytes = 0;
        std::vector<uint8_t> chunk(out->LargestChunkBytes(0));
        for (uint32_t i = 0; i < out->StreamInfo(0).dwLength; ++i)
            bytes += out->Read(0, i, 1, chunk)->bytes;
        return static_cast<double>(bytes);
    };
    // Rates each can reach on this picture: JPEG's own headers need some 600 bytes a frame.
    struct Case {
        const char* codec;
        int32_t rates[2];
    };
    for (const Case& c : {Case{"MJPG", {30, 60}}, Case{"H264", {10, 30}}}) {
        const char* codec = c.codec;
        SCOPED_TRACE(codec);
        if (!HaveCompressor(codec)) continue;
        host.outputPath = dir.File("out.avi");
        host.choices = {codec};
        host.dataRate = 0;
        doc.OnConvert(host);
        const double unbounded = pictureBytes();
        for (int32_t rate : c.rates) {
            SCOPED_TRACE(rate);
            host.outputPath = dir.File("out.avi");
            host.choices = {codec};
            host.dataRate = rate;
            doc.OnConvert(host);
            ASSERT_EQ(frame.panes[0], "変換終了");
            const double asked = rate * 1024.0 * 20 / 15;
            const double written = pictureBytes();
            EXPECT_LT(written, asked * 1.3);
            EXPECT_GT(written, asked * 0.4);
            EXPECT_LT(written, unbounded * 0.7);
        }
    }
}

// A full disk at any step: the message comes through the host, the end is never
// announced, no partial file stays, and the file that was there is untouched.
TEST_F(ConvertTest, WriteFailureAtAnyStepKeepsTheTargetAndReportsIt) {
    Open(32, moviemaker::SoundKind::kDk4Stereo);
    FaultyOutputFiles dryRun;
    host.files = &dryRun;
    host.choices = {"DIB "};
    doc.OnConvert(host);
    ASSERT_EQ(frame.panes[0], "変換終了");
    const std::vector<std::string> operations = dryRun.Operations();
    ASSERT_GT(operations.size(), 25u)
        << "create, headers, 20 frames, the sound, index, headers, commit";
    EXPECT_EQ(operations.front(), "create");
    EXPECT_EQ(operations.back(), "commit");

    const std::vector<uint8_t> previous = {'k', 'e', 'e', 'p'};
    for (size_t i = 0; i < operations.size(); ++i) {
        SCOPED_TRACE(Step(operations, i));
        WriteFileBytes(dir.File("out.avi"), previous);
        FaultyOutputFiles failing(static_cast<int>(i));
        host.files = &failing;
        host.outputPath = dir.File("out.avi");
        host.choices = {"DIB "};
        host.errors.clear();
        doc.OnConvert(host);
        EXPECT_EQ(host.errors.size(), 1u);
        EXPECT_NE(frame.panes[0], "変換終了");
        EXPECT_EQ(ReadFileBytes(dir.File("out.avi")), previous);
        EXPECT_EQ(NamesIn(dir), (std::vector<std::string>{"out.avi", "source.avi"}))
            << "no temporary file stays";
        // The document stays usable: the next conversion works.
    }
    host.files = nullptr;
    host.outputPath = dir.File("out.avi");
    host.choices = {"DIB "};
    host.errors.clear();
    doc.OnConvert(host);
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(frame.panes[0], "変換終了");
    EXPECT_NE(ReadFileBytes(dir.File("out.avi")), previous);
}

// Each compressor that cannot take the picture is refused at the sequence start with
// the message, and the dialog comes back preset as the first time.
TEST_F(ConvertTest, CompressorThatCannotStartAsksAgain) {
    struct Case {
        const char* codec;
        int width, height;
    };
    // An unknown code; H.264 on an odd height, which 4:2:0 cannot hold.
    const Case cases[] = {{"XXXX", 32, 16}, {"H264", 32, 15}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codec);
        if (!HaveCompressor(c.codec) && std::string(c.codec) != "XXXX") continue;
        TestDocument fresh;
        OpenIn(fresh.doc, c.width, moviemaker::SoundKind::kNone, c.height);
        host.presets.clear();
        host.errors.clear();
        host.choices = {c.codec, "MJPG"};
        fresh.doc.OnConvert(host);
        EXPECT_EQ(host.errors, (std::vector<std::string>{"このCODECには変換できません"}));
        ASSERT_EQ(host.presets.size(), 2u);
        for (const convert::COMPVARS& preset : host.presets) {
            EXPECT_EQ(preset.fccHandler, FourCC("DIB "));
            EXPECT_EQ(preset.lKey, 15);
            EXPECT_EQ(preset.lDataRate, 0);
            EXPECT_EQ(preset.lQ, 10000);
        }
        EXPECT_EQ(frame.panes[0], "変換終了");
        auto out = movie::AviReader::OpenFile(dir.File("out.avi"));
        ASSERT_TRUE(out.Ok());
        EXPECT_EQ(out->StreamInfo(0).fccHandler, FourCC("MJPG"));
    }
}

TEST_F(ConvertTest, MotionJpegFrames) {
    Open(32, moviemaker::SoundKind::kPcm8);
    host.choices = {"MJPG"};
    doc.OnConvert(host);
    auto out = movie::AviReader::OpenFile(dir.File("out.avi"));
    ASSERT_TRUE(out.Ok());
    const int video = out->FindStream(movie::streamtypeVIDEO, 0);
    EXPECT_EQ(out->StreamInfo(video).fccHandler, movie::MakeFourCC("MJPG"));
    std::vector<uint8_t> sample(out->LargestChunkBytes(video));
    auto read = out->Read(video, 0, 1, sample);
    ASSERT_TRUE(read.Ok());
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
    EXPECT_EQ(NamesIn(dir), std::vector<std::string>{"source.avi"});
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

// The movie being converted is refused as the output under any of its names, with the
// reason; the terminal's refusal to replace a file reaches the writer.
TEST_F(ConvertTest, SourceUnderAnotherNameIsNeverTheOutput) {
    Open(32, moviemaker::SoundKind::kNone);
    std::filesystem::create_hard_link(dir.File("source.avi"), dir.File("hard.avi"));
    std::filesystem::create_symlink("source.avi", dir.File("link.avi"));
    const auto source = ReadFileBytes(dir.File("source.avi"));
    for (const char* name : {"hard.avi", "link.avi"}) {
        SCOPED_TRACE(name);
        host.errors.clear();
        host.reasons.clear();
        host.outputPath = dir.File(name);
        host.choices = {"DIB "};
        doc.OnConvert(host);
        EXPECT_EQ(host.errors, (std::vector<std::string>{"変換元のﾌｧｲﾙには書き込めません"}));
        ASSERT_EQ(host.reasons.size(), 1u);
        EXPECT_EQ(host.reasons[0], dir.File(name) + ": is the movie being converted");
        EXPECT_EQ(ReadFileBytes(dir.File("source.avi")), source);
    }
    // An existing file stays when replacing it is not allowed.
    WriteFileBytes(dir.File("out.avi"), {'k', 'e', 'e', 'p'});
    host.errors.clear();
    host.mayReplace = false;
    host.outputPath = dir.File("out.avi");
    host.choices = {"DIB "};
    doc.OnConvert(host);
    EXPECT_EQ(host.errors, (std::vector<std::string>{dir.File("out.avi") + ": already exists"}));
    EXPECT_EQ(ReadFileBytes(dir.File("out.avi")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(NamesIn(dir),
              (std::vector<std::string>{"hard.avi", "link.avi", "out.avi", "source.avi"}));
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

// Decoding ahead on its own thread changes nothing in what our compressor is given: the
// converted movie's frames are the encoder's frames of the source's pictures, in order,
// a key frame every 15.
TEST_F(ConvertTest, TrueMotionFramesAreTheEncodersFramesOfTheSourcePictures) {
    Open(48, moviemaker::SoundKind::kNone, 24);
    host.choices = {"DUCK"};
    doc.OnConvert(host);
    ASSERT_EQ(frame.panes[0], "変換終了");
    const auto source = DecodedFrames(dir.File("source.avi"));
    auto encoder = truemotion::TrueMotionEncoder::Create(48, 24, {});
    ASSERT_TRUE(encoder.Ok());
    auto out = movie::AviReader::OpenFile(dir.File("out.avi"));
    ASSERT_TRUE(out.Ok());
    const int video = out->FindStream(movie::streamtypeVIDEO, 0);
    ASSERT_GE(video, 0);
    ASSERT_EQ(out->StreamInfo(video).dwLength, source.size());
    std::vector<uint8_t> expected, chunk(out->LargestChunkBytes(video));
    for (uint32_t i = 0; i < source.size(); ++i) {
        i % 15 == 0 ? encoder->EncodeKeyFrame(source[i], expected)
                    : encoder->EncodeDeltaFrame(source[i], expected);
        const auto read = out->Read(video, i, 1, chunk);
        ASSERT_TRUE(read.Ok());
        EXPECT_TRUE(std::equal(chunk.begin(), chunk.begin() + read->bytes, expected.begin(),
                               expected.end()))
            << "frame " << i;
    }
}

}  // namespace
