#pragma once

#include <cstdint>
#include <string>

// A four-character code as text for messages, first byte first; unprintable bytes show
// as '?', so a hostile file cannot put control characters on a terminal.
inline std::string FourCCText(uint32_t code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(code >> (8 * i));
        text += (c >= 32 && c < 127) ? c : '?';
    }
    return text;
}
