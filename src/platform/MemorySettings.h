#pragma once

#include <string>

#include "platform/IniText.h"
#include "platform/Settings.h"

namespace platform {

// Settings that live only as long as the program, read and written exactly as the
// settings file would be: for tools and tests that must not touch a user's settings.
class MemorySettings final : public ISettings {
public:
    MemorySettings() = default;
    explicit MemorySettings(std::string_view text) : m_ini(text) {}

    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) override {
        const auto value = m_ini.Find(section, key);
        return value ? ProfileIntOf(*value, defaultValue) : defaultValue;
    }
    bool WriteProfileInt(std::string_view section, std::string_view key, int value) override {
        return m_ini.Set(section, key, std::to_string(value));
    }
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) override {
        return std::string(m_ini.Find(section, key).value_or(defaultValue));
    }
    bool WriteProfileString(std::string_view section, std::string_view key,
                            std::string_view value) override {
        return m_ini.Set(section, key, value);
    }

    // What the settings file would hold.
    std::string Text() const { return m_ini.Text(); }

private:
    IniText m_ini;
};

}  // namespace platform
