#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/TempDir.h"

// Plays the demo movie in the real player window under a virtual display, to its end,
// and checks that the program closed itself and kept its settings: in the user's
// configuration folder, never beside the program (a folder it may write in here, as
// root may write in /usr/bin).
TEST(Player, PlaysTheDemoToItsEndAndCloses) {
    if (std::system("command -v xvfb-run > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "xvfb-run is not installed";
#ifdef LUMEKO_SANITIZED
    // Qt and the X libraries are not built for the sanitizers, whose reports on them
    // would be noise; the sanitizers check the engine's own tests.
    GTEST_SKIP() << "the player window runs in the plain build only";
#endif
    const std::string player = LUMEKO_PLAYER;
    const std::string demo = LUMEKO_DEMO_MOVIE;
    TempDir config;
    const std::string settings = config.File("lumeko/lumeko.ini");
    std::filesystem::remove(player + ".ini");
    const std::string command =
        "XDG_CONFIG_HOME='" + config.Path().string() +
        "' SDL_AUDIODRIVER=dummy timeout 60 xvfb-run -a -s '-screen 0 800x600x24' '" + player +
        "' '" + demo + "' /play /close > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(settings);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(text.find("[Lumeko]"), std::string::npos);
    EXPECT_NE(text.find("x_position="), std::string::npos);
    EXPECT_NE(text.find("File1=" + demo), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(player + ".ini"));
}
