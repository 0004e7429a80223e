#include "movie/AviReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "base/ByteReader.h"
#include "movie/AviRecordCodec.h"

namespace movie {
namespace {

constexpr uint32_t kRiff = MakeFourCC("RIFF");
constexpr uint32_t kAvi = MakeFourCC("AVI ");
constexpr uint32_t kList = MakeFourCC("LIST");
constexpr uint32_t kHdrl = MakeFourCC("hdrl");
constexpr uint32_t kAvih = MakeFourCC("avih");
constexpr uint32_t kStrl = MakeFourCC("strl");
constexpr uint32_t kStrh = MakeFourCC("strh");
constexpr uint32_t kStrf = MakeFourCC("strf");
constexpr uint32_t kStrn = MakeFourCC("strn");
constexpr uint32_t kMovi = MakeFourCC("movi");
constexpr uint32_t kRec = MakeFourCC("rec ");
constexpr uint32_t kIdx1 = MakeFourCC("idx1");

// A format larger than this is no format we read; only its start is kept.
constexpr uint32_t kMaxFormatBytes = 1u << 20;
constexpr uint32_t kMainHeaderBytes = 40;  // the fields before the reserved words

struct Chunk {
    uint32_t id = 0;
    uint32_t size = 0;  // as stored
    uint64_t dataStart = 0;
    uint64_t dataEnd = 0;  // cut at the end of the enclosing list
    uint64_t next = 0;     // the next chunk, after the pad byte of an odd size
};

// The stream number of a chunk id "NNxx", or -1.
int StreamNumberOf(uint32_t id) {
    const int tens = static_cast<int>(id & 0xFF) - '0',
              ones = static_cast<int>((id >> 8) & 0xFF) - '0';
    if (tens < 0 || tens > 9 || ones < 0 || ones > 9) return -1;
    return tens * 10 + ones;
}

// Palette changes carry no samples.
bool IsPaletteChange(uint32_t id) {
    return ((id >> 16) & 0xFFFF) == ('p' | 'c' << 8);
}

}  // namespace

struct AviReader::Stream {
    AVISTREAMINFO info;
    std::vector<uint8_t> format;
    // Fixed sample size (audio block alignment), or 0 when a chunk is one sample.
    uint32_t sampleBytes = 0;
    struct Entry {
        uint64_t offset;
        uint32_t size;
        uint64_t firstSample;
        bool keyFlagged;
    };
    std::vector<Entry> chunks;
    uint64_t samples = 0;
    uint32_t largestChunk = 0;
    bool indexed = false;

    void Add(uint64_t offset, uint32_t size, bool keyFlagged = false) {
        chunks.push_back({offset, size, samples, keyFlagged});
        samples += sampleBytes ? size / sampleBytes : 1;
        largestChunk = std::max(largestChunk, size);
    }
};

namespace {

class ChunkWalker {
public:
    ChunkWalker(ByteSource& source, uint64_t start, uint64_t end)
        : m_source(source), m_position(start), m_end(end) {}

    bool Next(Chunk& chunk) {
        uint8_t header[8];
        if (m_position > m_end || m_end - m_position < 8 || !m_source.ReadAt(m_position, header))
            return false;
        const uint32_t size = LoadLE32(header + 4);
        chunk.id = LoadLE32(header);
        chunk.size = size;
        chunk.dataStart = m_position + 8;
        chunk.dataEnd = std::min<uint64_t>(chunk.dataStart + size, m_end);
        chunk.next = chunk.dataStart + size + (size & 1);
        m_position = chunk.next;
        return true;
    }

