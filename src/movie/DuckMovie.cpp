#include "movie/DuckMovie.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <new>
#include <span>
#include <string>

#include "audio/AudioFormat.h"
#include "audio/Dk3Decoder.h"
#include "audio/Dk4Decoder.h"
#include "audio/PcmCopy.h"
#include "base/ByteReader.h"
#include "base/FourCC.h"
#include "movie/AviRecordCodec.h"
#include "truemotion/FrameHeader.h"
#include "truemotion/FrameKind.h"

namespace {

// Reading every frame header at open is bounded by this; the rest are read when a seek
// needs them, so a long movie opens as fast as a short one.
constexpr auto kKeyIndexBudget = std::chrono::milliseconds(40);

std::unique_ptr<uint8_t[]> AllocateBytes(uint32_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[std::max<uint32_t>(size, 1)]);
}

bool IsHandledAudioFormat(const movie::WAVEFORMATEX& wfx) {
    if (wfx.nChannels == 0 || wfx.nSamplesPerSec == 0) return false;
    // PCM is copied and played in blocks of one sample of every channel; a format whose
    // block is any other size cannot be played right.
    if (wfx.wFormatTag == WAVE_FORMAT_PCM &&
        ((wfx.wBitsPerSample != 8 && wfx.wBitsPerSample != 16) ||
         wfx.nBlockAlign != uint32_t{wfx.nChannels} * wfx.wBitsPerSample / 8))
        return false;
    return audio::IsValidBlockAlign(wfx.wFormatTag, wfx.nChannels, wfx.nBlockAlign);
}

// The most raw bytes one ReadAudio takes: about a second of decoded sound, and never
// less than 256 KiB decoded (so the chunks of ordinary movies are read whole) nor more
// than 4 MiB; always at least one block.
uint32_t AudioReadBound(const movie::WAVEFORMATEX& wfx) {
    constexpr uint64_t kMinDecoded = 256 * 1024;
    constexpr uint64_t kMaxDecoded = 4 * 1024 * 1024;
    const uint64_t decodedPerSecond =
        uint64_t{wfx.nSamplesPerSec} * audio::DecodedChannelCount(wfx.wFormatTag, wfx.nChannels) *
        (wfx.wFormatTag == WAVE_FORMAT_PCM ? std::max<uint64_t>(wfx.wBitsPerSample / 8, 1) : 2);
    const uint64_t decoded = std::clamp(decodedPerSecond, kMinDecoded, kMaxDecoded);
    const uint64_t factor = audio::DecodedChunkCapacity(wfx.wFormatTag, 1);
    const uint64_t block = std::max<uint64_t>(wfx.nBlockAlign, 1);
    return static_cast<uint32_t>(std::max(decoded / factor / block, uint64_t{1}) * block);
}

}  // namespace

CDuckMovie::CDuckMovie(platform::IMessageBox& messages) : m_messages(messages) {}

CDuckMovie::~CDuckMovie() {
    Close();
}

int CDuckMovie::Open(std::string path) {
    Close();
    m_strPath = std::move(path);
    return OpenReader(movie::AviReader::OpenFile(m_strPath));
}

int CDuckMovie::OpenMemory(std::span<const uint8_t> image) {
    Close();
    m_strPath.clear();
    return OpenReader(movie::AviReader::OpenMemory(image));
}

std::optional<FileIdentity> CDuckMovie::GetFileIdentity() const {
    return m_pFile ? m_pFile->SourceIdentity() : std::nullopt;
}

int CDuckMovie::Refuse(const std::string& reason) {
    m_strOpenError = (m_strPath.empty() ? std::string("the movie") : m_strPath) + ": " + reason;
    return 0;
}

int CDuckMovie::OpenReader(Result<movie::AviReader> file) {
    m_nAudioPos = 0;
    m_nAudioSkipBytes = 0;
    m_nNextDecode = kNoDecodedFrame;
    m_pVideo = -1;
    m_pAudio = -1;
    m_strOpenError.clear();
    if (!file) {
        // The reader's errors already name the file.
        m_strOpenError = file.Error().message;
        return 0;
    }
    m_pFile.emplace(std::move(file.Value()));
    m_fileInfo = m_pFile->FileInfo();

    if (!OpenVideo()) {
        ReleaseVideo();
        m_pFile.reset();
        return 0;
    }
    OpenAudio();
    BuildKeyIndex();
    return 1;
}

