#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/IniFileSettings.h"
#include "platform/MemorySettings.h"
#include "support/FileBytes.h"
#include "support/TempDir.h"

namespace {

using namespace std::string_literals;

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

void WriteText(const std::string& path, const std::string& text) {
    WriteFileBytes(path, {text.begin(), text.end()});
}

struct IntCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    int expected;  // with a default of 7
};

const IntCase kIntCases[] = {
    {"plain", "[Lumeko]\nloop=1\n", "Lumeko", "loop", 1},
    {"names ignore case", "[LUMEKO]\nLoop=1\n", "lumeko", "LOOP", 1},
    {"missing key", "[Lumeko]\nother=1\n", "Lumeko", "loop", 7},
    {"missing section", "[Varnoki]\nloop=1\n", "Lumeko", "loop", 7},
    {"key of the next section", "[Lumeko]\n[Other]\nloop=1\n", "Lumeko", "loop", 7},
    {"negative", "[Lumeko]\nx_position=-1\n", "Lumeko", "x_position", -1},
    {"sign and spaces", "[Lumeko]\nx = +42 \n", "Lumeko", "x", 42},
    {"leading digits", "[Lumeko]\nx=12abc\n", "Lumeko", "x", 12},
    {"no digits", "[Lumeko]\nx=abc\n", "Lumeko", "x", 0},
    {"empty value", "[Lumeko]\nx=\n", "Lumeko", "x", 7},
    {"too large", "[Lumeko]\nx=99999999999999999999\n", "Lumeko", "x", INT_MAX},
    {"too small", "[Lumeko]\nx=-99999999999999999999\n", "Lumeko", "x", INT_MIN},
    {"CRLF lines", "[Lumeko]\r\nloop=5\r\n", "Lumeko", "loop", 5},
    {"no newline at the end", "[Lumeko]\nloop=5", "Lumeko", "loop", 5},
    {"commented out", "[Lumeko]\n;loop=5\n", "Lumeko", "loop", 7},
    {"section without ']'", "[Lumeko\nloop=5\n", "Lumeko", "loop", 7},
    {"spaces around names", "  [ Lumeko ] trailing\n  loop  =  5  \n", "Lumeko", "loop", 5},
    {"NUL bytes", "[Lumeko]\nx\0y=1\nloop=3\0\n"s, "Lumeko", "loop", 3},
    {"first of two keys", "[Lumeko]\nloop=1\nloop=2\n", "Lumeko", "loop", 1},
    {"only the first section of a name", "[Lumeko]\na=1\n[Lumeko]\nloop=2\n", "Lumeko", "loop", 7},
};

// The file and the in-memory settings read every text alike.
TEST(Settings, ReadIntegersAsTheSystemDoes) {
    TempDir dir;
    for (const auto& c : kIntCases) {
        const std::string path = dir.File("lumeko.ini");
        WriteText(path, c.text);
        platform::IniFileSettings file(path);
        platform::MemorySettings memory(c.text);
        EXPECT_EQ(file.GetProfileInt(c.section, c.key, 7), c.expected) << c.name;
        EXPECT_EQ(memory.GetProfileInt(c.section, c.key, 7), c.expected) << c.name;
    }
}

TEST(Settings, ReadStringsWithoutTheSpacesAround) {
    platform::MemorySettings settings("[Recent File List]\nFile1 = /movies/a b.avi \nFile2=\n");
    EXPECT_EQ(settings.GetProfileString("recent file list", "file1", "none"), "/movies/a b.avi");
    EXPECT_EQ(settings.GetProfileString("Recent File List", "File2", "none"), "");
    EXPECT_EQ(settings.GetProfileString("Recent File List", "File3", "none"), "none");
}

