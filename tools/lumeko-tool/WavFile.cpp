#include "WavFile.h"

#include <algorithm>
#include <array>
#include <limits>

#include "base/ByteReader.h"

namespace {
constexpr uint64_t kRiffSizeOffset = 4;
constexpr uint64_t kDataSizeOffset = 40;
constexpr size_t kHeaderBytes = 44;
}  // namespace

Result<WavFile> WavFile::Create(const std::string& path, uint16_t channels, uint32_t sampleRate,
                                uint16_t bits, const SafeOutputOptions& options) {
    auto file = SafeOutputFile::Create(path, options);
    if (!file) return file.Error();
    WavFile wav(std::move(file.Value()));
    LUMEKO_TRY(wav.WriteHeader(channels, sampleRate, bits));
    return wav;
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
    return m_file.Write(h);
}

Result<void> WavFile::Write(std::span<const uint8_t> pcm) {
    if (pcm.size() > std::numeric_limits<uint32_t>::max() - kHeaderBytes - 1 - m_dataBytes)
        return MakeError(ErrorKind::Unsupported, m_file.Path() + ": sound too long for a WAV file");
    LUMEKO_TRY(m_file.Write(pcm));
    m_dataBytes += static_cast<uint32_t>(pcm.size());
    return {};
}

Result<void> WavFile::Finish() {
    if (m_dataBytes & 1) LUMEKO_TRY(m_file.Write(std::array<uint8_t, 1>{0}));
    uint8_t size[4];
    StoreLE32(size, static_cast<uint32_t>(kHeaderBytes - 8 + m_dataBytes + (m_dataBytes & 1)));
    LUMEKO_TRY(m_file.WriteAt(kRiffSizeOffset, size));
    StoreLE32(size, m_dataBytes);
    LUMEKO_TRY(m_file.WriteAt(kDataSizeOffset, size));
    return m_file.Commit();
}
