#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/SettingsPath.h"
#include "support/TempDir.h"

TEST(SettingsPath, BesideTheProgramOrInTheUsersFolder) {
    TempDir dir;
    EXPECT_EQ(SettingsPathFor("C:/Lumeko/lumeko.exe", "/home/u/.config"), "C:/Lumeko/lumeko.ini");
    EXPECT_EQ(SettingsPathFor(dir.File("lumeko"), "/home/u/.config"), dir.File("lumeko") + ".ini");
    // A folder the program cannot write sends the settings to the user's folder, unless
    // the file is already there.
    const std::string locked = dir.File("locked");
    mkdir(locked.c_str(), 0555);
    if (access(locked.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights that ignore permissions";
    EXPECT_EQ(SettingsPathFor(locked + "/lumeko", "/home/u/.config"), "/home/u/.config/lumeko/lumeko.ini");
}
