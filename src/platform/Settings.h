#pragma once

#include <string>
#include <string_view>

// The program's settings: integers and strings by section and key, in a private
// settings file. Section and key names match without regard to case. Every write goes
// to the file at once; nothing is cached.

namespace platform {

class ISettings {
public:
    virtual ~ISettings() = default;
    // The key's decimal integer (leading digits, with an optional sign); `defaultValue`
    // when the key is missing or empty, 0 when it holds no number.
    virtual int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) = 0;
    // Stores the value as decimal text, "-1" for -1. False when it could not be stored;
    // the settings are then as they were.
    virtual bool WriteProfileInt(std::string_view section, std::string_view key, int value) = 0;
    // The key's text as written; `defaultValue` when the key is missing. Texts edited by
    // hand lose the spaces around them and one pair of quotes around that.
    virtual std::string GetProfileString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) = 0;
    // False when it could not be stored, also for texts that do not fit on one line.
    virtual bool WriteProfileString(std::string_view section, std::string_view key,
                                    std::string_view value) = 0;
};

}  // namespace platform
