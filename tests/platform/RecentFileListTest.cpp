#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/IniFileSettings.h"
#include "platform/MemorySettings.h"
#include "platform/RecentFileList.h"
#include "support/TempDir.h"

namespace {

using Paths = std::vector<std::string>;

TEST(RecentFileList, KeepsTheNewestSixFirstAndMovesRepeatsUp) {
    platform::MemorySettings settings;
    platform::RecentFileList list(settings);
    for (const char* path : {"/m/1.avi", "/m/2.avi", "/m/3.avi"}) list.Add(path);
    EXPECT_EQ(list.Entries(), (Paths{"/m/3.avi", "/m/2.avi", "/m/1.avi"}));

    list.Add("/m/1.avi");
    EXPECT_EQ(list.Entries(), (Paths{"/m/1.avi", "/m/3.avi", "/m/2.avi"}))
        << "no second entry for the same path";

    list.Add("/m/2.AVI");
    EXPECT_EQ(list.Entries().front(), "/m/2.AVI");
    EXPECT_EQ(list.Entries().size(), 4u) << "paths differing in case are different files here";

    for (const char* path : {"/m/4.avi", "/m/5.avi", "/m/6.avi"}) list.Add(path);
    EXPECT_EQ(list.Entries(),
              (Paths{"/m/6.avi", "/m/5.avi", "/m/4.avi", "/m/2.AVI", "/m/1.avi", "/m/3.avi"}));
    list.Add("/m/7.avi");
    EXPECT_EQ(list.Entries(),
              (Paths{"/m/7.avi", "/m/6.avi", "/m/5.avi", "/m/4.avi", "/m/2.AVI", "/m/1.avi"}))
        << "the oldest falls off";

    list.Remove(1);
    list.Remove(99);
    EXPECT_EQ(list.Entries(), (Paths{"/m/7.avi", "/m/5.avi", "/m/4.avi", "/m/2.AVI", "/m/1.avi"}));
    list.Add("");
    EXPECT_EQ(list.Entries().size(), 5u);
}

TEST(RecentFileList, StoresPathsAbsolute) {
    platform::MemorySettings settings;
    platform::RecentFileList list(settings);
    list.Add("movies/../a.avi");
    EXPECT_EQ(list.Entries().front(), (std::filesystem::current_path() / "a.avi").string());
    list.Add((std::filesystem::current_path() / "a.avi").string());
    EXPECT_EQ(list.Entries().size(), 1u);
}

TEST(RecentFileList, PersistsInTheSettingsFile) {
    TempDir dir;
    const std::string path = dir.File("lumeko.ini");
    {
        platform::IniFileSettings settings(path);
        ASSERT_TRUE(settings.WriteProfileInt("Lumeko", "loop", 1));
        platform::RecentFileList list(settings);
        for (const char* movie : {"/m/a.avi", "/m/b.avi"}) list.Add(movie);
        EXPECT_TRUE(list.Save());
    }
    platform::IniFileSettings settings(path);
    EXPECT_EQ(settings.GetProfileString("Recent File List", "File1", ""), "/m/b.avi");
    EXPECT_EQ(settings.GetProfileString("Recent File List", "File2", ""), "/m/a.avi");
    EXPECT_EQ(settings.GetProfileInt("Lumeko", "loop", 0), 1) << "the other settings stay";

    platform::RecentFileList list(settings);
    list.Load();
    EXPECT_EQ(list.Entries(), (Paths{"/m/b.avi", "/m/a.avi"}));

    // A shorter list empties the keys it no longer uses.
    list.Remove(0);
    EXPECT_TRUE(list.Save());
    platform::RecentFileList reloaded(settings);
    reloaded.Load();
    EXPECT_EQ(reloaded.Entries(), (Paths{"/m/a.avi"}));
}

TEST(RecentFileList, LoadsAHandEditedListSkippingGapsAndRepeats) {
    platform::MemorySettings settings(
        "[recent file "
        "list]\nfile2=/m/b.avi\nFile3=\nFile4=/m/b.avi\nFile6=/m/f.avi\nFile7=/m/g.avi\n");
    platform::RecentFileList list(settings);
    list.Load();
    EXPECT_EQ(list.Entries(), (Paths{"/m/b.avi", "/m/f.avi"}));
}

TEST(RecentFileList, ReportsAnEntryThatCannotBeSaved) {
    platform::MemorySettings settings;
    platform::RecentFileList list(settings);
    list.Add("/m/a.avi");
    list.Add("/m/line\nbreak.avi");
    EXPECT_FALSE(list.Save());
    EXPECT_EQ(settings.GetProfileString("Recent File List", "File2", ""), "/m/a.avi")
        << "the entries that can be saved still are";
}

}  // namespace
