#pragma once

#include <memory>
#include <string>
#include <vector>

#include "movie/AviWriter.h"

// The disk, with one of the writer's file operations failing on cue: operations are
// numbered from 0 in the order they come (create, each write, each write in place, close,
// rename), and the one numbered `failAt` fails as a full disk would. A run with failAt
// -1 fails nothing and records the operations, so a test can then fail each in turn.
class FaultyOutputFiles final : public movie::OutputFiles {
public:
    explicit FaultyOutputFiles(int failAt = -1) : m_failAt(failAt) {}

    Result<std::unique_ptr<movie::ByteSink>> Create(const std::string& path) override {
        if (!Pass("create")) return MakeError(ErrorKind::Io, path + ": cannot create");
        auto file = movie::OutputFiles::Disk().Create(path);
        if (!file) return file.error();
        return std::unique_ptr<movie::ByteSink>(
            std::make_unique<Sink>(*this, std::move(file.value())));
    }
    Result<void> Rename(const std::string& from, const std::string& to) override {
        if (!Pass("rename")) return MakeError(ErrorKind::Io, to + ": cannot rename");
        return movie::OutputFiles::Disk().Rename(from, to);
    }
    void Remove(const std::string& path) override { movie::OutputFiles::Disk().Remove(path); }

    // What each operation was, in order.
    const std::vector<std::string>& Operations() const { return m_operations; }

private:
    class Sink final : public movie::ByteSink {
    public:
        Sink(FaultyOutputFiles& owner, std::unique_ptr<movie::ByteSink> file)
            : m_owner(owner), m_file(std::move(file)) {}
        bool Write(std::span<const uint8_t> bytes) override {
            return m_owner.Pass("write") && m_file->Write(bytes);
        }
        bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
            return m_owner.Pass("write in place") && m_file->WriteAt(offset, bytes);
        }
        bool Close() override { return m_owner.Pass("close") && m_file->Close(); }

    private:
        FaultyOutputFiles& m_owner;
        std::unique_ptr<movie::ByteSink> m_file;
    };

    bool Pass(const char* what) {
        m_operations.emplace_back(what);
        return static_cast<int>(m_operations.size()) - 1 != m_failAt;
    }

    int m_failAt;
    std::vector<std::string> m_operations;
};
