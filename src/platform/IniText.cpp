#include "platform/IniText.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

// The name of a "[name]" line (up to its last ']'); nothing for other lines.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const size_t close = line.rfind(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct Entry {
    std::string_view key;
    std::string_view value;
};

// The key and value of a "key=value" line; comments and other lines have none.
std::optional<Entry> EntryOf(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == ';' || SectionOf(line)) return std::nullopt;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    std::string_view value = Trim(line.substr(equals + 1));
    // As the system reads it, one pair of matching quotes around a value is not part of it.
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\''))
        value = value.substr(1, value.size() - 2);
    return Entry{Trim(line.substr(0, equals)), value};
}

// The value as it is written: in quotes when bare it would not read back as itself.
std::string Stored(std::string_view value) {
    const bool quoted = value.size() >= 2 && value.front() == value.back() &&
                        (value.front() == '"' || value.front() == '\'');
    if (value.empty() || (!quoted && !IsBlank(value.front()) && !IsBlank(value.back())))
        return std::string(value);
    return "\"" + std::string(value) + "\"";
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Names must read back as themselves: one line, no spaces at the ends, and nothing that
// would make the line a comment, a section or split the key from its value.
bool StorableName(std::string_view name, bool isKey) {
    if (name.empty() || HasLineBreak(name) || Trim(name) != name) return false;
    if (isKey)
        return name.front() != ';' && name.front() != '[' &&
               name.find('=') == std::string_view::npos;
    return name.find(']') == std::string_view::npos;
}

}  // namespace

IniText::IniText(std::string_view text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const bool lastWithoutEnd = end == std::string_view::npos;
        if (lastWithoutEnd) end = text.size();
        std::string_view line = text.substr(start, end - start);
        std::string ending = lastWithoutEnd ? "" : "\n";
        if (!lastWithoutEnd && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
            ending = "\r\n";
        }
        if (m_lines.empty() && !lastWithoutEnd) m_lineEnd = ending;
        m_lines.push_back({std::string(line), std::move(ending)});
        start = end + 1;
    }
}

std::optional<std::string_view> IniText::Find(std::string_view section,
                                              std::string_view key) const {
    bool inSection = false;
    for (const auto& line : m_lines) {
        if (const auto name = SectionOf(line.text)) {
            if (inSection) break;  // only the first section of that name counts
            inSection = SameName(*name, section);
        } else if (inSection) {
            if (const auto entry = EntryOf(line.text); entry && SameName(entry->key, key))
                return entry->value;
        }
    }
    return std::nullopt;
}

bool IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!StorableName(section, false) || !StorableName(key, true) || HasLineBreak(value))
        return false;
    bool inSection = false;
    size_t insertAt = std::string::npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::string_view line = m_lines[i].text;
        if (const auto name = SectionOf(line)) {
            if (inSection) break;
            inSection = SameName(*name, section);
            if (inSection) insertAt = i + 1;
        } else if (inSection) {
            if (const auto entry = EntryOf(line); entry && SameName(entry->key, key)) {
                m_lines[i].text = std::string(entry->key) + "=" + Stored(value);
                return true;
            }
            if (!Trim(line).empty()) insertAt = i + 1;
        }
    }
    const auto insert = [this](size_t at, std::string text) {
        if (at > 0 && m_lines[at - 1].end.empty()) m_lines[at - 1].end = m_lineEnd;
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at),
                       Line{std::move(text), m_lineEnd});
    };
    const std::string entry = std::string(key) + "=" + Stored(value);
    if (insertAt != std::string::npos) {
        insert(insertAt, entry);
        return true;
    }
    if (!m_lines.empty() && !Trim(m_lines.back().text).empty()) insert(m_lines.size(), "");
    insert(m_lines.size(), "[" + std::string(section) + "]");
    insert(m_lines.size(), entry);
    return true;
}

std::string IniText::Text() const {
    std::string text;
    for (const auto& line : m_lines) {
        text += line.text;
        text += line.end;
    }
    return text;
}

int ProfileIntOf(std::string_view value, int defaultValue) {
    value = Trim(value);
    if (value.empty()) return defaultValue;
    bool negative = false;
    if (value.front() == '+' || value.front() == '-') {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    int64_t magnitude = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') break;
        magnitude = std::min<int64_t>(magnitude * 10 + (c - '0'), int64_t{INT_MAX} + 1);
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<int64_t>(signedValue, INT_MIN, INT_MAX));
}

}  // namespace platform
