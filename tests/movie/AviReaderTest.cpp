#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "AviTestFiles.h"
#include "base/ByteReader.h"
#include "movie/AviReader.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

namespace {

using avitest::IndexKind;
using avitest::MoviItem;
using avitest::Order;
using avitest::TestStream;
using movie::AviReader;
using movie::MakeFourCC;

uint32_t Largest(const TestStream& s) {
    size_t largest = 0;
    for (const auto& c : s.chunks) largest = std::max(largest, c.size());
    return static_cast<uint32_t>(largest);
}

// Reads every sample of every stream back and compares it with what was written.
void ExpectStreamsReadBack(AviReader& reader, const std::vector<TestStream>& streams) {
    ASSERT_EQ(reader.StreamCount(), static_cast<int>(streams.size()));
    uint32_t largestOfAll = 0;
    for (int i = 0; i < static_cast<int>(streams.size()); ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        const TestStream& s = streams[static_cast<size_t>(i)];
        const movie::AVISTREAMINFO& info = reader.StreamInfo(i);
        EXPECT_EQ(info.fccType, s.info.fccType);
        EXPECT_EQ(info.fccHandler, s.info.fccHandler);
        EXPECT_EQ(info.dwScale, s.info.dwScale);
        EXPECT_EQ(info.dwRate, s.info.dwRate);
        EXPECT_STREQ(info.szName, s.info.szName);
        const auto format = reader.StreamFormat(i);
        EXPECT_EQ(std::vector<uint8_t>(format.begin(), format.end()), s.format);

        const bool audio = s.info.fccType == movie::streamtypeAUDIO;
        const uint32_t align = audio ? s.info.dwSampleSize : 0;
        uint32_t samples = 0;
        for (const auto& c : s.chunks)
            samples += audio ? static_cast<uint32_t>(c.size() / align) : 1;
        EXPECT_EQ(info.dwLength, samples);
        EXPECT_EQ(reader.IndexedSamples(i), samples);
        EXPECT_EQ(info.dwSuggestedBufferSize, Largest(s));
        EXPECT_EQ(reader.LargestChunkBytes(i), Largest(s));
        largestOfAll = std::max(largestOfAll, Largest(s));

        std::vector<uint8_t> buffer(Largest(s));
        if (!audio) {
            for (uint32_t k = 0; k < s.chunks.size(); ++k) {
                auto read = reader.Read(i, k, 1, buffer);
                ASSERT_TRUE(read.Ok()) << "frame " << k << ": " << read.Error().message;
                EXPECT_EQ(read->samples, 1u);
                ASSERT_EQ(read->bytes, s.chunks[k].size());
                EXPECT_TRUE(std::equal(s.chunks[k].begin(), s.chunks[k].end(), buffer.begin()))
                    << "frame " << k;
            }
            continue;
        }
        // Convenient reads with room for a whole chunk give one chunk's whole samples
        // each; with room for two samples, at most two. Either way all of the sound.
        for (const size_t room : {buffer.size(), size_t{2} * align + 1}) {
            std::vector<uint8_t> all, part(room);
            for (uint32_t position = 0; position < samples;) {
                auto read = reader.Read(i, position, AviReader::kConvenient, part);
                ASSERT_TRUE(read.Ok()) << "sample " << position << ": " << read.Error().message;
                ASSERT_GT(read->samples, 0u);
                EXPECT_EQ(read->bytes, read->samples * align);
                EXPECT_LE(read->bytes, room);
                all.insert(all.end(), part.begin(), part.begin() + read->bytes);
                position += read->samples;
            }
            EXPECT_EQ(all, avitest::SampleBytesOf(s, align)) << "room " << room;
        }
    }
    const movie::AVIFILEINFO& file = reader.FileInfo();
    EXPECT_EQ(file.dwStreams, streams.size());
    EXPECT_EQ(file.dwWidth, 32u);
    EXPECT_EQ(file.dwHeight, 16u);
    EXPECT_EQ(file.dwScale, 1u);
    EXPECT_EQ(file.dwRate, 15u);
    EXPECT_EQ(file.dwLength, streams[0].chunks.size());
    EXPECT_EQ(file.dwSuggestedBufferSize, largestOfAll);
}

struct SoundCase {
    const char* name;
    std::vector<TestStream> extra;  // empty: video only
};

std::vector<SoundCase> SoundCases() {
    return {
        {"video only", {}},
        {"pcm 16-bit stereo", {avitest::AudioStream(1, 2, 4, 16, {20, 13, 28, 8, 400})}},
        {"pcm 8-bit mono", {avitest::AudioStream(1, 1, 1, 8, {11, 7, 30})}},
        {"dk4 mono", {avitest::AudioStream(0x61, 1, 512, 4, {1024, 513, 1536, 512})}},
        {"dk3", {avitest::AudioStream(0x62, 2, 1024, 4, {2048, 1025, 1024})}},
    };
}

enum class Layout { kAsWritten, kAbsoluteIndex, kNoIndex, kRecords, kRecordsIndexed };

std::vector<uint8_t> Relayout(const std::vector<uint8_t>& file, Layout layout) {
    auto items = avitest::MoviItems(file);
    // A frame the index leaves out shows whether an index is used: the walk of the
    // movie data would count it.
    const MoviItem unindexed{MakeFourCC("00dc"), std::vector<uint8_t>(5, 0xEE), -1, false};
    switch (layout) {
        case Layout::kAsWritten:
            return file;
        case Layout::kAbsoluteIndex:
            items.insert(items.begin() + 1, unindexed);
            return avitest::RebuildMovi(file, items, IndexKind::kAbsolute);
        case Layout::kNoIndex:
            return avitest::RebuildMovi(file, items, IndexKind::kNone);
        case Layout::kRecords:
        case Layout::kRecordsIndexed:
            // A video frame and the sound that goes with it in one 'rec ' list.
            for (size_t i = 0; i < items.size(); ++i) items[i].record = static_cast<int>(i / 2);
            if (layout == Layout::kRecords)
                return avitest::RebuildMovi(file, items, IndexKind::kNone);
            items.push_back(unindexed);
            return avitest::RebuildMovi(file, items, IndexKind::kRelative);
    }
    return file;
}

class AviReaderTest : public ::testing::Test {
protected:
    std::vector<uint8_t> Written(const std::vector<TestStream>& streams,
                                 Order order = Order::kInterleaved) {
        const std::string path = dir.File("movie.avi");
        avitest::WriteMovie(path, streams, order);
        return ReadFileBytes(path);
    }

