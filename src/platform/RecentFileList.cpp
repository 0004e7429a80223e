#include "platform/RecentFileList.h"

#include <algorithm>

namespace platform {
namespace {
constexpr char kSection[] = "Recent File List";
std::string KeyOf(size_t index) { return "File" + std::to_string(index + 1); }
}  // namespace

void RecentFileList::Load() {
    m_entries.clear();
    for (size_t i = 0; i < kEntries; ++i) {
        std::string path = m_settings.GetProfileString(kSection, KeyOf(i), "");
        if (!path.empty()) m_entries.push_back(std::move(path));
    }
}

void RecentFileList::Save() const {
    for (size_t i = 0; i < kEntries; ++i)
        m_settings.WriteProfileString(kSection, KeyOf(i), i < m_entries.size() ? m_entries[i] : "");
}

void RecentFileList::Add(const std::string& path) {
    // Paths on this system are case-sensitive: only the same path is the same entry.
    m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), path), m_entries.end());
    m_entries.insert(m_entries.begin(), path);
    if (m_entries.size() > kEntries) m_entries.resize(kEntries);
}

void RecentFileList::Remove(size_t index) {
    if (index < m_entries.size()) m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
}

}  // namespace platform
