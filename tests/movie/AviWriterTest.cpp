#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "AviTestFiles.h"
#include "base/ByteReader.h"
#include "movie/AviReader.h"
#include "movie/AviWriter.h"
#include "support/FaultyOutputFiles.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

namespace {

using avitest::RiffChunk;
using avitest::TestStream;
using movie::AviWriter;
using movie::MakeFourCC;

std::string FourCCText(uint32_t id) {
    return {static_cast<char>(id), static_cast<char>(id >> 8), static_cast<char>(id >> 16),
            static_cast<char>(id >> 24)};
}

std::vector<std::string> FilesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class AviWriterTest : public ::testing::Test {
protected:
    TempDir dir;
};

// The stored structure, read field by field: what other programs rely on.
TEST_F(AviWriterTest, WritesHeadersIndexAndAlignedChunks) {
    TestStream video = avitest::VideoStream("DUCK", 7);
    video.info.dwSuggestedBufferSize = 100;  // raised to the largest frame
    TestStream sound = avitest::AudioStream(1, 2, 4, 16, {20, 13, 28, 8, 400});
    sound.info.dwSuggestedBufferSize = 4096;  // a caller's larger size stands
    const std::string path = dir.File("movie.avi");
    avitest::WriteMovie(path, {video, sound}, avitest::Order::kVideoThenAudio);
    const auto file = ReadFileBytes(path);
    ASSERT_GT(file.size(), 12u);

    // One RIFF that spans the file exactly; every chunk starts on an even offset and
    // the pad bytes are zero.
    EXPECT_EQ(LoadLE32(&file[4]), file.size() - 8);
    const auto chunks = avitest::WalkRiff(file);
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks[0].End(), file.size());
    for (const RiffChunk& c : chunks) {
        EXPECT_EQ(c.header % 2, 0u) << FourCCText(c.id);
        if (c.size & 1) {
            EXPECT_EQ(file[c.DataStart() + c.size], 0) << FourCCText(c.id);
        }
    }

    uint32_t moviBytes = 0;
    for (const auto& s : {video, sound})
        for (const auto& c : s.chunks)
            moviBytes += 8 + static_cast<uint32_t>(c.size() + (c.size() & 1));
    const RiffChunk avih = avitest::FindChunk(file, "avih");
    ASSERT_EQ(avih.size, 56u);
    const uint8_t* h = &file[avih.DataStart()];
    EXPECT_EQ(LoadLE32(h + 0), 66667u);                    // dwMicroSecPerFrame at 15 fps
    EXPECT_EQ(LoadLE32(h + 4), (moviBytes * 15 + 6) / 7);  // dwMaxBytesPerSec over 7 frames
    EXPECT_EQ(LoadLE32(h + 12) & 0x10, 0x10u);             // AVIF_HASINDEX
    EXPECT_EQ(LoadLE32(h + 16), 7u);                       // dwTotalFrames
    EXPECT_EQ(LoadLE32(h + 24), 2u);                       // dwStreams
    EXPECT_EQ(LoadLE32(h + 28), 4096u);  // dwSuggestedBufferSize: the largest stream's
    EXPECT_EQ(LoadLE32(h + 32), 32u);    // dwWidth
    EXPECT_EQ(LoadLE32(h + 36), 16u);    // dwHeight

