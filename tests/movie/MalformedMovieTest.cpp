#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "AviTestFiles.h"
#include "base/ByteReader.h"
#include "convert/ConversionHost.h"
#include "movie/AviReader.h"
#include "moviemaker/MovieMaker.h"
#include "playback/FileInfo.h"
#include "support/FileBytes.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"
#include "truemotion/FrameHeader.h"

// Hostile copies of good movies made by our movie maker, each run through everything a
// user can do with a file: the movie object reads every frame and all the sound, the
// player plays it to the end in a queue before a good movie, its information is shown
// and the converter writes it out. Nothing may crash or hang, and each file has the
// outcome a user would see: refused silently, played without sound, played with sound,
// or with frames rejected.

namespace {

using avitest::RiffChunk;
using avitest::TestStream;
using movie::MakeFourCC;
using moviemaker::SoundKind;

constexpr uint32_t kFrames = 6;
constexpr uint32_t kRate = 15;
constexpr int kWidth = 32;
constexpr int kHeight = 16;
// Reads and message pumps beyond these mean a loop that does not end.
constexpr int kMaxAudioReads = 10000;
constexpr int kMaxPumps = 100000;
// Both movies of the player's queue last well under this.
constexpr uint32_t kMaxPlayMs = 5000;

enum Outcome { kRefused, kSilent, kSound, kFrameRejected };

const char* Name(Outcome outcome) {
    switch (outcome) {
        case kRefused:
            return "refused";
        case kSilent:
            return "silent";
        case kSound:
            return "with sound";
        case kFrameRejected:
            return "a frame rejected";
    }
    return "?";
}

// Header byte `k` of a frame set to `value`: the coding chains each byte to the next,
// so every coded byte after it changes too, and the other header bytes stay as they were.
void SetHeaderByte(std::vector<uint8_t>& frame, size_t k, uint8_t value) {
    const uint8_t change =
        truemotion::UnchainHeader<truemotion::kCodedHeaderBytes>(frame)[k] ^ value;
    for (size_t at = k + 2; at < truemotion::kCodedHeaderBytes + 2; ++at) frame[at] ^= change;
}

void SetHeaderWord(std::vector<uint8_t>& frame, size_t k, uint16_t value) {
    SetHeaderByte(frame, k, static_cast<uint8_t>(value));
    SetHeaderByte(frame, k + 1, static_cast<uint8_t>(value >> 8));
}

constexpr size_t kHeightByte = truemotion::kHeightField;
constexpr size_t kWidthByte = truemotion::kWidthField;
constexpr size_t kFlagsByte = truemotion::kFlagsField;

// The `n`-th chunk with this id, in file order.
RiffChunk Nth(const std::vector<uint8_t>& image, const char (&id)[5], int n) {
    for (const RiffChunk& c : avitest::WalkRiff(image))
        if (c.id == MakeFourCC(id) && n-- == 0) return c;
    ADD_FAILURE() << "no chunk " << id;
    return {};
}

// Offsets of the fields of a stream header ('strh'), from its data.
constexpr size_t kStrhHandler = 4, kStrhScale = 20, kStrhRate = 24, kStrhLength = 32,
                 kStrhBuffer = 36;
// Offsets of the fields of a wave format.
constexpr size_t kWfxTag = 0, kWfxChannels = 2, kWfxRate = 4, kWfxBlockAlign = 12, kWfxBits = 14;

size_t StreamHeader(const std::vector<uint8_t>& image, int stream) {
    return Nth(image, "strh", stream).DataStart();
}

// Inserts a chunk at `at`, growing every list around it.
void InsertChunk(std::vector<uint8_t>& image, size_t at, const char (&id)[5],
                 std::vector<uint8_t> data) {
    std::vector<uint8_t> chunk(8);
    StoreLE32(&chunk[0], MakeFourCC(id));
    StoreLE32(&chunk[4], static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), data.begin(), data.end());
    if (chunk.size() & 1) chunk.push_back(0);
    for (const RiffChunk& c : avitest::WalkRiff(image))
        if (c.listType && c.DataStart() < at && at < c.End())
            StoreLE32(&image[c.header + 4], c.size + static_cast<uint32_t>(chunk.size()));
    image.insert(image.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
}

// Answers the converter's dialogs: an output path, a compressor and, when that refuses
// the picture, uncompressed frames. Cancels a conversion that would not end.
class ConvertingHost final : public convert::IConversionHost {
public:
    ConvertingHost(std::string output, uint32_t compressor)
        : m_output(std::move(output)), m_compressor(compressor) {}
    std::optional<std::string> ChooseOutputPath(const std::string&) override { return m_output; }
    bool ChooseCompressor(convert::COMPVARS& vars) override {
        if (compressorsShown == 2) return false;
        vars.fccHandler = compressorsShown++ == 0 ? m_compressor : convert::kFccUncompressed;
        return true;
    }
    void PumpMessages() override { ++pumps; }
    bool Cancelled() const override { return pumps >= kMaxPumps; }
    void ShowProgress(Stage, uint64_t, uint64_t) override {}
    void ShowError(std::string_view text) override { errors.emplace_back(text); }

