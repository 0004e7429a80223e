#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <utility>

#include "base/Result.h"

// A PCM WAV file written as the sound arrives; the sizes are filled in by Finish.
class WavFile {
public:
    static Result<WavFile> Create(const std::string& path, uint16_t channels, uint32_t sampleRate, uint16_t bits);
    WavFile(WavFile&& other) noexcept;
    WavFile& operator=(WavFile&&) = delete;
    ~WavFile();

    Result<void> Write(std::span<const uint8_t> pcm);
    Result<void> Finish();

private:
    WavFile(FILE* file, std::string path) : m_file(file), m_path(std::move(path)) {}
    Result<void> WriteHeader(uint16_t channels, uint32_t sampleRate, uint16_t bits);

    FILE* m_file;
    std::string m_path;
    uint32_t m_dataBytes = 0;
};
