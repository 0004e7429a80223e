#pragma once

#include <string>
#include <vector>

#include "platform/Settings.h"

namespace platform {

// The most recently opened files, newest first, kept in the settings under
// "Recent File List" as "File1" to "File6".
class RecentFileList {
public:
    static constexpr int kEntries = 6;

    explicit RecentFileList(ISettings& settings) : m_settings(settings) {}

    void Load();
    void Save() const;
    // Puts `path` at the top; an entry already there moves up.
    void Add(const std::string& path);
    void Remove(size_t index);
    const std::vector<std::string>& Entries() const { return m_entries; }

private:
    ISettings& m_settings;
    std::vector<std::string> m_entries;
};

}  // namespace platform
