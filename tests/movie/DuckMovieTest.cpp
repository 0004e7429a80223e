#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "audio/AudioFormat.h"
#include "base/ByteReader.h"
#include "movie/DuckMovie.h"
#include "moviemaker/MovieMaker.h"
#include "support/FileBytes.h"
#include "support/MadeMovie.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"

namespace {

using moviemaker::MovieSpec;
using moviemaker::SoundKind;

MovieSpec SmallMovie(SoundKind sound = SoundKind::kDk4Stereo) {
    MovieSpec spec;
    spec.width = 32;
    spec.height = 16;
    spec.frames = 6;
    spec.keyEvery = 3;
    spec.sound = sound;
    return spec;
}

class DuckMovieTest : public ::testing::Test {
protected:
    std::string Make(const MovieSpec& spec, const std::string& name = "movie.avi") {
        return MakeMovieIn(dir, spec, name);
    }
    std::vector<uint8_t> Picture() const { return std::vector<uint8_t>(32 * 16 * 3); }

    TempDir dir;
    RecordingMessageBox messages;
    CDuckMovie movie{messages};
};

TEST_F(DuckMovieTest, OpensReadsEveryFrameAndAllSound) {
    struct Case {
        SoundKind sound;
        uint16_t tag;
        uint16_t decodedChannels;
        uint32_t chunkFactor;
    };
    for (const Case& c :
         {Case{SoundKind::kPcm8, 1, 2, 1}, Case{SoundKind::kPcm16, 1, 2, 1},
          Case{SoundKind::kDk4Stereo, 0x61, 2, 4}, Case{SoundKind::kDk4Mono, 0x61, 1, 4},
          Case{SoundKind::kDk3, 0x62, 2, 6}}) {
        ASSERT_EQ(movie.Open(Make(SmallMovie(c.sound))), 1);
        EXPECT_EQ(movie.GetFrameCount(), 6u);
        EXPECT_EQ(movie.GetRate(), 15u);
        EXPECT_EQ(movie.GetScale(), 1u);
        movie::WAVEFORMATEX wfx;
        movie.GetWaveFormat(&wfx);
        EXPECT_EQ(wfx.wFormatTag, c.tag);
        EXPECT_EQ(movie.GetDecodedChannels(), c.decodedChannels);
        EXPECT_EQ(movie.GetAudioChunkSize(),
                  movie.GetAudioInfo().dwSuggestedBufferSize * c.chunkFactor);

        auto picture = Picture();
        for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(movie.ReadFrame(i, picture.data()), 1) << i;
        EXPECT_EQ(movie.ReadFrame(6, picture.data()), -1);
        EXPECT_EQ(movie.GetSourceDepth(), 24);

        // All of the sound comes out, then 0; a rewind starts it again.
        std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
        uint64_t total = 0;
        while (const uint32_t bytes = movie.ReadAudio(chunk.data())) total += bytes;
        const uint64_t frames = total / (movie.GetDecodedChannels() *
                                         (wfx.wFormatTag == 1 ? wfx.wBitsPerSample / 8 : 2));
        EXPECT_NEAR(static_cast<double>(frames) / wfx.nSamplesPerSec, 6 / 15.0, 0.1);
        EXPECT_EQ(movie.ReadAudio(chunk.data()), 0u);
        movie.RewindAudio();
        EXPECT_GT(movie.ReadAudio(chunk.data()), 0u);
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(DuckMovieTest, BitmapHeaderAndClosedAccessors) {
    movie::BITMAPINFOHEADER bmih;
    EXPECT_EQ(movie.GetFrameCount(), 0u);
    EXPECT_EQ(movie.GetBitmapHeader(&bmih), 0);
    auto picture = Picture();
    EXPECT_EQ(movie.ReadFrame(0, picture.data()), -1);
    std::vector<uint8_t> chunk(16);
    EXPECT_EQ(movie.ReadAudio(chunk.data()), 0u);

    ASSERT_EQ(movie.Open(Make(SmallMovie())), 1);
    ASSERT_EQ(movie.GetBitmapHeader(&bmih), 1);
    EXPECT_EQ(bmih.biSize, 40u);
    EXPECT_EQ(bmih.biWidth, 32);
    EXPECT_EQ(bmih.biHeight, 16);
    EXPECT_EQ(bmih.biBitCount, 24);
    EXPECT_EQ(bmih.biCompression, 0u);
    EXPECT_EQ(bmih.biSizeImage, 16u * 96u);
    movie.Close();
    EXPECT_EQ(movie.GetBitmapHeader(&bmih), 0);
    EXPECT_EQ(movie.GetFrameCount(), 0u);
}

// The image size comes from the file header, rounded to 4-byte rows: 321 × 240 → 240 × 964.
TEST_F(DuckMovieTest, ImageSizeFollowsTheFileHeader) {
    auto bytes = ReadFileBytes(Make(SmallMovie()));
    const size_t avih = FindBytes(bytes, "avih");
    StoreLE32(&bytes[avih + 8 + 32], 321);
    StoreLE32(&bytes[avih + 8 + 36], 240);
    WriteFileBytes(dir.File("wide.avi"), bytes);
    ASSERT_EQ(movie.Open(dir.File("wide.avi")), 1);
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    EXPECT_EQ(bmih.biSizeImage, 231360u);
    EXPECT_EQ(bmih.biWidth, 32);  // the picture keeps frame 0's size
}

TEST_F(DuckMovieTest, TwoThirdsWidthMovieDisplaysWider) {
    MovieSpec spec = SmallMovie(SoundKind::kNone);
    spec.mode = truemotion::EncoderMode::kStretch;
    spec.width = 48;
    ASSERT_EQ(movie.Open(Make(spec)), 1);
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    EXPECT_EQ(bmih.biWidth, 48);
    EXPECT_EQ(movie.GetAudioChunkSize(), 0u);
    std::vector<uint8_t> picture(48 * 16 * 3);
    EXPECT_EQ(movie.ReadFrame(0, picture.data()), 1);
    EXPECT_EQ(movie.GetSourceDepth(), 15);
}

// Byte surgery on a good movie; each outcome is what a user would see.
// A file that cannot be played is refused with the reason, naming it; a pipe or a
// folder is refused before it is opened, so nothing waits for a writer.
TEST_F(DuckMovieTest, RefusedFilesSayWhy) {
    const auto good = ReadFileBytes(Make(SmallMovie()));
    const size_t videoStrh = FindBytes(good, "strh");
    ASSERT_EQ(::mkfifo(dir.File("pipe.avi").c_str(), 0644), 0);
    std::filesystem::create_directory(dir.File("folder.avi"));
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;  // null: the name as it is
        const char* reason;
    };
    const Case cases[] = {
        {"missing.avi", nullptr, "missing.avi: No such file or directory"},
        {"pipe.avi", nullptr, "pipe.avi: is a named pipe (FIFO), not a file"},
        {"folder.avi", nullptr, "folder.avi: is a directory"},
        {"text.avi",
         [](auto& b) {
             b.assign({'t', 'e', 'x', 't'});
         },
         "text.avi: not an AVI file"},
        {"cvid.avi", [&](auto& b) { std::copy_n("cvid", 4, b.begin() + videoStrh + 12); },
         "cvid.avi: video is 'cvid', not TrueMotion"},
        {"rate0.avi", [&](auto& b) { StoreLE32(&b[videoStrh + 8 + 24], 0); },
         "rate0.avi: the video has no frame rate (rate 0, scale 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        if (c.damage) {
            auto bytes = good;
            c.damage(bytes);
            WriteFileBytes(path, bytes);
        }
        EXPECT_EQ(movie.Open(path), 0);
        EXPECT_EQ(movie.GetOpenError(), dir.File(c.reason));
    }
    ASSERT_EQ(movie.Open(dir.File("movie.avi")), 1);
    EXPECT_EQ(movie.GetOpenError(), "");
}

TEST_F(DuckMovieTest, MemoryImageServesWhatTheFileServes) {
    const std::string path = Make(SmallMovie());
    ASSERT_EQ(movie.Open(path), 1);
    std::vector<std::vector<uint8_t>> pictures;
    for (uint32_t i = 0; i < 6; ++i) {
        pictures.push_back(Picture());
        ASSERT_EQ(movie.ReadFrame(i, pictures.back().data()), 1);
    }
    std::vector<uint8_t> fromFile(movie.GetAudioChunkSize());
    fromFile.resize(movie.ReadAudio(fromFile.data()));

    // The movie keeps its own copy: the caller's image may go away at once.
    auto image = ReadFileBytes(path);
    ASSERT_EQ(movie.OpenMemory(image), 1);
    std::fill(image.begin(), image.end(), uint8_t{0});
    EXPECT_TRUE(movie.GetPath().empty());
    for (uint32_t i = 0; i < 6; ++i) {
        auto picture = Picture();
        ASSERT_EQ(movie.ReadFrame(i, picture.data()), 1);
        EXPECT_EQ(picture, pictures[i]) << i;
    }
    std::vector<uint8_t> fromMemory(movie.GetAudioChunkSize());
    fromMemory.resize(movie.ReadAudio(fromMemory.data()));
    EXPECT_EQ(fromMemory, fromFile);

    EXPECT_EQ(movie.OpenMemory(std::span(image).first(100)), 0);
    EXPECT_FALSE(movie.IsOpen());
}

// Frames read over the picture of the frame before, in one bitmap or in a ring of them,
// give what whole writes give, through seeks back and forth, repeats and a reopening.
TEST_F(DuckMovieTest, FramesOverThePreviousPictureEqualWholeWrites) {
    MovieSpec spec = SmallMovie(SoundKind::kNone);
    spec.frames = 9;
    spec.keyEvery = 4;
    const std::string path = Make(spec);
    CDuckMovie reference{messages};
    ASSERT_EQ(reference.Open(path), 1);
    ASSERT_EQ(movie.Open(path), 1);
    auto expected = Picture(), same = Picture();
    std::vector<std::vector<uint8_t>> ring(3, Picture());
    const uint8_t* last = nullptr;
    const uint32_t order[] = {0, 1, 2, 3, 5, 6, 6, 7, 2, 3, 4, 8, 1, 2};
    for (size_t n = 0; n < std::size(order); ++n) {
        const uint32_t i = order[n];
        if (n == 8) {
            // Reopening forgets every picture; the caller's word alone does not count.
            ASSERT_EQ(movie.Open(path), 1);
            ASSERT_EQ(reference.Open(path), 1);
        }
        ASSERT_EQ(reference.ReadFrame(i, expected.data()), 1);
        ASSERT_EQ(movie.ReadFrame(i, same.data(), same.data()), 1);
        EXPECT_EQ(same, expected) << "frame " << i << " at read " << n << ", one bitmap";
        uint8_t* slot = ring[n % ring.size()].data();
        ASSERT_EQ(movie.ReadFrame(i, slot, last), 1);
        last = slot;
        EXPECT_EQ(ring[n % ring.size()], expected) << "frame " << i << " at read " << n << ", ring";
        // The ring read came between: the one bitmap now holds an older decode.
        ASSERT_EQ(movie.ReadFrame(i, same.data()), 1);
    }
}

TEST_F(DuckMovieTest, ReopeningClosesThePreviousFile) {
    const std::string first = Make(SmallMovie(), "a.avi");
    MovieSpec other = SmallMovie(SoundKind::kNone);
    other.frames = 3;
    const std::string second = Make(other, "b.avi");
    ASSERT_EQ(movie.Open(first), 1);
    ASSERT_EQ(movie.Open(second), 1);
    EXPECT_EQ(movie.GetFrameCount(), 3u);
    EXPECT_FALSE(movie.HasAudio());
    EXPECT_EQ(movie.Open(dir.File("missing.avi")), 0);
    EXPECT_FALSE(movie.IsOpen());
}

}  // namespace
