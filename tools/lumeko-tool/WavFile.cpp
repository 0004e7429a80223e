#include "WavFile.h"

#include <algorithm>
#include <array>
#include <limits>

#include "base/ByteReader.h"

namespace {
constexpr long kRiffSizeOffset = 4;
constexpr long kDataSizeOffset = 40;
constexpr size_t kHeaderBytes = 44;
}  // namespace

Result<WavFile> WavFile::Create(const std::string& path, uint16_t channels, uint32_t sampleRate, uint16_t bits) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return MakeError(ErrorKind::Io, path + ": cannot create");
    WavFile wav(file, path);
    LUMEKO_TRY(wav.WriteHeader(channels, sampleRate, bits));
    return wav;
}

WavFile::WavFile(WavFile&& other) noexcept
    : m_file(std::exchange(other.m_file, nullptr)), m_path(std::move(other.m_path)), m_dataBytes(other.m_dataBytes) {}

WavFile::~WavFile() {
    if (m_file) std::fclose(m_file);
}

Result<void> WavFile::WriteHeader(uint16_t channels, uint32_t sampleRate, uint16_t bits) {
    std::array<uint8_t, kHeaderBytes> h{};
    const uint16_t blockAlign = static_cast<uint16_t>(channels * bits / 8);
    std::copy_n("RIFF", 4, h.begin());
    std::copy_n("WAVEfmt ", 8, h.begin() + 8);
    StoreLE32(&h[16], 16);
    StoreLE16(&h[20], 1);
    StoreLE16(&h[22], channels);
    StoreLE32(&h[24], sampleRate);
    StoreLE32(&h[28], sampleRate * blockAlign);
    StoreLE16(&h[32], blockAlign);
    StoreLE16(&h[34], bits);
    std::copy_n("data", 4, h.begin() + 36);
    if (std::fwrite(h.data(), 1, h.size(), m_file) != h.size()) return MakeError(ErrorKind::Io, m_path + ": write failed");
    return {};
}

Result<void> WavFile::Write(std::span<const uint8_t> pcm) {
    if (pcm.size() > std::numeric_limits<uint32_t>::max() - kHeaderBytes - m_dataBytes)
        return MakeError(ErrorKind::Unsupported, m_path + ": sound too long for a WAV file");
    if (std::fwrite(pcm.data(), 1, pcm.size(), m_file) != pcm.size())
        return MakeError(ErrorKind::Io, m_path + ": write failed");
    m_dataBytes += static_cast<uint32_t>(pcm.size());
    return {};
}

Result<void> WavFile::Finish() {
    uint8_t size[4];
    bool ok = true;
    if (m_dataBytes & 1) ok = std::fputc(0, m_file) != EOF;
    StoreLE32(size, static_cast<uint32_t>(kHeaderBytes - 8 + m_dataBytes + (m_dataBytes & 1)));
    ok = ok && std::fseek(m_file, kRiffSizeOffset, SEEK_SET) == 0 && std::fwrite(size, 1, 4, m_file) == 4;
    StoreLE32(size, m_dataBytes);
    ok = ok && std::fseek(m_file, kDataSizeOffset, SEEK_SET) == 0 && std::fwrite(size, 1, 4, m_file) == 4;
    ok = std::fclose(std::exchange(m_file, nullptr)) == 0 && ok;
    if (!ok) return MakeError(ErrorKind::Io, m_path + ": write failed");
    return {};
}
