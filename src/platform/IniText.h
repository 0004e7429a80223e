#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The text of a settings file, line by line: "[Section]" lines, "key=value" lines, and
// everything else (comments starting with ';', blank lines, stray text) kept as it is.
// Section and key names match without regard to ASCII case; the first section and the
// first key of a name win. Any bytes parse: lines end at LF, a CR before the LF belongs
// to the line ending, a '[' line without ']' is ordinary text, NUL is an ordinary byte.
// Each line keeps its own ending, so the text comes back byte for byte but for the
// lines that were set.
class IniText {
public:
    IniText() = default;
    explicit IniText(std::string_view text);

    // The value of `key` in `section`, without the spaces around it and without one pair
    // of matching quotes (" or ') around that; nothing when missing. The view lives
    // until the next Set.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;
    // Replaces the key's value in place, or adds the key at the end of its section, or
    // adds the section at the end of the text. A value that would not read back as
    // itself bare (spaces at an end, or quotes around it) is written in quotes. False,
    // and nothing changed, for names or values that cannot be stored as one line.
    bool Set(std::string_view section, std::string_view key, std::string_view value);
    // The whole text. New lines end as the text's first line does (LF when it has none).
    std::string Text() const;

private:
    struct Line {
        std::string text;
        std::string end;  // "\r\n", "\n", or nothing for a last line without one
    };

    std::vector<Line> m_lines;
    std::string m_lineEnd = "\n";
};

// The integer a settings value holds, read as the system reads it: leading spaces, an
// optional sign and the decimal digits that follow, clamped to the int range; 0 when
// there are no digits. An empty value gives `defaultValue`, like a missing key.
int ProfileIntOf(std::string_view value, int defaultValue);

}  // namespace platform