void CDuckMovie::BuildKeyIndex() {
    m_keyIndex.assign(m_fileInfo.dwLength, kKeyUnknown);
    const auto deadline = std::chrono::steady_clock::now() + kKeyIndexBudget;
    const auto frames = static_cast<uint32_t>(m_keyIndex.size());
    // The flagged frames first: in a well-made file they are the key frames.
    if (m_pFile->HasKeyFlags(m_pVideo))
        for (uint32_t i = 0; i < frames && std::chrono::steady_clock::now() < deadline; ++i)
            if (m_pFile->IsKeyFlagged(m_pVideo, i)) KeyStateOf(i);
    for (uint32_t i = 0; i < frames && std::chrono::steady_clock::now() < deadline; ++i)
        KeyStateOf(i);
}

CDuckMovie::KeyState CDuckMovie::KeyStateOf(uint32_t frame) {
    uint8_t& state = m_keyIndex[frame];
    if (state != kKeyUnknown) return static_cast<KeyState>(state);
    std::array<uint8_t, truemotion::kMinFrameBytes> head{};
    const auto read = m_pFile->ReadHead(m_pVideo, frame, head);
    const bool key = read && truemotion::ClassifyFrame(
                                 std::span(head.data(), std::min<size_t>(read->bytes, head.size())),
                                 read->bytes) == truemotion::FrameKind::kKey;
    state = key ? kKeyFrame : kNotKeyFrame;
    return static_cast<KeyState>(state);
}

uint32_t CDuckMovie::FindKeyFrame(uint32_t frame) {
    if (!m_pFile || m_keyIndex.empty()) return 0;
    for (uint32_t i = std::min<uint32_t>(frame, static_cast<uint32_t>(m_keyIndex.size()) - 1);
         i > 0; --i)
        if (KeyStateOf(i) == kKeyFrame) return i;
    return 0;
}

int CDuckMovie::SeekFrame(uint32_t frame, uint8_t* image) {
    // The picture comes from WritePicture, which the decoder does not track as its own.
    m_pLastImage = nullptr;
    if (!m_pFile || frame >= GetFrameCount()) return -1;
    const uint32_t key = FindKeyFrame(frame);
    // Going on from the frames already decoded is cheaper when they lie between the
    // key frame and the target; otherwise decoding starts afresh at the key frame.
    uint32_t from = m_nNextDecode;
    if (m_nNextDecode == kNoDecodedFrame || m_nNextDecode <= key || m_nNextDecode > frame + 1) {
        m_decoder.Reset();
        from = key;
    }
    int result = m_nLastResult;
    for (uint32_t i = from; i <= frame; ++i) {
        auto read = m_pFile->Read(m_pVideo, i, 1, std::span(m_pFrameData.get(), m_nFrameDataSize));
        result =
            read ? m_decoder.DecodeFrame(std::span(m_pFrameData.get(), read->bytes), nullptr) : -1;
    }
    m_nNextDecode = frame + 1;
    m_nLastResult = result;
    m_decoder.WritePicture(image);
    return result;
}

uint64_t CDuckMovie::AudioSampleOfFrame(uint32_t frame) const {
    if (m_fileInfo.dwRate == 0) return 0;
    return uint64_t{frame} * m_fileInfo.dwScale * m_wfx.nSamplesPerSec / m_fileInfo.dwRate;
}

void CDuckMovie::SeekAudio(uint32_t frame) {
    m_nAudioSkipBytes = 0;
    if (m_pAudio < 0) return;
    const uint64_t sample = AudioSampleOfFrame(frame);
    if (m_wfx.wFormatTag == WAVE_FORMAT_PCM) {
        m_nAudioPos = static_cast<uint32_t>(std::min<uint64_t>(sample, m_audioInfo.dwLength));
        return;
    }
    const uint64_t perBlock =
        audio::FramesPerBlock(m_wfx.wFormatTag, m_wfx.nChannels, m_wfx.nBlockAlign);
    const uint64_t block = perBlock ? sample / perBlock : m_audioInfo.dwLength;
    if (block >= m_audioInfo.dwLength) {
        m_nAudioPos = m_audioInfo.dwLength;
        return;
    }
    m_nAudioPos = static_cast<uint32_t>(block);
    m_nAudioSkipBytes = static_cast<uint32_t>((sample % perBlock) * GetDecodedChannels() * 2);
}

