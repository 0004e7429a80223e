#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/Result.h"
#include "base/SafeOutputFile.h"

// A PCM WAV file written as the sound arrives, as a user's file (SafeOutputFile): the
// sizes are filled in and the file put in place by Finish; without Finish, nothing stays.
class WavFile {
public:
    static Result<WavFile> Create(const std::string& path, uint16_t channels, uint32_t sampleRate,
                                  uint16_t bits, const SafeOutputOptions& options = {});
    Result<void> Write(std::span<const uint8_t> pcm);
    Result<void> Finish();

private:
    explicit WavFile(SafeOutputFile file) : m_file(std::move(file)) {}
    Result<void> WriteHeader(uint16_t channels, uint32_t sampleRate, uint16_t bits);

    SafeOutputFile m_file;
    uint32_t m_dataBytes = 0;
};
