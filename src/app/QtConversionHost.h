#pragma once

#include "convert/ConversionHost.h"

class QWidget;

// The conversion's dialogs and message dispatching on Qt. While a conversion runs,
// pending events are dispatched so the window repaints, but user input waits until the
// end: no command can disturb the movie being read.
class QtConversionHost final : public convert::IConversionHost {
public:
    explicit QtConversionHost(QWidget* owner) : m_owner(owner) {}
    std::optional<std::string> ChooseOutputPath(const std::string& proposed) override;
    bool ChooseCompressor(convert::COMPVARS& vars) override;
    void PumpMessages() override;
    void ShowError(std::string_view text) override;

private:
    QWidget* m_owner;
};
