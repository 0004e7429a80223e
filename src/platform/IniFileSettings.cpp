#include "platform/IniFileSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>

#include "base/SafeOutputFile.h"

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

}  // namespace

int IniFileSettings::GetProfileInt(std::string_view section, std::string_view key,
                                   int defaultValue) {
    const auto ini = m_runOnly ? Result<IniText>(*m_runOnly) : Load();
    if (!ini) return defaultValue;
    const auto value = ini->Find(section, key);
    return value ? ProfileIntOf(*value, defaultValue) : defaultValue;
}

bool IniFileSettings::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    return WriteProfileString(section, key, std::to_string(value));
}

std::string IniFileSettings::GetProfileString(std::string_view section, std::string_view key,
                                              std::string_view defaultValue) {
    const auto ini = m_runOnly ? Result<IniText>(*m_runOnly) : Load();
    if (!ini) return std::string(defaultValue);
    const auto value = ini->Find(section, key);
    return std::string(value ? *value : defaultValue);
}

bool IniFileSettings::WriteProfileString(std::string_view section, std::string_view key,
                                         std::string_view value) {
    auto ini = m_runOnly ? Result<IniText>(*m_runOnly) : Load();
    if (!ini) return WriteFailed(ini.Error().message);
    if (!ini->Set(section, key, value)) {
        // The caller's mistake, not the file's: no message for the user.
        m_lastWriteError =
            "cannot store [" + std::string(section) + "] " + std::string(key) + " on one line";
        return false;
    }
    m_lastWriteError.clear();
    if (m_runOnly || FileIsReadOnly()) {
        m_runOnly = std::move(ini.Value());
        return true;
    }
    const auto replaced = Replace(ini->Text());
    if (!replaced) return WriteFailed(replaced.Error().message);
    return true;
}

bool IniFileSettings::WriteFailed(std::string error) {
    m_lastWriteError = std::move(error);
    if (!m_bFailureReported && m_onWriteFailure) {
        m_bFailureReported = true;
        m_onWriteFailure(m_lastWriteError);
    }
    return false;
}

// Made read-only by its owner (or, for the superuser, with no write permission for
// anybody): kept as it is.
bool IniFileSettings::FileIsReadOnly() const {
    struct stat info {};
    if (::stat(m_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    return (info.st_mode & 0222) == 0 || ::access(m_path.c_str(), W_OK) != 0;
}

Result<IniText> IniFileSettings::Load() const {
    FileDescriptor file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
    auto file = SafeOutputFile::Create(m_path);
    if (!file) return file.Error();
    LUMEKO_TRY(file->Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
    return file->Commit();
}

}  // namespace platform
