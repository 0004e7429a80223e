#pragma once

#include <cstdio>
#include <string_view>

#include "platform/MessageBox.h"

namespace platform {

// Messages of programs without windows go to the standard error stream, in English: a
// terminal is no place for the window's Japanese-only texts.
class ConsoleMessageBox final : public IMessageBox {
public:
    // `prefix` goes before each message: the program's name.
    explicit ConsoleMessageBox(std::string_view prefix = {}) : m_prefix(prefix) {}

    void ShowError(std::string_view text) override {
        const std::string_view english = English(text);
        std::fwrite(m_prefix.data(), 1, m_prefix.size(), stderr);
        std::fwrite(english.data(), 1, english.size(), stderr);
        std::fputc('\n', stderr);
    }

    // The program's own message texts in English; other texts as they are.
    static std::string_view English(std::string_view text) {
        static constexpr std::string_view kTexts[][2] = {
            {kNoMemoryText, "not enough memory"},
            {kNoSoundMemoryText, "not enough memory for the sound; playing without it"},
            {kCannotConvertText, "the compressor cannot convert this movie"},
            {kSourceIsOutputText, "the movie being converted cannot be written"},
        };
        for (const auto& [japanese, english] : kTexts)
            if (text == japanese) return english;
        return text;
    }

private:
    std::string_view m_prefix;
};

}  // namespace platform
