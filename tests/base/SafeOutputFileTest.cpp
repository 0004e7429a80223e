#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/SafeOutputFile.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

const std::vector<uint8_t> kNew = {'n', 'e', 'w'};

// Every name in the folder (hidden ones too) with its bytes (the start of them), or its
// link target.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            files[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            const auto bytes = ReadFileBytes(entry.path().string());
            files[name] =
                std::string(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 16));
            if (bytes.size() > 16)
                files[name] += "... (" + std::to_string(bytes.size()) + " bytes)";
        } else {
            files[name] = "(not a file)";
        }
    }
    return files;
}

bool IsDeviceName(const char* path) {
    return std::string_view(path).ends_with("/device.avi");
}

// The seam's stand-in for lstat: "device.avi" shows as a character device.
int LstatWithADevice(const char* path, struct stat* info) {
    const int result = ::lstat(path, info);
    if (result == 0 && IsDeviceName(path)) info->st_mode = S_IFCHR | 0666;
    return result;
}

struct TargetCase {
    const char* name;
    // Prepares the folder; returns the path to write (relative to the folder).
    std::function<std::string(const TempDir&)> setUp;
    bool replaceExisting;
    // Empty when the write succeeds; else a part of the message.
    const char* refusal;
    // Where the new bytes land on success.
    const char* written;
    bool unprivilegedOnly = false;
};

}  // namespace

// Each kind of target, next to the movie being read ("input.avi") and an unrelated file:
// the outcome, and afterwards every file but the one written byte for byte as before,
// with nothing left over.
TEST(SafeOutputFile, TargetsAreWrittenOrRefusedWithTheReason) {
    const TargetCase cases[] = {
        {"new file", [](const TempDir&) { return "out.avi"; }, true, "", "out.avi"},
        {"existing file",
         [](const TempDir& d) {
             WriteFileBytes(d.File("out.avi"), {'o', 'l', 'd'});
             return "out.avi";
         },
         true, "", "out.avi"},
        {"existing file, replacing not allowed",
         [](const TempDir& d) {
             WriteFileBytes(d.File("out.avi"), {'o', 'l', 'd'});
             return "out.avi";
         },
         false, "out.avi: already exists", nullptr},
        {"link to a file",
         [](const TempDir& d) {
             WriteFileBytes(d.File("real.avi"), {'o', 'l', 'd'});
             fs::create_symlink("real.avi", d.File("link.avi"));
             return "link.avi";
         },
         true, "", "real.avi"},
        {"link to nothing",
         [](const TempDir& d) {
             fs::create_symlink("missing.avi", d.File("link.avi"));
             return "link.avi";
         },
         true, "which does not exist", nullptr},
        {"named pipe",
         [](const TempDir& d) {
             ::mkfifo(d.File("fifo.avi").c_str(), 0644);
             return "fifo.avi";
         },
         true, "fifo.avi: is a named pipe (FIFO)", nullptr},
        {"device",
         [](const TempDir& d) {
             WriteFileBytes(d.File("device.avi"), {'d', 'e', 'v'});
             return "device.avi";
         },
         true, "device.avi: is a device", nullptr},
        {"directory",
         [](const TempDir& d) {
             fs::create_directory(d.File("folder.avi"));
             return "folder.avi";
         },
         true, "folder.avi: is a directory", nullptr},
        {"the input itself", [](const TempDir&) { return "input.avi"; }, true,
         "is the file being read", nullptr},
        {"the input through a hard link",
         [](const TempDir& d) {
             fs::create_hard_link(d.File("input.avi"), d.File("hard.avi"));
             return "hard.avi";
         },
         true, "hard.avi: is the file being read", nullptr},
        {"the input through a link",
         [](const TempDir& d) {
             fs::create_symlink(d.File("input.avi"), d.File("link.avi"));
             return "link.avi";
         },
         true, "is the file being read", nullptr},
        {"a file with another name",
         [](const TempDir& d) {
             WriteFileBytes(d.File("out.avi"), {'o', 'l', 'd'});
             fs::create_hard_link(d.File("out.avi"), d.File("other.avi"));
             return "out.avi";
         },
         true, "out.avi: has other hard links", nullptr},
        {"read-only file",
         [](const TempDir& d) {
             WriteFileBytes(d.File("out.avi"), {'o', 'l', 'd'});
             ::chmod(d.File("out.avi").c_str(), 0444);
             return "out.avi";
         },
         true, "out.avi: is read-only", nullptr},
        {"missing folder", [](const TempDir&) { return "missing/out.avi"; }, true,
         "No such file or directory", nullptr},
        {"read-only folder",
         [](const TempDir& d) {
             fs::create_directory(d.File("locked"));
             ::chmod(d.File("locked").c_str(), 0555);
             return "locked/out.avi";
         },
         true, "Permission denied", nullptr, true},
    };
    SafeOutputFile::SetLstatForTesting(&LstatWithADevice);
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.unprivilegedOnly && ::geteuid() == 0) continue;  // run as a user by the tool test
        TempDir dir;
        WriteFileBytes(dir.File("input.avi"), {'m', 'o', 'v', 'i', 'e'});
        WriteFileBytes(dir.File("notes.txt"), {'k', 'e', 'e', 'p'});
        const std::string target = dir.File(c.setUp(dir));
        auto before = Snapshot(dir.Path());

        SafeOutputOptions options;
        options.replaceExisting = c.replaceExisting;
        options.inputs = {*FileIdentity::OfPath(dir.File("input.avi"))};
        auto file = SafeOutputFile::Create(target, options);
        if (*c.refusal) {
            ASSERT_FALSE(file.Ok());
            EXPECT_NE(file.Error().message.find(c.refusal), std::string::npos)
                << file.Error().message;
        } else {
            ASSERT_TRUE(file.Ok()) << file.Error().message;
            ASSERT_TRUE(file->Write(kNew).Ok());
            ASSERT_TRUE(file->Commit().Ok());
            before[c.written] = "new";
        }
        EXPECT_EQ(Snapshot(dir.Path()), before);
        ::chmod(dir.File("locked").c_str(), 0755);
    }
    SafeOutputFile::SetLstatForTesting(nullptr);
}