int CDuckMovie::OpenVideo() {
    m_pVideo = m_pFile->FindStream(movie::streamtypeVIDEO, 0);
    if (m_pVideo < 0) return Refuse("has no video stream");
    m_videoInfo = m_pFile->StreamInfo(m_pVideo);
    if (m_videoInfo.fccHandler != movie::MakeFourCC("DUCK") &&
        m_videoInfo.fccHandler != movie::MakeFourCC("duck"))
        return Refuse("video is '" + FourCCText(m_videoInfo.fccHandler) + "', not TrueMotion");
    // Timing comes from these; a movie without them cannot be played or converted.
    if (m_fileInfo.dwRate == 0 || m_fileInfo.dwScale == 0)
        return Refuse("the video has no frame rate (rate " + std::to_string(m_fileInfo.dwRate) +
                      ", scale " + std::to_string(m_fileInfo.dwScale) + ")");
    // A header may claim more frames than the file holds: the player would show the last
    // picture, and the converter write it, for as long as the header says.
    m_fileInfo.dwLength = std::min(m_fileInfo.dwLength, m_pFile->IndexedSamples(m_pVideo));

    // A read needs the stream's largest chunk. The header's suggested size is not
    // believed: a small file claiming 64 MiB would have the player hold ten decoded sound
    // buffers of four to six times that, and a chunk above the suggestion could not be read.
    m_nFrameDataSize = m_pFile->LargestChunkBytes(m_pVideo);
    m_pFrameData = AllocateBytes(m_nFrameDataSize);
    if (!m_pFrameData) {
        m_messages.ShowError(platform::kNoMemoryText);
        return Refuse("not enough memory for a frame of " + std::to_string(m_nFrameDataSize) +
                      " bytes");
    }

    // The picture size is frame 0's, not the file header's.
    auto read = m_pFile->Read(m_pVideo, 0, 1, std::span(m_pFrameData.get(), m_nFrameDataSize));
    if (!read) return Refuse("the first frame cannot be read: " + read.Error().message);
    const auto geometry =
        truemotion::ProbeFrameGeometry(std::span(m_pFrameData.get(), read->bytes));
    if (!geometry) return Refuse("the first frame is not a TrueMotion frame");
    if (geometry->width <= 0 || geometry->height <= 0 || geometry->width > truemotion::kMaxWidth ||
        geometry->height > truemotion::kMaxHeight)
        return Refuse("the picture size " + std::to_string(geometry->width) + "x" +
                      std::to_string(geometry->height) + " is not one Lumeko shows (1x1 to " +
                      std::to_string(truemotion::kMaxWidth) + "x" +
                      std::to_string(truemotion::kMaxHeight) + ")");
    m_nWidth = geometry->width;
    m_nHeight = geometry->height;

    if (!m_decoder.Open(m_nWidth, m_nHeight)) {
        m_messages.ShowError(platform::kNoMemoryText);
        return Refuse("not enough memory for a picture of " + std::to_string(m_nWidth) + "x" +
                      std::to_string(m_nHeight));
    }

    m_bmih = movie::BITMAPINFOHEADER{};
    m_bmih.biWidth = m_nWidth;
    m_bmih.biHeight = m_nHeight;
    m_bmih.biBitCount = 24;
    // Sized from the file header, not from the decoded picture: compressors and files
    // written before rely on that figure. Stored bitmaps pad each row of 3 × width bytes
    // to a multiple of 4 (the bitmap in memory has unpadded rows).
    m_bmih.biSizeImage = m_fileInfo.dwHeight * ((3 * m_fileInfo.dwWidth + 3) & ~3u);
    return 1;
}

void CDuckMovie::OpenAudio() {
    m_pAudio = m_pFile->FindStream(movie::streamtypeAUDIO, 0);
    if (m_pAudio < 0) return;
    m_audioInfo = m_pFile->StreamInfo(m_pAudio);

    // The stored format: a wave format (its last word optional in old files) and the
    // samples-per-block word; anything longer is not ours to read.
    const auto format = m_pFile->StreamFormat(m_pAudio);
    const bool complete = movie::ParseWaveFormat(format, m_wfx);
    m_wSamplesPerBlock = format.size() >= movie::kWaveFormatExBytes + 2
                             ? LoadLE16(format.data() + movie::kWaveFormatExBytes)
                             : 0;
    if (!complete || !IsHandledAudioFormat(m_wfx)) {
        m_pAudio = -1;
        return;
    }

    // A read takes whole blocks from within one chunk, never more than the bound, so a
    // movie whose sound is one huge chunk is read a piece at a time with small buffers.
    // Blocks decode on their own, so the pieces join into the same sound.
    m_nAudioWorkSize = std::min(m_pFile->LargestChunkBytes(m_pAudio), AudioReadBound(m_wfx));
    m_pAudioWork = AllocateBytes(m_nAudioWorkSize);
    if (!m_pAudioWork) {
        m_messages.ShowError(platform::kNoMemoryText);
        m_pAudio = -1;
    }
}

void CDuckMovie::ReleaseVideo() {
    m_decoder.Close();
    m_pLastImage = nullptr;
    m_pFrameData.reset();
    m_nFrameDataSize = 0;
    m_pVideo = -1;
}

void CDuckMovie::Close() {
    if (!m_pFile) return;
    m_pAudioWork.reset();
    m_nAudioWorkSize = 0;
    m_pAudio = -1;
    ReleaseVideo();
    m_pFile.reset();
    m_keyIndex.clear();
    m_keyIndex.shrink_to_fit();
    m_nNextDecode = kNoDecodedFrame;
}

