#include "ToolOutput.h"

#include <fmt/core.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>

namespace {

// A command's failure, already reported.
class CommandFailed : public CLI::RuntimeError {
public:
    CommandFailed() : CLI::RuntimeError(1) {}
};

constexpr int kUsageError = 2;

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    uint32_t point = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        point = point << 6 | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
    if ((length == 3 && point < 0x800) || (length == 4 && point < 0x10000) ||
        (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
        return 0;
    return length;
}

}  // namespace

void ReportError(std::string_view message) {
    fmt::print(stderr, "lumeko-tool: {}\n", message);
}

void Fail(std::string_view message) {
    ReportError(message);
    throw CommandFailed();
}

void FailUsage(std::string_view message) {
    ReportError(message);
    throw CLI::RuntimeError(kUsageError);
}

void EndFailed() {
    throw CommandFailed();
}

bool ForEachFile(const std::vector<std::string>& files,
                 const std::function<void(const std::string&)>& work) {
    bool failed = false;
    for (const std::string& file : files) {
        try {
            work(file);
        } catch (const CommandFailed&) {
            failed = true;
        }
    }
    return !failed;
}

void RefuseToReplace(const std::string& path, bool force) {
    std::error_code ec;
    if (!force && std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        Fail(path + ": already exists; give --force to replace it");
}

void WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes,
                    const SafeOutputOptions& options) {
    auto file = SafeOutputFile::Create(path, options);
    if (!file) Fail(file.Error().message);
    if (auto written = file->Write(bytes); !written) Fail(written.Error().message);
    if (auto committed = file->Commit(); !committed) Fail(committed.Error().message);
}

ProgressLine::ProgressLine(Mode mode)
    : m_enabled(mode == Mode::kAlways || (mode == Mode::kOnTerminal && ::isatty(STDERR_FILENO))) {}

ProgressLine::~ProgressLine() {
    if (m_shown) fmt::print(stderr, "\n");
}

void ProgressLine::Show(const std::string& text, bool last) {
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && now < m_due) return;
    m_due = now + std::chrono::milliseconds(100);
    fmt::print(stderr, "\r{}", text);
    m_shown = !last;
    if (last) fmt::print(stderr, "\n");
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0) {
            out += fmt::format("\\udc{:02x}", c);
            ++i;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += fmt::format("\\u{:04x}", c);
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out + "\"";
}