struct WriteCase {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

const WriteCase kWriteCases[] = {
    {"into an empty file", "", "Lumeko", "loop", "1", "[Lumeko]\nloop=1\n"},
    {"replaces in place, keeping the key's spelling", "; mine\n[Lumeko]\nLoop=0 \n[B]\ny=2\n",
     "lumeko", "LOOP", "-1", "; mine\n[Lumeko]\nLoop=-1\n[B]\ny=2\n"},
    {"adds after the section's last entry", "[A]\nx=1\n; note\n\n[B]\ny=2\n", "A", "z", "3",
     "[A]\nx=1\n; note\nz=3\n\n[B]\ny=2\n"},
    {"adds a section at the end", "[A]\nx=1", "Varnoki", "AspectCorrect", "1",
     "[A]\nx=1\n\n[Varnoki]\nAspectCorrect=1\n"},
    {"keeps CRLF lines", "[A]\r\nx=1\r\nodd line\r\n", "A", "x", "2", "[A]\r\nx=2\r\nodd line\r\n"},
    {"new lines end like the first", "[A]\r\nx=1\n[B]", "A", "y", "2", "[A]\r\nx=1\ny=2\r\n[B]"},
    {"keeps other bytes", "\xef\xbb\xbf; \x81\x40\n[A]\nk\0=v\n"s, "A", "x", "1",
     "\xef\xbb\xbf; \x81\x40\n[A]\nk\0=v\nx=1\n"s},
};

TEST(Settings, WritesKeepEverythingElseInPlace) {
    TempDir dir;
    for (const auto& c : kWriteCases) {
        const std::string path = dir.File("lumeko.ini");
        WriteText(path, c.before);
        platform::IniFileSettings file(path);
        EXPECT_TRUE(file.WriteProfileString(c.section, c.key, c.value)) << c.name;
        EXPECT_EQ(ReadText(path), c.after) << c.name;
        platform::MemorySettings memory(c.before);
        EXPECT_TRUE(memory.WriteProfileString(c.section, c.key, c.value)) << c.name;
        EXPECT_EQ(memory.Text(), c.after) << c.name;
    }
}

TEST(Settings, StringsReadBackAsWritten) {
    TempDir dir;
    platform::IniFileSettings file(dir.File("lumeko.ini"));
    platform::MemorySettings memory;
    for (const std::string value : {"/movies/a.avi", " lead and trail ", "\"quoted\"", "'single'",
                                    "\"", "a=b;c[d]", "", "\t"}) {
        for (platform::ISettings* settings : {static_cast<platform::ISettings*>(&file),
                                              static_cast<platform::ISettings*>(&memory)}) {
            ASSERT_TRUE(settings->WriteProfileString("Recent File List", "File1", value));
            EXPECT_EQ(settings->GetProfileString("Recent File List", "File1", "none"), value);
        }
    }
    EXPECT_EQ(platform::MemorySettings("[A]\nk = ' x ' \n").GetProfileString("A", "k", ""), " x ")
        << "hand-written quotes are taken off";
}

TEST(Settings, RefusesWhatWouldNotReadBack) {
    const struct {
        const char* section;
        const char* key;
        std::string value;
    } cases[] = {
        {"A", "k", "two\nlines"}, {"A", "k", "cr\rhere"}, {"A", "k", "nul\0"s}, {"A", "k=v", "1"},
        {"A", ";k", "1"},         {"A", "[k]", "1"},      {"A", " k", "1"},     {"A", "", "1"},
        {"A]", "k", "1"},         {"", "k", "1"},         {"A\nB", "k", "1"},
    };
    TempDir dir;
    const std::string path = dir.File("lumeko.ini");
    const std::string before = "[A]\nk=old\n";
    WriteText(path, before);
    platform::IniFileSettings file(path);
    for (const auto& c : cases) {
        EXPECT_FALSE(file.WriteProfileString(c.section, c.key, c.value)) << c.key << " " << c.value;
        EXPECT_FALSE(file.LastWriteError().empty());
        platform::MemorySettings memory(before);
        EXPECT_FALSE(memory.WriteProfileString(c.section, c.key, c.value));
        EXPECT_EQ(memory.Text(), before);
    }
    EXPECT_EQ(ReadText(path), before);
}

TEST(Settings, IntegersRoundTripThroughTheFile) {
    TempDir dir;
    platform::IniFileSettings settings(dir.File("lumeko.ini"));
    EXPECT_EQ(settings.GetProfileInt("Lumeko", "WindowSize", 2), 2)
        << "a missing file reads as empty";
    for (const int value : {0, 1, -1, 1234567, INT_MAX, INT_MIN}) {
        ASSERT_TRUE(settings.WriteProfileInt("Lumeko", "x_position", value))
            << settings.LastWriteError();
        EXPECT_TRUE(settings.LastWriteError().empty());
        EXPECT_EQ(settings.GetProfileInt("Lumeko", "x_position", 7), value);
    }
    EXPECT_EQ(ReadText(dir.File("lumeko.ini")), "[Lumeko]\nx_position=-2147483648\n");
}

TEST(Settings, WriteReplacesTheFileWholeAndKeepsItsPermissions) {
    TempDir dir;
    const std::string path = dir.File("lumeko.ini");
    WriteText(path, "[Lumeko]\nloop=0\n");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    platform::IniFileSettings settings(path);
    ASSERT_TRUE(settings.WriteProfileInt("Lumeko", "loop", 1));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino)
        << "a new file renamed into place, not the old one rewritten";
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
        EXPECT_EQ(entry.path().filename(), "lumeko.ini") << "no temporary file is left behind";
    }
    EXPECT_EQ(files, 1u);
}

TEST(Settings, WritesThroughALinkToItsTarget) {
    TempDir dir;
    const std::string target = dir.File("real.ini");
    const std::string link = dir.File("lumeko.ini");
    WriteText(target, "[Lumeko]\nloop=0\n");
    std::filesystem::create_symlink(target, link);
    platform::IniFileSettings settings(link);
    ASSERT_TRUE(settings.WriteProfileInt("Lumeko", "loop", 1));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadText(target), "[Lumeko]\nloop=1\n");
}