    // Stream headers: video length in frames, audio length in blocks (13 bytes hold 3).
    std::vector<RiffChunk> strh;
    for (const RiffChunk& c : chunks)
        if (c.id == MakeFourCC("strh")) strh.push_back(c);
    ASSERT_EQ(strh.size(), 2u);
    EXPECT_EQ(LoadLE32(&file[strh[0].DataStart() + 32]), 7u);
    EXPECT_EQ(LoadLE32(&file[strh[1].DataStart() + 32]), 5u + 3 + 7 + 2 + 100);
    EXPECT_EQ(LoadLE32(&file[strh[0].DataStart() + 36]), 171u);  // largest frame
    EXPECT_EQ(LoadLE32(&file[strh[1].DataStart() + 36]), 4096u);
    std::vector<std::string> names;
    for (const RiffChunk& c : chunks)
        if (c.id == MakeFourCC("strn"))
            names.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(c.DataStart()),
                               file.begin() + static_cast<std::ptrdiff_t>(c.DataStart() + c.size));
    EXPECT_EQ(names, (std::vector<std::string>{std::string("test video", 11),
                                               std::string("test audio", 11)}));

    // The index lists the chunks in file order, from the 'movi' list type, with their
    // ids, sizes and key flags.
    const RiffChunk movi = avitest::FindChunk(file, "LIST", "movi");
    const RiffChunk idx1 = avitest::FindChunk(file, "idx1");
    ASSERT_EQ(idx1.size, 16u * 12);
    size_t entry = idx1.DataStart();
    for (const auto* s : {&video, &sound}) {
        for (size_t k = 0; k < s->chunks.size(); ++k, entry += 16) {
            const std::string id = FourCCText(LoadLE32(&file[entry]));
            EXPECT_EQ(id, s == &video ? "00dc" : "01wb");
            EXPECT_EQ(LoadLE32(&file[entry + 4]), s->keys[k] ? movie::AVIIF_KEYFRAME : 0u)
                << id << k;
            const size_t at = movi.DataStart() + LoadLE32(&file[entry + 8]);
            EXPECT_EQ(FourCCText(LoadLE32(&file[at])), id);
            EXPECT_EQ(LoadLE32(&file[at + 4]), s->chunks[k].size());
            EXPECT_EQ(LoadLE32(&file[entry + 12]), s->chunks[k].size());
            EXPECT_TRUE(std::equal(s->chunks[k].begin(), s->chunks[k].end(),
                                   file.begin() + static_cast<std::ptrdiff_t>(at + 8)));
        }
    }
}

TEST_F(AviWriterTest, ChunkIdsFollowStreamNumberAndKind) {
    struct Case {
        uint32_t type;
        const char* handler;
        int stream;
        const char* id;
    };
    const Case cases[] = {
        {movie::streamtypeVIDEO, "DUCK", 0, "00dc"},
        {movie::streamtypeVIDEO, "DIB ", 0, "00db"},
        {movie::streamtypeAUDIO, "\0\0\0\0", 1, "01wb"},
        {movie::streamtypeVIDEO, "cvid", 12, "12dc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const std::string path = dir.File("ids.avi");
        {
            auto writer = AviWriter::Create(path);
            ASSERT_TRUE(writer.Ok());
            movie::AVISTREAMINFO info;
            info.fccType = c.type;
            info.fccHandler = LoadLE32(reinterpret_cast<const uint8_t*>(c.handler));
            for (int n = 0; n <= c.stream; ++n) ASSERT_TRUE(writer->AddStream(info, {}).Ok());
            const uint8_t data[3] = {1, 2, 3};
            ASSERT_TRUE(writer->Write(c.stream, data, true).Ok());
            ASSERT_TRUE(writer->Finish().Ok());
        }
        const auto file = ReadFileBytes(path);
        const RiffChunk idx1 = avitest::FindChunk(file, "idx1");
        EXPECT_EQ(FourCCText(LoadLE32(&file[idx1.DataStart()])), c.id);
        EXPECT_NE(FindBytes(file, std::string(c.id) + std::string("\3\0\0\0", 4)),
                  std::string::npos);
    }
}

TEST_F(AviWriterTest, OrderOfCallsIsChecked) {
    const TestStream video = avitest::VideoStream("DUCK", 1);
    auto writer = AviWriter::Create(dir.File("movie.avi"));
    ASSERT_TRUE(writer.Ok());
    EXPECT_FALSE(writer->Write(0, video.chunks[0], true).Ok());  // no stream yet
    ASSERT_EQ(writer->AddStream(video.info, video.format).Value(), 0);
    ASSERT_TRUE(writer->Write(0, video.chunks[0], true).Ok());
    EXPECT_FALSE(writer->AddStream(video.info, video.format).Ok());  // after the movie data began
    EXPECT_FALSE(writer->Write(1, video.chunks[0], true).Ok());
    EXPECT_FALSE(writer->Write(-1, video.chunks[0], true).Ok());
    ASSERT_TRUE(writer->Finish().Ok());
    EXPECT_FALSE(writer->Finish().Ok());
    EXPECT_FALSE(writer->Write(0, video.chunks[0], true).Ok());
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"movie.avi"});
}

// A movie with streams but no data is still a file others can open.
TEST_F(AviWriterTest, EmptyMovieIsReadable) {
    const TestStream video = avitest::VideoStream("DUCK", 0);
    const TestStream sound = avitest::AudioStream(1, 2, 4, 16, {});
    avitest::WriteMovie(dir.File("empty.avi"), {video, sound});
    auto reader = movie::AviReader::OpenFile(dir.File("empty.avi"));
    ASSERT_TRUE(reader.Ok()) << reader.Error().message;
    EXPECT_EQ(reader->StreamCount(), 2);
    EXPECT_EQ(reader->StreamInfo(1).dwLength, 0u);
    std::vector<uint8_t> buffer(16);
    EXPECT_FALSE(reader->Read(0, 0, 1, buffer).Ok());
}

