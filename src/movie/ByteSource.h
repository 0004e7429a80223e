#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/SafeOutputFile.h"

// Where an AVI file's bytes come from: a file on disk, or an image in memory (tests
// and fuzzing). Reads are positioned and either complete or fail.

namespace movie {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads out.size() bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
    // The file read, so that nothing writes over it; nothing for an image in memory.
    virtual std::optional<FileIdentity> Identity() const { return std::nullopt; }
};

// Opens a regular file (a link to one included) for reading. Anything else is refused
// before it is opened, with the reason: a named pipe or a device would block the
// reader, or never end. Errors name the file and the cause.
Result<std::unique_ptr<ByteSource>> OpenFileSource(const std::string& path);
// The source keeps its own copy of the image.
std::unique_ptr<ByteSource> MakeMemorySource(std::span<const uint8_t> image);

}  // namespace movie
