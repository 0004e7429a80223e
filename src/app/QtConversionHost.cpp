#include "app/QtConversionHost.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>

#include "app/CompressorDialog.h"
#include "app/MainFrame.h"
#include "app/QtMessageBox.h"
#include "convert/gst/GstExport.h"

std::optional<std::string> QtConversionHost::ChooseOutputPath(const std::string& proposed) {
    // MP4 and WebM beside AVI; a name typed without an extension gets the chosen one.
    static const QString kMp4 = "MP4: H.264 and AAC, for browsers and phones (*.mp4)";
    static const QString kWebm = "WebM: VP9 and Opus (*.webm)";
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        m_owner, QString(), QString::fromStdString(proposed),
        "Files (*.avi);;" + kMp4 + ";;" + kWebm + ";;All Files (*)", &filter);
    if (path.isEmpty()) return std::nullopt;
    const QString suffix = QFileInfo(path).suffix();
    if (filter == kMp4 && suffix.isEmpty())
        path += ".mp4";
    else if (filter == kWebm && suffix.isEmpty())
        path += ".webm";
    return path.toStdString();
}

QtConversionHost::QtConversionHost(CMainFrame* owner) : m_owner(owner) {}

bool QtConversionHost::ChooseCompressor(convert::COMPVARS& vars) {
    CompressorDialog dialog(vars, m_owner);
    const bool chosen = dialog.exec() == QDialog::Accepted;
    if (chosen) StartConverting();
    return chosen;
}

void QtConversionHost::StartConverting() {
    if (m_converting) return;
    m_converting = true;
    qApp->installEventFilter(this);
}

bool QtConversionHost::ChooseExportQuality(convert::ExportSettings& settings) {
    bool chosen = false;
    const int quality = QInputDialog::getInt(
        m_owner, QString(convert::ExportFormatName(settings.format)),
        QString("Quality (0-100; %1 is visually clean, higher keeps more detail):")
            .arg(convert::kDefaultExportQuality),
        settings.quality, 0, 100, 5, &chosen);
    if (!chosen) return false;
    settings.quality = quality;
    StartConverting();
    return true;
}

namespace {

// The export's progress in the status bar, with the window kept alive and Esc heard.
class HostProgress final : public convert::IExportProgress {
public:
    explicit HostProgress(convert::IConversionHost& host) : m_host(host) {}
    void Progress(uint64_t done, uint64_t total) override {
        m_host.ShowProgress(convert::IConversionHost::Stage::kPictures, done, total);
        m_host.PumpMessages();
    }
    bool Cancelled() const override {
        m_host.PumpMessages();
        return m_host.Cancelled();
    }

private:
    convert::IConversionHost& m_host;
};

}  // namespace

Result<void> QtConversionHost::ExportMovie(CDuckMovie& movie, const std::string& path,
                                           const convert::ExportSettings& settings) {
    HostProgress progress(*this);
    return convert::ExportMovie(movie, path, settings, progress);
}

void QtConversionHost::PumpMessages() {
    QCoreApplication::processEvents();
}

bool QtConversionHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == m_owner) {
        m_cancelled = m_closeRequested = true;
        event->ignore();
        return true;
    }
    // A dialog of the conversion (a message box, the compressor dialog asked again) is
    // modal: it already keeps input from the window, and needs its own.
    if (QApplication::activeModalWidget()) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) m_cancelled = true;
            return true;
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Drop:
        case QEvent::Wheel:
            return true;
        default:
            return QObject::eventFilter(watched, event);
    }
}

void QtConversionHost::ShowError(std::string_view text) {
    ShowFailure(text, {});
}

// The program's own text, and under it why.
void QtConversionHost::ShowFailure(std::string_view text, std::string_view reason) {
    QtMessageBox::Show(text, reason);
}

QtConversionHost::~QtConversionHost() {
    qApp->removeEventFilter(this);
    m_owner->ShowProgress(0, 0);
    if (m_closeRequested) m_owner->PostClose();
}

void QtConversionHost::ShowProgress(Stage, uint64_t done, uint64_t total) {
    m_owner->ShowProgress(done, total);
}
