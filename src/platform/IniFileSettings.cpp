#include "platform/IniFileSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace platform {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The section name of a "[name]" line; nothing for other lines.
bool SectionOf(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    const size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(line.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line; comments and other lines have none.
bool EntryOf(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') return false;
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return false;
    key = Trim(trimmed.substr(0, equals));
    value = Trim(trimmed.substr(equals + 1));
    return true;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

IniText::IniText(std::string_view text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        m_lines.emplace_back(line);
        start = end + 1;
    }
}

const std::string* IniText::Find(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const auto& line : m_lines) {
        std::string_view name, k, v;
        if (SectionOf(line, name)) {
            inSection = SameName(name, section);
        } else if (inSection && EntryOf(line, k, v) && SameName(k, key)) {
            m_found = std::string(v);
            return &m_found;
        }
    }
    return nullptr;
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string entry = std::string(key) + "=" + std::string(value);
    bool inSection = false;
    size_t lastOfSection = std::string::npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        std::string_view name, k, v;
        if (SectionOf(m_lines[i], name)) {
            if (inSection) break;
            inSection = SameName(name, section);
            if (inSection) lastOfSection = i;
        } else if (inSection) {
            if (EntryOf(m_lines[i], k, v) && SameName(k, key)) {
                m_lines[i] = entry;
                return;
            }
            if (!Trim(m_lines[i]).empty()) lastOfSection = i;
        }
    }
    if (lastOfSection != std::string::npos) {
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(lastOfSection + 1), entry);
        return;
    }
    m_lines.push_back("[" + std::string(section) + "]");
    m_lines.push_back(entry);
}

std::string IniText::Text() const {
    std::string text;
    for (const auto& line : m_lines) text += line + "\r\n";
    return text;
}

int IniFileSettings::GetProfileInt(std::string_view section, std::string_view key, int defaultValue) {
    const IniText ini(ReadText(m_path));
    const std::string* value = ini.Find(section, key);
    if (!value) return defaultValue;
    // Like the system's reader: the leading decimal number, 0 when there is none.
    return static_cast<int>(std::strtol(value->c_str(), nullptr, 10));
}

void IniFileSettings::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    WriteProfileString(section, key, std::to_string(value));
}

std::string IniFileSettings::GetProfileString(std::string_view section, std::string_view key,
                                              std::string_view defaultValue) {
    const IniText ini(ReadText(m_path));
    const std::string* value = ini.Find(section, key);
    return value ? *value : std::string(defaultValue);
}

void IniFileSettings::WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
    IniText ini(ReadText(m_path));
    ini.Set(section, key, value);
    const std::string text = ini.Text();
    const std::string temporary = m_path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        m_lastWriteOk = static_cast<bool>(out);
    }
    m_lastWriteOk = m_lastWriteOk && std::rename(temporary.c_str(), m_path.c_str()) == 0;
    if (!m_lastWriteOk) std::remove(temporary.c_str());
}

}  // namespace platform
