#include "movie/AviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "base/ByteReader.h"
#include "base/ByteWriter.h"
#include "movie/AviRecordCodec.h"

namespace movie {
namespace {

constexpr uint32_t AVIF_HASINDEX = 0x10;
// A RIFF's sizes are 32-bit; stay inside them.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFF0u;

class DiskSink final : public ByteSink {
public:
    explicit DiskSink(SafeOutputFile file) : m_file(std::move(file)) {}
    Result<void> Write(std::span<const uint8_t> bytes) override { return m_file.Write(bytes); }
    Result<void> WriteAt(uint64_t offset, std::span<const uint8_t> bytes) override {
        return m_file.WriteAt(offset, bytes);
    }
    Result<void> Commit() override { return m_file.Commit(); }

private:
    SafeOutputFile m_file;
};

class DiskFiles final : public OutputFiles {
public:
    Result<std::unique_ptr<ByteSink>> Create(const std::string& path,
                                             const SafeOutputOptions& options) override {
        auto file = SafeOutputFile::Create(path, options);
        if (!file) return file.Error();
        return std::unique_ptr<ByteSink>(std::make_unique<DiskSink>(std::move(file.Value())));
    }
};

// Chunks and four-character codes on top of the little-endian fields.
class Bytes : public ByteWriter {
public:
    void FourCC(const char (&code)[5]) { U32(MakeFourCC(code)); }
    // A chunk with its header and, after an odd size, the pad byte.
    void Chunk(uint32_t id, std::span<const uint8_t> data) {
        U32(id);
        U32(static_cast<uint32_t>(data.size()));
        Append(data);
        if (data.size() & 1) U8(0);
    }
};

// "NNdc" for compressed video, "NNdb" for uncompressed video, "NNwb" for audio.
uint32_t ChunkId(int stream, const AVISTREAMINFO& info) {
    const bool audio = info.fccType == streamtypeAUDIO;
    const bool uncompressed = info.fccHandler == 0 || info.fccHandler == MakeFourCC("DIB ");
    const char kind[2] = {audio ? 'w' : 'd', audio || uncompressed ? 'b' : 'c'};
    return static_cast<uint32_t>('0' + stream / 10) |
           static_cast<uint32_t>('0' + stream % 10) << 8 | static_cast<uint32_t>(kind[0]) << 16 |
           static_cast<uint32_t>(kind[1]) << 24;
}

uint32_t Clamp32(uint64_t v) {
    return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
}

struct IndexEntry {
    uint32_t id;
    uint32_t flags;
    uint32_t offset;
    uint32_t size;
};

}  // namespace

struct AviWriter::State {
    struct Stream {
        AVISTREAMINFO info;
        std::vector<uint8_t> format;
        uint32_t chunkId = 0;
        uint32_t sampleBytes = 0;  // 0: one chunk is one sample
        uint64_t samples = 0;
        uint32_t chunks = 0;
        uint32_t largest = 0;

        // Never less than one chunk needs, never less than the caller asked for.
        uint32_t SuggestedBufferSize() const {
            return std::max(info.dwSuggestedBufferSize, largest);
        }
    };

    std::string path;
    std::unique_ptr<ByteSink> sink;  // dropped unfinished, it leaves nothing
    std::vector<Stream> streams;
    std::vector<IndexEntry> index;
    std::vector<uint8_t> chunk;  // the chunk being written
    bool started = false;
    bool finished = false;
    bool broken = false;
    uint64_t moviType = 0;  // file offset of the 'movi' list type, the index's origin
    uint64_t written = 0;

    std::optional<Error> failure;  // the first failed write, reported from then on

    Error Fail(Error error) {
        broken = true;
        if (!failure) failure = std::move(error);
        return *failure;
    }

    const Stream* FirstVideo() const {
        for (const auto& s : streams)
            if (s.info.fccType == streamtypeVIDEO) return &s;
        return nullptr;
    }

