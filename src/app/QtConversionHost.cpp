#include "app/QtConversionHost.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>

#include "app/CompressorDialog.h"
#include "app/MainFrame.h"

std::optional<std::string> QtConversionHost::ChooseOutputPath(const std::string& proposed) {
    const QString path = QFileDialog::getSaveFileName(
        m_owner, QString(), QString::fromStdString(proposed), "Files (*.avi);;All Files (*)");
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

QtConversionHost::QtConversionHost(CMainFrame* owner) : m_owner(owner) {}

bool QtConversionHost::ChooseCompressor(convert::COMPVARS& vars) {
    CompressorDialog dialog(vars, m_owner);
    const bool chosen = dialog.exec() == QDialog::Accepted;
    if (chosen && !m_converting) {
        m_converting = true;
        qApp->installEventFilter(this);
    }
    return chosen;
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
    QMessageBox box(QMessageBox::Critical, QString(),
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    if (!reason.empty())
        box.setInformativeText(
            QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size())));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

QtConversionHost::~QtConversionHost() {
    qApp->removeEventFilter(this);
    m_owner->ShowProgress(0, 0);
    if (m_closeRequested) m_owner->PostClose();
}

void QtConversionHost::ShowProgress(Stage, uint64_t done, uint64_t total) {
    m_owner->ShowProgress(done, total);
}
