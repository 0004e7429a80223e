#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

// Where an AVI file's bytes come from: a file on disk, or an image in memory (tests
// and fuzzing). Reads are positioned and either complete or fail.

namespace movie {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads out.size() bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, std::span<uint8_t> out) = 0;
};

Result<std::unique_ptr<ByteSource>> OpenFileSource(const std::string& path);
// The source keeps its own copy of the image.
std::unique_ptr<ByteSource> MakeMemorySource(std::span<const uint8_t> image);

}  // namespace movie
