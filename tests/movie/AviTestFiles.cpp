#include "AviTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/ByteReader.h"
#include "movie/AviRecordCodec.h"
#include "movie/AviWriter.h"

namespace avitest {
namespace {

using movie::MakeFourCC;

// Bytes that differ from chunk to chunk and stream to stream, so a read of the wrong
// chunk or at the wrong offset shows.
std::vector<uint8_t> Pattern(uint32_t seed, size_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 12345;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t bytes[4];
    StoreLE32(bytes, v);
    out.insert(out.end(), bytes, bytes + 4);
}

void PutChunk(std::vector<uint8_t>& out, uint32_t id, const std::vector<uint8_t>& data) {
    Put32(out, id);
    Put32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
}

bool IsList(uint32_t id) {
    return id == MakeFourCC("RIFF") || id == MakeFourCC("LIST");
}

void Walk(const std::vector<uint8_t>& file, size_t start, size_t end, int depth,
          std::vector<RiffChunk>& out) {
    for (size_t at = start; at + 8 <= end;) {
        RiffChunk chunk{LoadLE32(&file[at]), 0, at, LoadLE32(&file[at + 4]), depth};
        const size_t dataEnd = std::min(end, chunk.DataStart() + chunk.size);
        if (IsList(chunk.id) && chunk.size >= 4 && chunk.DataStart() + 4 <= end)
            chunk.listType = LoadLE32(&file[chunk.DataStart()]);
        out.push_back(chunk);
        if (chunk.listType) Walk(file, chunk.DataStart() + 4, dataEnd, depth + 1, out);
        at = chunk.End();
    }
}

}  // namespace

TestStream VideoStream(const char (&handler)[5], int frames) {
    TestStream s;
    s.info.fccType = movie::streamtypeVIDEO;
    s.info.fccHandler = MakeFourCC(handler);
    s.info.dwScale = 1;
    s.info.dwRate = 15;
    s.info.rcFrame = {0, 0, 32, 16};
    std::strcpy(s.info.szName, "test video");
    movie::BITMAPINFOHEADER bmih;
    bmih.biWidth = 32;
    bmih.biHeight = 16;
    bmih.biBitCount = 24;
    bmih.biCompression =
        s.info.fccHandler == MakeFourCC("DIB ") ? movie::BI_RGB : s.info.fccHandler;
    s.format = movie::SerializeBitmapInfoHeader(bmih);
    for (int i = 0; i < frames; ++i) {
        s.chunks.push_back(
            Pattern(100 + static_cast<uint32_t>(i), 60 + 37 * static_cast<size_t>(i % 4)));
        s.keys.push_back(i % 3 == 0);
    }
    return s;
}

TestStream AudioStream(uint16_t tag, uint16_t channels, uint16_t blockAlign, uint16_t bitsPerSample,
                       std::vector<uint32_t> chunkBytes) {
    TestStream s;
    movie::WAVEFORMATEX wfx;
    wfx.wFormatTag = tag;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = 22050;
    wfx.nBlockAlign = blockAlign;
    wfx.wBitsPerSample = bitsPerSample;
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * blockAlign;
    s.format = movie::SerializeWaveFormat(wfx);
    if (tag != movie::WAVE_FORMAT_PCM) {
        // ADPCM formats append their samples-per-block word.
        StoreLE16(&s.format[16], 2);
        s.format.push_back(0x2A);
        s.format.push_back(0x01);
    }
    s.info.fccType = movie::streamtypeAUDIO;
    s.info.dwScale = blockAlign;
    s.info.dwRate = wfx.nAvgBytesPerSec;
    s.info.dwSampleSize = blockAlign;
    std::strcpy(s.info.szName, "test audio");
    for (size_t i = 0; i < chunkBytes.size(); ++i) {
        s.chunks.push_back(Pattern(900 + static_cast<uint32_t>(i), chunkBytes[i]));
        s.keys.push_back(true);
    }
    return s;
}

void WriteMovie(const std::string& path, const std::vector<TestStream>& streams, Order order) {
    auto writer = movie::AviWriter::Create(path);
    ASSERT_TRUE(writer.Ok()) << writer.Error().message;
    for (const auto& s : streams) {
        auto added = writer->AddStream(s.info, s.format);
        ASSERT_TRUE(added.Ok()) << added.Error().message;
    }
    auto write = [&](size_t stream, size_t chunk) {
        const auto& s = streams[stream];
        auto written = writer->Write(static_cast<int>(stream), s.chunks[chunk], s.keys[chunk]);
        ASSERT_TRUE(written.Ok()) << written.Error().message;
    };
    if (order == Order::kVideoThenAudio) {
        for (size_t s = 0; s < streams.size(); ++s)
            for (size_t c = 0; c < streams[s].chunks.size(); ++c) write(s, c);
    } else {
        size_t longest = 0;
        for (const auto& s : streams) longest = std::max(longest, s.chunks.size());
        for (size_t c = 0; c < longest; ++c)
            for (size_t s = 0; s < streams.size(); ++s)
                if (c < streams[s].chunks.size()) write(s, c);
    }
    auto finished = writer->Finish();
    ASSERT_TRUE(finished.Ok()) << finished.Error().message;
}

std::vector<uint8_t> SampleBytesOf(const TestStream& stream, uint32_t sampleBytes) {
    std::vector<uint8_t> all;
    for (const auto& chunk : stream.chunks)
        all.insert(
            all.end(), chunk.begin(),
            chunk.begin() + static_cast<std::ptrdiff_t>(chunk.size() / sampleBytes * sampleBytes));
    return all;
}

std::vector<RiffChunk> WalkRiff(const std::vector<uint8_t>& file) {
    std::vector<RiffChunk> chunks;
    Walk(file, 0, file.size(), 0, chunks);
    return chunks;
}

RiffChunk FindChunk(const std::vector<uint8_t>& file, const char (&id)[5], const char* listType) {
    for (const auto& chunk : WalkRiff(file)) {
        if (chunk.id != MakeFourCC(id)) continue;
        if (listType && chunk.listType != LoadLE32(reinterpret_cast<const uint8_t*>(listType)))
            continue;
        return chunk;
    }
    ADD_FAILURE() << "no chunk " << id << " " << (listType ? listType : "");
    return RiffChunk{0, 0, 0, 0, 0};
}

std::vector<MoviItem> MoviItems(const std::vector<uint8_t>& file) {
    std::vector<MoviItem> items;
    const RiffChunk movi = FindChunk(file, "LIST", "movi");
    int record = -1;
    for (const auto& chunk : WalkRiff(file)) {
        if (chunk.header < movi.DataStart() || chunk.header >= movi.End()) continue;
        if (chunk.listType == MakeFourCC("rec ")) {
            ++record;
            continue;
        }
        const bool inRecord = chunk.depth > movi.depth + 1;
        const auto data = file.begin() + static_cast<std::ptrdiff_t>(chunk.DataStart());
        items.push_back(
            {chunk.id, std::vector<uint8_t>(data, data + chunk.size), inRecord ? record : -1});
    }
    return items;
}

std::vector<uint8_t> RebuildMovi(const std::vector<uint8_t>& file,
                                 const std::vector<MoviItem>& items, IndexKind index) {
    const RiffChunk movi = FindChunk(file, "LIST", "movi");
    std::vector<uint8_t> out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(movi.header));
    const size_t moviType = out.size() + 8;
    Put32(out, MakeFourCC("LIST"));
    Put32(out, 0);
    Put32(out, MakeFourCC("movi"));

