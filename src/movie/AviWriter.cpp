#include "movie/AviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/ByteReader.h"
#include "movie/AviRecordCodec.h"

namespace movie {
namespace {

constexpr uint32_t AVIF_HASINDEX = 0x10;
constexpr uint32_t kMainHeaderBytes = 56;
// A RIFF's sizes are 32-bit; stay well inside them.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFF0u;

class FileSink final : public ByteSink {
public:
    explicit FileSink(std::FILE* file) : m_file(file) {}
    ~FileSink() override {
        if (m_file) std::fclose(m_file);
    }
    bool Write(std::span<const uint8_t> bytes) override {
        return std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
    }
    bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
        return fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0 && Write(bytes) &&
               fseeko(m_file, 0, SEEK_END) == 0;
    }
    bool Close() override {
        const bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file);
        return std::fclose(std::exchange(m_file, nullptr)) == 0 && ok;
    }

private:
    std::FILE* m_file;
};

class Bytes {
public:
    void U16(uint16_t v) {
        m_data.push_back(static_cast<uint8_t>(v));
        m_data.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void FourCC(const char (&code)[5]) { U32(MakeFourCC(code)); }
    void Append(std::span<const uint8_t> bytes) { m_data.insert(m_data.end(), bytes.begin(), bytes.end()); }
    // A chunk with its header and pad byte.
    void Chunk(uint32_t id, std::span<const uint8_t> data) {
        U32(id);
        U32(static_cast<uint32_t>(data.size()));
        Append(data);
        if (data.size() & 1) m_data.push_back(0);
    }
    size_t Size() const { return m_data.size(); }
    void PatchU32(size_t at, uint32_t v) { StoreLE32(&m_data[at], v); }
    const std::vector<uint8_t>& Data() const { return m_data; }

private:
    std::vector<uint8_t> m_data;
};

struct IndexEntry {
    uint32_t id;
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
};

}  // namespace

struct AviWriter::State {
    std::string path;
    std::string temporaryPath;
    std::unique_ptr<ByteSink> sink;
    struct Stream {
        AVISTREAMINFO info;
        std::vector<uint8_t> format;
        uint32_t chunkId;
        uint64_t bytes = 0;
        uint32_t chunks = 0;
        uint32_t largest = 0;
    };
    std::vector<Stream> streams;
    std::vector<IndexEntry> index;
    bool started = false;
    bool finished = false;
    uint64_t headerBytes = 0;  // from the file's start to the 'movi' list type
    uint64_t written = 0;

    ~State() {
        if (!finished) {
            sink.reset();
            std::remove(temporaryPath.c_str());
        }
    }

    // The RIFF header, 'hdrl' and the start of 'movi'. Written with placeholder sizes
    // when the first chunk comes, and again in place by Finish; its size never changes.
    std::vector<uint8_t> Headers(uint64_t moviBytes, uint64_t fileBytes) const {
        Bytes h;
        h.FourCC("RIFF");
        h.U32(static_cast<uint32_t>(fileBytes - 8));
        h.FourCC("AVI ");
        h.FourCC("LIST");
        const size_t hdrlSize = h.Size();
        h.U32(0);
        h.FourCC("hdrl");

        const Stream* video = nullptr;
        uint32_t largest = 0;
        for (const auto& s : streams) {
            if (!video && s.info.fccType == streamtypeVIDEO) video = &s;
            largest = std::max(largest, s.largest);
        }
        const double seconds =
            video && video->info.dwRate ? static_cast<double>(video->chunks) * video->info.dwScale / video->info.dwRate : 0;
        Bytes avih;
        avih.U32(video && video->info.dwRate
                     ? static_cast<uint32_t>(std::llround(1e6 * video->info.dwScale / video->info.dwRate))
                     : 0);
        avih.U32(seconds > 0 ? static_cast<uint32_t>(std::min<double>(moviBytes / seconds, UINT32_MAX)) : 0);
        avih.U32(0);
        avih.U32(AVIF_HASINDEX);
        avih.U32(video ? video->chunks : 0);
        avih.U32(0);
        avih.U32(static_cast<uint32_t>(streams.size()));
        avih.U32(largest);
        avih.U32(video ? static_cast<uint32_t>(video->info.rcFrame.right - video->info.rcFrame.left) : 0);
        avih.U32(video ? static_cast<uint32_t>(video->info.rcFrame.bottom - video->info.rcFrame.top) : 0);
        for (int i = 0; i < 4; ++i) avih.U32(0);
        h.Chunk(MakeFourCC("avih"), avih.Data());

        for (const auto& s : streams) {
            AVISTREAMINFO info = s.info;
            info.dwLength = info.dwSampleSize ? static_cast<uint32_t>(s.bytes / info.dwSampleSize) : s.chunks;
            info.dwSuggestedBufferSize = s.largest;
            Bytes strl;
            strl.FourCC("strl");
            strl.Chunk(MakeFourCC("strh"), SerializeStreamHeader(info));
            strl.Chunk(MakeFourCC("strf"), s.format);
            const size_t nameLength = strnlen(info.szName, sizeof info.szName);
            if (nameLength) {
                std::vector<uint8_t> name(info.szName, info.szName + nameLength);
                name.push_back(0);
                strl.Chunk(MakeFourCC("strn"), name);
            }
            h.Chunk(MakeFourCC("LIST"), strl.Data());
        }
        h.PatchU32(hdrlSize, static_cast<uint32_t>(h.Size() - hdrlSize - 4));
        h.FourCC("LIST");
        h.U32(static_cast<uint32_t>(moviBytes + 4));
        h.FourCC("movi");
        return h.Data();
    }
};

