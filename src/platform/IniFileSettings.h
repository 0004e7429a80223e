#pragma once

#include <string>
#include <vector>

#include "platform/Settings.h"

namespace platform {

// Settings in a private-profile text file: "[Section]" lines and "key=value" lines,
// section and key names matched without regard to case. Every read goes to the file
// and every write rewrites it at once, keeping all other sections, keys, comments and
// their order. The new text goes to a temporary file that then replaces the old one,
// so a crash never leaves a half-written settings file.
class IniFileSettings final : public ISettings {
public:
    explicit IniFileSettings(std::string path) : m_path(std::move(path)) {}

    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) override;
    void WriteProfileInt(std::string_view section, std::string_view key, int value) override;
    std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue) override;
    void WriteProfileString(std::string_view section, std::string_view key, std::string_view value) override;

    // False once a write could not be saved (disk full, no permission).
    bool LastWriteSucceeded() const { return m_lastWriteOk; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    bool m_lastWriteOk = true;
};

// The text of a settings file, line by line, and the lookups on it.
class IniText {
public:
    explicit IniText(std::string_view text);
    // The value of `key` in `section`, or nothing.
    const std::string* Find(std::string_view section, std::string_view key) const;
    void Set(std::string_view section, std::string_view key, std::string_view value);
    std::string Text() const;

private:
    std::vector<std::string> m_lines;
    mutable std::string m_found;  // the value Find returns
};

}  // namespace platform
