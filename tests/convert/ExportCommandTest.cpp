#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "moviemaker/ImageFile.h"
#include "moviemaker/MovieMaker.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

// lumeko-tool's picture sequences, thumbnails and batch conversion, run as a user would.
namespace {

namespace fs = std::filesystem;

int Tool(const std::string& arguments, const std::string& log) {
    const int status =
        std::system((std::string(LUMEKO_TOOL) + " " + arguments + " > '" + log + "' 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Text(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

std::string MakeMovie(const TempDir& dir, const std::string& name, int frames = 12) {
    moviemaker::MovieSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.frames = frames;
    const std::string path = dir.File(name);
    EXPECT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
    return path;
}

TEST(DumpPictures, PngFramesHoldTheSamePixelsAsPpmFrames) {
    TempDir dir;
    const std::string movie = MakeMovie(dir, "movie.avi");
    ASSERT_EQ(Tool("dump --png --ppm '" + movie + "' '" + dir.File("out") + "'", dir.File("log")),
              0)
        << Text(dir.File("log"));
    for (const char* frame : {"00000", "00005", "00011"}) {
        auto png = moviemaker::LoadPicture(dir.File(std::string("out/frame-") + frame + ".png"));
        auto ppm = moviemaker::LoadPicture(dir.File(std::string("out/frame-") + frame + ".ppm"));
        ASSERT_TRUE(png.Ok() && ppm.Ok()) << frame;
        EXPECT_EQ(png->width, 64);
        EXPECT_EQ(png->height, 48);
        EXPECT_EQ(png->bgr, ppm->bgr) << frame;
    }
    EXPECT_TRUE(fs::exists(dir.File("out/audio.wav")));
}

// A movie black but for a few frames of a sharp pattern: the thumbnail must show it.
TEST(Thumbnail, PicksAFrameWithContentAndFitsTheSize) {
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.width = 96;
    spec.height = 64;
    for (int i = 0; i < 20; ++i) {
        moviemaker::Picture picture{96, 64, std::vector<uint8_t>(96 * 64 * 3, 0)};
        if (i >= 6 && i <= 9)
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 96; ++x)
                    if (((x / 8) + (y / 8)) % 2)
                        for (int c = 0; c < 3; ++c) picture.bgr[(y * 96 + x) * 3 + c] = 230;
        const std::string name = dir.File("p" + std::to_string(100 + i) + ".ppm");
        ASSERT_TRUE(moviemaker::SavePpm(name, 96, 64, picture.bgr.data()).Ok());
        spec.imagePaths.push_back(name);
    }
    spec.frames = 20;
    const std::string movie = dir.File("mostly-black.avi");
    ASSERT_TRUE(moviemaker::MakeMovie(spec, movie).Ok());

    struct Case {
        const char* size;
        int width, height;
    };
    for (const Case& c : {Case{"", 96, 64}, Case{"--size 48", 48, 32}, Case{"-s 20", 20, 13}}) {
        const std::string out = dir.File(std::string("thumb") + c.size + ".png");
        ASSERT_EQ(Tool("thumbnail " + std::string(c.size) + " '" + movie + "' '" + out + "'",
                       dir.File("log")),
                  0)
            << Text(dir.File("log"));
        auto picture = moviemaker::LoadPicture(out);
        ASSERT_TRUE(picture.Ok()) << c.size;
        EXPECT_EQ(picture->width, c.width) << c.size;
        EXPECT_EQ(picture->height, c.height) << c.size;
        int bright = 0;
        for (size_t i = 0; i < picture->bgr.size(); i += 3) bright += picture->bgr[i] > 100;
        EXPECT_GT(bright, c.width * c.height / 4)
            << c.size << ": the thumbnail shows a black frame";
    }
    // Not a movie: an error naming the file, and no picture.
    const std::string text = dir.File("notes.avi");
    WriteFileBytes(text, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(Tool("thumbnail '" + text + "' '" + dir.File("none.png") + "'", dir.File("log")), 1);
    EXPECT_NE(Text(dir.File("log")).find("notes.avi"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("none.png")));
}

// File managers run the installed thumbnailer's command line with %s, %i and %o filled in.
TEST(Thumbnail, TheThumbnailerEntryRunsTheTool) {
    TempDir dir;
    const std::string movie = MakeMovie(dir, "movie with space.avi");
    const std::string entry = Text(LUMEKO_SOURCE_DIR "/res/lumeko.thumbnailer");
    ASSERT_NE(entry.find("[Thumbnailer Entry]"), std::string::npos);
    EXPECT_NE(entry.find("MimeType=video/x-msvideo;"), std::string::npos);
    const size_t exec = entry.find("\nExec=lumeko-tool ");
    ASSERT_NE(exec, std::string::npos);
    std::string command = entry.substr(exec + 18, entry.find('\n', exec + 1) - exec - 18);
    const std::string out = dir.File("thumb.png");
    for (const auto& [key, value] :
         {std::pair{"%s", std::string("32")}, {"%i", "'" + movie + "'"}, {"%o", "'" + out + "'"}}) {
        const size_t at = command.find(key);
        ASSERT_NE(at, std::string::npos) << key;
        command.replace(at, 2, value);
    }
    ASSERT_EQ(Tool(command, dir.File("log")), 0) << command << "\n" << Text(dir.File("log"));
    auto picture = moviemaker::LoadPicture(out);
    ASSERT_TRUE(picture.Ok());
    EXPECT_EQ(picture->width, 32);
    EXPECT_EQ(picture->height, 24);
}

bool HaveMp4Export() {
    return std::system("gst-inspect-1.0 x264enc > /dev/null 2>&1") == 0 &&
           std::system("gst-inspect-1.0 voaacenc > /dev/null 2>&1") == 0;
}

TEST(BatchConvert, ConvertsFilesAndFoldersSkipsOtherFilesAndSaysSo) {
    if (!HaveMp4Export()) GTEST_SKIP() << "x264enc or voaacenc is not installed";
    TempDir dir;
    fs::create_directories(dir.File("in"));
    MakeMovie(dir, "in/a.avi");
    MakeMovie(dir, "in/b.AVI", 8);
    WriteFileBytes(dir.File("in/notes.avi"), {'R', 'I', 'F', 'F'});
    WriteFileBytes(dir.File("in/readme.txt"), {'x'});  // not an AVI name: not looked at
    const std::string single = MakeMovie(dir, "c.avi");
    const std::string log = dir.File("log");

    ASSERT_EQ(Tool("convert --to mp4 --out-dir '" + dir.File("out") + "' -j 2 '" + dir.File("in") +
                       "' '" + single + "'",
                   log),
              0)
        << Text(log);
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4"})
        EXPECT_GT(fs::file_size(dir.File("out") + "/" + name), 500u);
    EXPECT_FALSE(fs::exists(dir.File("out/notes.mp4")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("out")), fs::directory_iterator()), 3);
    const std::string said = Text(log);
    EXPECT_NE(said.find("notes.avi: not a TrueMotion movie"), std::string::npos) << said;
    EXPECT_NE(said.find("3 converted, 1 skipped, 0 failed"), std::string::npos) << said;

    // A movie that is not there fails the batch; the others are converted all the same.
    EXPECT_EQ(Tool("convert --to webm --out-dir '" + dir.File("out2") + "' '" + single + "' '" +
                       dir.File("missing.avi") + "'",
                   log),
              1);
    EXPECT_NE(Text(log).find("missing.avi: no such file"), std::string::npos) << Text(log);
    EXPECT_NE(Text(log).find("1 converted, 0 skipped, 1 failed"), std::string::npos) << Text(log);
    EXPECT_TRUE(fs::exists(dir.File("out2/c.webm")));
}

// Ctrl+C or SIGTERM during an export: the tool stops, says so, and leaves no file, not
// even the hidden one it was writing; an earlier file of that name stays as it was.
TEST(ConvertCommand, SignalStopsTheExportAndLeavesNothing) {
    if (!HaveMp4Export()) GTEST_SKIP() << "x264enc or voaacenc is not installed";
    TempDir dir;
    moviemaker::MovieSpec spec;
    spec.frames = 300;  // 20 s at 320x240: long enough to be caught writing
    const std::string movie = dir.File("long.avi");
    ASSERT_TRUE(moviemaker::MakeMovie(spec, movie).Ok());
    fs::create_directories(dir.File("out"));
    const std::string target = dir.File("out/long.mp4");
    WriteFileBytes(target, {'o', 'l', 'd'});
    for (const int signal : {SIGINT, SIGTERM}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDERR_FILENO);
            dup2(null, STDOUT_FILENO);
            // --force: the old file may be replaced, but only by a finished export.
            execl(LUMEKO_TOOL, LUMEKO_TOOL, "convert", "--quiet", "--force", movie.c_str(),
                  target.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Signalled once its hidden file is there, so the export is under way.
        bool writing = false;
        int status = 0;
        while (!writing && waitpid(child, &status, WNOHANG) == 0) {
            for (const auto& entry : fs::directory_iterator(dir.File("out")))
                writing |= entry.path().filename().string().front() == '.';
            if (!writing) usleep(1000);
        }
        if (!writing) GTEST_SKIP() << "the export ended before it could be stopped";
        kill(child, signal);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) || WIFSIGNALED(status));
        EXPECT_NE(status, 0) << "stopped by signal " << signal;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir.File("out")))
            left.push_back(entry.path().filename().string());
        EXPECT_EQ(left, std::vector<std::string>{"long.mp4"}) << "signal " << signal;
        EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
}