AviWriter::AviWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}
AviWriter::AviWriter(AviWriter&&) noexcept = default;
AviWriter& AviWriter::operator=(AviWriter&&) noexcept = default;
AviWriter::~AviWriter() = default;

Result<AviWriter> AviWriter::Create(const std::string& path) {
    const std::string temporary = path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return MakeError(ErrorKind::Io, temporary + ": " + std::strerror(errno));
    auto state = std::make_unique<State>();
    state->path = path;
    state->temporaryPath = temporary;
    state->sink = std::make_unique<FileSink>(file);
    return AviWriter(std::move(state));
}

Result<AviWriter> AviWriter::Create(const std::string& path, std::unique_ptr<ByteSink> sink) {
    auto state = std::make_unique<State>();
    state->path = path;
    state->temporaryPath = path + ".partial";
    state->sink = std::move(sink);
    return AviWriter(std::move(state));
}

Result<int> AviWriter::AddStream(const AVISTREAMINFO& info, std::span<const uint8_t> format) {
    State& s = *m_state;
    if (s.started) return MakeError(ErrorKind::Unsupported, "streams are added before the movie data");
    if (s.streams.size() >= 100) return MakeError(ErrorKind::Unsupported, "too many streams");
    const int n = static_cast<int>(s.streams.size());
    const bool audio = info.fccType == streamtypeAUDIO;
    const bool uncompressed = info.fccHandler == 0 || info.fccHandler == MakeFourCC("DIB ");
    const char kind0 = audio ? 'w' : 'd', kind1 = audio ? 'b' : (uncompressed ? 'b' : 'c');
    const uint32_t id = static_cast<uint32_t>('0' + n / 10) | static_cast<uint32_t>('0' + n % 10) << 8 |
                        static_cast<uint32_t>(kind0) << 16 | static_cast<uint32_t>(kind1) << 24;
    s.streams.push_back({info, std::vector<uint8_t>(format.begin(), format.end()), id});
    return n;
}

Result<void> AviWriter::Write(int stream, std::span<const uint8_t> data, bool keyFrame) {
    State& s = *m_state;
    if (s.finished || stream < 0 || stream >= static_cast<int>(s.streams.size()))
        return MakeError(ErrorKind::Unsupported, "no such stream");
    if (!s.started) {
        const auto headers = s.Headers(0, 0);
        if (!s.sink->Write(headers)) return MakeError(ErrorKind::Io, s.path + ": write failed");
        s.started = true;
        s.headerBytes = headers.size() - 4;
        s.written = headers.size();
    }
    const uint64_t chunkBytes = 8 + data.size() + (data.size() & 1);
    if (s.written + chunkBytes + 16 * (s.index.size() + 1) + 8 > kMaxFileBytes)
        return MakeError(ErrorKind::Unsupported, s.path + ": the movie is too large for an AVI file");
    auto& st = s.streams[static_cast<size_t>(stream)];
    Bytes chunk;
    chunk.Chunk(st.chunkId, data);
    if (!s.sink->Write(chunk.Data())) return MakeError(ErrorKind::Io, s.path + ": write failed");
    s.index.push_back({st.chunkId, keyFrame ? AVIIF_KEYFRAME : 0, static_cast<uint32_t>(s.written - s.headerBytes),
                       static_cast<uint32_t>(data.size())});
    s.written += chunkBytes;
    st.bytes += data.size();
    st.chunks += 1;
    st.largest = std::max(st.largest, static_cast<uint32_t>(data.size()));
    return {};
}

Result<void> AviWriter::Finish() {
    State& s = *m_state;
    if (s.finished) return MakeError(ErrorKind::Unsupported, "already finished");
    if (!s.started) {
        const auto headers = s.Headers(0, 0);
        if (!s.sink->Write(headers)) return MakeError(ErrorKind::Io, s.path + ": write failed");
        s.started = true;
        s.headerBytes = headers.size() - 4;
        s.written = headers.size();
    }
    const uint64_t moviBytes = s.written - s.headerBytes - 4;
    Bytes idx1;
    idx1.FourCC("idx1");
    idx1.U32(static_cast<uint32_t>(s.index.size() * 16));
    for (const auto& e : s.index) {
        idx1.U32(e.id);
        idx1.U32(e.flags);
        idx1.U32(e.offset);
        idx1.U32(e.size);
    }
    const uint64_t fileBytes = s.written + idx1.Size();
    if (!s.sink->Write(idx1.Data()) || !s.sink->WriteAt(0, s.Headers(moviBytes, fileBytes)) || !s.sink->Close())
        return MakeError(ErrorKind::Io, s.path + ": write failed");
    if (std::rename(s.temporaryPath.c_str(), s.path.c_str()) != 0)
        return MakeError(ErrorKind::Io, s.path + ": " + std::strerror(errno));
    s.finished = true;
    return {};
}

}  // namespace movie
