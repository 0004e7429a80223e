#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "AviTestFiles.h"
#include "base/ByteReader.h"
#include "movie/AviReader.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

// Damaged copies of a good movie, made by byte surgery: each is refused or opens, and
// whatever opens reads only bytes that the file holds.

namespace {

using avitest::IndexKind;
using avitest::RiffChunk;
using avitest::TestStream;
using movie::AviReader;
using movie::MakeFourCC;

constexpr int kFrames = 6;

std::vector<TestStream> GoodStreams() {
    return {avitest::VideoStream("DUCK", kFrames),
            avitest::AudioStream(0x61, 1, 512, 4, {1024, 513, 1536, 512, 0, 1024})};
}

// Reads every sample the reader offers, with a buffer of the size it says is enough.
// Each read must succeed and stay inside the file; the bytes are returned per stream.
std::vector<std::vector<std::vector<uint8_t>>> ReadEverything(AviReader& reader, size_t imageSize) {
    std::vector<std::vector<std::vector<uint8_t>>> streams;
    for (int s = 0; s < reader.StreamCount(); ++s) {
        auto& reads = streams.emplace_back();
        EXPECT_LE(reader.LargestChunkBytes(s), imageSize);
        std::vector<uint8_t> buffer(reader.LargestChunkBytes(s));
        for (uint32_t position = 0; position < reader.IndexedSamples(s);) {
            auto read = reader.Read(s, position, AviReader::kConvenient, buffer);
            if (!read.Ok()) {
                ADD_FAILURE() << "stream " << s << " sample " << position << ": "
                              << read.Error().message;
                break;
            }
            reads.emplace_back(buffer.begin(), buffer.begin() + read->bytes);
            position += read->samples;
        }
    }
    return streams;
}

// The samples of the good movie: video frames, and the sound's bytes as one run.
void ExpectGoodContent(AviReader& reader, size_t imageSize) {
    const auto streams = GoodStreams();
    const auto read = ReadEverything(reader, imageSize);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0], streams[0].chunks);
    std::vector<uint8_t> sound;
    for (const auto& chunk : read[1]) sound.insert(sound.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(sound, avitest::SampleBytesOf(streams[1], 512));
}

class AviHostileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        avitest::WriteMovie(dir.File("good.avi"), GoodStreams());
        good = ReadFileBytes(dir.File("good.avi"));
    }
    // The n-th chunk with this id.
    RiffChunk Nth(const char (&id)[5], int n) const {
        for (const RiffChunk& c : avitest::WalkRiff(good))
            if (c.id == MakeFourCC(id) && n-- == 0) return c;
        ADD_FAILURE() << "no chunk " << id;
        return {};
    }

    TempDir dir;
    std::vector<uint8_t> good;
};

