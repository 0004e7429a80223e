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

class AviWriter {
public:
    static Result<AviWriter> Create(const std::string& path);
    // As Create, writing the temporary file through `sink`.
    static Result<AviWriter> Create(const std::string& path, std::unique_ptr<ByteSink> sink);

    AviWriter(AviWriter&&) noexcept;
    AviWriter& operator=(AviWriter&&) noexcept;
    // Without Finish, the temporary file is removed.
    ~AviWriter();

    // Adds a stream before the first Write; returns its number. The stream's length,
    // suggested buffer size and (for the first video stream) the file's frame count
    // and rate are filled in from what is written.
    Result<int> AddStream(const AVISTREAMINFO& info, std::span<const uint8_t> format);
    Result<void> Write(int stream, std::span<const uint8_t> data, bool keyFrame);
    // Writes the index and the final headers, and moves the file into place.
    Result<void> Finish();

private:
    struct State;
    explicit AviWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

}  // namespace movie
