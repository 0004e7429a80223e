#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/SettingsPath.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

// The settings go beside the program only when a file is already there; whoever runs a
// program from a folder it may write in (root and /usr/bin, for one) gets its own.
TEST(SettingsPath, BesideTheProgramOnlyWhenTheFileIsThere) {
    TempDir dir;
    const std::string installed = dir.File("usr/bin");
    std::filesystem::create_directories(installed);
    const std::string user = "/home/u/.config/lumeko/lumeko.ini";
    struct Case {
        const char* name;
        std::string program;
        const char* besideFile;  // made first when not null
        std::string expected;
    };
    const Case cases[] = {
        {"installed, nothing beside it", installed + "/lumeko", nullptr, user},
        {"portable: the file beside it", installed + "/lumeko", "lumeko.ini",
         installed + "/lumeko.ini"},
        {"a folder of that name is no settings file", installed + "/lumeko", "lumeko.ini/", user},
        {"*.exe with its file", installed + "/lumeko.exe", "lumeko.ini", installed + "/lumeko.ini"},
        {"*.exe without", installed + "/lumeko.exe", nullptr, user},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(installed);
        std::filesystem::create_directories(installed);
        if (c.besideFile) {
            const std::string beside = installed + "/" + c.besideFile;
            if (beside.back() == '/')
                std::filesystem::create_directory(beside);
            else
                WriteFileBytes(beside, {});
        }
        EXPECT_EQ(SettingsPathFor(c.program, "/home/u/.config"), c.expected);
        // Nothing is made beside the program.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(installed), {}),
                  c.besideFile ? 1 : 0);
    }
}

TEST(SettingsPath, ConfigurationFolderFromTheEnvironment) {
    EXPECT_EQ(ConfigHomeFor("/x/conf", "/home/u"), "/x/conf");
    EXPECT_EQ(ConfigHomeFor("", "/home/u"), "/home/u/.config");
    EXPECT_EQ(ConfigHomeFor("relative/conf", "/home/u"), "/home/u/.config") << "ignored";
    EXPECT_EQ(ConfigHomeFor("", ""), "/.config");
}