    // The RIFF header, 'hdrl' and the start of 'movi'. Written with the sizes known so
    // far when the first chunk comes, and again in place by Finish; its size never
    // changes once the streams are set.
    std::vector<uint8_t> Headers(uint64_t moviBytes, uint64_t fileBytes) const {
        Bytes h;
        h.FourCC("RIFF");
        h.U32(Clamp32(fileBytes > 8 ? fileBytes - 8 : 0));
        h.FourCC("AVI ");
        h.FourCC("LIST");
        const size_t hdrlSize = h.Size();
        h.U32(0);
        h.FourCC("hdrl");
        h.Chunk(MakeFourCC("avih"), MainHeader(moviBytes));
        for (const auto& s : streams) h.Chunk(MakeFourCC("LIST"), StreamList(s));
        h.PatchU32(hdrlSize, static_cast<uint32_t>(h.Size() - hdrlSize - 4));
        h.FourCC("LIST");
        h.U32(Clamp32(moviBytes + 4));
        h.FourCC("movi");
        return h.Data();
    }

    std::vector<uint8_t> MainHeader(uint64_t moviBytes) const {
        const Stream* video = FirstVideo();
        const bool timed = video && video->info.dwRate && video->info.dwScale;
        // The movie lasts chunks × scale / rate seconds.
        const uint64_t duration = timed ? uint64_t{video->chunks} * video->info.dwScale : 0;
        uint32_t largest = 0;
        for (const auto& s : streams) largest = std::max(largest, s.SuggestedBufferSize());

        uint32_t width = 0, height = 0;
        if (video) {
            const RECT& frame = video->info.rcFrame;
            if (frame.right > frame.left && frame.bottom > frame.top) {
                width = static_cast<uint32_t>(frame.right - frame.left);
                height = static_cast<uint32_t>(frame.bottom - frame.top);
            } else if (video->format.size() >= 12) {
                // No frame rectangle given: the picture size of the bitmap format.
                width = static_cast<uint32_t>(
                    std::abs(static_cast<int32_t>(LoadLE32(video->format.data() + 4))));
                height = static_cast<uint32_t>(
                    std::abs(static_cast<int32_t>(LoadLE32(video->format.data() + 8))));
            }
        }

        Bytes avih;
        const double frameMicroseconds = timed ? 1e6 * video->info.dwScale / video->info.dwRate : 0;
        avih.U32(
            Clamp32(static_cast<uint64_t>(std::llround(frameMicroseconds))));  // dwMicroSecPerFrame
        avih.U32(duration ? Clamp32((moviBytes * video->info.dwRate + duration - 1) / duration)
                          : 0);                           // dwMaxBytesPerSec
        avih.U32(0);                                      // dwPaddingGranularity
        avih.U32(AVIF_HASINDEX);                          // dwFlags
        avih.U32(video ? video->chunks : 0);              // dwTotalFrames
        avih.U32(0);                                      // dwInitialFrames
        avih.U32(static_cast<uint32_t>(streams.size()));  // dwStreams
        avih.U32(largest);                                // dwSuggestedBufferSize
        avih.U32(width);
        avih.U32(height);
        for (int i = 0; i < 4; ++i) avih.U32(0);  // dwReserved
        return avih.Data();
    }

    static std::vector<uint8_t> StreamList(const Stream& s) {
        AVISTREAMINFO info = s.info;
        info.dwLength = Clamp32(s.samples);
        info.dwSuggestedBufferSize = s.SuggestedBufferSize();
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
        return strl.Data();
    }

    Result<void> Start() {
        if (started) return {};
        const auto headers = Headers(0, 0);
        if (auto put = sink->Write(headers); !put) return Fail(put.Error());
        started = true;
        moviType = headers.size() - 4;
        written = headers.size();
        return {};
    }
};

AviWriter::AviWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}
AviWriter::AviWriter(AviWriter&&) noexcept = default;
AviWriter& AviWriter::operator=(AviWriter&&) noexcept = default;
AviWriter::~AviWriter() = default;

OutputFiles& OutputFiles::Disk() {
    static DiskFiles disk;
    return disk;
}