TEST_F(AviWriterTest, AbandonedWriterLeavesNothing) {
    const TestStream video = avitest::VideoStream("DUCK", 2);
    {
        auto writer = AviWriter::Create(dir.File("movie.avi"));
        ASSERT_TRUE(writer.Ok());
        ASSERT_TRUE(writer->AddStream(video.info, video.format).Ok());
        ASSERT_TRUE(writer->Write(0, video.chunks[0], true).Ok());
        EXPECT_EQ(FilesIn(dir).size(), 1u);  // the temporary file
        EXPECT_FALSE(std::filesystem::exists(dir.File("movie.avi")));
    }
    EXPECT_TRUE(FilesIn(dir).empty());

    auto nowhere = AviWriter::Create(dir.File("no/such/folder/movie.avi"));
    ASSERT_FALSE(nowhere.Ok());
    EXPECT_EQ(nowhere.Error().kind, ErrorKind::Io);
}

TEST_F(AviWriterTest, FailedWriteNeverReplacesTheTarget) {
    const TestStream video = avitest::VideoStream("DUCK", 3);
    const std::string path = dir.File("movie.avi");
    const std::vector<uint8_t> previous = {'o', 'l', 'd'};
    // Operations: create, headers, 3 chunks, index, headers again, commit.
    struct Case {
        const char* what;
        int failAt;
    };
    const Case cases[] = {{"the first headers", 1},
                          {"a chunk", 3},
                          {"the index", 5},
                          {"the final headers", 6},
                          {"the commit", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(path, previous);
        {
            FaultyOutputFiles files(c.failAt);
            auto writer = AviWriter::Create(path, files);
            ASSERT_TRUE(writer.Ok());
            ASSERT_TRUE(writer->AddStream(video.info, video.format).Ok());
            Result<void> result;
            for (size_t k = 0; k < video.chunks.size() && result.Ok(); ++k)
                result = writer->Write(0, video.chunks[k], true);
            const bool failedInWrite = !result.Ok();
            if (result.Ok()) result = writer->Finish();
            ASSERT_FALSE(result.Ok());
            EXPECT_EQ(result.Error().kind, ErrorKind::Io);
            EXPECT_EQ(result.Error().message, path + ": No space left on device")
                << "the cause, not just that it failed";
            EXPECT_EQ(failedInWrite, c.failAt < 5);
            // Once broken, the writer stays broken.
            EXPECT_FALSE(writer->Write(0, video.chunks[0], true).Ok());
            EXPECT_FALSE(writer->Finish().Ok());
            EXPECT_EQ(ReadFileBytes(path), previous);
        }
        EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"movie.avi"});
        EXPECT_EQ(ReadFileBytes(path), previous);
    }
}

// An independent tool that does not decode the video sees our streams.
TEST_F(AviWriterTest, MediaInfoSeesTheStreams) {
    if (std::system("mediainfo --Version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "mediainfo is not installed";
    TestStream video = avitest::VideoStream("DIB ", 5);
    for (auto& frame : video.chunks) frame.assign(32 * 16 * 3, 0x80);
    const TestStream sound = avitest::AudioStream(1, 2, 4, 16, {2940, 2940, 2940, 2940, 2940});
    const std::string path = dir.File("movie.avi");
    avitest::WriteMovie(path, {video, sound});

    // One line per query: the counts of streams, the picture, the sound.
    const std::string out = dir.File("mediainfo.txt");
    std::string command = "true";
    for (const char* query :
         {"General;%VideoCount% %AudioCount%", "Video;%Width%x%Height% %FrameCount%",
          "Audio;%Channel(s)% %SamplingRate%"})
        command +=
            std::string(" && mediainfo '--Inform=") + query + "' '" + path + "' >> '" + out + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto bytes = ReadFileBytes(out);
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string general, picture, audio;
    std::getline(lines, general);
    std::getline(lines, picture);
    std::getline(lines, audio);
    EXPECT_EQ(general, "1 1");
    EXPECT_EQ(picture, "32x16 5");
    EXPECT_EQ(audio, "2 22050");
}

}  // namespace
