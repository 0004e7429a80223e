#pragma once

#include <string>

#include "base/Result.h"
#include "platform/IniText.h"
#include "platform/Settings.h"

namespace platform {

// Settings in a private settings file (the text of IniText). Nothing is cached: every
// read reads the file, every write rewrites it at once, keeping all other sections,
// keys, comments and their order. A missing file reads as empty. The new text goes to
// a temporary file beside the old one, is flushed to the disk and then renamed over it,
// so a crash leaves either the old file or the new one, never a part of one. A file that
// exists but cannot be read (or is larger than any settings file) is never overwritten.
class IniFileSettings final : public ISettings {
public:
    // Larger files are not settings files: they read as empty and are not rewritten.
    static constexpr size_t kMaxFileBytes = 4 << 20;

    explicit IniFileSettings(std::string path) : m_path(std::move(path)) {}

    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) override;
    bool WriteProfileInt(std::string_view section, std::string_view key, int value) override;
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) override;
    bool WriteProfileString(std::string_view section, std::string_view key,
                            std::string_view value) override;

    // Why the last write failed; empty when it succeeded.
    const std::string& LastWriteError() const { return m_lastWriteError; }
    const std::string& Path() const { return m_path; }

private:
    Result<IniText> Load() const;
    Result<void> Replace(const std::string& text) const;

    std::string m_path;
    std::string m_lastWriteError;
};

}  // namespace platform
