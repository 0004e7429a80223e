#pragma once

#include <string_view>

// The program's own error messages: no owner window, the system's default caption,
// task-modal, with the error icon, and one text (UTF-8).

namespace platform {

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual void ShowError(std::string_view text) = 0;
};

}  // namespace platform
