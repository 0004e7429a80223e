#include "app/QtMessageBox.h"

#include <QMessageBox>

namespace {
QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

void QtMessageBox::Show(std::string_view text, std::string_view reason) {
    QMessageBox box(QMessageBox::Critical, QString(), FromUtf8(text), QMessageBox::Ok);
    if (!reason.empty()) box.setInformativeText(FromUtf8(reason));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
