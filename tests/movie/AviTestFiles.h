#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "movie/AviRecords.h"

// Small AVI files for the reader and writer tests: streams of known chunks written by
// our writer, and a RIFF walker with rebuild helpers to take such files apart.

namespace avitest {

struct TestStream {
    movie::AVISTREAMINFO info;
    std::vector<uint8_t> format;
    std::vector<std::vector<uint8_t>> chunks;
    std::vector<bool> keys;
};

// Video of `frames` chunks of varied (odd and even) sizes, handler `handler`, 15 fps,
// 32 × 16, a key frame every third frame.
TestStream VideoStream(const char (&handler)[5], int frames);
// Audio with the given wave format fields and chunk sizes in bytes.
TestStream AudioStream(uint16_t tag, uint16_t channels, uint16_t blockAlign, uint16_t bitsPerSample,
                       std::vector<uint32_t> chunkBytes);

enum class Order { kInterleaved, kVideoThenAudio };

// Writes the streams with AviWriter; fails the calling test on any error.
void WriteMovie(const std::string& path, const std::vector<TestStream>& streams,
                Order order = Order::kInterleaved);

// What a stream's samples hold, end to end: its chunks, each cut to whole samples.
std::vector<uint8_t> SampleBytesOf(const TestStream& stream, uint32_t sampleBytes);

// One chunk of a RIFF file, found by WalkRiff.
struct RiffChunk {
    uint32_t id;
    uint32_t listType;  // for RIFF and LIST chunks, else 0
    size_t header;      // offset of the chunk header
    uint32_t size;      // as stored
    int depth;
    size_t DataStart() const { return header + 8; }
    size_t End() const { return header + 8 + size + (size & 1); }
};

// Every chunk, depth first, inside the stored sizes (a walk stops where they end).
std::vector<RiffChunk> WalkRiff(const std::vector<uint8_t>& file);
// The first chunk with this id (and list type, when given); fails the test when absent.
RiffChunk FindChunk(const std::vector<uint8_t>& file, const char (&id)[5],
                    const char* listType = nullptr);

struct MoviItem {
    uint32_t id;
    std::vector<uint8_t> data;
    int record = -1;  // items with the same record number in a row share a 'rec ' list
    bool indexed = true;
};
// The chunks of 'movi' in file order, with the 'rec ' lists flattened.
std::vector<MoviItem> MoviItems(const std::vector<uint8_t>& file);

enum class IndexKind { kNone, kRelative, kAbsolute };
// The file with its 'movi' list rebuilt from `items` and a new 'idx1' (or none); what
// comes before 'movi' is kept, what came after it is dropped.
std::vector<uint8_t> RebuildMovi(const std::vector<uint8_t>& file,
                                 const std::vector<MoviItem>& items, IndexKind index);

}  // namespace avitest
