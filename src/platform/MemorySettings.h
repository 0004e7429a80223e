#pragma once

#include <cctype>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/Settings.h"

namespace platform {

// Settings that live only as long as the program: for tools and tests that must not
// touch a user's settings file. Names match without regard to case, as in the file.
class MemorySettings final : public ISettings {
public:
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) override {
        const auto it = m_values.find(Key(section, key));
        return it == m_values.end() ? defaultValue : static_cast<int>(std::strtol(it->second.c_str(), nullptr, 10));
    }
    void WriteProfileInt(std::string_view section, std::string_view key, int value) override {
        m_values[Key(section, key)] = std::to_string(value);
    }
    std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue) override {
        const auto it = m_values.find(Key(section, key));
        return it == m_values.end() ? std::string(defaultValue) : it->second;
    }
    void WriteProfileString(std::string_view section, std::string_view key, std::string_view value) override {
        m_values[Key(section, key)] = std::string(value);
    }

private:
    static std::string Key(std::string_view section, std::string_view key) {
        std::string k = std::string(section) + '\n' + std::string(key);
        for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return k;
    }
    std::map<std::string, std::string> m_values;
};

}  // namespace platform
