#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "convert/ConversionHost.h"
#include "convert/gst/GstExport.h"
#include "moviemaker/MovieMaker.h"
#include "support/FileBytes.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"

// The window's Convert with an MP4 or WebM name: a quality choice in place of the
// compressor dialog, the export through the host, the end (or nothing) in pane 0.
namespace {

class ExportingHost final : public convert::IConversionHost {
public:
    std::optional<std::string> ChooseOutputPath(const std::string&) override {
        return std::exchange(path, std::nullopt);
    }
    bool ChooseCompressor(convert::COMPVARS&) override {
        ++compressorAsked;
        return false;
    }
    bool ChooseExportQuality(convert::ExportSettings& settings) override {
        offeredQuality = settings.quality;
        chosenFormat = settings.format;
        if (!chooseQuality) return false;
        settings.quality = 55;
        return true;
    }
    Result<void> ExportMovie(CDuckMovie& movie, const std::string& target,
                             const convert::ExportSettings& settings) override {
        exported = target;
        exportedQuality = settings.quality;
        if (real) return convert::ExportMovie(movie, target, settings, progress);
        if (cancel) cancelled = true;
        if (!failure.empty()) return MakeError(ErrorKind::Io, failure);
        return {};
    }
    void PumpMessages() override {}
    bool Cancelled() const override { return cancelled; }
    void ShowProgress(Stage, uint64_t, uint64_t) override {}
    void ShowError(std::string_view text) override { errors.emplace_back(text); }

    struct Quiet final : public convert::IExportProgress {
        void Progress(uint64_t, uint64_t) override {}
    } progress;
    std::optional<std::string> path;
    bool chooseQuality = true, cancel = false, cancelled = false, real = false;
    std::string failure;
    int compressorAsked = 0;
    int offeredQuality = -1, exportedQuality = -1;
    std::optional<convert::ExportFormat> chosenFormat;
    std::optional<std::string> exported;
    std::vector<std::string> errors;
};

class ModernConvert : public ::testing::Test {
protected:
    void SetUp() override {
        moviemaker::MovieSpec spec;
        spec.width = 32;
        spec.height = 16;
        spec.frames = 10;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("source.avi")).Ok());
        t.doc.AttachFrame(&frame);
        t.doc.m_pendingFiles.push_back(dir.File("source.avi"));
        t.doc.IdleProcess(0);
        ASSERT_TRUE(t.doc.m_bOpen);
    }
    TempDir dir;
    TestDocument t;
    RecordingFrame frame;
    ExportingHost host;
};

TEST_F(ModernConvert, AsksForQualityNotACompressorAndSaysWhenDone) {
    struct Case {
        const char* name;
        convert::ExportFormat format;
        bool chooseQuality, cancel;
        const char* failure;
        const char* pane;  // pane 0 afterwards; nullptr: never touched
        bool exports, error;
    };
    const Case cases[] = {
        {"out.mp4", convert::ExportFormat::kMp4, true, false, "", "変換終了", true, false},
        {"OUT.WEBM", convert::ExportFormat::kWebm, true, false, "", "変換終了", true, false},
        {"out.mp4", convert::ExportFormat::kMp4, false, false, "", nullptr, false, false},
        {"out.webm", convert::ExportFormat::kWebm, true, false, "out.webm: disk full", "", true,
         true},
        // Cancelled by the user: no message, no claim of success.
        {"out.mp4", convert::ExportFormat::kMp4, true, true, "cancelled", "", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.chooseQuality ? "" : " quality cancelled"));
        host = ExportingHost{};
        frame.panes.clear();
        host.path = dir.File(c.name);
        host.chooseQuality = c.chooseQuality;
        host.cancel = c.cancel;
        host.failure = c.failure;
        t.doc.OnConvert(host);
        EXPECT_EQ(host.compressorAsked, 0);
        EXPECT_EQ(host.chosenFormat, c.format);
        EXPECT_EQ(host.offeredQuality, convert::kDefaultExportQuality);
        EXPECT_EQ(host.exported.has_value(), c.exports);
        if (c.exports) {
            EXPECT_EQ(*host.exported, dir.File(c.name));
            EXPECT_EQ(host.exportedQuality, 55);
        }
        if (c.pane) {
            EXPECT_EQ(frame.panes[0], c.pane);
        } else {
            EXPECT_EQ(frame.panes.count(0), 0u);
        }
        EXPECT_EQ(host.errors.size(), c.error ? 1u : 0u);
        if (c.error && !host.errors.empty()) {
            EXPECT_EQ(host.errors[0], c.failure);
        }
        EXPECT_TRUE(t.doc.m_bOpen);
    }
}

// The whole way with the real exporter; the movie plays on from its start afterwards.
TEST_F(ModernConvert, WritesTheFileAndLeavesTheMovieReadyToPlay) {
    if (!convert::CheckExportElements(convert::ExportFormat::kMp4).Ok()) GTEST_SKIP();
    host.path = dir.File("out.mp4");
    host.real = true;
    t.doc.OnConvert(host);
    EXPECT_EQ(frame.panes[0], "変換終了");
    EXPECT_TRUE(host.errors.empty());
    EXPECT_GT(ReadFileBytes(dir.File("out.mp4")).size(), 1000u);
    t.doc.OnConvert(host);  // asked again: the save dialog is cancelled, nothing happens
    EXPECT_EQ(frame.panes[0], "変換終了");
}

}  // namespace
