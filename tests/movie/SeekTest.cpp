#include <gtest/gtest.h>

#include <cstring>
#include <string>
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
using truemotion::EncoderMode;

constexpr int kWidth = 48;
constexpr int kHeight = 32;
constexpr int kFrames = 70;

MovieSpec Spec(int keyEvery, EncoderMode mode = EncoderMode::k24Bit,
               SoundKind sound = SoundKind::kNone) {
    MovieSpec spec;
    spec.width = kWidth;
    spec.height = kHeight;
    spec.frames = kFrames;
    spec.keyEvery = keyEvery;
    spec.mode = mode;
    spec.sound = sound;
    return spec;
}

class SeekTest : public ::testing::Test {
protected:
    std::string Make(const MovieSpec& spec, const std::string& name = "movie.avi") {
        return MakeMovieIn(dir, spec, name);
    }
    // Every frame's picture and result when decoded in order into one picture.
    struct Decoded {
        std::vector<std::vector<uint8_t>> pictures;
        std::vector<int> results;
    };
    Decoded DecodeInOrder(const std::string& path) {
        CDuckMovie fresh(messages);
        EXPECT_EQ(fresh.Open(path), 1);
        Decoded d;
        std::vector<uint8_t> picture(kPictureBytes);
        for (uint32_t i = 0; i < fresh.GetFrameCount(); ++i) {
            d.results.push_back(fresh.ReadFrame(i, picture.data()));
            d.pictures.push_back(picture);
        }
        return d;
    }
    // Seeks in `order` in one movie object; each seek must give the in-order picture.
    void ExpectSeeksMatch(const std::string& path, const std::vector<uint32_t>& order,
                          const std::string& what) {
        const Decoded expected = DecodeInOrder(path);
        ASSERT_EQ(movie.Open(path), 1);
        for (const uint32_t frame : order) {
            std::vector<uint8_t> picture(kPictureBytes, 0xAB);
            const int result = movie.SeekFrame(frame, picture.data());
            ASSERT_EQ(result, expected.results[frame]) << what << " frame " << frame;
            ASSERT_EQ(picture, expected.pictures[frame]) << what << " frame " << frame;
            // Reading on in order after a seek goes on with the right pictures.
            if (frame + 1 < kFrames) {
                ASSERT_EQ(movie.ReadFrame(frame + 1, picture.data()), expected.results[frame + 1]);
                ASSERT_EQ(picture, expected.pictures[frame + 1])
                    << what << " frame after " << frame;
            }
        }
    }

    static constexpr size_t kPictureBytes = size_t{kWidth} * kHeight * 3;
    TempDir dir;
    RecordingMessageBox messages;
    CDuckMovie movie{messages};
};

// Back and forth, near and far, the same frame twice, the first and the last.
const std::vector<uint32_t> kSeekOrder = {0, 69, 33, 34, 34, 12, 5,  61, 60, 59,
                                          1, 68, 7,  6,  14, 13, 40, 0,  20};

TEST_F(SeekTest, SeekGivesThePictureOfDecodingInOrder) {
    struct Case {
        int keyEvery;
        EncoderMode mode;
    };
    for (const Case& c :
         {Case{1, EncoderMode::k24Bit}, Case{7, EncoderMode::k24Bit}, Case{60, EncoderMode::k24Bit},
          Case{1000000, EncoderMode::k24Bit}, Case{7, EncoderMode::k15Bit},
          Case{1000000, EncoderMode::k15Bit}, Case{7, EncoderMode::kStretch}}) {
        const std::string what = "key every " + std::to_string(c.keyEvery) + " mode " +
                                 std::to_string(static_cast<int>(c.mode));
        ExpectSeeksMatch(Make(Spec(c.keyEvery, c.mode)), kSeekOrder, what);
    }
}

TEST_F(SeekTest, KeyFramesComeFromTheHeaders) {
    ASSERT_EQ(movie.Open(Make(Spec(7))), 1);
    EXPECT_EQ(movie.FindKeyFrame(0), 0u);
    EXPECT_EQ(movie.FindKeyFrame(6), 0u);
    EXPECT_EQ(movie.FindKeyFrame(7), 7u);
    EXPECT_EQ(movie.FindKeyFrame(20), 14u);
    EXPECT_EQ(movie.FindKeyFrame(1000), 63u);
    ASSERT_EQ(movie.Open(Make(Spec(1000000), "delta.avi")), 1);
    EXPECT_EQ(movie.FindKeyFrame(69), 0u);
}

