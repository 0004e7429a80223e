#pragma once

#include <filesystem>
#include <random>
#include <string>

// A folder of its own for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        std::random_device seed;
        m_path = std::filesystem::temp_directory_path() / ("lumeko-test-" + std::to_string(seed()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
