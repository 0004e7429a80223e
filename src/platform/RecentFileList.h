#pragma once

#include <string>
#include <vector>

#include "platform/Settings.h"

namespace platform {

// The most recently opened files, newest first, at most six, kept in the settings under
// "Recent File List" as "File1" to "File6". Paths are stored absolute, so an entry still
// names its file when the program later starts from another folder. Paths on this system
// are case-sensitive: only the very same path counts as the same entry.
class RecentFileList {
public:
    static constexpr size_t kEntries = 6;

    explicit RecentFileList(ISettings& settings) : m_settings(settings) {}

    // Reads the list; missing or empty keys are skipped.
    void Load();
    // Writes all six keys, the unused ones empty. False when a key could not be stored.
    bool Save() const;
    // Puts `path` at the top; an entry already there moves up, the oldest falls off.
    void Add(const std::string& path);
    // Removes entry `index` (0 is the newest); out-of-range indexes are ignored.
    void Remove(size_t index);
    const std::vector<std::string>& Entries() const { return m_entries; }

private:
    ISettings& m_settings;
    std::vector<std::string> m_entries;
};

}  // namespace platform
