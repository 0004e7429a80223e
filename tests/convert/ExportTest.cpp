#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/ModernExport.h"
#include "convert/gst/GstExport.h"
#include "movie/DuckMovie.h"
#include "moviemaker/MovieMaker.h"
#include "support/FileBytes.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"

namespace {

using convert::ExportFormat;

TEST(ExportSettings, PictureSizeFollowsScaleSizeAndAspect) {
    struct Case {
        int scale, width, height;
        bool aspect43;
        int inW, inH;
        int outW, outH;
    };
    const Case cases[] = {
        {1, 0, 0, false, 320, 240, 320, 240},
        {2, 0, 0, false, 320, 240, 640, 480},
        {3, 0, 0, false, 160, 120, 480, 360},
        // An explicit size wins over the scale; odd sides become even for 4:2:0.
        {2, 501, 375, false, 320, 240, 502, 376},
        {1, 0, 0, false, 321, 241, 322, 242},
        // 4:3 only ever stretches: the short side grows.
        {1, 0, 0, true, 320, 200, 320, 240},
        {1, 0, 0, true, 400, 240, 400, 300},
        {1, 0, 0, true, 240, 240, 320, 240},
        {2, 0, 0, true, 320, 240, 640, 480},
    };
    for (const Case& c : cases) {
        convert::ExportSettings s;
        s.scale = c.scale;
        s.width = c.width;
        s.height = c.height;
        s.aspect43 = c.aspect43;
        const auto size = convert::ExportPictureSize(s, c.inW, c.inH);
        EXPECT_EQ(size.width, c.outW) << c.inW << "x" << c.inH << " scale " << c.scale;
        EXPECT_EQ(size.height, c.outH) << c.inW << "x" << c.inH << " scale " << c.scale;
    }
}

TEST(ExportSettings, FormatComesFromTheExtensionInAnyCase) {
    EXPECT_EQ(convert::ExportFormatForPath("a.mp4"), ExportFormat::kMp4);
    EXPECT_EQ(convert::ExportFormatForPath("/x/Movie.MP4"), ExportFormat::kMp4);
    EXPECT_EQ(convert::ExportFormatForPath("b.WebM"), ExportFormat::kWebm);
    EXPECT_EQ(convert::ExportFormatForPath("c.avi"), std::nullopt);
    EXPECT_EQ(convert::ExportFormatForPath("mp4"), std::nullopt);
    EXPECT_EQ(convert::ExportFormatForPath("d.mp4.avi"), std::nullopt);
}

bool HaveElements(ExportFormat format) {
    return convert::CheckExportElements(format).Ok();
}

// Nothing of the libav family may ever be in our pipelines, whatever is installed.
TEST(ExportPipeline, EveryElementComesFromGstreamersOwnPluginSets) {
    struct Case {
        ExportFormat format;
        bool sound;
        int scale;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {ExportFormat::kMp4, true, 1, {"x264enc", "voaacenc", "mp4mux", "appsrc"}},
        {ExportFormat::kMp4, false, 2, {"x264enc", "mp4mux"}},
        // Sizes that are no whole multiple are resampled by GStreamer.
        {ExportFormat::kMp4, true, 0, {"x264enc", "videoscale", "videoconvert"}},
        {ExportFormat::kWebm, true, 1, {"vp9enc", "opusenc", "webmmux", "audioresample"}},
        {ExportFormat::kWebm, false, 3, {"vp9enc", "webmmux"}},
    };
    for (const Case& c : cases) {
        if (!HaveElements(c.format))
            GTEST_SKIP() << convert::CheckExportElements(c.format).Error().message;
        convert::ExportSettings s;
        s.format = c.format;
        s.scale = c.scale;
        if (c.scale == 0) s.width = 100, s.height = 70;
        auto elements = convert::ExportPipelineElements(s, c.sound);
        ASSERT_TRUE(elements.Ok()) << elements.Error().message;
        std::vector<std::string> factories;
        for (const auto& e : *elements) {
            EXPECT_NE(e.plugin, "libav") << e.factory;
            EXPECT_NE(e.factory.rfind("av", 0), 0u) << e.factory << " from " << e.plugin;
            EXPECT_FALSE(e.plugin.empty()) << e.factory;
            factories.push_back(e.factory);
        }
        for (const auto& name : c.expected)
            EXPECT_NE(std::find(factories.begin(), factories.end(), name), factories.end()) << name;
        EXPECT_EQ(std::count(factories.begin(), factories.end(), "appsrc"), c.sound ? 2 : 1);
    }
}

class StopAfter final : public convert::IExportProgress {
public:
    explicit StopAfter(uint64_t frames) : m_frames(frames) {}
    void Progress(uint64_t done, uint64_t total) override {
        EXPECT_LE(done, total);
        EXPECT_GT(done, last);
        last = done;
    }
    bool Cancelled() const override { return last >= m_frames; }
    uint64_t last = 0;

private:
    uint64_t m_frames;
};

std::vector<std::string> FolderEntries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ExportFiles : public ::testing::TestWithParam<ExportFormat> {
protected:
    void SetUp() override {
        if (!HaveElements(GetParam())) GTEST_SKIP() << "GStreamer elements missing";
        moviemaker::MovieSpec spec;
        spec.width = 64;
        spec.height = 48;
        spec.frames = 20;
        source = dir.File("source.avi");
        ASSERT_TRUE(moviemaker::MakeMovie(spec, source).Ok());
        ASSERT_EQ(movie.Open(source), 1);
        target = dir.File(std::string("out") + convert::ExportExtension(GetParam()));
        settings.format = GetParam();
    }
    TempDir dir;
    RecordingMessageBox messages;
    CDuckMovie movie{messages};
    std::string source, target;
    convert::ExportSettings settings;
};

TEST_P(ExportFiles, WritesTheWholeMovieAndReportsEveryFrame) {
    const auto before = ReadFileBytes(source);
    StopAfter never(1000);
    auto written = convert::ExportMovie(movie, target, settings, never);
    ASSERT_TRUE(written.Ok()) << written.Error().message;
    EXPECT_EQ(never.last, 20u);
    EXPECT_GT(ReadFileBytes(target).size(), 1000u);
    // Only the source and the new movie: no temporary file left, the input unchanged.
    EXPECT_EQ(FolderEntries(dir.Path()),
              (std::vector<std::string>{std::filesystem::path(target).filename().string(),
                                        "source.avi"}));
    EXPECT_EQ(ReadFileBytes(source), before);
}

TEST_P(ExportFiles, CancelledExportLeavesTheEarlierFileAndNoTemporaryOne) {
    WriteFileBytes(target, {'o', 'l', 'd'});
    StopAfter three(3);
    auto written = convert::ExportMovie(movie, target, settings, three);
    ASSERT_FALSE(written.Ok());
    EXPECT_EQ(written.Error().kind, ErrorKind::Cancelled);
    EXPECT_NE(written.Error().message.find("cancelled"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(FolderEntries(dir.Path()),
              (std::vector<std::string>{std::filesystem::path(target).filename().string(),
                                        "source.avi"}));
}

TEST_P(ExportFiles, UnwritableFolderFailsNamingTheTarget) {
    const std::string nowhere = dir.File("missing/out.mp4");
    StopAfter never(1000);
    auto written = convert::ExportMovie(movie, nowhere, settings, never);
    ASSERT_FALSE(written.Ok());
    EXPECT_NE(written.Error().message.find(nowhere), std::string::npos) << written.Error().message;
    EXPECT_EQ(never.last, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, ExportFiles,
                         ::testing::Values(ExportFormat::kMp4, ExportFormat::kWebm),
                         [](const auto& param) {
                             return std::string(convert::ExportFormatName(param.param));
                         });

}  // namespace
