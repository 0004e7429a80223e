#pragma once

#include <cstdio>
#include <string_view>

#include "platform/MessageBox.h"

namespace platform {

// Messages of programs without windows go to the standard error stream.
class ConsoleMessageBox final : public IMessageBox {
public:
    void ShowError(std::string_view text) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
};

}  // namespace platform
