#include "base/SafeOutputFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

namespace {

// The temporary files being written, for the signal handler: fixed slots, so that the
// handler touches no allocation and no lock. A slot is free, being filled, or active.
constexpr int kSlots = 32;
enum SlotState : int { kFree = 0, kFilling = 1, kActive = 2 };
struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};
Slot g_slots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kCleanedSignals)];

std::atomic<SafeOutputFile::LstatFunction> g_lstat{&::lstat};

int Register(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;  // written all the same, just not cleaned on a signal
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
            g_slots[i].state.store(kActive);
            return i;
        }
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0) g_slots[slot].state.store(kFree);
}

// Removes every temporary file being written, then does what the signal did before:
// the default (the process ends by this signal) or the handler that was there.
void OnSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    for (Slot& slot : g_slots)
        if (slot.state.load() == kActive) ::unlink(slot.path);
    errno = savedErrno;
    for (size_t i = 0; i < std::size(kCleanedSignals); ++i) {
        if (kCleanedSignals[i] != signal) continue;
        const struct sigaction& previous = g_previous[i];
        if (previous.sa_flags & SA_SIGINFO) {
            if (previous.sa_sigaction) previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler == SIG_DFL) {
            // Blocked while this handler runs: delivered, with the default action, on return.
            ::sigaction(signal, &previous, nullptr);
            ::raise(signal);
        } else if (previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        }
    }
}

bool IsOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == &OnSignal;
}

// Puts the handler in place, and back in place when the program has put its own over
// it since (that one is then called after the clean-up), so the order in which the two
// are set does not matter.
void InstallSignalCleanup() {
    static std::mutex s_mutex;
    const std::lock_guard lock(s_mutex);
    struct sigaction action {};
    action.sa_sigaction = &OnSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kCleanedSignals) sigaddset(&action.sa_mask, signal);
    for (size_t i = 0; i < std::size(kCleanedSignals); ++i) {
        struct sigaction current {};
        if (::sigaction(kCleanedSignals[i], nullptr, &current) != 0 || IsOurs(current)) continue;
        // A signal the program ignores stays ignored.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
        g_previous[i] = current;
        ::sigaction(kCleanedSignals[i], &action, nullptr);
    }
}

