#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "platform/MemorySettings.h"
#include "playback/LumekoDoc.h"
#include "support/TestDocument.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingWaveOut.h"
#include "support/SteppedTimer.h"

namespace {

struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> queued;
    bool play, close, fileSeen;
};

TEST(CommandLine, QueuesFilesAndSetsTheFlags) {
    const Case cases[] = {
        {{"lumeko", "a.avi", "b.avi", "/play", "/close"}, {"a.avi", "b.avi"}, true, true, true},
        {{"lumeko", "-PLAY", "a.avi"}, {"a.avi"}, true, false, true},
        {{"lumeko", "/Close"}, {}, false, true, false},
        {{"lumeko", "a.avi", "a.avi"}, {"a.avi", "a.avi"}, false, false, true},
        {{"lumeko", "-other", "/tmp/movie.avi"}, {"/tmp/movie.avi"}, false, false, true},
        {{"lumeko", "/PLAY", "/home/play"}, {"/home/play"}, true, false, true},
        {{"lumeko", "/closed.avi"}, {"/closed.avi"}, false, false, true},
    };
    for (const auto& c : cases) {
        TestDocument services;
        CLumekoDoc& doc = services.doc;
        CLumekoCommandLineInfo info(doc);
        EXPECT_EQ(info.ParseCommandLine(c.arguments), c.fileSeen);
        EXPECT_EQ(std::vector<std::string>(doc.m_pendingFiles.begin(), doc.m_pendingFiles.end()), c.queued);
        EXPECT_EQ(doc.m_bAutoPlay, c.play);
        EXPECT_EQ(doc.m_bCloseWhenDone, c.close);
    }
}

}  // namespace