// Without GStreamer's plug-ins the error names the package that brings them.
TEST(ConvertCommand, MissingPluginNamesTheDebianPackage) {
    TempDir dir;
    const std::string movie = MakeMovie(dir, "m.avi");
    const std::string env =
        "GST_PLUGIN_SYSTEM_PATH_1_0=/nonexistent GST_PLUGIN_PATH_1_0=/nonexistent "
        "GST_REGISTRY_1_0='" +
        dir.File("registry.bin") + "' ";
    const std::string log = dir.File("log");
    const int status = std::system((env + LUMEKO_TOOL + " convert '" + movie + "' '" +
                                    dir.File("o.webm") + "' > '" + log + "' 2>&1")
                                       .c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(
        Text(log).find("WebM export needs the GStreamer element appsrc: install the Debian package "
                       "gstreamer1.0-plugins-base"),
        std::string::npos)
        << Text(log);
    EXPECT_FALSE(fs::exists(dir.File("o.webm")));
}

TEST(ConvertCommand, RefusesWhatCannotBeDoneWithAReason) {
    TempDir dir;
    const std::string movie = MakeMovie(dir, "m.avi");
    struct Case {
        std::string arguments;
        const char* says;
    };
    const Case cases[] = {
        {"'" + movie + "' '" + dir.File("o.mp4") + "' --size 640", "WIDTHxHEIGHT"},
        {"'" + movie + "' '" + dir.File("o.mp4") + "' --size 1x480", "between 2 and 8192"},
        {"'" + movie + "' '" + dir.File("o.mp4") + "' '" + movie + "'", "--to FORMAT or --out-dir"},
        {"'" + movie + "'", "the movie and the output file"},
        {"'" + movie + "' '" + dir.File("o.mp4") + "' --aspect 16:9", "16:9"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(Tool("convert " + c.arguments, dir.File("log")), 0) << c.arguments;
        EXPECT_NE(Text(dir.File("log")).find(c.says), std::string::npos) << c.arguments << "\n"
                                                                         << Text(dir.File("log"));
    }
    EXPECT_FALSE(fs::exists(dir.File("o.mp4")));
}

}  // namespace