std::string Describe(int error) {
    return std::strerror(error);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names once its links are followed, and what is there (exists false
// when nothing is). A link that leads nowhere is refused: writing through it would
// create a file where the user never looked.
Result<std::string> Resolve(const std::string& path, struct stat& info, bool& exists) {
    std::string current = path;
    for (int hops = 0;; ++hops) {
        if (g_lstat.load()(current.c_str(), &info) != 0) {
            const int error = errno;
            if (error != ENOENT) return MakeError(ErrorKind::Io, path + ": " + Describe(error));
            if (current != path)
                return MakeError(ErrorKind::Io,
                                 path + ": is a link to " + current + ", which does not exist");
            exists = false;
            return current;
        }
        if (!S_ISLNK(info.st_mode)) {
            exists = true;
            return current;
        }
        if (hops == 40) return MakeError(ErrorKind::Io, path + ": " + Describe(ELOOP));
        std::array<char, PATH_MAX> link{};
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size() - 1);
        if (n < 0) return MakeError(ErrorKind::Io, path + ": " + Describe(errno));
        const std::string next(link.data(), static_cast<size_t>(n));
        current = next.starts_with('/') ? next : FolderOf(current) + "/" + next;
    }
}

bool IsReadOnly(const std::string& path, const struct stat& info) {
    // The superuser may write anything: a file with no write permission for anybody was
    // still made read-only on purpose.
    return (info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

std::string RandomSuffix() {
    static std::atomic<uint64_t> s_serial{0};
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != sizeof bits)
        bits = (static_cast<uint64_t>(::getpid()) << 32) ^ s_serial.fetch_add(0x9E3779B97F4A7C15);
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix;
    for (int i = 0; i < 8; ++i, bits /= 62) suffix += kLetters[bits % 62];
    return suffix;
}

bool WriteAllAt(int fd, const uint8_t* data, size_t size, std::optional<uint64_t> offset) {
    while (size > 0) {
        const ssize_t n = offset ? ::pwrite(fd, data, size, static_cast<off_t>(*offset))
                                 : ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        if (offset) *offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

const char* NotARegularFileReason(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory";
    if (S_ISFIFO(mode)) return "is a named pipe (FIFO), not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
    if (S_ISSOCK(mode)) return "is a socket, not a file";
    return "is not a regular file";
}

std::optional<FileIdentity> FileIdentity::OfPath(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

std::optional<FileIdentity> FileIdentity::OfDescriptor(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

void SafeOutputFile::SetLstatForTesting(LstatFunction lstatFunction) {
    g_lstat.store(lstatFunction ? lstatFunction : &::lstat);
}

Result<SafeOutputFile> SafeOutputFile::Create(const std::string& target,
                                              const SafeOutputOptions& options) {
    if (target.empty()) return MakeError(ErrorKind::Io, "no output file named");
    InstallSignalCleanup();

    SafeOutputFile file;
    file.m_path = target;
    file.m_replaceExisting = options.replaceExisting;
    file.m_inputs = options.inputs;
    struct stat info {};
    auto resolved = Resolve(target, info, file.m_existed);
    if (!resolved) return resolved.Error();
    file.m_target = std::move(resolved.Value());
    const auto refuse = [&](const std::string& reason) {
        return MakeError(ErrorKind::Io, target + ": " + reason);
    };
    if (file.m_existed) {
        if (!S_ISREG(info.st_mode)) return refuse(NotARegularFileReason(info.st_mode));
        const FileIdentity identity{static_cast<uint64_t>(info.st_dev),
                                    static_cast<uint64_t>(info.st_ino)};
        if (std::find(file.m_inputs.begin(), file.m_inputs.end(), identity) != file.m_inputs.end())
            return refuse("is the file being read; it cannot be written at the same time");
        if (!options.replaceExisting) return refuse("already exists");
        if (IsReadOnly(file.m_target, info)) return refuse("is read-only");
        // Renaming a new file into place would cut the other names off from the new content.
        if (info.st_nlink > 1)
            return refuse("has other hard links, which replacing it would cut off");
    }

    const std::string folder = FolderOf(file.m_target);
    // Hidden, and named so that what a power cut leaves is recognisable.
    const std::string stem = "." + NameOf(file.m_target).substr(0, 200) + ".lumeko-";
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && file.m_fd < 0 && error == EEXIST; ++attempt) {
        file.m_temporary = folder + "/" + stem + RandomSuffix();
        file.m_fd = ::open(file.m_temporary.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        error = errno;
    }
    if (file.m_fd < 0) {
        file.m_temporary.clear();
        return refuse("cannot create a file in " + folder + ": " + Describe(error));
    }
    file.m_slot = Register(file.m_temporary);
    if (file.m_existed) {
        // The replacement keeps what the user set; a superuser's write keeps the owner.
        (void)::fchmod(file.m_fd, info.st_mode & 07777);
        if (::geteuid() == 0) (void)::fchown(file.m_fd, info.st_uid, info.st_gid);
    }
    return file;
}

SafeOutputFile::SafeOutputFile(SafeOutputFile&& other) noexcept
    : m_path(std::move(other.m_path)),
      m_target(std::move(other.m_target)),
      m_temporary(std::exchange(other.m_temporary, {})),
      m_fd(std::exchange(other.m_fd, -1)),
      m_slot(std::exchange(other.m_slot, -1)),
      m_replaceExisting(other.m_replaceExisting),
      m_existed(other.m_existed),
      m_inputs(std::move(other.m_inputs)),
      m_error(std::move(other.m_error)) {}

SafeOutputFile& SafeOutputFile::operator=(SafeOutputFile&& other) noexcept {
    if (this != &other) {
        Discard();
        m_path = std::move(other.m_path);
        m_target = std::move(other.m_target);
        m_temporary = std::exchange(other.m_temporary, {});
        m_fd = std::exchange(other.m_fd, -1);
        m_slot = std::exchange(other.m_slot, -1);
        m_replaceExisting = other.m_replaceExisting;
        m_existed = other.m_existed;
        m_inputs = std::move(other.m_inputs);
        m_error = std::move(other.m_error);
    }
    return *this;
}

SafeOutputFile::~SafeOutputFile() {
    Discard();
}

// A failed write leaves nothing behind, at once: the partial file could fill the disk
// that the user is about to free.
Error SafeOutputFile::Failure(int error) {
    m_error = MakeError(ErrorKind::Io, m_path + ": " + Describe(error));
    Discard();
    return *m_error;
}

Result<void> SafeOutputFile::Write(std::span<const uint8_t> bytes) {
    if (m_error) return *m_error;
    if (m_fd < 0) return MakeError(ErrorKind::Io, m_path + ": the file is already closed");
    if (!WriteAllAt(m_fd, bytes.data(), bytes.size(), std::nullopt)) return Failure(errno);
    return {};
}

Result<void> SafeOutputFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
    if (m_error) return *m_error;
    if (m_fd < 0) return MakeError(ErrorKind::Io, m_path + ": the file is already closed");
    if (!WriteAllAt(m_fd, bytes.data(), bytes.size(), offset)) return Failure(errno);
    return {};
}

Result<void> SafeOutputFile::Commit() {
    if (m_error) {
        Discard();
        return *m_error;
    }
    if (m_fd < 0) return MakeError(ErrorKind::Io, m_path + ": the file is already closed");
    // On the disk before it takes the target's place: a power cut leaves old or new.
    if (::fsync(m_fd) != 0) return Failure(errno);
    if (::close(std::exchange(m_fd, -1)) != 0) return Failure(errno);
    // What is at the target may have changed while the file was written.
    struct stat info {};
    if (g_lstat.load()(m_target.c_str(), &info) == 0) {
        const FileIdentity identity{static_cast<uint64_t>(info.st_dev),
                                    static_cast<uint64_t>(info.st_ino)};
        std::optional<std::string> refusal;
        if (!S_ISREG(info.st_mode))
            refusal = NotARegularFileReason(info.st_mode);
        else if (std::find(m_inputs.begin(), m_inputs.end(), identity) != m_inputs.end())
            refusal = "is the file being read; it cannot be written at the same time";
        else if (!m_replaceExisting)
            refusal = "already exists";
        if (refusal) {
            m_error = MakeError(ErrorKind::Io, m_path + ": " + *refusal);
            Discard();
            return *m_error;
        }
    }
    int moved = -1;
    if (m_replaceExisting) {
        moved = ::rename(m_temporary.c_str(), m_target.c_str());
    } else {
        moved = ::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_target.c_str(),
                            RENAME_NOREPLACE);
        // File systems without it: a new name fails when the target exists just the same.
        if (moved != 0 && (errno == EINVAL || errno == ENOSYS)) {
            moved = ::link(m_temporary.c_str(), m_target.c_str());
            if (moved == 0) ::unlink(m_temporary.c_str());
        }
    }
    if (moved != 0) return Failure(errno);
    Unregister(std::exchange(m_slot, -1));
    m_temporary.clear();
    // Make the rename itself durable; a failure here loses nothing already written.
    const int folder = ::open(FolderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        (void)::fsync(folder);
        ::close(folder);
    }
    return {};
}

void SafeOutputFile::Discard() {
    if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
    Unregister(std::exchange(m_slot, -1));
}
