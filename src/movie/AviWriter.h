#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/SafeOutputFile.h"
#include "movie/AviRecords.h"

// Writes AVI files: stream headers, formats and names, the movie data with word
// aligned chunks, and an 'idx1' index with key-frame flags. The file is written under
// a hidden temporary name beside the target (SafeOutputFile) and renamed into place
// only by Finish, so a failed, abandoned or interrupted write leaves nothing.

namespace movie {

// Where the writer's bytes go: a new file that takes the target's place only when
// committed; dropped uncommitted, it leaves nothing. The safe disk file in normal use.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual Result<void> Write(std::span<const uint8_t> bytes) = 0;
    virtual Result<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    // Flushes to the disk and puts the file in the target's place.
    virtual Result<void> Commit() = 0;
};

// The files the writer makes: the disk in normal use, a stand-in that fails on cue in
// tests.
class OutputFiles {
public:
    virtual ~OutputFiles() = default;
    virtual Result<std::unique_ptr<ByteSink>> Create(const std::string& path,
                                                     const SafeOutputOptions& options) = 0;

    static OutputFiles& Disk();
};

class AviWriter {
public:
    // `files` must outlive the writer. "-" is refused: an AVI file is written out of
    // order, so it cannot go to a pipe.
    static Result<AviWriter> Create(const std::string& path,
                                    OutputFiles& files = OutputFiles::Disk(),
                                    const SafeOutputOptions& options = {});

    AviWriter(AviWriter&&) noexcept;
    AviWriter& operator=(AviWriter&&) noexcept;
    // Without Finish, the temporary file is removed.
    ~AviWriter();

    // Adds a stream before the first Write and returns its number; `format` is stored
    // as given, a non-empty name as 'strn'. The stored length (frames, or audio blocks of
    // the format's block alignment) comes from what is written, and the suggested buffer
    // size is raised to the largest chunk; the file header's frame count, picture size
    // and data rate follow the first video stream.
    Result<int> AddStream(const AVISTREAMINFO& info, std::span<const uint8_t> format);
    // Appends one chunk to the movie data. Streams may be written in any order.
    Result<void> Write(int stream, std::span<const uint8_t> data, bool keyFrame);
    // Writes the index and the final headers, and moves the file into place. After any
    // failed write the writer refuses further work; the target is left as it was.
    Result<void> Finish();

private:
    struct State;
    explicit AviWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

}  // namespace movie
