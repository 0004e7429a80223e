#pragma once

#include "convert/ConversionHost.h"

class CMainFrame;

// The conversion's dialogs and message dispatching on Qt. While a conversion runs,
// pending events are dispatched so the window repaints, but user input waits until the
// end: no command can disturb the movie being read.
class QtConversionHost final : public convert::IConversionHost {
public:
    explicit QtConversionHost(CMainFrame* owner) : m_owner(owner) {}
    ~QtConversionHost() override;
    std::optional<std::string> ChooseOutputPath(const std::string& proposed) override;
    bool ChooseCompressor(convert::COMPVARS& vars) override;
    void PumpMessages() override;
    void ShowProgress(Stage stage, uint64_t done, uint64_t total) override;
    void ShowError(std::string_view text) override;

private:
    CMainFrame* m_owner;
};
