#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "movie/AviRecords.h"
#include "movie/ByteSource.h"

// Our reader of AVI files, in place of the system's AVI file service: the file and
// stream records, the stored formats, and positioned reads of samples.
//
// A video sample is one chunk. An audio sample is one block of the format's block
// alignment (the header's sample size when the format has none), so a chunk of B bytes
// holds B / alignment samples. Samples are found through 'idx1' (offsets from 'movi' or
// from the file's start) or, when the index is missing, cut short or unusable, by
// walking 'movi' and its 'rec ' lists. Only the first RIFF of an OpenDML file is read.
// Every size and offset is checked against the file, and the sample tables can never
// outgrow what the file holds.
//
// Reads move one shared file position: use a reader from one thread at a time.

namespace movie {

class AviReader {
public:
    // The file stays open while the reader lives; samples are read from it on demand.
    // Errors name the file and the cause.
    static Result<AviReader> OpenFile(const std::string& path);
    // The reader keeps its own copy of the image.
    static Result<AviReader> OpenMemory(std::span<const uint8_t> image);

    AviReader(AviReader&&) noexcept;
    AviReader& operator=(AviReader&&) noexcept;
    ~AviReader();

    // The file read; nothing for an image in memory.
    std::optional<FileIdentity> SourceIdentity() const { return m_source->Identity(); }

    // Picture size, data rate and suggested buffer size as the main header gives them;
    // rate, scale and length (in frames) from the first video stream's header, so the
    // frame rate stays an exact fraction.
    const AVIFILEINFO& FileInfo() const { return m_fileInfo; }
    // The `n`-th stream of type `fccType`, or -1 when there is none.
    int FindStream(uint32_t fccType, int n) const;
    int StreamCount() const;
    // The accessors below answer an empty stream for a number that is not a stream.
    const AVISTREAMINFO& StreamInfo(int stream) const;
    // The stream's format ('strf') as stored.
    std::span<const uint8_t> StreamFormat(int stream) const;
    // The largest chunk of the stream: what one read of it can need.
    uint32_t LargestChunkBytes(int stream) const;
    // The samples the stream's chunks hold.
    uint32_t IndexedSamples(int stream) const;

    // Whether the stream's chunks come from an index, whose entries carry key flags.
    bool HasKeyFlags(int stream) const;
    // The index's key flag of the chunk holding `sample`; false without an index.
    bool IsKeyFlagged(int stream, uint32_t sample) const;

    // Reads as many samples as the system's convenient count would: those from `start`
    // to the end of its chunk that fit in the buffer.
    static constexpr int32_t kConvenient = -1;
    struct ReadResult {
        uint32_t bytes;
        uint32_t samples;
    };
    // Reads `samples` samples (or kConvenient) from position `start` into `buffer`, not
    // past the end of the chunk holding `start`. Fails when `start` is past the end, the
    // buffer cannot hold one sample, or the bytes cannot be read.
    Result<ReadResult> Read(int stream, uint32_t start, int32_t samples, std::span<uint8_t> buffer);
    // Reads the first bytes of the chunk holding sample `sample` (as many as fit in
    // `buffer`, at most the chunk's) and answers the chunk's whole size in bytes.
    Result<ReadResult> ReadHead(int stream, uint32_t sample, std::span<uint8_t> buffer);

private:
    struct Stream;
    explicit AviReader(std::unique_ptr<ByteSource> source);
    Result<void> Parse();
    // Reads the main header and the stream lists; an error when the main header is cut
    // short.
    Result<void> ParseHeaderList(uint64_t start, uint64_t end);
    // The stream whose samples a chunk id "NNxx" holds, or -1.
    int SampleStream(uint32_t chunkId) const;
    // Adds the chunks that 'idx1' lists inside the movie data; returns how many.
    size_t AddIndexedChunks(std::span<const uint8_t> index, uint64_t moviType, uint64_t moviEnd);
    void AddWalkedChunks(uint64_t start, uint64_t end);
    const Stream& At(int stream) const;

    std::unique_ptr<ByteSource> m_source;
    AVIFILEINFO m_fileInfo;
    std::vector<Stream> m_streams;
};

}  // namespace movie
