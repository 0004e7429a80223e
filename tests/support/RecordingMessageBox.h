#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/MessageBox.h"

// Keeps every message the code under test shows.
class RecordingMessageBox final : public platform::IMessageBox {
public:
    void ShowError(std::string_view text) override { messages.emplace_back(text); }
    std::vector<std::string> messages;
};
