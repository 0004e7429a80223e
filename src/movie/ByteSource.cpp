#include "movie/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace movie {
namespace {

class FileSource final : public ByteSource {
public:
    FileSource(std::FILE* file, uint64_t size, FileIdentity identity)
        : m_file(file), m_size(size), m_identity(identity) {}
    ~FileSource() override { std::fclose(m_file); }

    uint64_t Size() const override { return m_size; }
    std::optional<FileIdentity> Identity() const override { return m_identity; }

    bool ReadAt(uint64_t offset, std::span<uint8_t> out) override {
        if (offset > m_size || out.size() > m_size - offset) return false;
        if (out.empty()) return true;
        if (fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        return std::fread(out.data(), 1, out.size(), m_file) == out.size();
    }

private:
    std::FILE* m_file;
    uint64_t m_size;
    FileIdentity m_identity;
};

Error OpenError(const std::string& path, int error) {
    return MakeError(ErrorKind::Io, path + ": " + std::strerror(error));
}

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
    // Looked at before it is opened: opening a pipe waits for a writer, and opening some
    // devices does something.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return OpenError(path, errno);
    if (!S_ISREG(info.st_mode))
        return MakeError(ErrorKind::Unsupported, path + ": " + NotARegularFileReason(info.st_mode));
    // Without waiting, in case it was swapped for a pipe meanwhile; then looked at again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return OpenError(path, errno);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        if (S_ISREG(info.st_mode)) return OpenError(path, error);
        return MakeError(ErrorKind::Unsupported, path + ": " + NotARegularFileReason(info.st_mode));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        return OpenError(path, error);
    }
    const FileIdentity identity{static_cast<uint64_t>(info.st_dev),
                                static_cast<uint64_t>(info.st_ino)};
    return std::unique_ptr<ByteSource>(
        std::make_unique<FileSource>(file, static_cast<uint64_t>(info.st_size), identity));
}

std::unique_ptr<ByteSource> MakeMemorySource(std::span<const uint8_t> image) {
    return std::make_unique<MemorySource>(image);
}

}  // namespace movie