    TempDir dir;
};

TEST_F(AviReaderTest, ReadsBackWhatTheWriterWroteInEveryLayout) {
    const std::pair<Layout, const char*> layouts[] = {
        {Layout::kAsWritten, "index from movi"},
        {Layout::kAbsoluteIndex, "index from file start"},
        {Layout::kNoIndex, "no index"},
        {Layout::kRecords, "rec lists"},
        {Layout::kRecordsIndexed, "indexed rec lists"},
    };
    for (const auto& sound : SoundCases()) {
        std::vector<TestStream> streams = {avitest::VideoStream("DUCK", 7)};
        streams.insert(streams.end(), sound.extra.begin(), sound.extra.end());
        for (const Order order : {Order::kInterleaved, Order::kVideoThenAudio}) {
            const auto written = Written(streams, order);
            for (const auto& [layout, layoutName] : layouts) {
                SCOPED_TRACE(std::string(sound.name) + ", " + layoutName +
                             (order == Order::kInterleaved ? ", interleaved" : ", video first"));
                const auto image = Relayout(written, layout);
                auto reader = AviReader::OpenMemory(image);
                ASSERT_TRUE(reader.Ok()) << reader.Error().message;
                ExpectStreamsReadBack(*reader, streams);
            }
        }
    }
}

TEST_F(AviReaderTest, OpensFilesFromDisk) {
    const std::vector<TestStream> streams = {avitest::VideoStream("DUCK", 4),
                                             SoundCases()[1].extra[0]};
    avitest::WriteMovie(dir.File("movie.avi"), streams);
    auto reader = AviReader::OpenFile(dir.File("movie.avi"));
    ASSERT_TRUE(reader.Ok()) << reader.Error().message;
    ExpectStreamsReadBack(*reader, streams);

    auto missing = AviReader::OpenFile(dir.File("missing.avi"));
    ASSERT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Error().kind, ErrorKind::Io);
}

