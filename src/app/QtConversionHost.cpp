#include "app/QtConversionHost.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "app/CompressorDialog.h"
#include "app/MainFrame.h"

std::optional<std::string> QtConversionHost::ChooseOutputPath(const std::string& proposed) {
    const QString path = QFileDialog::getSaveFileName(m_owner, QString(), QString::fromStdString(proposed),
                                                      "Files (*.avi);;All Files (*)");
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

bool QtConversionHost::ChooseCompressor(convert::COMPVARS& vars) {
    CompressorDialog dialog(vars, m_owner);
    return dialog.exec() == QDialog::Accepted;
}

void QtConversionHost::PumpMessages() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void QtConversionHost::ShowError(std::string_view text) {
    QMessageBox box(QMessageBox::Critical, QString(), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

QtConversionHost::~QtConversionHost() { m_owner->ShowProgress(0, 0); }

void QtConversionHost::ShowProgress(Stage, uint64_t done, uint64_t total) { m_owner->ShowProgress(done, total); }
