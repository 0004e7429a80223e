#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "moviemaker/MovieMaker.h"
#include "movie/DuckMovie.h"
#include "support/FileBytes.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"

// Our converted files must play elsewhere: GStreamer's own AVI demuxer and JPEG decoder
// (base and good plug-ins only) turn them back into pictures, which must match ours.
namespace {

bool HaveGstreamer() { return std::system("command -v gst-launch-1.0 > /dev/null 2>&1") == 0; }

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

TEST(IndependentTools, GstreamerDecodesOurFullFrameAndMotionJpegFiles) {
    if (!HaveGstreamer()) GTEST_SKIP() << "gst-launch-1.0 is not installed";
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.frames = 12;
    const std::string source = dir.File("source.avi");
    ASSERT_TRUE(moviemaker::MakeMovie(spec, source).ok());
    int frames = 0;
    const auto ours = OurFramesTopDown(source, frames);

    struct Case {
        const char* codec;
        const char* decoder;
        double minPsnr;
    };
    for (const Case& c : {Case{"dib", "", 99}, Case{"mjpg", "! jpegdec ", 30}}) {
        const std::string out = dir.File(std::string("out-") + c.codec + ".avi"), raw = out + ".raw";
        const std::string convert = std::string(LUMEKO_TOOL) + " convert --quiet --codec " + c.codec + " '" + source +
                                    "' '" + out + "'";
        ASSERT_EQ(std::system(convert.c_str()), 0) << c.codec;
        const std::string gst = "gst-launch-1.0 -q filesrc location='" + out + "' ! avidemux " + c.decoder +
                                "! videoconvert ! video/x-raw,format=BGR ! filesink location='" + raw + "' 2>/dev/null";
        ASSERT_EQ(std::system(gst.c_str()), 0) << c.codec;
        const auto theirs = ReadFileBytes(raw);
        ASSERT_EQ(theirs.size(), ours.size()) << c.codec << ": frame count or size differs";
        double sse = 0;
        for (size_t i = 0; i < ours.size(); ++i) sse += (ours[i] - theirs[i]) * (ours[i] - theirs[i]);
        const double psnr = sse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(ours.size()) / sse);
        EXPECT_GE(psnr, c.minPsnr) << c.codec;
    }
}

}  // namespace