TEST_F(AviHostileFileTest, DamagedFilesAreRefusedOrReadSafely) {
    const RiffChunk hdrl = avitest::FindChunk(good, "LIST", "hdrl");
    const RiffChunk avih = avitest::FindChunk(good, "avih");
    const RiffChunk videoStrl = Nth("LIST", 1);
    const RiffChunk videoStrh = Nth("strh", 0);
    const RiffChunk audioStrf = Nth("strf", 1);
    const RiffChunk movi = avitest::FindChunk(good, "LIST", "movi");
    const RiffChunk idx1 = avitest::FindChunk(good, "idx1");
    const size_t firstEntry = idx1.DataStart();
    const size_t thirdVideoEntry = firstEntry + 4 * 16;  // frames and sound interleave
    ASSERT_EQ(LoadLE32(&good[thirdVideoEntry]), MakeFourCC("00dc"));
    auto set32 = [](size_t at, uint32_t v) {
        return [at, v](std::vector<uint8_t>& f) { StoreLE32(&f[at], v); };
    };
    auto setText = [](size_t at, const char* text) {
        return [at, text](std::vector<uint8_t>& f) {
            std::copy(text, text + 4, f.begin() + static_cast<std::ptrdiff_t>(at));
        };
    };

    enum Outcome { kRefused, kOpens };
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        Outcome outcome;
        // For files that open: what they show beyond reading safely.
        std::function<void(AviReader&, size_t)> check;
    };
    const auto allGood = [](AviReader& r, size_t size) { ExpectGoodContent(r, size); };
    const auto noVideo = [](AviReader& r, size_t) {
        EXPECT_EQ(r.FindStream(movie::streamtypeVIDEO, 0), -1);
    };
    const auto noSamples = [](AviReader& r, size_t) {
        for (int s = 0; s < r.StreamCount(); ++s) EXPECT_EQ(r.IndexedSamples(s), 0u);
        std::vector<uint8_t> buffer(4096);
        EXPECT_FALSE(r.Read(0, 0, 1, buffer).Ok());
    };
    const Case cases[] = {
        {"not a RIFF", setText(0, "RIFX"), kRefused, {}},
        {"a RIFF of another form", setText(8, "WAVE"), kRefused, {}},
        {"shorter than a RIFF header", [](auto& f) { f.resize(10); }, kRefused, {}},
        {"no header list", setText(hdrl.DataStart(), "hdrX"), kRefused, {}},
        {"no movie data list", setText(movi.DataStart(), "movX"), kRefused, {}},
        {"RIFF size beyond the file", set32(4, 0xFFFFFFFF), kOpens, allGood},
        {"RIFF size ending inside the headers", set32(4, 200), kRefused, {}},
        {"header list size beyond the file", set32(hdrl.header + 4, 0xFFFFFFF0), kRefused, {}},
        {"main header size beyond its list", set32(avih.header + 4, 0xFFFFFF00), kOpens,
         [](AviReader& r, size_t) { EXPECT_EQ(r.StreamCount(), 0); }},
        {"main header of 20 bytes", set32(avih.header + 4, 20), kRefused, {}},
        {"stream list of 2 bytes", set32(videoStrl.header + 4, 2), kOpens, noVideo},
        {"stream header of 20 bytes", set32(videoStrh.header + 4, 20), kOpens, noVideo},
        {"format size beyond its list", set32(audioStrf.header + 4, 0x7FFFFFFF), kOpens,
         [&](AviReader& r, size_t) {
             const auto format = r.StreamFormat(1);
             const auto stored = GoodStreams()[1].format;
             ASSERT_GT(format.size(), stored.size());
             EXPECT_LT(format.size(), 200u);
             EXPECT_TRUE(std::equal(stored.begin(), stored.end(), format.begin()));
         }},
        {"zero block alignment: the header's sample size counts",
         set32(audioStrf.DataStart() + 12, 0), kOpens, allGood},
        {"movie data size beyond the file", set32(movi.header + 4, 0xFFFFFFF0), kOpens, allGood},
        {"zero-length movie data", set32(movi.header + 4, 4), kOpens, noSamples},
        {"index size beyond the file", set32(idx1.header + 4, 0xFFFFFFF0), kOpens, allGood},
        {"index pointing outside the movie data",
         [&](auto& f) {
             for (size_t e = firstEntry; e < idx1.End(); e += 16)
                 StoreLE32(&f[e + 8], LoadLE32(&f[e + 8]) + 0x10000000);
         },
         kOpens, allGood},
        {"index whose first entry points between chunks",
         set32(firstEntry + 8, LoadLE32(&good[firstEntry + 8]) + 2), kOpens, allGood},
        {"one index entry beyond the movie data", set32(thirdVideoEntry + 8, 0x7FFFFFF0), kOpens,
         [](AviReader& r, size_t size) {
             EXPECT_EQ(r.IndexedSamples(0), kFrames - 1u);
             EXPECT_EQ(ReadEverything(r, size)[0][2], GoodStreams()[0].chunks[3]);
         }},
        {"one index entry longer than the movie data", set32(thirdVideoEntry + 12, 0x7FFFFFF0),
         kOpens, [](AviReader& r, size_t) { EXPECT_EQ(r.IndexedSamples(0), kFrames - 1u); }},
        {"huge counts and sizes in the headers",
         [&](auto& f) {
             for (const size_t field : {16, 24, 28})
                 StoreLE32(&f[avih.DataStart() + field], 0xFFFFFFFF);
             StoreLE32(&f[videoStrh.DataStart() + 32], 0xFFFFFFFF);
             StoreLE32(&f[videoStrh.DataStart() + 36], 0xFFFFFFFF);
         },
         kOpens,
         [](AviReader& r, size_t size) {
             // Reported as stored; the true need and count come from the chunks.
             EXPECT_EQ(r.FileInfo().dwSuggestedBufferSize, 0xFFFFFFFFu);
             EXPECT_EQ(r.StreamInfo(0).dwLength, 0xFFFFFFFFu);
             EXPECT_EQ(r.StreamInfo(0).dwSuggestedBufferSize, 0xFFFFFFFFu);
             EXPECT_EQ(r.LargestChunkBytes(0), 171u);
             EXPECT_EQ(r.IndexedSamples(0), static_cast<uint32_t>(kFrames));
             ExpectGoodContent(r, size);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = good;
        c.damage(image);
        auto reader = AviReader::OpenMemory(image);
        if (c.outcome == kRefused) {
            EXPECT_FALSE(reader.Ok());
            continue;
        }
        ASSERT_TRUE(reader.Ok()) << reader.Error().message;
        ReadEverything(*reader, image.size());
        c.check(*reader, image.size());
    }
}

// Without an index the walk of the movie data meets the damage itself.
TEST_F(AviHostileFileTest, DamagedChunksWithoutAnIndex) {
    const auto items = avitest::MoviItems(good);
    const auto unindexed = avitest::RebuildMovi(good, items, IndexKind::kNone);
    const auto chunks = avitest::WalkRiff(unindexed);
    const RiffChunk movi = avitest::FindChunk(unindexed, "LIST", "movi");
    std::vector<RiffChunk> inMovi;
    for (const RiffChunk& c : chunks)
        if (c.depth == movi.depth + 1 && c.header > movi.header) inMovi.push_back(c);
    ASSERT_EQ(inMovi.size(), items.size());

    {
        SCOPED_TRACE("last chunk claiming more than remains: cut at the end");
        auto image = unindexed;
        StoreLE32(&image[inMovi.back().header + 4], 0x7FFFFFF0);
        auto reader = AviReader::OpenMemory(image);
        ASSERT_TRUE(reader.Ok());
        ExpectGoodContent(*reader, image.size());
    }
    {
        SCOPED_TRACE("a chunk running into the next: what comes before stays right");
        auto image = unindexed;
        StoreLE32(&image[inMovi[4].header + 4], LoadLE32(&image[inMovi[4].header + 4]) + 16);
        auto reader = AviReader::OpenMemory(image);
        ASSERT_TRUE(reader.Ok());
        const auto read = ReadEverything(*reader, image.size());
        ASSERT_GE(read[0].size(), 2u);
        EXPECT_EQ(read[0][0], GoodStreams()[0].chunks[0]);
        EXPECT_EQ(read[0][1], GoodStreams()[0].chunks[1]);
    }
}

// Formats too short to be one and formats far larger than any we use are kept as stored.
TEST_F(AviHostileFileTest, FormatsOfOddSizes) {
    for (const size_t formatBytes : {size_t{2}, size_t{64} * 1024}) {
        SCOPED_TRACE(formatBytes);
        auto streams = GoodStreams();
        std::vector<uint8_t> format(formatBytes);
        for (size_t i = 0; i < format.size(); ++i) format[i] = static_cast<uint8_t>(i * 7);
        streams[0].format = format;
        streams[1].format.resize(std::min<size_t>(formatBytes, streams[1].format.size()));
        avitest::WriteMovie(dir.File("odd.avi"), streams);
        const auto image = ReadFileBytes(dir.File("odd.avi"));
        auto reader = AviReader::OpenMemory(image);
        ASSERT_TRUE(reader.Ok()) << reader.Error().message;
        const auto video = reader->StreamFormat(0);
        EXPECT_EQ(std::vector<uint8_t>(video.begin(), video.end()), format);
        EXPECT_EQ(reader->StreamFormat(1).size(), streams[1].format.size());
        // The sound's samples are the header's sample size when the format lacks one.
        ExpectGoodContent(*reader, image.size());
    }
}

// A file cut at any structure boundary is refused before the movie data begins, and
// after that opens with every chunk that is whole, and a cut chunk at most as a prefix.
TEST_F(AviHostileFileTest, TruncatedAtEveryBoundary) {
    const auto chunks = avitest::WalkRiff(good);
    const RiffChunk movi = avitest::FindChunk(good, "LIST", "movi");
    std::set<size_t> cuts = {1, 4, 8, 11};
    for (const RiffChunk& c : chunks)
        for (const size_t at : {c.header, c.header + 4, c.DataStart(), c.DataStart() + c.size / 2,
                                c.DataStart() + c.size, c.End()})
            if (at < good.size()) cuts.insert(at);

    const auto streams = GoodStreams();
    std::vector<RiffChunk> data;  // the stream chunks, in file order
    for (const RiffChunk& c : chunks)
        if (c.depth == movi.depth + 1 && c.header > movi.header) data.push_back(c);

    for (const size_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::vector<uint8_t> image(good.begin(),
                                         good.begin() + static_cast<std::ptrdiff_t>(cut));
        auto reader = AviReader::OpenMemory(image);
        if (cut < movi.DataStart() + 4) {
            EXPECT_FALSE(reader.Ok());
            continue;
        }
        ASSERT_TRUE(reader.Ok()) << reader.Error().message;
        ASSERT_EQ(reader->StreamCount(), 2);
        const auto read = ReadEverything(*reader, image.size());

        size_t wholeFrames = 0, wholeSound = 0;
        for (const RiffChunk& c : data) {
            if (c.DataStart() + c.size > cut) break;
            if (c.id == MakeFourCC("00dc"))
                ++wholeFrames;
            else
                wholeSound += c.size / 512 * 512;
        }
        ASSERT_GE(read[0].size(), wholeFrames);
        for (size_t k = 0; k < read[0].size(); ++k) {
            const auto& original = streams[0].chunks[k];
            ASSERT_LE(read[0][k].size(), original.size());
            EXPECT_TRUE(std::equal(read[0][k].begin(), read[0][k].end(), original.begin()))
                << "frame " << k;
            if (k < wholeFrames) {
                EXPECT_EQ(read[0][k].size(), original.size()) << "frame " << k;
            }
        }
        std::vector<uint8_t> sound;
        for (const auto& chunk : read[1]) sound.insert(sound.end(), chunk.begin(), chunk.end());
        const auto original = avitest::SampleBytesOf(streams[1], 512);
        ASSERT_GE(sound.size(), wholeSound);
        ASSERT_LE(sound.size(), original.size());
        EXPECT_TRUE(std::equal(sound.begin(), sound.end(), original.begin()));
    }
}

}  // namespace
