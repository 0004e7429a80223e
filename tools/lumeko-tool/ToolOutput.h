#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/SafeOutputFile.h"

// How lumeko-tool reports, shared by its commands: errors in English on stderr, after
// "lumeko-tool: ", naming the file and the cause; exit status 0 on success, 1 when
// something failed, 2 for a usage error. Output files are written safely and never
// replace an existing file unless --force was given.

// Reports an error and goes on.
void ReportError(std::string_view message);
// Reports an error and ends the command with status 1.
[[noreturn]] void Fail(std::string_view message);
// Reports a usage error and ends the program with status 2.
[[noreturn]] void FailUsage(std::string_view message);

// Ends the command with status 1, the failure reported already.
[[noreturn]] void EndFailed();

// Runs `work` for each file in turn. A file that fails (through Fail) is reported and
// the others still run. False when any failed: the caller then ends with EndFailed.
[[nodiscard]] bool ForEachFile(const std::vector<std::string>& files,
                               const std::function<void(const std::string&)>& work);

// Ends the command when `path` already exists and --force was not given.
void RefuseToReplace(const std::string& path, bool force);

// Writes a whole file as a user's file, or ends the command naming it and the cause.
void WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes,
                    const SafeOutputOptions& options);

// A line of progress on stderr, redrawn in place: only when stderr is a terminal (or
// when asked for), at most ten times a second, the last state always.
class ProgressLine {
public:
    enum class Mode { kQuiet, kOnTerminal, kAlways };
    explicit ProgressLine(Mode mode);
    ~ProgressLine();
    // `text` of the current state; `last` forces it out and ends the line.
    void Show(const std::string& text, bool last = false);
    bool Enabled() const { return m_enabled; }

private:
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_due{};
};

// The text of a path or any bytes as a JSON string. Valid UTF-8 stays as it is; any
// other byte b becomes \udcXX (XX = b), the convention of file systems that hand out
// bytes (Python's "surrogateescape"), so the exact name can be had back.
std::string JsonString(std::string_view text);
