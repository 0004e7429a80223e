// Arbitrary settings-file text through the parser: it must come back byte for byte,
// the program's keys must read, and a value that was set must read back, from the same
// text and from the text saved and parsed again, without disturbing any other key.
//
// Input: the file's text; its first line also serves as a name and a value to set.

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzInput.h"
#include "platform/IniText.h"

namespace {

constexpr size_t kMaxInputBytes = 64u << 10;

struct Name {
    std::string_view section;
    std::string_view key;
};

constexpr std::array<Name, 14> kProgramKeys = {{
    {"Lumeko", "x_position"},
    {"Lumeko", "y_position"},
    {"Lumeko", "loop"},
    {"Lumeko", "DirectDraw"},
    {"Lumeko", "FullScreen"},
    {"Lumeko", "WindowSize"},
    {"Varnoki", "AspectCorrect"},
    {"Recent File List", "File1"},
    {"Recent File List", "File2"},
    {"Recent File List", "File3"},
    {"Recent File List", "File4"},
    {"Recent File List", "File5"},
    {"Recent File List", "File6"},
    {"Recent File List", "File7"},
}};

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return lower(x) == lower(y);
    });
}

std::vector<std::optional<std::string>> ReadProgramKeys(const platform::IniText& ini) {
    std::vector<std::optional<std::string>> values;
    for (const Name& name : kProgramKeys) {
        const auto value = ini.Find(name.section, name.key);
        if (value) (void)platform::ProfileIntOf(*value, -1);
        values.push_back(value ? std::optional<std::string>(*value) : std::nullopt);
    }
    return values;
}

void CheckSet(platform::IniText ini, std::string_view section, std::string_view key,
              std::string_view value) {
    const auto before = ReadProgramKeys(ini);
    if (!ini.Set(section, key, value)) return;
    fuzz::Require(ini.Find(section, key) == value);
    const platform::IniText saved(ini.Text());
    fuzz::Require(saved.Find(section, key) == value);
    const auto after = ReadProgramKeys(saved);
    for (size_t i = 0; i < kProgramKeys.size(); ++i) {
        if (SameName(kProgramKeys[i].section, section) && SameName(kProgramKeys[i].key, key))
            continue;
        fuzz::Require(after[i] == before[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInputBytes) return -1;
    const fuzz::ExactCopy input({data, size});
    const std::string_view text(reinterpret_cast<const char*>(input.Bytes().data()), size);
    const platform::IniText ini(text);
    fuzz::Require(ini.Text() == text);
    (void)ReadProgramKeys(ini);

    const std::string_view firstLine = text.substr(0, std::min(text.find('\n'), size_t{64}));
    CheckSet(ini, "Lumeko", "loop", firstLine);
    CheckSet(ini, firstLine, "File1", "C:\\movies\\a.avi");
    CheckSet(ini, "Recent File List", firstLine, "1");
    return 0;
}
