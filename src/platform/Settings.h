#pragma once

#include <string>
#include <string_view>

// The program's settings: integers and strings by section and key, in a private
// settings file. Every write goes to the file at once.

namespace platform {

class ISettings {
public:
    virtual ~ISettings() = default;
    virtual int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) = 0;
    virtual void WriteProfileInt(std::string_view section, std::string_view key, int value) = 0;
    virtual std::string GetProfileString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) = 0;
    virtual void WriteProfileString(std::string_view section, std::string_view key, std::string_view value) = 0;
};

}  // namespace platform
