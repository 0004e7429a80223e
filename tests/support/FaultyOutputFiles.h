#pragma once

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "movie/AviWriter.h"

// The disk, with one of the writer's file operations failing on cue: operations are
// numbered from 0 in the order they come (create, each write, each write in place,
// commit), and the one numbered `failAt` fails as a full disk would. A run with failAt
// -1 fails nothing and records the operations, so a test can then fail each in turn.
class FaultyOutputFiles final : public movie::OutputFiles {
public:
    explicit FaultyOutputFiles(int failAt = -1) : m_failAt(failAt) {}

    Result<std::unique_ptr<movie::ByteSink>> Create(const std::string& path,
                                                    const SafeOutputOptions& options) override {
        if (!Pass("create")) return Full(path);
        auto file = movie::OutputFiles::Disk().Create(path, options);
        if (!file) return file.Error();
        return std::unique_ptr<movie::ByteSink>(
            std::make_unique<Sink>(*this, path, std::move(file.Value())));
    }

    // What each operation was, in order.
    const std::vector<std::string>& Operations() const { return m_operations; }

private:
    static Error Full(const std::string& path) {
        return MakeError(ErrorKind::Io, path + ": " + std::strerror(ENOSPC));
    }

    class Sink final : public movie::ByteSink {
    public:
        Sink(FaultyOutputFiles& owner, std::string path, std::unique_ptr<movie::ByteSink> file)
            : m_owner(owner), m_path(std::move(path)), m_file(std::move(file)) {}
        Result<void> Write(std::span<const uint8_t> bytes) override {
            if (!m_owner.Pass("write")) return Full(m_path);
            return m_file->Write(bytes);
        }
        Result<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
            if (!m_owner.Pass("write in place")) return Full(m_path);
            return m_file->WriteAt(offset, bytes);
        }
        Result<void> Commit() override {
            if (!m_owner.Pass("commit")) return Full(m_path);
            return m_file->Commit();
        }

    private:
        FaultyOutputFiles& m_owner;
        std::string m_path;
        std::unique_ptr<movie::ByteSink> m_file;
    };

    bool Pass(const char* what) {
        m_operations.emplace_back(what);
        return static_cast<int>(m_operations.size()) - 1 != m_failAt;
    }

    int m_failAt;
    std::vector<std::string> m_operations;
};