int CDuckMovie::ReadFrame(uint32_t index, uint8_t* image, const uint8_t* previous) {
    // A seek, a failed read or a rejected frame breaks the chain from frame to frame.
    const bool follows =
        previous != nullptr && previous == m_pLastImage && index != 0 && index - 1 == m_nLastFrame;
    m_pLastImage = nullptr;
    if (!m_pFile) return -1;
    // The working images follow the movie's order when this frame comes next or is a
    // key frame; anything else leaves them in a state no seek may go on from.
    const bool inOrder =
        index == m_nNextDecode || (index < m_keyIndex.size() && m_keyIndex[index] == kKeyFrame);
    m_nNextDecode = inOrder ? index + 1 : kNoDecodedFrame;
    auto read = m_pFile->Read(m_pVideo, index, 1, std::span(m_pFrameData.get(), m_nFrameDataSize));
    if (!read) return m_nLastResult = -1;
    const int result = m_decoder.DecodeFrame(std::span(m_pFrameData.get(), read->bytes), image,
                                             follows ? previous : nullptr);
    m_nLastResult = result;
    if (result == 1) {
        m_pLastImage = image;
        m_nLastFrame = index;
    }
    return result;
}

uint32_t CDuckMovie::ReadAudio(uint8_t* dst) {
    for (;;) {
        const uint32_t bytes = ReadAudioChunk(dst);
        if (bytes == 0 || m_nAudioSkipBytes == 0) return bytes;
        // The first block after a seek starts before the target: its head is left out.
        const uint32_t drop = std::min(bytes, m_nAudioSkipBytes);
        m_nAudioSkipBytes -= drop;
        if (drop < bytes) {
            std::memmove(dst, dst + drop, bytes - drop);
            return bytes - drop;
        }
    }
}

uint32_t CDuckMovie::ReadAudioChunk(uint8_t* dst) {
    if (m_pAudio < 0 || m_nAudioPos >= m_audioInfo.dwLength) return 0;
    const size_t capacity = GetAudioChunkSize();
    const bool pcm = m_wfx.wFormatTag == WAVE_FORMAT_PCM;
    auto read = m_pFile->Read(m_pAudio, m_nAudioPos, movie::AviReader::kConvenient,
                              std::span(m_pAudioWork.get(), m_nAudioWorkSize));
    if (!read) return 0;
    m_nAudioPos += read->samples;

    const std::span<const uint8_t> raw(m_pAudioWork.get(), read->bytes);
    if (pcm)
        return static_cast<uint32_t>(
            audio::CopyPcm(raw, m_wfx.nBlockAlign, std::span(dst, capacity)));
    const std::span<int16_t> out(reinterpret_cast<int16_t*>(dst), capacity / 2);
    if (m_wfx.wFormatTag == audio::kWaveFormatDk4) {
        return static_cast<uint32_t>(m_wfx.nChannels == 2
                                         ? audio::DecodeDk4Stereo(raw, m_wfx.nBlockAlign, out)
                                         : audio::DecodeDk4Mono(raw, m_wfx.nBlockAlign, out));
    }
    return static_cast<uint32_t>(audio::DecodeDk3(raw, m_wfx.nBlockAlign, out));
}

void CDuckMovie::RewindAudio() {
    m_nAudioPos = 0;
    m_nAudioSkipBytes = 0;
}

uint32_t CDuckMovie::GetFrameCount() const {
    return m_pFile ? m_fileInfo.dwLength : 0;
}

int CDuckMovie::GetBitmapHeader(movie::BITMAPINFOHEADER* bmih) const {
    if (!m_pFile) return 0;
    *bmih = m_bmih;
    return 1;
}

void CDuckMovie::GetWaveFormat(movie::WAVEFORMATEX* wfx) const {
    *wfx = m_wfx;
}

uint32_t CDuckMovie::GetRate() const {
    return m_fileInfo.dwRate;
}

uint32_t CDuckMovie::GetScale() const {
    return m_fileInfo.dwScale;
}

uint32_t CDuckMovie::GetAudioChunkSize() const {
    if (m_pAudio < 0) return 0;
    // Decoded sound is 16-bit: an even cap never cuts a sample in two.
    return static_cast<uint32_t>(std::min<size_t>(
        audio::DecodedChunkCapacity(m_wfx.wFormatTag, m_nAudioWorkSize), UINT32_MAX & ~size_t{1}));
}

int CDuckMovie::GetSourceDepth() const {
    return m_decoder.GetCompression() > 8 ? 24 : 15;
}

uint16_t CDuckMovie::GetDecodedChannels() const {
    return m_pAudio < 0 ? 0 : audio::DecodedChannelCount(m_wfx.wFormatTag, m_wfx.nChannels);
}