// Reads start anywhere inside a chunk, stop at its end, and fail with a reason.
TEST_F(AviReaderTest, PositionedReadsAndTheirFailures) {
    const TestStream video = avitest::VideoStream("DUCK", 3);
    const TestStream sound = avitest::AudioStream(1, 2, 4, 16, {40, 24});  // samples 0-9, 10-15
    const auto image = Written({video, sound});
    auto opened = AviReader::OpenMemory(image);
    ASSERT_TRUE(opened.Ok());
    AviReader& reader = *opened;
    std::vector<uint8_t> buffer(1000);
    const auto& first = sound.chunks[0];
    const auto& second = sound.chunks[1];

    struct Case {
        const char* what;
        uint32_t start;
        int32_t samples;
        const std::vector<uint8_t>* chunk;
        uint32_t from, bytes;  // expected: bytes `from`.. of `chunk`
    };
    const Case cases[] = {
        {"convenient from the start", 0, AviReader::kConvenient, &first, 0, 40},
        {"convenient from inside a chunk", 3, AviReader::kConvenient, &first, 12, 28},
        {"a count inside a chunk", 2, 5, &first, 8, 20},
        {"a count beyond the chunk stops at its end", 8, 100, &first, 32, 8},
        {"the second chunk", 10, AviReader::kConvenient, &second, 0, 24},
        {"the last sample", 15, 1, &second, 20, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto read = reader.Read(1, c.start, c.samples, buffer);
        ASSERT_TRUE(read.Ok()) << read.Error().message;
        EXPECT_EQ(read->bytes, c.bytes);
        EXPECT_EQ(read->samples, c.bytes / 4);
        EXPECT_TRUE(std::equal(c.chunk->begin() + c.from, c.chunk->begin() + c.from + c.bytes,
                               buffer.begin()));
    }

    std::vector<uint8_t> tiny(3);
    std::vector<uint8_t> almostAFrame(video.chunks[0].size() - 1);
    struct Failure {
        const char* what;
        int stream;
        uint32_t start;
        int32_t samples;
        std::span<uint8_t> buffer;
        ErrorKind kind;
    };
    const Failure failures[] = {
        {"audio past its end", 1, 16, AviReader::kConvenient, buffer, ErrorKind::Truncated},
        {"video past its end", 0, 3, 1, buffer, ErrorKind::Truncated},
        {"no room for one sample", 1, 0, AviReader::kConvenient, tiny, ErrorKind::InvalidArgument},
        {"no room for the frame", 0, 0, 1, almostAFrame, ErrorKind::InvalidArgument},
        {"no such stream", 2, 0, 1, buffer, ErrorKind::InvalidArgument},
        {"negative stream", -1, 0, 1, buffer, ErrorKind::InvalidArgument},
        {"zero samples", 1, 0, 0, buffer, ErrorKind::InvalidArgument},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        auto read = reader.Read(f.stream, f.start, f.samples, f.buffer);
        ASSERT_FALSE(read.Ok());
        EXPECT_EQ(read.Error().kind, f.kind);
    }

    EXPECT_EQ(reader.FindStream(movie::streamtypeVIDEO, 0), 0);
    EXPECT_EQ(reader.FindStream(movie::streamtypeAUDIO, 0), 1);
    EXPECT_EQ(reader.FindStream(movie::streamtypeVIDEO, 1), -1);
    EXPECT_EQ(reader.FindStream(MakeFourCC("txts"), 0), -1);
    EXPECT_EQ(reader.StreamInfo(7).fccType, 0u);
    EXPECT_TRUE(reader.StreamFormat(-1).empty());
}

// Only the first RIFF of a large-file movie is read: its index chunks and the second
// RIFF's data are not taken for samples.
TEST_F(AviReaderTest, ReadsTheFirstRiffOfALargeFileMovie) {
    const std::vector<TestStream> streams = {avitest::VideoStream("DUCK", 5),
                                             avitest::AudioStream(1, 1, 1, 8, {11, 7, 30, 5, 2})};
    const auto written = Written(streams);
    std::vector<MoviItem> items;
    for (auto& item : avitest::MoviItems(written)) {
        items.push_back({MakeFourCC("ix00"), std::vector<uint8_t>(24, 0x30)});
        items.push_back(std::move(item));
        items.push_back({MakeFourCC("JUNK"), std::vector<uint8_t>(3, 0x30)});
    }
    for (const IndexKind index : {IndexKind::kRelative, IndexKind::kNone}) {
        SCOPED_TRACE(index == IndexKind::kNone ? "no index" : "index");
        auto image = avitest::RebuildMovi(written, items, index);
        // A second RIFF 'AVIX' with one more frame for each stream.
        const uint8_t avix[] = {'R', 'I', 'F', 'F', 40, 0, 0, 0, 'A', 'V', 'I', 'X',
                                'L', 'I', 'S', 'T', 28, 0, 0, 0, 'm', 'o', 'v', 'i',
                                '0', '0', 'd', 'c', 4,  0, 0, 0, 1,   2,   3,   4,
                                '0', '1', 'w', 'b', 2,  0, 0, 0, 5,   6,   0,   0};
        image.insert(image.end(), std::begin(avix), std::end(avix));
        auto reader = AviReader::OpenMemory(image);
        ASSERT_TRUE(reader.Ok()) << reader.Error().message;
        ExpectStreamsReadBack(*reader, streams);
    }
}

}  // namespace
