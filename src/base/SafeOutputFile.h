#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

// The one way a file the user keeps is written. The bytes go to a new hidden file in
// the target's folder, created exclusively (never through a link, never over anything
// that is there); only Commit, once everything is written and on the disk, renames it
// over the target. A file that is not committed (a failure, a destructor, SIGINT,
// SIGTERM or SIGHUP) is removed, so the target is either as it was or complete.
//
// The target is looked at before anything is created: a link is followed to the file it
// names (that file is written, the link stays), an existing file keeps its permissions
// and owner, and anything that is not a regular file (folder, named pipe, device,
// socket), a link to nothing, a file with other hard links, and any file being read
// (by device and inode, whatever its name) is refused with the reason.

// A file on disk, the same under every name it has.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;

    // Follows links; nothing when the file cannot be looked at.
    static std::optional<FileIdentity> OfPath(const std::string& path);
    static std::optional<FileIdentity> OfDescriptor(int fd);
};

// Why a file of this type is no file to read or write as a movie or a setting ("is a
// directory", "is a named pipe (FIFO), not a file", ...); for types other than regular.
const char* NotARegularFileReason(mode_t mode);

struct SafeOutputOptions {
    // Whether an existing file may be replaced (a save dialog has asked the user).
    bool replaceExisting = true;
    // The files being read: the output is none of them.
    std::vector<FileIdentity> inputs;
};

class SafeOutputFile {
public:
    static Result<SafeOutputFile> Create(const std::string& target,
                                         const SafeOutputOptions& options = {});

    SafeOutputFile(SafeOutputFile&& other) noexcept;
    SafeOutputFile& operator=(SafeOutputFile&& other) noexcept;
    // Removes the temporary file unless it was committed.
    ~SafeOutputFile();

    // Appends, or writes at an offset (the file grows as needed). The first failure
    // sticks: every later call, Commit included, reports it again.
    Result<void> Write(std::span<const uint8_t> bytes);
    Result<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
    // Flushes to the disk and renames over the target; the object is spent afterwards.
    Result<void> Commit();
    // Removes the temporary file now; the target stays as it was.
    void Discard();

    // The path as given, the file actually replaced (a link's target), the hidden file
    // being written and its descriptor (for writers that need one of their own).
    const std::string& Path() const { return m_path; }
    const std::string& TargetPath() const { return m_target; }
    const std::string& TemporaryPath() const { return m_temporary; }
    int Descriptor() const { return m_fd; }

    // Test seam: how the target is looked at (lstat), so that a test can show a device
    // without making one. nullptr restores lstat.
    using LstatFunction = int (*)(const char* path, struct stat* info);
    static void SetLstatForTesting(LstatFunction lstatFunction);

private:
    SafeOutputFile() = default;
    Error Failure(int error);

    std::string m_path;
    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
    int m_slot = -1;  // in the registry the signal handler empties
    bool m_replaceExisting = true;
    bool m_existed = false;
    std::vector<FileIdentity> m_inputs;
    std::optional<Error> m_error;
};