    int compressorsShown = 0;
    int pumps = 0;
    std::vector<std::string> errors;

private:
    std::string m_output;
    uint32_t m_compressor;
};

// Every compressor the converter knows; H.264 only where it is built.
constexpr uint32_t kCompressors[] = {MakeFourCC("DIB "), MakeFourCC("DUCK"), MakeFourCC("MJPG"),
                                     MakeFourCC("H264")};

class MalformedMovieTest : public ::testing::Test {
protected:
    // The good movie with this sound, taken apart into its streams.
    const std::vector<TestStream>& Streams(SoundKind sound) {
        auto found = m_streams.find(sound);
        if (found != m_streams.end()) return found->second;
        moviemaker::MovieSpec spec;
        spec.width = kWidth;
        spec.height = kHeight;
        spec.frames = kFrames;
        spec.rate = kRate;
        spec.keyEvery = 3;
        spec.sound = sound;
        const std::string path = dir.File("made.avi");
        EXPECT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
        auto reader = movie::AviReader::OpenFile(path);
        EXPECT_TRUE(reader.Ok());
        std::vector<TestStream> streams;
        for (int s = 0; reader.Ok() && s < reader->StreamCount(); ++s) {
            TestStream& stream = streams.emplace_back();
            stream.info = reader->StreamInfo(s);
            const auto format = reader->StreamFormat(s);
            stream.format.assign(format.begin(), format.end());
            std::vector<uint8_t> buffer(reader->LargestChunkBytes(s));
            for (uint32_t at = 0; at < reader->IndexedSamples(s);) {
                auto read = reader->Read(s, at, movie::AviReader::kConvenient, buffer);
                if (!read.Ok()) break;
                stream.chunks.emplace_back(buffer.begin(), buffer.begin() + read->bytes);
                stream.keys.push_back(true);
                at += read->samples;
            }
        }
        return m_streams[sound] = streams;
    }

    std::vector<uint8_t> Write(const std::vector<TestStream>& streams) {
        avitest::WriteMovie(dir.File("written.avi"), streams);
        return ReadFileBytes(dir.File("written.avi"));
    }

    struct Seen {
        Outcome outcome;
        uint32_t frames = 0;
        uint64_t soundBytes = 0;  // decoded
    };

    // What the movie object makes of the file, reading all of it.
    Seen ReadWithMovie(const std::string& path, size_t fileBytes) {
        RecordingMessageBox messages;
        CDuckMovie movie(messages);
        Seen seen{kRefused};
        if (movie.Open(path)) {
            seen.outcome = movie.HasAudio() ? kSound : kSilent;
            seen.frames = movie.GetFrameCount();
            movie::BITMAPINFOHEADER bmih;
            movie.GetBitmapHeader(&bmih);
            std::vector<uint8_t> picture(static_cast<size_t>(bmih.biWidth) *
                                         static_cast<size_t>(bmih.biHeight) * 3);
            for (uint32_t i = 0; i < movie.GetFrameCount(); ++i)
                if (movie.ReadFrame(i, picture.data()) == 0) seen.outcome = kFrameRejected;
            // The player holds ten decoded chunks: their size is what the file holds, at
            // most six times over (DK3), never what its headers claim.
            EXPECT_LE(movie.GetAudioChunkSize(), 6 * fileBytes);
            std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
            int reads = 0;
            while (reads < kMaxAudioReads) {
                const uint32_t bytes = movie.ReadAudio(chunk.data());
                if (bytes == 0) break;
                seen.soundBytes += bytes;
                ++reads;
            }
            EXPECT_LT(reads, kMaxAudioReads) << "the sound does not end";
        }
        EXPECT_TRUE(messages.messages.empty());
        return seen;
    }

