#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "platform/MemorySettings.h"
#include "playback/LumekoDoc.h"
#include "support/RecordingMessageBox.h"
#include "support/RecordingWaveOut.h"
#include "support/SteppedTimer.h"
#include "support/TestDocument.h"

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
        EXPECT_EQ(std::vector<std::string>(doc.m_pendingFiles.begin(), doc.m_pendingFiles.end()),
                  c.queued);
        EXPECT_EQ(doc.m_bAutoPlay, c.play);
        EXPECT_EQ(doc.m_bCloseWhenDone, c.close);
    }
}

TEST(CommandLine, FileNamesAreMadeAbsoluteByteForByteAndFlagsAreLeftAlone) {
    const std::string latin1 = "caf\xe9.avi", shiftJis = "\x83\x80\x81[\x83r\x81[.avi";
    TestDocument services;
    CLumekoDoc& doc = services.doc;
    CLumekoCommandLineInfo info(doc);
    EXPECT_TRUE(info.ParseCommandLine(
        {"lumeko", latin1, "./" + shiftJis, "/abs/x.avi", "sub/y.avi", "-play", "/close"},
        "/home/\xe4"));
    EXPECT_EQ(std::vector<std::string>(doc.m_pendingFiles.begin(), doc.m_pendingFiles.end()),
              (std::vector<std::string>{"/home/\xe4/" + latin1, "/home/\xe4/" + shiftJis,
                                        "/abs/x.avi", "/home/\xe4/sub/y.avi"}));
    EXPECT_TRUE(doc.m_bAutoPlay);
    EXPECT_TRUE(doc.m_bCloseWhenDone);
}

TEST(CommandLine, AbsolutePathAndFlags) {
    struct PathCase {
        std::string path, directory, absolute;
    };
    for (const PathCase& c :
         {PathCase{"a.avi", "/d", "/d/a.avi"}, PathCase{"a.avi", "/d/", "/d/a.avi"},
          PathCase{"./a.avi", "/", "/a.avi"}, PathCase{"../a.avi", "/d", "/d/../a.avi"},
          PathCase{"/x/a.avi", "/d", "/x/a.avi"}, PathCase{"a.avi", "", "a.avi"}})
        EXPECT_EQ(AbsolutePath(c.path, c.directory), c.absolute) << c.path << " in " << c.directory;
    // What decides between handing files over and a run of its own.
    for (const char* flag : {"-play", "-x", "/PLAY", "/close", "--send"})
        EXPECT_TRUE(CLumekoCommandLineInfo::IsFlag(flag)) << flag;
    for (const char* file : {"a.avi", "/play.avi", "/home/close", "-", "/"})
        EXPECT_FALSE(CLumekoCommandLineInfo::IsFlag(file)) << file;
}

}  // namespace