Result<AviWriter> AviWriter::Create(const std::string& path, OutputFiles& files,
                                    const SafeOutputOptions& options) {
    if (path == "-")
        return MakeError(ErrorKind::Unsupported,
                         "an AVI file cannot be written to standard output: its headers are "
                         "written last, at the start of the file");
    auto state = std::make_unique<State>();
    state->path = path;
    auto sink = files.Create(path, options);
    if (!sink) return sink.Error();
    state->sink = std::move(sink.Value());
    return AviWriter(std::move(state));
}

Result<int> AviWriter::AddStream(const AVISTREAMINFO& info, std::span<const uint8_t> format) {
    State& s = *m_state;
    if (s.started || s.finished)
        return MakeError(ErrorKind::InvalidArgument, "streams are added before the movie data");
    if (s.streams.size() >= kMaxStreams)
        return MakeError(ErrorKind::Unsupported, "too many streams");
    const int n = static_cast<int>(s.streams.size());
    State::Stream stream;
    stream.info = info;
    stream.format.assign(format.begin(), format.end());
    stream.chunkId = ChunkId(n, info);
    stream.sampleBytes = SampleBytes(info, format);
    s.streams.push_back(std::move(stream));
    return n;
}

Result<void> AviWriter::Write(int stream, std::span<const uint8_t> data, bool keyFrame) {
    State& s = *m_state;
    if (s.broken) return *s.failure;
    if (s.finished || stream < 0 || stream >= static_cast<int>(s.streams.size()))
        return MakeError(ErrorKind::InvalidArgument, "no such stream");
    LUMEKO_TRY(s.Start());
    const uint64_t chunkBytes = 8 + uint64_t{data.size()} + (data.size() & 1);
    const uint64_t indexBytes = 8 + kIndexEntryBytes * (uint64_t{s.index.size()} + 1);
    if (s.written + chunkBytes + indexBytes > kMaxFileBytes)
        return MakeError(ErrorKind::Unsupported,
                         s.path + ": the movie is too large for an AVI file");

    auto& st = s.streams[static_cast<size_t>(stream)];
    const auto size = static_cast<uint32_t>(data.size());
    // One buffer serves every chunk: a frame of several hundred kilobytes does not
    // allocate (and fault in) fresh memory each time.
    std::vector<uint8_t>& chunk = s.chunk;
    chunk.resize(8 + data.size() + (data.size() & 1));
    StoreLE32(chunk.data(), st.chunkId);
    StoreLE32(chunk.data() + 4, size);
    if (!data.empty()) std::memcpy(chunk.data() + 8, data.data(), data.size());
    if (data.size() & 1) chunk.back() = 0;
    if (auto written = s.sink->Write(chunk); !written) return s.Fail(written.Error());
    s.index.push_back({st.chunkId, keyFrame ? AVIIF_KEYFRAME : 0,
                       static_cast<uint32_t>(s.written - s.moviType), size});
    s.written += chunkBytes;
    st.samples += st.sampleBytes ? size / st.sampleBytes : 1;
    st.chunks += 1;
    st.largest = std::max(st.largest, size);
    return {};
}

Result<void> AviWriter::Finish() {
    State& s = *m_state;
    if (s.broken) return *s.failure;
    if (s.finished) return MakeError(ErrorKind::InvalidArgument, "already finished");
    LUMEKO_TRY(s.Start());
    const uint64_t moviBytes = s.written - s.moviType - 4;
    Bytes idx1;
    idx1.FourCC("idx1");
    idx1.U32(static_cast<uint32_t>(s.index.size() * kIndexEntryBytes));
    for (const auto& e : s.index) {
        idx1.U32(e.id);
        idx1.U32(e.flags);
        idx1.U32(e.offset);
        idx1.U32(e.size);
    }
    const uint64_t fileBytes = s.written + idx1.Size();
    if (auto written = s.sink->Write(idx1.Data()); !written) return s.Fail(written.Error());
    if (auto written = s.sink->WriteAt(0, s.Headers(moviBytes, fileBytes)); !written)
        return s.Fail(written.Error());
    if (auto committed = s.sink->Commit(); !committed) return s.Fail(committed.Error());
    s.finished = true;
    return {};
}

}  // namespace movie
