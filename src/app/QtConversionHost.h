#pragma once

#include <QObject>

#include "convert/ConversionHost.h"

class CMainFrame;

// The conversion's dialogs and message dispatching on Qt. While a conversion runs,
// pending events are dispatched so the window repaints, but no command reaches the
// program until the end, so nothing can pull the movie away; Esc cancels, and so does a
// request to close the window, which then closes once the conversion has ended.
class QtConversionHost final : public QObject, public convert::IConversionHost {
public:
    explicit QtConversionHost(CMainFrame* owner);
    ~QtConversionHost() override;
    bool Cancelled() const override { return m_cancelled; }
    std::optional<std::string> ChooseOutputPath(const std::string& proposed) override;
    bool ChooseCompressor(convert::COMPVARS& vars) override;
    bool ChooseExportQuality(convert::ExportSettings& settings) override;
    Result<void> ExportMovie(CDuckMovie& movie, const std::string& path,
                             const convert::ExportSettings& settings) override;
    void PumpMessages() override;
    void ShowProgress(Stage stage, uint64_t done, uint64_t total) override;
    void ShowError(std::string_view text) override;
    void ShowFailure(std::string_view text, std::string_view reason) override;

protected:
    // While converting: Esc and close requests cancel; other input to the window is
    // dropped. The conversion's own dialogs and message boxes take their input as usual.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StartConverting();

    CMainFrame* m_owner;
    bool m_converting = false;
    bool m_cancelled = false;
    bool m_closeRequested = false;
};
