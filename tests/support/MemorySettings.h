#pragma once

#include <map>
#include <string>

#include "platform/Settings.h"

// Settings kept in memory, for tests.
class MemorySettings final : public platform::ISettings {
public:
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) override {
        const auto it = values.find(Key(section, key));
        return it == values.end() ? defaultValue : std::stoi(it->second);
    }
    void WriteProfileInt(std::string_view section, std::string_view key, int value) override {
        values[Key(section, key)] = std::to_string(value);
    }
    std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue) override {
        const auto it = values.find(Key(section, key));
        return it == values.end() ? std::string(defaultValue) : it->second;
    }
    void WriteProfileString(std::string_view section, std::string_view key, std::string_view value) override {
        values[Key(section, key)] = std::string(value);
    }
    static std::string Key(std::string_view section, std::string_view key) {
        return std::string(section) + "/" + std::string(key);
    }
    std::map<std::string, std::string> values;
};
