#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "movie/AviRecords.h"

// Writes AVI files: stream headers, formats and names, the movie data with word
// aligned chunks, and an 'idx1' index with key-frame flags. The file is written under
// a temporary name beside the target and renamed into place only by Finish, so a
// failed or abandoned write never leaves a partial file under the target's name.

namespace movie {

// Where the writer's bytes go; the file sink in normal use, others in tests.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(std::span<const uint8_t> bytes) = 0;
    virtual bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
    // Flushes and closes; false when anything written was lost.
    virtual bool Close() = 0;
};

// The files the writer makes, renames and removes: the disk in normal use, a stand-in
// that fails on cue in tests.
class OutputFiles {
public:
    virtual ~OutputFiles() = default;
    // A new, empty file (an existing one is truncated).
    virtual Result<std::unique_ptr<ByteSink>> Create(const std::string& path) = 0;
    // Moves `from` over `to`, replacing it.
    virtual Result<void> Rename(const std::string& from, const std::string& to) = 0;
    virtual void Remove(const std::string& path) = 0;

    static OutputFiles& Disk();
};

class AviWriter {
public:
    // `files` must outlive the writer.
    static Result<AviWriter> Create(const std::string& path,
                                    OutputFiles& files = OutputFiles::Disk());

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