TEST(SafeOutputFile, ReplacementKeepsPermissionsAndIsOneRename) {
    TempDir dir;
    const std::string path = dir.File("out.avi");
    WriteFileBytes(path, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    auto file = SafeOutputFile::Create(path);
    ASSERT_TRUE(file.Ok());
    ASSERT_TRUE(file->Write(std::vector<uint8_t>{'a', 'x', 'c'}).Ok());
    ASSERT_TRUE(file->WriteAt(1, std::vector<uint8_t>{'b'}).Ok());
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'o', 'l', 'd'}))
        << "nothing reaches the target before Commit";
    EXPECT_EQ(fs::path(file->TemporaryPath()).parent_path(), dir.Path());
    EXPECT_EQ(fs::path(file->TemporaryPath()).filename().string()[0], '.') << "hidden";
    ASSERT_TRUE(file->Commit().Ok());
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'a', 'b', 'c'}));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(SafeOutputFile, UncommittedFileLeavesNothing) {
    TempDir dir;
    WriteFileBytes(dir.File("out.avi"), {'o', 'l', 'd'});
    const auto before = Snapshot(dir.Path());
    {
        auto file = SafeOutputFile::Create(dir.File("out.avi"));
        ASSERT_TRUE(file.Ok());
        ASSERT_TRUE(file->Write(kNew).Ok());
        SafeOutputFile moved = std::move(file.Value());
        EXPECT_TRUE(fs::exists(moved.TemporaryPath()));
    }
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

// What is at the target is looked at again before the rename.
TEST(SafeOutputFile, TargetThatChangesWhileWrittenIsNotReplaced) {
    struct Case {
        const char* name;
        bool replaceExisting;
        std::function<void(const std::string&)> change;
        const char* refusal;
    };
    const Case cases[] = {
        {"became a folder", true, [](const std::string& p) { fs::create_directory(p); },
         "is a directory"},
        {"appeared when replacing was not allowed", false,
         [](const std::string& p) {
             WriteFileBytes(p, {'o', 'l', 'd'});
         },
         "already exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.File("out.avi");
        SafeOutputOptions options;
        options.replaceExisting = c.replaceExisting;
        auto file = SafeOutputFile::Create(path, options);
        ASSERT_TRUE(file.Ok());
        ASSERT_TRUE(file->Write(kNew).Ok());
        c.change(path);
        auto before = Snapshot(dir.Path());
        before.erase(fs::path(file->TemporaryPath()).filename().string());
        const auto committed = file->Commit();
        ASSERT_FALSE(committed.Ok());
        EXPECT_NE(committed.Error().message.find(c.refusal), std::string::npos);
        EXPECT_EQ(Snapshot(dir.Path()), before) << "the temporary file is gone too";
    }
}

// A write the file system refuses (here: over the file size limit, as a full disk would)
// is reported with its cause, sticks, and leaves nothing.
TEST(SafeOutputFile, FailedWriteSticksAndLeavesNothing) {
    TempDir dir;
    const auto before = Snapshot(dir.Path());
    auto file = SafeOutputFile::Create(dir.File("out.avi"));
    ASSERT_TRUE(file.Ok());
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto failed = file->Write(std::vector<uint8_t>(8192, 1));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_FALSE(failed.Ok());
    EXPECT_EQ(failed.Error().message, dir.File("out.avi") + ": " + std::strerror(EFBIG));
    EXPECT_FALSE(file->Write(kNew).Ok()) << "the failure sticks";
    EXPECT_FALSE(file->Commit().Ok());
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

// SIGINT, SIGTERM or SIGHUP while a file is being written: the temporary file goes, and
// the signal then does what it did before (ends the process, or reaches the handler the
// program had).
TEST(SafeOutputFile, SignalRemovesTheTemporaryFile) {
    struct Case {
        int signal;
        bool ownHandler;
    };
    for (const Case c :
         {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGTERM, true}}) {
        SCOPED_TRACE(::testing::Message() << strsignal(c.signal) << (c.ownHandler ? " +" : ""));
        TempDir dir;
        WriteFileBytes(dir.File("out.avi"), {'o', 'l', 'd'});
        const auto before = Snapshot(dir.Path());
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (c.ownHandler) std::signal(c.signal, [](int) { ::_exit(42); });
            auto file = SafeOutputFile::Create(dir.File("out.avi"));
            if (!file || !file->Write(kNew)) ::_exit(1);
            ::raise(c.signal);
            ::_exit(2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (c.ownHandler) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
        }
        EXPECT_EQ(Snapshot(dir.Path()), before);
    }
}