    // Plays the file and then a good movie with auto-play and close-when-done, in 1 ms
    // steps: the timer ticks at its period and the device plays at the format's rate.
    void PlayBeforeAGoodMovie(const std::string& path, bool opens) {
        const std::string good = dir.File("good.avi");
        WriteFileBytes(good, Write(Streams(SoundKind::kDk4Stereo)));
        RecordingFrame frame;  // outlive the document, which closes its movie last
        RecordingView view;
        TestDocument t(1000);
        t.doc.AttachFrame(&frame);
        t.doc.AttachView(&view);
        t.doc.m_pendingFiles = {path, good};
        t.doc.m_bAutoPlay = true;
        t.doc.m_bCloseWhenDone = true;
        const uint32_t ms = t.RunFor(kMaxPlayMs, [&frame] { return frame.closeRequests != 0; });
        EXPECT_LT(ms, kMaxPlayMs) << "the player did not reach the end of its queue";
        const std::vector<std::string> played =
            opens ? std::vector<std::string>{path, good} : std::vector<std::string>{good};
        EXPECT_EQ(frame.recent, played);
        EXPECT_TRUE(t.messages.messages.empty());
        EXPECT_EQ(t.wave.misuses, 0);
    }

    // Converts the file and checks that what was written holds every frame and the sound.
    void Convert(const std::string& path, const Seen& seen, uint32_t compressor) {
        SCOPED_TRACE(std::string(reinterpret_cast<const char*>(&compressor), 4));
        TestDocument t;
        t.doc.m_pendingFiles = {path};
        t.doc.IdleProcess(0);
        ASSERT_TRUE(t.doc.m_bOpen);
        const FileInfoTexts info = MakeFileInfoTexts(t.doc);
        EXPECT_EQ(info.frames, std::to_string(seen.frames));
        const std::string output = dir.File("converted.avi");
        std::filesystem::remove(output);
        ConvertingHost host(output, compressor);
        t.doc.OnConvert(host);
        EXPECT_LT(host.pumps, kMaxPumps) << "the conversion does not end";
        // Our compressor may refuse a picture size; nothing else may go wrong.
        EXPECT_EQ(host.errors.size(), static_cast<size_t>(host.compressorsShown - 1));
        auto written = movie::AviReader::OpenFile(output);
        ASSERT_TRUE(written.Ok()) << written.Error().message;
        const int video = written->FindStream(movie::streamtypeVIDEO, 0);
        ASSERT_GE(video, 0);
        EXPECT_EQ(written->IndexedSamples(video), seen.frames);
        const int sound = written->FindStream(movie::streamtypeAUDIO, 0);
        if (seen.outcome == kSilent) {
            EXPECT_LT(sound, 0);
        }
        if (seen.soundBytes > 0) {
            ASSERT_GE(sound, 0);
            EXPECT_GT(written->IndexedSamples(sound), 0u);
        }
        if (compressor == MakeFourCC("DUCK") && host.compressorsShown == 1 && seen.frames > 0) {
            RecordingMessageBox messages;
            CDuckMovie again(messages);
            EXPECT_EQ(again.Open(output), 1) << "the converted movie does not play";
        }
    }

    // Runs a hostile file through the movie object, the player and the converter.
    // `mayReject`: a frame that the damage leaves without its whole body may be rejected.
    void Check(const std::vector<uint8_t>& image, Outcome expected, bool mayReject = false) {
        const std::string path = dir.File("hostile.avi");
        WriteFileBytes(path, image);
        const Seen seen = ReadWithMovie(path, image.size());
        if (!(mayReject && seen.outcome == kFrameRejected)) {
            EXPECT_EQ(Name(seen.outcome), std::string(Name(expected)));
        }
        EXPECT_LE(seen.frames, kFrames);
        PlayBeforeAGoodMovie(path, seen.outcome != kRefused);
        if (seen.outcome == kRefused) return;
        for (const uint32_t compressor : kCompressors) Convert(path, seen, compressor);
    }