    struct Entry {
        uint32_t id, offset, size;
    };
    std::vector<Entry> entries;
    for (size_t i = 0; i < items.size();) {
        size_t recordHeader = 0, recordEntry = 0;
        const int record = items[i].record;
        if (record >= 0) {
            recordHeader = out.size();
            recordEntry = entries.size();
            entries.push_back({MakeFourCC("rec "), static_cast<uint32_t>(out.size()), 0});
            Put32(out, MakeFourCC("LIST"));
            Put32(out, 0);
            Put32(out, MakeFourCC("rec "));
        }
        do {
            if (items[i].indexed)
                entries.push_back({items[i].id, static_cast<uint32_t>(out.size()),
                                   static_cast<uint32_t>(items[i].data.size())});
            PutChunk(out, items[i].id, items[i].data);
            ++i;
        } while (record >= 0 && i < items.size() && items[i].record == record);
        if (record >= 0) {
            entries[recordEntry].size = static_cast<uint32_t>(out.size() - recordHeader - 8);
            StoreLE32(&out[recordHeader + 4], entries[recordEntry].size);
        }
    }
    StoreLE32(&out[moviType - 4], static_cast<uint32_t>(out.size() - moviType));

    if (index != IndexKind::kNone) {
        const size_t base = index == IndexKind::kRelative ? moviType : 0;
        std::vector<uint8_t> idx1;
        for (const auto& e : entries) {
            Put32(idx1, e.id);
            Put32(idx1, movie::AVIIF_KEYFRAME);
            Put32(idx1, static_cast<uint32_t>(e.offset - base));
            Put32(idx1, e.size);
        }
        PutChunk(out, MakeFourCC("idx1"), idx1);
    }
    StoreLE32(&out[4], static_cast<uint32_t>(out.size() - 8));
    return out;
}

}  // namespace avitest
