#pragma once

#include <cstdio>
#include <string_view>

#include "platform/MessageBox.h"

namespace platform {

// Messages of programs without windows go to the standard error stream.
class ConsoleMessageBox final : public IMessageBox {
public:
    void ShowError(std::string_view text) override {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fputc('\n', stderr);
    }
};

}  // namespace platform
