#include "platform/IniFileSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace platform {
namespace {

Error IoError(const std::string& what, const std::string& path, int error) {
    return MakeError(ErrorKind::Io, what + " " + path + ": " + std::strerror(error));
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }
    // Closes now and reports whether the close succeeded (it may report a failed write).
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

// The file a write should replace: a link's target rather than the link.
std::string TargetOf(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return path;
    const auto target = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : target.string();
}

}  // namespace

int IniFileSettings::GetProfileInt(std::string_view section, std::string_view key,
                                   int defaultValue) {
    const auto ini = Load();
    if (!ini) return defaultValue;
    const auto value = ini->Find(section, key);
    return value ? ProfileIntOf(*value, defaultValue) : defaultValue;
}

bool IniFileSettings::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    return WriteProfileString(section, key, std::to_string(value));
}

std::string IniFileSettings::GetProfileString(std::string_view section, std::string_view key,
                                              std::string_view defaultValue) {
    const auto ini = Load();
    if (!ini) return std::string(defaultValue);
    const auto value = ini->Find(section, key);
    return std::string(value ? *value : defaultValue);
}

bool IniFileSettings::WriteProfileString(std::string_view section, std::string_view key,
                                         std::string_view value) {
    auto ini = Load();
    if (!ini) {
        m_lastWriteError = ini.error().message;
        return false;
    }
    if (!ini->Set(section, key, value)) {
        m_lastWriteError =
            "cannot store [" + std::string(section) + "] " + std::string(key) + " on one line";
        return false;
    }
    const auto replaced = Replace(ini->Text());
    m_lastWriteError = replaced ? std::string() : replaced.error().message;
    return replaced.ok();
}

Result<IniText> IniFileSettings::Load() const {
    FileDescriptor file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ENOENT) return IniText();
        return IoError("cannot read", m_path, errno);
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) return IoError("cannot read", m_path, errno);
    if (!S_ISREG(info.st_mode))
        return MakeError(ErrorKind::Unsupported, m_path + " is not a settings file");
    if (static_cast<uint64_t>(info.st_size) > kMaxFileBytes)
        return MakeError(ErrorKind::Unsupported, m_path + " is too large for a settings file");
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return IoError("cannot read", m_path, errno);
        if (n == 0) break;  // the file shrank meanwhile
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    return IniText(text);
}

Result<void> IniFileSettings::Replace(const std::string& text) const {
    static std::atomic<unsigned> s_serial{0};
    const std::string target = TargetOf(m_path);
    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(s_serial++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return IoError("cannot write beside", target, errno);
    FileDescriptor file(fd);
    // The settings keep their owner's permissions (the recent files may be private).
    if (hadFile) (void)::fchmod(fd, old.st_mode & 07777);
    const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (!file.Close() || !written) {
        const int error = written ? errno : writeError;
        ::unlink(temporary.c_str());
        return IoError("cannot write", temporary, error);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return IoError("cannot replace", target, error);
    }
    // Make the rename itself durable; a failure here loses nothing already written.
    const std::string folder = std::filesystem::path(target).parent_path().string();
    FileDescriptor directory(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() >= 0) (void)::fsync(directory.Get());
    return {};
}

}  // namespace platform