// Rewrites the key flag of every video entry of the index.
void SetVideoKeyFlags(std::vector<uint8_t>& bytes, bool key) {
    const size_t idx1 = FindBytes(bytes, "idx1");
    ASSERT_NE(idx1, std::string::npos);
    const uint32_t size = LoadLE32(bytes.data() + idx1 + 4);
    for (size_t e = idx1 + 8; e + 16 <= idx1 + 8 + size; e += 16) {
        if (bytes[e + 2] != 'd') continue;  // "00dc": video
        uint32_t flags = LoadLE32(bytes.data() + e + 4);
        flags = key ? flags | 0x10 : flags & ~0x10u;
        for (int b = 0; b < 4; ++b)
            bytes[e + 4 + static_cast<size_t>(b)] = static_cast<uint8_t>(flags >> (8 * b));
    }
}

TEST_F(SeekTest, IndexFlagsThatLieDoNotMisleadTheSeek) {
    for (const bool flagEveryFrame : {true, false}) {
        const std::string path = Make(Spec(7), flagEveryFrame ? "every.avi" : "none.avi");
        auto bytes = ReadFileBytes(path);
        SetVideoKeyFlags(bytes, flagEveryFrame);
        WriteFileBytes(path, bytes);
        const std::string what = flagEveryFrame ? "key flags on delta frames" : "no key flags";
        ExpectSeeksMatch(path, kSeekOrder, what);
        EXPECT_EQ(movie.FindKeyFrame(20), 14u) << what;
        EXPECT_EQ(movie.FindKeyFrame(13), 7u) << what;
    }
}

TEST_F(SeekTest, PastTheEndAndClosedAreRefused) {
    std::vector<uint8_t> picture(kPictureBytes, 0xAB);
    EXPECT_EQ(movie.SeekFrame(0, picture.data()), -1);
    ASSERT_EQ(movie.Open(Make(Spec(7))), 1);
    EXPECT_EQ(movie.SeekFrame(kFrames, picture.data()), -1);
    EXPECT_EQ(picture, std::vector<uint8_t>(kPictureBytes, 0xAB));
    EXPECT_EQ(movie.SeekFrame(kFrames - 1, picture.data()), 1);
}

// All of the sound from the current position, as decoded PCM bytes.
std::vector<uint8_t> ReadAllSound(CDuckMovie& movie) {
    std::vector<uint8_t> all, chunk(movie.GetAudioChunkSize());
    while (const uint32_t bytes = movie.ReadAudio(chunk.data()))
        all.insert(all.end(), chunk.begin(), chunk.begin() + bytes);
    return all;
}

TEST_F(SeekTest, SoundAfterASeekIsTheWholeSoundFromTheFramesStart) {
    for (const SoundKind sound : {SoundKind::kPcm8, SoundKind::kPcm16, SoundKind::kDk4Stereo,
                                  SoundKind::kDk4Mono, SoundKind::kDk3}) {
        ASSERT_EQ(movie.Open(Make(Spec(7, EncoderMode::k24Bit, sound))), 1);
        movie::WAVEFORMATEX wfx;
        movie.GetWaveFormat(&wfx);
        const size_t frameBytes = size_t{movie.GetDecodedChannels()} *
                                  (wfx.wFormatTag == WAVE_FORMAT_PCM ? wfx.wBitsPerSample / 8 : 2);
        const std::vector<uint8_t> whole = ReadAllSound(movie);
        ASSERT_GT(whole.size(), 0u);
        // Frames whose start falls at a block's start, inside one, and the last frame.
        for (const uint32_t frame : {1u, 2u, 3u, 17u, 50u, 69u}) {
            movie.SeekAudio(frame);
            const size_t from = movie.AudioSampleOfFrame(frame) * frameBytes;
            ASSERT_LT(from, whole.size());
            const std::vector<uint8_t> expected(whole.begin() + static_cast<std::ptrdiff_t>(from),
                                                whole.end());
            EXPECT_EQ(ReadAllSound(movie), expected)
                << "sound " << static_cast<int>(sound) << " frame " << frame;
        }
        // Past the sound's end there is nothing more; a rewind starts it again whole.
        movie.SeekAudio(1000000);
        std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
        EXPECT_EQ(movie.ReadAudio(chunk.data()), 0u);
        movie.SeekAudio(3);
        movie.RewindAudio();
        EXPECT_EQ(ReadAllSound(movie), whole);
    }
}

}  // namespace