TEST(Settings, ReportsWritesThatCannotBeSaved) {
    TempDir dir;
    WriteText(dir.File("plain-file"), "not a folder");
    for (const std::string& path :
         {dir.File("missing-folder/lumeko.ini"), dir.File("plain-file/lumeko.ini")}) {
        platform::IniFileSettings settings(path);
        EXPECT_FALSE(settings.WriteProfileInt("Lumeko", "loop", 1)) << path;
        EXPECT_NE(settings.LastWriteError().find(path.substr(0, path.rfind('/'))),
                  std::string::npos)
            << settings.LastWriteError();
        EXPECT_EQ(settings.GetProfileInt("Lumeko", "loop", 7), 7);
    }
    // A failure does not stick: the next write that can be saved reports success.
    platform::IniFileSettings settings(dir.File("lumeko.ini"));
    EXPECT_FALSE(settings.WriteProfileString("Lumeko", "k", "a\nb"));
    EXPECT_TRUE(settings.WriteProfileString("Lumeko", "k", "ab"));
    EXPECT_TRUE(settings.LastWriteError().empty());
}

TEST(Settings, ReportsAReadOnlyFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir dir;
    const std::string path = dir.File("lumeko.ini");
    WriteText(path, "[Lumeko]\nloop=0\n");
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    platform::IniFileSettings settings(path);
    EXPECT_FALSE(settings.WriteProfileInt("Lumeko", "loop", 1));
    EXPECT_FALSE(settings.LastWriteError().empty());
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadText(path), "[Lumeko]\nloop=0\n");
}

// A file made read-only is the user's choice: it is never replaced (even by the
// superuser), and the run's settings live in memory; the next run reads the file again.
TEST(Settings, ReadOnlyFileIsKeptAndSettingsLiveForTheRun) {
    TempDir dir;
    const std::string path = dir.File("lumeko.ini");
    const std::string text = "; kiosk\n[Lumeko]\nloop=0\n";
    WriteText(path, text);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    int messages = 0;
    {
        platform::IniFileSettings settings(path);
        settings.SetWriteFailureHandler([&](const std::string&) { ++messages; });
        EXPECT_TRUE(settings.WriteProfileInt("Lumeko", "loop", 1));
        EXPECT_TRUE(settings.WriteProfileString("Recent File List", "File1", "/m/a.avi"));
        EXPECT_TRUE(settings.IsReadOnly());
        EXPECT_EQ(settings.GetProfileInt("Lumeko", "loop", 7), 1);
        EXPECT_EQ(settings.GetProfileString("Recent File List", "File1", ""), "/m/a.avi");
    }
    EXPECT_EQ(messages, 0) << "a file made read-only on purpose is no failure";
    EXPECT_EQ(ReadText(path), text);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0444u);
    EXPECT_EQ(platform::IniFileSettings(path).GetProfileInt("Lumeko", "loop", 7), 0);
}

// However many saves fail, the user hears of it once a run, with the file and the cause.
TEST(Settings, FailedSaveIsReportedOnceWithTheFileAndTheCause) {
    TempDir dir;
    const std::string path = dir.File("missing-folder/lumeko.ini");
    std::vector<std::string> messages;
    platform::IniFileSettings settings(path);
    settings.SetWriteFailureHandler([&](const std::string& m) { messages.push_back(m); });
    EXPECT_FALSE(settings.WriteProfileInt("Lumeko", "loop", 1));
    EXPECT_FALSE(settings.WriteProfileInt("Lumeko", "x_position", 5));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(path), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("No such file or directory"), std::string::npos) << messages[0];
    EXPECT_FALSE(settings.LastWriteError().empty());
}

TEST(Settings, NeverOverwritesAFileItCannotRead) {
    TempDir dir;
    // A folder where the file should be, and a file far too large to be settings.
    std::filesystem::create_directory(dir.File("folder.ini"));
    const std::string large = dir.File("large.ini");
    WriteText(large,
              "[Lumeko]\nloop=5\n" + std::string(platform::IniFileSettings::kMaxFileBytes, ';'));
    for (const std::string& path : {dir.File("folder.ini"), large}) {
        platform::IniFileSettings settings(path);
        EXPECT_EQ(settings.GetProfileInt("Lumeko", "loop", 7), 7) << path;
        EXPECT_FALSE(settings.WriteProfileInt("Lumeko", "loop", 1)) << path;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder.ini")));
    EXPECT_EQ(std::filesystem::file_size(large), 16 + platform::IniFileSettings::kMaxFileBytes);
}

// Any bytes parse; what is written reads back, and the rest of the text is unchanged.
TEST(IniText, SurvivesArbitraryBytes) {
    std::mt19937 random(1234);
    const std::string alphabet = "[]=;\r\n\t \0aAbB"s;
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 200, '\0');
        for (char& c : text)
            c = random() % 4 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
        platform::IniText ini(text);
        EXPECT_EQ(ini.Text(), text) << "an unchanged text comes back byte for byte";
        const std::string section = round % 2 ? "a" : "B";
        ASSERT_TRUE(ini.Set(section, "key", "value"));
        EXPECT_EQ(ini.Find(section, "KEY").value_or("missing"), "value");
        EXPECT_EQ(platform::IniText(ini.Text()).Find(section, "key").value_or("missing"), "value");
    }
    const std::string longLine(1 << 20, 'x');
    platform::IniText ini("[a]\nk=" + longLine);
    EXPECT_EQ(ini.Find("a", "k")->size(), longLine.size());
}

}  // namespace
