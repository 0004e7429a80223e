#include "movie/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace movie {
namespace {

class FileSource final : public ByteSource {
public:
    FileSource(std::FILE* file, uint64_t size) : m_file(file), m_size(size) {}
    ~FileSource() override { std::fclose(m_file); }

    uint64_t Size() const override { return m_size; }

    bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        if (offset > m_size || out.size() > m_size - offset) return false;
        if (out.empty()) return true;
        if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        return std::fread(out.data(), 1, out.size(), m_file) == out.size();
    }

private:
    std::FILE* m_file;
    uint64_t m_size;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> image) : m_bytes(image.begin(), image.end()) {}

    uint64_t Size() const override { return m_bytes.size(); }

    bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        if (offset > m_bytes.size() || out.size() > m_bytes.size() - offset) return false;
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace

Result<std::unique_ptr<ByteSource>> OpenFileSource(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return MakeError(ErrorKind::Io, path + ": " + std::strerror(errno));
    if (fseeko(file, 0, SEEK_END) != 0) {
        std::fclose(file);
        return MakeError(ErrorKind::Io, path + ": cannot seek");
    }
    const off_t size = ftello(file);
    if (size < 0) {
        std::fclose(file);
        return MakeError(ErrorKind::Io, path + ": cannot tell its size");
    }
    return std::unique_ptr<ByteSource>(
        std::make_unique<FileSource>(file, static_cast<uint64_t>(size)));
}

std::unique_ptr<ByteSource> MakeMemorySource(std::span<const uint8_t> image) {
    return std::make_unique<MemorySource>(image);
}

}  // namespace movie
