#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/Result.h"
#include "platform/IniText.h"
#include "platform/Settings.h"

namespace platform {

// Settings in a private settings file (the text of IniText). Nothing is cached: every
// read reads the file, every write rewrites it at once, keeping all other sections,
// keys, comments and their order. A missing file reads as empty. The file is written as
// a user's file (SafeOutputFile): a crash leaves either the old file or the new one,
// never a part of one. A file that exists but cannot be read (or is larger than any
// settings file) is never overwritten. A read-only file is respected: it is never
// replaced, and what is written then lives in memory until the object ends.
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
    // True once a write met a read-only file: the settings live in memory from then on.
    bool IsReadOnly() const { return m_runOnly.has_value(); }
    // Called with the reason (naming the file) the first time a write fails, and only
    // then: one message a run.
    void SetWriteFailureHandler(std::function<void(const std::string&)> handler) {
        m_onWriteFailure = std::move(handler);
    }

private:
    Result<IniText> Load() const;
    Result<void> Replace(const std::string& text) const;
    bool FileIsReadOnly() const;
    bool WriteFailed(std::string error);

    std::string m_path;
    std::string m_lastWriteError;
    std::optional<IniText> m_runOnly;  // the settings of a read-only file, with this run's writes
    std::function<void(const std::string&)> m_onWriteFailure;
    bool m_bFailureReported = false;
};

}  // namespace platform
