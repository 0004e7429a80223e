#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/Compressor.h"
#include "movie/DuckMovie.h"
#include "moviemaker/MovieMaker.h"
#include "support/FileBytes.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"

// Our converted files must play elsewhere: GStreamer's own AVI demuxer and JPEG decoder
// (base and good plug-ins only) turn them back into pictures, which must match ours.
namespace {

bool HaveGstreamer() {
    return std::system("command -v gst-launch-1.0 > /dev/null 2>&1") == 0;
}
bool HaveMediaInfo() {
    return std::system("mediainfo --Version > /dev/null 2>&1") == 0;
}
// An H.264 decoder outside the libav family: openh264 from the "bad" plug-ins.
bool HaveOpenH264() {
    return std::system("gst-inspect-1.0 openh264dec > /dev/null 2>&1") == 0;
}
bool HaveH264() {
    for (const auto& c : convert::InstalledCompressors())
        if (c.fccHandler == movie::MakeFourCC("H264")) return true;
    return false;
}

std::string Converted(const TempDir& dir, const std::string& source, const std::string& codec) {
    const std::string out = dir.File("out-" + codec + ".avi");
    const std::string convert = std::string(LUMEKO_TOOL) + " convert --quiet --codec " + codec +
                                " '" + source + "' '" + out + "'";
    EXPECT_EQ(std::system(convert.c_str()), 0) << codec;
    return out;
}

// GStreamer's pictures of a file, top row first, in BGR.
std::vector<uint8_t> GstreamerFrames(const std::string& path, const std::string& decoder) {
    const std::string raw = path + ".raw";
    const std::string gst =
        "gst-launch-1.0 -q filesrc location='" + path + "' ! avidemux " + decoder +
        "! videoconvert ! video/x-raw,format=BGR ! filesink location='" + raw + "' 2>/dev/null";
    EXPECT_EQ(std::system(gst.c_str()), 0) << path;
    return ReadFileBytes(raw);
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sse = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) sse += (a[i] - b[i]) * (a[i] - b[i]);
    return sse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / sse);
}

// mediainfo's answer to one query per line.
std::vector<std::string> MediaInfo(const std::string& path,
                                   std::initializer_list<const char*> queries) {
    const std::string out = path + ".mediainfo";
    std::vector<std::string> lines;
    for (const char* query : queries) {
        const std::string command =
            std::string("mediainfo '--Inform=") + query + "' '" + path + "' > '" + out + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        const auto bytes = ReadFileBytes(out);
        std::string line(bytes.begin(), bytes.end());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Our decoded frames, top row first, as GStreamer writes raw video.
std::vector<uint8_t> OurFramesTopDown(const std::string& path, int& frames) {
    RecordingMessageBox quiet;
    CDuckMovie movie(quiet);
    EXPECT_EQ(movie.Open(path), 1);
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    const size_t row = static_cast<size_t>(bmih.biWidth) * 3;
    std::vector<uint8_t> picture(row * bmih.biHeight), all;
    frames = static_cast<int>(movie.GetFrameCount());
    for (int i = 0; i < frames; ++i) {
        movie.ReadFrame(static_cast<uint32_t>(i), picture.data());
        for (int y = bmih.biHeight - 1; y >= 0; --y)
            all.insert(all.end(), picture.begin() + static_cast<std::ptrdiff_t>(row * y),
                       picture.begin() + static_cast<std::ptrdiff_t>(row * (y + 1)));
    }
    return all;
}

TEST(IndependentTools, GstreamerDecodesOurFullFrameMotionJpegAndH264Files) {
    if (!HaveGstreamer()) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.frames = 12;
    const std::string source = dir.File("source.avi");
    ASSERT_TRUE(moviemaker::MakeMovie(spec, source).Ok());
    int frames = 0;
    const auto ours = OurFramesTopDown(source, frames);

    struct Case {
        const char* codec;
        const char* decoder;
        double minPsnr;
    };
    std::vector<Case> cases = {{"dib", "", 99}, {"mjpg", "! jpegdec ", 30}};
    // H.264 only through a decoder of its own kind, never the libav plug-in.
    if (HaveH264() && HaveOpenH264()) cases.push_back({"h264", "! h264parse ! openh264dec ", 30});
    for (const Case& c : cases) {
        const auto theirs = GstreamerFrames(Converted(dir, source, c.codec), c.decoder);
        ASSERT_EQ(theirs.size(), ours.size()) << c.codec << ": frame count or size differs";
        EXPECT_GE(Psnr(ours, theirs), c.minPsnr) << c.codec;
    }
}

// mediainfo, which decodes nothing, reads our streams' formats, sizes, counts and sound.
TEST(IndependentTools, MediaInfoReadsEachCompressorsFile) {
    if (!HaveMediaInfo()) GTEST_SKIP() << "mediainfo is not installed";
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.frames = 12;
    spec.sound = moviemaker::SoundKind::kDk3;
    const std::string source = dir.File("source.avi");
    ASSERT_TRUE(moviemaker::MakeMovie(spec, source).Ok());
    struct Case {
        const char* codec;
        const char* format;  // as mediainfo names it
    };
    std::vector<Case> cases = {{"dib", "RGB"}, {"mjpg", "JPEG"}, {"duck", "TrueMotion S"}};
    if (HaveH264()) cases.push_back({"h264", "AVC"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codec);
        const auto lines = MediaInfo(Converted(dir, source, c.codec),
                                     {"General;%VideoCount% %AudioCount%", "Video;%Format%",
                                      "Video;%Width%x%Height% %FrameCount% %FrameRate%",
                                      "Audio;%Format% %BitDepth% %Channel(s)% %SamplingRate%"});
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], "1 1");
        EXPECT_EQ(lines[1], c.format);
        EXPECT_EQ(lines[2], "64x48 12 15.000");
        EXPECT_EQ(lines[3], "PCM 16 2 22050");
    }
}

}  // namespace
