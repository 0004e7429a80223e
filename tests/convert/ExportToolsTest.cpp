#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "convert/Yuv420.h"
#include "movie/DuckMovie.h"
#include "moviemaker/MovieMaker.h"
#include "support/FileBytes.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"

// Our MP4 and WebM files must play elsewhere: GStreamer's own demuxers and decoders from
// outside the libav family read them back, mediainfo reads their headers, and what comes
// out must be our movie: every frame, the same length, clean pictures, the same sound.
namespace {

bool Have(const char* command) {
    return std::system((std::string(command) + " > /dev/null 2>&1").c_str()) == 0;
}
bool HaveElement(const std::string& name) {
    return Have(("gst-inspect-1.0 " + name).c_str());
}

std::string Output(const std::string& command, const std::string& outFile) {
    EXPECT_EQ(std::system((command + " > '" + outFile + "'").c_str()), 0) << command;
    const auto bytes = ReadFileBytes(outFile);
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

struct OurMovie {
    int width = 0, height = 0, frames = 0;
    uint32_t rate = 0, scale = 0, sampleRate = 0;
    std::vector<uint8_t> pictures;  // top row first, BGR
    std::vector<uint8_t> i420;      // the same in the encoders' 4:2:0 form
    std::vector<int16_t> mono;      // the sound up to the last picture's end
};

OurMovie Decode(const std::string& path) {
    OurMovie m;
    RecordingMessageBox quiet;
    CDuckMovie movie(quiet);
    EXPECT_EQ(movie.Open(path), 1);
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    m.width = bmih.biWidth;
    m.height = bmih.biHeight;
    m.frames = static_cast<int>(movie.GetFrameCount());
    m.rate = movie.GetRate();
    m.scale = movie.GetScale();
    const size_t row = static_cast<size_t>(m.width) * 3;
    std::vector<uint8_t> picture(row * m.height);
    const size_t ySize = static_cast<size_t>(m.width) * m.height;
    std::vector<uint8_t> yuv(ySize * 3 / 2);
    for (int i = 0; i < m.frames; ++i) {
        movie.ReadFrame(static_cast<uint32_t>(i), picture.data());
        convert::BgrToI420(
            picture.data(), m.width, m.height, 1,
            {yuv.data(), m.width, yuv.data() + ySize, yuv.data() + ySize * 5 / 4, m.width / 2});
        m.i420.insert(m.i420.end(), yuv.begin(), yuv.end());
        for (int y = m.height - 1; y >= 0; --y)
            m.pictures.insert(m.pictures.end(),
                              picture.begin() + static_cast<std::ptrdiff_t>(row * y),
                              picture.begin() + static_cast<std::ptrdiff_t>(row * (y + 1)));
    }
    movie::WAVEFORMATEX wfx;
    movie.GetWaveFormat(&wfx);
    m.sampleRate = wfx.nSamplesPerSec;
    const int channels = movie.GetDecodedChannels();
    std::vector<uint8_t> chunk(movie.GetAudioChunkSize());
    std::vector<int16_t> all;
    while (const uint32_t bytes = movie.ReadAudio(chunk.data())) {
        const auto* s = reinterpret_cast<const int16_t*>(chunk.data());
        all.insert(all.end(), s, s + bytes / 2);
    }
    const size_t end = static_cast<size_t>(uint64_t{static_cast<uint32_t>(m.frames)} * m.scale *
                                           m.sampleRate / m.rate);
    for (size_t i = 0; i + channels <= all.size() && m.mono.size() < end; i += channels) {
        int sum = 0;
        for (int c = 0; c < channels; ++c) sum += all[i + c];
        m.mono.push_back(static_cast<int16_t>(sum / channels));
    }
    return m;
}

// I420 from a decoder turned into BGR with the exact BT.601 inverse, so that the check
// measures the encoding and not the precision of a converter.
std::vector<uint8_t> I420ToBgr(const std::vector<uint8_t>& i420, int width, int height) {
    const size_t ySize = static_cast<size_t>(width) * height, cSize = ySize / 4;
    std::vector<uint8_t> bgr;
    for (size_t frame = 0; (frame + 1) * (ySize + 2 * cSize) <= i420.size(); ++frame) {
        const uint8_t* y = i420.data() + frame * (ySize + 2 * cSize);
        const uint8_t* u = y + ySize;
        const uint8_t* v = u + cSize;
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x) {
                const size_t c = static_cast<size_t>(row / 2) * (width / 2) + x / 2;
                const double l = (y[static_cast<size_t>(row) * width + x] - 16) * 255.0 / 219;
                const double cb = (u[c] - 128) * 255.0 / 224, cr = (v[c] - 128) * 255.0 / 224;
                const double bgr3[3] = {l + 1.772 * cb, l - 0.344136 * cb - 0.714136 * cr,
                                        l + 1.402 * cr};
                for (int k = 0; k < 3; ++k)
                    bgr.push_back(static_cast<uint8_t>(std::clamp(std::lround(bgr3[k]), 0L, 255L)));
            }
    }
    return bgr;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sse = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) sse += (a[i] - b[i]) * (a[i] - b[i]);
    return sse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sse);
}

double Correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int lag,
                   size_t count) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < count; ++i) {
        const long j = static_cast<long>(i) + lag;
        if (j < 0 || static_cast<size_t>(j) >= b.size() || i >= a.size()) continue;
        ab += static_cast<double>(a[i]) * b[static_cast<size_t>(j)];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[static_cast<size_t>(j)]) * b[static_cast<size_t>(j)];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The top-level boxes of an MP4 file, in order.
std::vector<std::string> TopLevelBoxes(const std::vector<uint8_t>& file) {
    std::vector<std::string> boxes;
    size_t at = 0;
    while (at + 8 <= file.size()) {
        uint64_t size =
            (uint64_t{file[at]} << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
        boxes.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           file.begin() + static_cast<std::ptrdiff_t>(at + 8));
        if (size == 1 && at + 16 <= file.size()) {
            size = 0;
            for (int i = 8; i < 16; ++i) size = size << 8 | file[at + i];
        }
        if (size < 8) break;
        at += size;
    }
    return boxes;
}

struct Case {
    const char* name;
    const char* extension;
    int width, height, frames;
    uint32_t rate, scale;
    moviemaker::SoundKind sound;
    int sampleRate;
    // Read back with these, after filesrc.
    const char* video;
    const char* audio;
    // What mediainfo calls them.
    const char* container;
    const char* videoFormat;
    const char* audioFormat;
    const char* frameRate;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class ExportReadBack : public ::testing::TestWithParam<Case> {};

TEST_P(ExportReadBack, IndependentDecodersGetOurMovieBack) {
    const Case& c = GetParam();
    if (!Have("gst-launch-1.0 --version")) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    for (const char* element :
         {c.extension[1] == 'm' && c.extension[2] == 'p' ? "openh264dec" : "vp9dec",
          c.extension[1] == 'm' && c.extension[2] == 'p' ? "faad" : "opusdec"})
        if (!HaveElement(element)) GTEST_SKIP() << element << " is not installed";
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = c.width;
    spec.height = c.height;
    spec.frames = c.frames;
    spec.rate = c.rate;
    spec.scale = c.scale;
    spec.sound = c.sound;
    spec.sampleRate = c.sampleRate;
    const std::string source = dir.File("source.avi"),
                      out = dir.File(std::string("out") + c.extension);
    ASSERT_TRUE(moviemaker::MakeMovie(spec, source).Ok());
    const std::string convert =
        std::string(LUMEKO_TOOL) + " convert --quiet '" + source + "' '" + out + "'";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    const OurMovie ours = Decode(source);
    ASSERT_EQ(ours.frames, c.frames);

    // Pictures: every frame, clean at the default quality.
    const std::string raw = dir.File("pictures.raw");
    Output("gst-launch-1.0 -q filesrc location='" + out + "' ! " + c.video +
               " ! video/x-raw,format=I420 ! filesink location='" + raw + "'",
           dir.File("log"));
    const auto theirs = ReadFileBytes(raw);
    const size_t frameBytes = static_cast<size_t>(c.width) * c.height * 3 / 2;
    EXPECT_EQ(theirs.size() / frameBytes, static_cast<size_t>(c.frames)) << "frame count";
    ASSERT_EQ(theirs.size(), ours.i420.size());
    // The encoding's loss, measured on what the encoder was given; then the whole way back
    // to RGB, where 4:2:0 itself costs these small, sharp-edged pictures about 1.5 dB.
    const double psnr = Psnr(ours.i420, theirs);
    const double rgbPsnr = Psnr(ours.pictures, I420ToBgr(theirs, c.width, c.height));
    EXPECT_GE(psnr, 35.0);
    EXPECT_GE(rgbPsnr, 32.0) << "colours or orientation differ";
    RecordProperty("psnr", std::to_string(psnr));
    std::printf("%s: PSNR %.2f dB (4:2:0), %.2f dB (RGB)\n", c.name, psnr, rgbPsnr);

    // Sound: as long as ours within one frame, and the same sound once aligned.
    const std::string pcm = dir.File("sound.raw");
    Output("gst-launch-1.0 -q filesrc location='" + out + "' ! " + c.audio +
               " ! audioconvert ! audioresample ! audio/x-raw,format=S16LE,channels=1,rate=" +
               std::to_string(c.sampleRate) + " ! filesink location='" + pcm + "'",
           dir.File("log"));
    const auto bytes = ReadFileBytes(pcm);
    std::vector<int16_t> sound(bytes.size() / 2);
    std::memcpy(sound.data(), bytes.data(), sound.size() * 2);
    const double samplesPerFrame = static_cast<double>(c.scale) * c.sampleRate / c.rate;
    EXPECT_NEAR(static_cast<double>(sound.size()), static_cast<double>(ours.mono.size()),
                samplesPerFrame);
    int best = 0;
    double bestCorrelation = -1;
    const size_t window = std::min<size_t>(ours.mono.size(), static_cast<size_t>(c.sampleRate) / 2);
    for (int lag = -3000; lag <= 3000; ++lag) {
        const double r = Correlation(ours.mono, sound, lag, window);
        if (r > bestCorrelation) bestCorrelation = r, best = lag;
    }
    EXPECT_GE(Correlation(ours.mono, sound, best, ours.mono.size()), 0.95) << "lag " << best;
    // In sync from the first frame: any shift is well under a frame.
    EXPECT_LE(std::abs(best), samplesPerFrame) << "sound shifted by " << best << " samples";

    // mediainfo, which decodes nothing, agrees on the formats and the timing.
    const auto info = [&](const std::string& query) {
        return Output("mediainfo '--Inform=" + query + "' '" + out + "'", dir.File("info"));
    };
    EXPECT_EQ(info("General;%Format%"), c.container);
    EXPECT_EQ(info("Video;%Format% %Width%x%Height% %FrameRate%"),
              std::string(c.videoFormat) + " " + std::to_string(c.width) + "x" +
                  std::to_string(c.height) + " " + c.frameRate);
    EXPECT_EQ(info("Audio;%Format% %SamplingRate%"),
              std::string(c.audioFormat) + " " +
                  (c.extension[1] == 'w' ? "48000" : std::to_string(c.sampleRate)));
    const double movieMs = 1000.0 * c.frames * c.scale / c.rate;
    EXPECT_NEAR(std::stod(info("General;%Duration%")), movieMs, 1000.0 * c.scale / c.rate);
    EXPECT_NEAR(std::stod(info("Video;%Duration%")), movieMs, 1000.0 * c.scale / c.rate);
    if (c.extension == std::string(".mp4")) {
        EXPECT_EQ(info("Video;%colour_range% %matrix_coefficients%"), "Limited BT.601");
        EXPECT_EQ(info("General;%IsStreamable%"), "Yes");
        const auto boxes = TopLevelBoxes(ReadFileBytes(out));
        const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
        const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
        ASSERT_NE(moov, boxes.end());
        ASSERT_NE(mdat, boxes.end());
        EXPECT_LT(moov - boxes.begin(), mdat - boxes.begin()) << "the index must come first";
    }
}

using moviemaker::SoundKind;
constexpr const char* kMp4Video = "qtdemux ! h264parse ! openh264dec";
constexpr const char* kMp4Audio = "qtdemux ! aacparse ! faad";
constexpr const char* kWebmVideo = "matroskademux ! vp9dec";
constexpr const char* kWebmAudio = "matroskademux ! opusdec";
INSTANTIATE_TEST_SUITE_P(
    Formats, ExportReadBack,
    ::testing::Values(Case{"Mp4NtscDk4", ".mp4", 160, 120, 45, 30000, 1001, SoundKind::kDk4Stereo,
                           44100, kMp4Video, kMp4Audio, "MPEG-4", "AVC", "AAC", "29.970"},
                      Case{"Mp4FifteenPcmMono", ".mp4", 128, 96, 30, 15, 1, SoundKind::kPcm16,
                           22050, kMp4Video, kMp4Audio, "MPEG-4", "AVC", "AAC", "15.000"},
                      Case{"WebmNtscDk3", ".webm", 160, 120, 45, 30000, 1001, SoundKind::kDk3,
                           22050, kWebmVideo, kWebmAudio, "WebM", "VP9", "Opus", "29.970"},
                      Case{"WebmFifteenDk4Mono", ".webm", 128, 96, 30, 15, 1, SoundKind::kDk4Mono,
                           11025, kWebmVideo, kWebmAudio, "WebM", "VP9", "Opus", "15.000"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
