#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "moviemaker/MovieMaker.h"
#include "support/TempDir.h"

// The real player as a user, a script or a file manager starts it, on Qt's offscreen
// platform: files named while one runs join its queue whatever their names' bytes,
// and a second window takes the hand-over over when the first ends. Each test has a
// copy of the player of its own, so its settings file (beside it) and its shell
// endpoint are the test's alone; the recent-file list shows what was played.
namespace {

class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef LUMEKO_SANITIZED
        GTEST_SKIP() << "the player window runs in the plain build only";
#endif
        // The shell endpoint is named after the program: a name of this run's own keeps
        // another run of these tests on the machine (another build's, say) out of its way.
        m_player = m_dir.File("lumeko-handover-" + std::to_string(getpid()));
        std::filesystem::copy_file(LUMEKO_PLAYER, m_player);
        std::ofstream(m_player + ".ini").flush();
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("P", m_player.c_str(), 1);
        setenv("DIR", m_dir.Path().c_str(), 1);
    }

    void Make(const std::string& path, int frames) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        moviemaker::MovieSpec spec;
        spec.frames = frames;
        spec.sound = moviemaker::SoundKind::kNone;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
    }
    // Runs a shell script (variables from the environment) with a deadline; its status.
    static int Run(const std::string& script) {
        const std::string command = "timeout 90 sh -c '" + script + "' > /dev/null 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Settings() const {
        std::ifstream in(m_player + ".ini", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    TempDir m_dir;
    std::string m_player;
};

TEST_F(HandOverTest, FilesNamedWhileThePlayerRunsJoinItsQueueByteForByte) {
    // Ten seconds of a.avi leave time to name the others; their names are Latin-1 and
    // Shift-JIS, given relative to another folder than the player's.
    const std::string latin1 = "b\xe9.avi", shiftJis = "\x83\x80\x81[\x83r\x81[.avi";
    Make(m_dir.File("one/a.avi"), 150);
    Make(m_dir.File("two/" + latin1), 10);
    Make(m_dir.File("two/" + shiftJis), 10);
    setenv("B", latin1.c_str(), 1);
    setenv("C", shiftJis.c_str(), 1);
    // The first --send after a start with a file on the command line was once dropped;
    // `lumeko FILE` without flags hands over instead of opening a window of its own
    // (which, never closing, would run into the timeout).
    const int status =
        Run("(cd \"$DIR/one\" && exec \"$P\" a.avi /play /close) & first=$!; "
            "cd \"$DIR/two\" || exit 9; "
            "n=0; until \"$P\" --send \"$B\"; do n=$((n+1)); [ $n -lt 150 ] || exit 3; sleep 0.1; "
            "done; "
            "timeout 20 \"$P\" \"$C\" || exit 4; "
            "wait $first");
    ASSERT_EQ(status, 0);
    const std::string settings = Settings();
    EXPECT_NE(settings.find("File1=" + m_dir.File("two/" + shiftJis) + "\n"), std::string::npos)
        << settings;
    EXPECT_NE(settings.find("File2=" + m_dir.File("two/" + latin1) + "\n"), std::string::npos)
        << settings;
    EXPECT_NE(settings.find("File3=" + m_dir.File("one/a.avi") + "\n"), std::string::npos)
        << settings;
}

TEST_F(HandOverTest, ASecondWindowTakesTheHandOverOverWhenTheFirstEnds) {
    Make(m_dir.File("movie.avi"), 15);
    // The first window serves (a --send reaches it); the second, started with flags,
    // opens a window of its own and waits. The first ends; a --send then reaches the
    // second, which plays the movie and, as /close asks, ends.
    const int status =
        Run("\"$P\" & first=$!; "
            "n=0; until \"$P\" --send \"$DIR/nothing.avi\"; do n=$((n+1)); [ $n -lt 150 ] || exit "
            "3; sleep 0.1; done; "
            "\"$P\" /play /close & second=$!; "
            "sleep 2; kill $first; wait $first; "
            "n=0; until \"$P\" --send \"$DIR/movie.avi\"; do n=$((n+1)); [ $n -lt 150 ] || exit 4; "
            "sleep 0.1; done; "
            "wait $second");
    ASSERT_EQ(status, 0);
    EXPECT_NE(Settings().find("File1=" + m_dir.File("movie.avi") + "\n"), std::string::npos)
        << Settings();
}

}  // namespace
