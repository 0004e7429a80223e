#include "platform/RecentFileList.h"

#include <algorithm>
#include <filesystem>

namespace platform {
namespace {

constexpr char kSection[] = "Recent File List";

std::string KeyOf(size_t index) {
    return "File" + std::to_string(index + 1);
}

std::string AbsoluteOf(const std::string& path) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

}  // namespace

void RecentFileList::Load() {
    m_entries.clear();
    for (size_t i = 0; i < kEntries; ++i) {
        std::string path = m_settings.GetProfileString(kSection, KeyOf(i), "");
        if (!path.empty() && std::find(m_entries.begin(), m_entries.end(), path) == m_entries.end())
            m_entries.push_back(std::move(path));
    }
}

bool RecentFileList::Save() const {
    bool saved = true;
    for (size_t i = 0; i < kEntries; ++i)
        saved = m_settings.WriteProfileString(kSection, KeyOf(i),
                                              i < m_entries.size() ? m_entries[i] : "") &&
                saved;
    return saved;
}

void RecentFileList::Add(const std::string& path) {
    if (path.empty()) return;
    const std::string entry = AbsoluteOf(path);
    m_entries.erase(std::remove(m_entries.begin(), m_entries.end(), entry), m_entries.end());
    m_entries.insert(m_entries.begin(), entry);
    if (m_entries.size() > kEntries) m_entries.resize(kEntries);
}

void RecentFileList::Remove(size_t index) {
    if (index < m_entries.size())
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
}

}  // namespace platform