    // The list type of a LIST chunk, or 0.
    uint32_t ListType(const Chunk& chunk) {
        uint8_t type[4];
        if (chunk.dataEnd - chunk.dataStart < 4 || !m_source.ReadAt(chunk.dataStart, type))
            return 0;
        return LoadLE32(type);
    }

private:
    ByteSource& m_source;
    uint64_t m_position;
    uint64_t m_end;
};

std::vector<uint8_t> ReadBytes(ByteSource& source, const Chunk& chunk, uint32_t limit) {
    std::vector<uint8_t> bytes(
        static_cast<size_t>(std::min<uint64_t>(chunk.dataEnd - chunk.dataStart, limit)));
    if (!source.ReadAt(chunk.dataStart, bytes)) bytes.clear();
    return bytes;
}

}  // namespace

AviReader::AviReader(std::unique_ptr<ByteSource> source) : m_source(std::move(source)) {}
AviReader::AviReader(AviReader&&) noexcept = default;
AviReader& AviReader::operator=(AviReader&&) noexcept = default;
AviReader::~AviReader() = default;

Result<AviReader> AviReader::OpenFile(const std::string& path) {
    auto source = OpenFileSource(path);
    if (!source) return source.Error();
    AviReader reader(std::move(source.Value()));
    if (auto parsed = reader.Parse(); !parsed)
        return MakeError(parsed.Error().kind, path + ": " + parsed.Error().message);
    return reader;
}

Result<AviReader> AviReader::OpenMemory(std::span<const uint8_t> image) {
    AviReader reader(MakeMemorySource(image));
    LUMEKO_TRY(reader.Parse());
    return reader;
}

Result<void> AviReader::Parse() {
    ByteSource& source = *m_source;
    uint8_t riff[12];
    if (!source.ReadAt(0, riff) || LoadLE32(riff) != kRiff || LoadLE32(riff + 8) != kAvi)
        return MakeError(ErrorKind::Unsupported, "not an AVI file");
    // Later RIFFs of a large-file movie ('AVIX') are not read.
    const uint64_t riffEnd = std::min<uint64_t>(8 + uint64_t{LoadLE32(riff + 4)}, source.Size());

    bool haveHeader = false, haveMovi = false;
    Chunk movi;
    std::vector<uint8_t> index;
    ChunkWalker top(source, 12, riffEnd);
    for (Chunk chunk; top.Next(chunk);) {
        if (chunk.id == kIdx1) {
            // An index cut short by the end of the file is not trusted; the walk of the
            // movie data finds what is left.
            if (chunk.dataEnd - chunk.dataStart == chunk.size)
                index = ReadBytes(source, chunk, std::numeric_limits<uint32_t>::max());
            continue;
        }
        if (chunk.id != kList) continue;
        const uint32_t type = top.ListType(chunk);
        if (type == kMovi && !haveMovi) {
            haveMovi = true;
            movi = chunk;
        } else if (type == kHdrl && !haveHeader) {
            haveHeader = true;
            LUMEKO_TRY(ParseHeaderList(chunk.dataStart + 4, chunk.dataEnd));
        }
    }
    if (!haveHeader || !haveMovi)
        return MakeError(ErrorKind::Corrupt, "AVI file without headers or movie data");
    if (AddIndexedChunks(index, movi.dataStart, movi.dataEnd) == 0)
        AddWalkedChunks(movi.dataStart + 4, movi.dataEnd);

    m_fileInfo.dwStreams = static_cast<uint32_t>(m_streams.size());
    if (const int video = FindStream(streamtypeVIDEO, 0); video >= 0) {
        const auto& info = m_streams[static_cast<size_t>(video)].info;
        m_fileInfo.dwScale = info.dwScale;
        m_fileInfo.dwRate = info.dwRate;
        m_fileInfo.dwLength = info.dwLength;
    }
    return {};
}

Result<void> AviReader::ParseHeaderList(uint64_t start, uint64_t end) {
    ByteSource& source = *m_source;
    ChunkWalker header(source, start, end);
    for (Chunk part; header.Next(part);) {
        if (part.id == kAvih) {
            const auto bytes = ReadBytes(source, part, kMainHeaderBytes);
            ByteReader r(bytes);
            r.U32();  // dwMicroSecPerFrame
            m_fileInfo.dwMaxBytesPerSec = r.U32();
            r.U32();  // dwPaddingGranularity
            m_fileInfo.dwFlags = r.U32();
            r.U32();  // dwTotalFrames
            r.U32();  // dwInitialFrames
            r.U32();  // dwStreams: the stream lists are counted instead
            m_fileInfo.dwSuggestedBufferSize = r.U32();
            m_fileInfo.dwWidth = r.U32();
            m_fileInfo.dwHeight = r.U32();
            if (r.Failed())
                return MakeError(ErrorKind::Corrupt,
                                 "AVI main header of " + std::to_string(bytes.size()) + " bytes, " +
                                     std::to_string(kMainHeaderBytes) + " needed");
        } else if (part.id == kList && header.ListType(part) == kStrl &&
                   m_streams.size() < kMaxStreams) {
            Stream stream;
            ChunkWalker list(source, part.dataStart + 4, part.dataEnd);
            for (Chunk item; list.Next(item);) {
                if (item.id == kStrh) {
                    // A header too short to read leaves the stream without a type: it
                    // keeps its number, and nothing plays it.
                    if (!ParseStreamHeader(ReadBytes(source, item, kStreamHeaderBytes),
                                           stream.info))
                        continue;
                } else if (item.id == kStrf) {
                    stream.format = ReadBytes(source, item, kMaxFormatBytes);
                } else if (item.id == kStrn) {
                    const auto name = ReadBytes(source, item, sizeof stream.info.szName - 1);
                    std::copy(name.begin(), std::find(name.begin(), name.end(), 0),
                              stream.info.szName);
                }
            }
            stream.sampleBytes = SampleBytes(stream.info, stream.format);
            m_streams.push_back(std::move(stream));
        }
    }
    return {};
}

int AviReader::SampleStream(uint32_t chunkId) const {
    const int n = StreamNumberOf(chunkId);
    return n >= 0 && n < static_cast<int>(m_streams.size()) && !IsPaletteChange(chunkId) ? n : -1;
}

size_t AviReader::AddIndexedChunks(std::span<const uint8_t> index, uint64_t moviType,
                                   uint64_t moviEnd) {
    const size_t entries = index.size() / kIndexEntryBytes;
    auto entryAt = [&](size_t i) { return index.data() + i * kIndexEntryBytes; };

    // Offsets point at chunk headers, counted from the 'movi' list type or from the
    // start of the file; the first sample entry tells which.
    size_t first = 0;
    while (first < entries && SampleStream(LoadLE32(entryAt(first))) < 0) ++first;
    if (first == entries) return 0;
    uint64_t base = 0;
    bool found = false;
    for (const uint64_t candidate : {moviType, uint64_t{0}}) {
        uint8_t id[4];
        if (m_source->ReadAt(candidate + LoadLE32(entryAt(first) + 8), id) &&
            LoadLE32(id) == LoadLE32(entryAt(first))) {
            base = candidate;
            found = true;
            break;
        }
    }
    if (!found) return 0;

    size_t added = 0;
    for (size_t i = first; i < entries; ++i) {
        const uint8_t* e = entryAt(i);
        const uint32_t id = LoadLE32(e);
        const uint64_t header = base + LoadLE32(e + 8);
        const uint32_t size = LoadLE32(e + 12);
        const int stream = SampleStream(id);
        if (stream < 0 || header < moviType + 4 || header + 8 + size > moviEnd) continue;
        m_streams[static_cast<size_t>(stream)].Add(header + 8, size,
                                                   (LoadLE32(e + 4) & AVIIF_KEYFRAME) != 0);
        ++added;
    }
    if (added)
        for (Stream& s : m_streams) s.indexed = true;
    return added;
}

void AviReader::AddWalkedChunks(uint64_t start, uint64_t end) {
    auto add = [this](const Chunk& chunk) {
        if (const int stream = SampleStream(chunk.id); stream >= 0)
            m_streams[static_cast<size_t>(stream)].Add(
                chunk.dataStart, static_cast<uint32_t>(chunk.dataEnd - chunk.dataStart));
    };
    ChunkWalker movi(*m_source, start, end);
    for (Chunk chunk; movi.Next(chunk);) {
        if (chunk.id != kList) {
            add(chunk);
        } else if (movi.ListType(chunk) == kRec) {
            // The chunks of one 'rec ' list belong together in time.
            ChunkWalker record(*m_source, chunk.dataStart + 4, chunk.dataEnd);
            for (Chunk item; record.Next(item);) add(item);
        }
    }
}

int AviReader::FindStream(uint32_t fccType, int n) const {
    for (size_t i = 0; i < m_streams.size(); ++i)
        if (m_streams[i].info.fccType == fccType && n-- == 0) return static_cast<int>(i);
    return -1;
}

int AviReader::StreamCount() const {
    return static_cast<int>(m_streams.size());
}

const AviReader::Stream& AviReader::At(int stream) const {
    static const Stream kNone;
    return stream >= 0 && stream < static_cast<int>(m_streams.size())
               ? m_streams[static_cast<size_t>(stream)]
               : kNone;
}

const AVISTREAMINFO& AviReader::StreamInfo(int stream) const {
    return At(stream).info;
}

std::span<const uint8_t> AviReader::StreamFormat(int stream) const {
    return At(stream).format;
}

uint32_t AviReader::LargestChunkBytes(int stream) const {
    return At(stream).largestChunk;
}

uint32_t AviReader::IndexedSamples(int stream) const {
    return static_cast<uint32_t>(
        std::min<uint64_t>(At(stream).samples, std::numeric_limits<uint32_t>::max()));
}

bool AviReader::HasKeyFlags(int stream) const {
    return At(stream).indexed;
}

namespace {

// The chunk holding `sample`: the last one whose first sample is not after it.
template <typename Entries>
auto ChunkOf(const Entries& chunks, uint64_t sample) {
    return std::upper_bound(chunks.begin(), chunks.end(), sample,
                            [](uint64_t s, const auto& e) { return s < e.firstSample; }) -
           1;
}

}  // namespace

bool AviReader::IsKeyFlagged(int stream, uint32_t sample) const {
    const Stream& s = At(stream);
    if (sample >= s.samples) return false;
    return ChunkOf(s.chunks, sample)->keyFlagged;
}

Result<AviReader::ReadResult> AviReader::ReadHead(int stream, uint32_t sample,
                                                  std::span<uint8_t> buffer) {
    const Stream& s = At(stream);
    if (sample >= s.samples)
        return MakeError(ErrorKind::Truncated, "read past the end of the stream");
    const auto chunk = ChunkOf(s.chunks, sample);
    const size_t bytes = std::min<size_t>(chunk->size, buffer.size());
    if (!m_source->ReadAt(chunk->offset, buffer.first(bytes)))
        return MakeError(ErrorKind::Io, "cannot read the sample");
    return ReadResult{chunk->size, 1};
}

Result<AviReader::ReadResult> AviReader::Read(int stream, uint32_t start, int32_t samples,
                                              std::span<uint8_t> buffer) {
    if (stream < 0 || stream >= static_cast<int>(m_streams.size()))
        return MakeError(ErrorKind::InvalidArgument, "no such stream");
    const Stream& s = m_streams[static_cast<size_t>(stream)];
    if (samples != kConvenient && samples <= 0)
        return MakeError(ErrorKind::InvalidArgument, "no samples asked for");
    if (start >= s.samples)
        return MakeError(ErrorKind::Truncated, "read past the end of the stream");

    // The chunk holding `start`: the last one whose first sample is not after it.
    const auto it = std::upper_bound(
        s.chunks.begin(), s.chunks.end(), uint64_t{start},
        [](uint64_t sample, const Stream::Entry& e) { return sample < e.firstSample; });
    const Stream::Entry& chunk = *(it - 1);
    uint64_t offset = chunk.offset;
    uint64_t bytes = chunk.size;
    uint32_t count = 1;
    if (s.sampleBytes) {
        const uint64_t within = start - chunk.firstSample;
        const uint64_t available = chunk.size / s.sampleBytes - within;
        uint64_t wanted =
            samples == kConvenient ? available : std::min<uint64_t>(available, uint64_t(samples));
        wanted = std::min<uint64_t>(wanted, buffer.size() / s.sampleBytes);
        offset += within * s.sampleBytes;
        bytes = wanted * s.sampleBytes;
        count = static_cast<uint32_t>(wanted);
        if (count == 0)
            return MakeError(ErrorKind::InvalidArgument, "buffer too small for one sample");
    } else if (bytes > buffer.size()) {
        return MakeError(ErrorKind::InvalidArgument, "buffer too small for the sample");
    }
    if (!m_source->ReadAt(offset, buffer.first(static_cast<size_t>(bytes))))
        return MakeError(ErrorKind::Io, "cannot read the sample");
    return ReadResult{static_cast<uint32_t>(bytes), count};
}

}  // namespace movie
