#pragma once

#include <string_view>

#include "platform/MessageBox.h"

// Message boxes of the program's own: no owner, the default caption, the error icon,
// modal to the whole application.
class QtMessageBox final : public platform::IMessageBox {
public:
    void ShowError(std::string_view text) override { Show(text, {}); }
    // The text, and under it why when `reason` is not empty.
    static void Show(std::string_view text, std::string_view reason);
};