    TempDir dir;

private:
    std::map<SoundKind, std::vector<TestStream>> m_streams;
};

// The file of `sound`, its streams changed by `remake` and its bytes by `damage`.
struct Case {
    const char* what;
    SoundKind sound;
    std::function<void(std::vector<TestStream>&)> remake;
    std::function<void(std::vector<uint8_t>&)> damage;
    Outcome outcome;
};

std::function<void(std::vector<TestStream>&)> Frame(
    uint32_t index, std::function<void(std::vector<uint8_t>&)> change) {
    return [index, change](std::vector<TestStream>& s) { change(s[0].chunks[index]); };
}

std::function<void(std::vector<TestStream>&)> FrameSize(size_t field, uint16_t value,
                                                        uint8_t flags = 0) {
    return Frame(0, [field, value, flags](std::vector<uint8_t>& f) {
        SetHeaderWord(f, field, value);
        if (flags)
            SetHeaderByte(
                f, kFlagsByte,
                truemotion::UnchainHeader<truemotion::kCodedHeaderBytes>(f)[kFlagsByte] | flags);
    });
}

std::function<void(std::vector<uint8_t>&)> StreamField32(int stream, size_t field, uint32_t value) {
    return [=](std::vector<uint8_t>& f) { StoreLE32(&f[StreamHeader(f, stream) + field], value); };
}

std::function<void(std::vector<TestStream>&)> SoundFormat16(size_t field, uint16_t value) {
    return [=](std::vector<TestStream>& s) { StoreLE16(&s[1].format[field], value); };
}

// The step index of every channel of every chunk's first block.
std::function<void(std::vector<TestStream>&)> StepIndex255(std::vector<size_t> offsets) {
    return [offsets](std::vector<TestStream>& s) {
        for (auto& chunk : s[1].chunks)
            for (const size_t at : offsets)
                if (at < chunk.size()) chunk[at] = 255;
    };
}

std::function<void(std::vector<uint8_t>&)> InMovi(
    std::function<void(std::vector<avitest::MoviItem>&)> change) {
    return [change](std::vector<uint8_t>& f) {
        auto items = avitest::MoviItems(f);
        change(items);
        f = avitest::RebuildMovi(f, items, avitest::IndexKind::kRelative);
    };
}

TEST_F(MalformedMovieTest, EachHostileFileHasItsOutcome) {
    const auto dk4 = SoundKind::kDk4Stereo;
    const Case cases[] = {
        {"untouched", dk4, {}, {}, kSound},
        {"untouched, without sound", SoundKind::kNone, {}, {}, kSilent},
        // The file's structure.
        {"RIFF size beyond the file",
         dk4,
         {},
         [](auto& f) { StoreLE32(&f[4], 0xFFFFFFF0u); },
         kSound},
        {"movie data size beyond the file",
         dk4,
         {},
         [](auto& f) {
             StoreLE32(&f[avitest::FindChunk(f, "LIST", "movi").header + 4], 0xFFFFFFF0u);
         },
         kSound},
        {"index size beyond the file",
         dk4,
         {},
         [](auto& f) { StoreLE32(&f[avitest::FindChunk(f, "idx1").header + 4], 0xFFFFFFF0u); },
         kSound},
        {"index pointing outside the movie data",
         dk4,
         {},
         [](auto& f) {
             const RiffChunk idx1 = avitest::FindChunk(f, "idx1");
             for (size_t e = idx1.DataStart(); e + 16 <= idx1.End(); e += 16)
                 StoreLE32(&f[e + 8], LoadLE32(&f[e + 8]) + 0x10000000u);
         },
         kSound},
        {"without an index, the last chunk claiming more than the file holds",
         dk4,
         {},
         [](auto& f) {
             f = avitest::RebuildMovi(f, avitest::MoviItems(f), avitest::IndexKind::kNone);
             StoreLE32(&f[Nth(f, "00dc", kFrames - 1).header + 4], 0x7FFFFFF0u);
         },
         kSound},
        {"unknown chunks in the headers and the movie data",
         dk4,
         {},
         [](auto& f) {
             InsertChunk(f, avitest::FindChunk(f, "avih").End(), "zzzz", {1, 2, 3});
             InsertChunk(f, avitest::FindChunk(f, "avih").End(), "JUNK",
                         std::vector<uint8_t>(5000));
             InMovi([](auto& items) {
                 items.insert(items.begin() + 1, {MakeFourCC("zzzz"), {9, 9, 9}});
                 items.insert(items.begin() + 3,
                              {MakeFourCC("07dc"), std::vector<uint8_t>(300, 7)});
                 items.push_back({MakeFourCC("JUNK"), std::vector<uint8_t>(17)});
             })(f);
         },
         kSound},
        {"a stream of an unknown type",
         dk4,
         [](auto& s) {
             TestStream text = s[1];
             text.info.fccType = MakeFourCC("txts");
             text.format = {1, 2, 3};
             s.insert(s.begin(), text);
         },
         {},
         kSound},
        {"the sound stream before the video",
         dk4,
         [](auto& s) { std::swap(s[0], s[1]); },
         {},
         kSound},
        {"no video stream", dk4, [](auto& s) { s.erase(s.begin()); }, {}, kRefused},
        {"a TrueMotion stream after a first video stream of another kind",
         dk4,
         [](auto& s) {
             TestStream other = s[0];
             other.info.fccHandler = MakeFourCC("cvid");
             s.insert(s.begin(), other);
         },
         {},
         kRefused},
        {"a second RIFF after the first, as OpenDML files have",
         dk4,
         {},
         [](auto& f) {
             const std::vector<uint8_t> first = f;
             f.insert(f.end(), first.begin(), first.end());
             std::copy_n("AVIX", 4, &f[first.size() + 8]);
         },
         kSound},
        // The stream headers.
        {"rate 0", dk4, {}, StreamField32(0, kStrhRate, 0), kRefused},
        {"scale 0", dk4, {}, StreamField32(0, kStrhScale, 0), kRefused},
        {"length 0", dk4, {}, StreamField32(0, kStrhLength, 0), kSound},
        {"a million frames a second: no timer period",
         dk4,
         {},
         StreamField32(0, kStrhRate, 1000000),
         kSound},
        {"rate and scale near 2^32: two frames a second",
         dk4,
         {},
         [](auto& f) {
             StoreLE32(&f[StreamHeader(f, 0) + kStrhRate], 0xFFFFFFFEu);
             StoreLE32(&f[StreamHeader(f, 0) + kStrhScale], 0x7FFFFFFFu);
         },
         kSound},
        {"length beyond the frames held",
         dk4,
         {},
         StreamField32(0, kStrhLength, 0xFFFFFFFFu),
         kSound},
        {"huge suggested buffer sizes",
         dk4,
         {},
         [](auto& f) {
             StoreLE32(&f[avitest::FindChunk(f, "avih").DataStart() + 28], 0xFFFFFFFFu);
             StoreLE32(&f[StreamHeader(f, 0) + kStrhBuffer], 0xFFFFFFF0u);
             StoreLE32(&f[StreamHeader(f, 1) + kStrhBuffer], 0x7FFFFFFFu);
         },
         kSound},
        {"file header picture of 65535 x 65535: its image size overflows",
         dk4,
         {},
         [](auto& f) {
             StoreLE32(&f[avitest::FindChunk(f, "avih").DataStart() + 32], 65535);
             StoreLE32(&f[avitest::FindChunk(f, "avih").DataStart() + 36], 65535);
         },
         kSound},
        {"file header picture of 0 x 0",
         dk4,
         {},
         [](auto& f) {
             StoreLE32(&f[avitest::FindChunk(f, "avih").DataStart() + 32], 0);
             StoreLE32(&f[avitest::FindChunk(f, "avih").DataStart() + 36], 0);
         },
         kSound},
        {"suggested buffer sizes of 64 MiB",
         dk4,
         {},
         [](auto& f) {
             StoreLE32(&f[StreamHeader(f, 0) + kStrhBuffer], 64u << 20);
             StoreLE32(&f[StreamHeader(f, 1) + kStrhBuffer], 64u << 20);
         },
         kSound},
        {"suggested buffer sizes 0",
         dk4,
         {},
         [](auto& f) {
             StoreLE32(&f[StreamHeader(f, 0) + kStrhBuffer], 0);
             StoreLE32(&f[StreamHeader(f, 1) + kStrhBuffer], 0);
         },
         kSound},
        {"sound length beyond its samples",
         dk4,
         {},
         StreamField32(1, kStrhLength, 0xFFFFFFFFu),
         kSound},
        {"handler XVID",
         dk4,
         {},
         [](auto& f) { std::copy_n("XVID", 4, &f[StreamHeader(f, 0) + kStrhHandler]); },
         kRefused},
        {"handler Duck",
         dk4,
         {},
         [](auto& f) { std::copy_n("Duck", 4, &f[StreamHeader(f, 0) + kStrhHandler]); },
         kRefused},
        {"handler duck",
         dk4,
         {},
         [](auto& f) { std::copy_n("duck", 4, &f[StreamHeader(f, 0) + kStrhHandler]); },
         kSound},
        // The formats.
        {"video format of 2 bytes", dk4, [](auto& s) { s[0].format.resize(2); }, {}, kSound},
        {"video format of 64 KiB",
         dk4,
         [](auto& s) { s[0].format.resize(64 * 1024, 0xA5); },
         {},
         kSound},
        {"sound format of 2 bytes", dk4, [](auto& s) { s[1].format.resize(2); }, {}, kSilent},
        {"sound format chunk claiming 2 of its bytes, the rest read as chunks",
         dk4,
         {},
         [](auto& f) { StoreLE32(&f[Nth(f, "strf", 1).header + 4], 2); },
         kSilent},
        {"sound format of 64 KiB",
         dk4,
         [](auto& s) { s[1].format.resize(64 * 1024, 0xA5); },
         {},
         kSound},
        {"sound tag 2", dk4, SoundFormat16(kWfxTag, 2), {}, kSilent},
        {"sound with 0 channels", dk4, SoundFormat16(kWfxChannels, 0), {}, kSilent},
        {"sound at 0 samples a second", dk4, SoundFormat16(kWfxRate, 0), {}, kSilent},
        {"sound at 4294967295 samples a second",
         dk4,
         [](auto& s) { StoreLE32(&s[1].format[kWfxRate], 0xFFFFFFFFu); },
         {},
         kSound},
        {"PCM of 65535 channels",
         SoundKind::kPcm16,
         SoundFormat16(kWfxChannels, 65535),
         {},
         kSilent},
        {"DK4 of 3 channels: decoded as mono", dk4, SoundFormat16(kWfxChannels, 3), {}, kSound},
        {"PCM of 12 bits", SoundKind::kPcm16, SoundFormat16(kWfxBits, 12), {}, kSilent},
        {"DK4 block alignment 0", dk4, SoundFormat16(kWfxBlockAlign, 0), {}, kSilent},
        {"DK4 block alignment 1", dk4, SoundFormat16(kWfxBlockAlign, 1), {}, kSilent},
        {"DK4 block alignment 65535", dk4, SoundFormat16(kWfxBlockAlign, 65535), {}, kSound},
        {"DK3 block alignment 1", SoundKind::kDk3, SoundFormat16(kWfxBlockAlign, 1), {}, kSilent},
        {"DK3 block alignment 65535",
         SoundKind::kDk3,
         SoundFormat16(kWfxBlockAlign, 65535),
         {},
         kSound},
        {"PCM block alignment 0", SoundKind::kPcm16, SoundFormat16(kWfxBlockAlign, 0), {}, kSilent},
        {"PCM block alignment 65535",
         SoundKind::kPcm16,
         SoundFormat16(kWfxBlockAlign, 65535),
         {},
         kSilent},
        {"PCM block alignment 3 for 16-bit stereo",
         SoundKind::kPcm16,
         SoundFormat16(kWfxBlockAlign, 3),
         {},
         kSilent},
        // The sound's data.
        {"DK4 stereo step index 255", dk4, StepIndex255({2, 6}), {}, kSound},
        {"DK4 mono step index 255", SoundKind::kDk4Mono, StepIndex255({2}), {}, kSound},
        {"DK3 step index 255", SoundKind::kDk3, StepIndex255({14, 15}), {}, kSound},
        {"sound chunks of 0 and 1 bytes",
         dk4,
         [](auto& s) {
             s[1].chunks[0].clear();
             s[1].chunks[1].resize(1);
         },
         {},
         kSound},
        // Frame 0's header, where the picture size comes from.
        {"width 0", dk4, FrameSize(kWidthByte, 0), {}, kRefused},
        {"height 0", dk4, FrameSize(kHeightByte, 0), {}, kRefused},
        {"width 4097", dk4, FrameSize(kWidthByte, 4097), {}, kRefused},
        {"height 4097", dk4, FrameSize(kHeightByte, 4097), {}, kRefused},
        {"width 65535", dk4, FrameSize(kWidthByte, 65535), {}, kRefused},
        {"height 65535", dk4, FrameSize(kHeightByte, 65535), {}, kRefused},
        // The delta frames' bodies are shorter than the change mask of a picture so large.
        {"width 2048, the largest", dk4, FrameSize(kWidthByte, 2048), {}, kFrameRejected},
        {"height 2048, the largest", dk4, FrameSize(kHeightByte, 2048), {}, kFrameRejected},
        {"odd width 33", dk4, FrameSize(kWidthByte, 33), {}, kSound},
        {"stretch flag, width 1: nothing to show",
         dk4,
         FrameSize(kWidthByte, 1, truemotion::kStretchFlag),
         {},
         kRefused},
        {"stretch flag, width 3",
         dk4,
         FrameSize(kWidthByte, 3, truemotion::kStretchFlag),
         {},
         kSound},
        {"stretch flag, width 33",
         dk4,
         FrameSize(kWidthByte, 33, truemotion::kStretchFlag),
         {},
         kSound},
        {"stretch flag, width 35",
         dk4,
         FrameSize(kWidthByte, 35, truemotion::kStretchFlag),
         {},
         kSound},
        {"stretch flag, width 1365: 2046 shown",
         dk4,
         FrameSize(kWidthByte, 1365, truemotion::kStretchFlag),
         {},
         kFrameRejected},
        {"stretch flag, width 1366: 2049 shown, beyond the largest",
         dk4,
         FrameSize(kWidthByte, 1366, truemotion::kStretchFlag),
         {},
         kRefused},
        {"frame 0 of 5 bytes", dk4, Frame(0, [](auto& f) { f.resize(5); }), {}, kRefused},
        // Frames after the first.
        {"a later frame's size 65535 is not looked at",
         dk4,
         Frame(2,
               [](auto& f) {
                   SetHeaderWord(f, kWidthByte, 65535);
                   SetHeaderWord(f, kHeightByte, 65535);
               }),
         {},
         kSound},
        {"frame 0 of compression 0",
         dk4,
         Frame(0, [](auto& f) { SetHeaderByte(f, truemotion::kCompressionField, 0); }),
         {},
         kFrameRejected},
        {"a later frame of compression 17",
         dk4,
         Frame(4, [](auto& f) { SetHeaderByte(f, truemotion::kCompressionField, 17); }),
         {},
         kFrameRejected},
        {"a later frame of vector table 0",
         dk4,
         Frame(3, [](auto& f) { SetHeaderByte(f, truemotion::kVectorTableField, 0); }),
         {},
         kFrameRejected},
        {"a later frame of 5 bytes",
         dk4,
         Frame(1, [](auto& f) { f.resize(5); }),
         {},
         kFrameRejected},
        {"a later frame cut after its header",
         dk4,
         Frame(3, [](auto& f) { f.resize(24); }),
         {},
         kFrameRejected},
        {"a later frame of 0 bytes", dk4, Frame(5, [](auto& f) { f.clear(); }), {}, kFrameRejected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto streams = Streams(c.sound);
        if (c.remake) c.remake(streams);
        auto image = Write(streams);
        if (c.damage) c.damage(image);
        Check(image, c.outcome);
    }
}

// A file cut at any structure boundary, or in the middle of a structure, is refused
// until frame 0's header is whole; from there it plays with its sound, and only a frame
// that the cut goes through may be rejected.
TEST_F(MalformedMovieTest, TruncatedAtEveryBoundary) {
    const auto good = Write(Streams(SoundKind::kDk4Stereo));
    const size_t frameZeroHeader = Nth(good, "00dc", 0).DataStart() + truemotion::kCodedHeaderBytes;
    std::set<size_t> cuts = {0, 1, 4, 8, 11};
    for (const RiffChunk& c : avitest::WalkRiff(good))
        for (const size_t at :
             {c.header, c.header + 4, c.DataStart(), c.DataStart() + c.size / 2, c.End() - 1})
            if (at < good.size()) cuts.insert(at);
    cuts.insert(frameZeroHeader - 1);
    cuts.insert(frameZeroHeader);
    std::vector<RiffChunk> frames;
    for (const RiffChunk& c : avitest::WalkRiff(good))
        if (c.id == MakeFourCC("00dc")) frames.push_back(c);
    for (const size_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(good.size()));
        const bool inAFrame = std::any_of(frames.begin(), frames.end(), [cut](const RiffChunk& c) {
            return c.DataStart() <= cut && cut < c.DataStart() + c.size;
        });
        Check(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)),
              cut < frameZeroHeader ? kRefused : kSound, inAFrame);
    }
}

}  // namespace
