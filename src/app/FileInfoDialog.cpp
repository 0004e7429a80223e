#include "app/FileInfoDialog.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/DialogUnits.h"

namespace {

QLabel* Static(QDialog* dialog, const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, dialog);
    label->setGeometry(FromDialogUnits(*dialog, x, y, w + 12, h + 2));
    return label;
}

QPushButton* OkButton(QDialog* dialog, int x, int y, int w, int h) {
    auto* ok = new QPushButton("OK", dialog);
    ok->setDefault(true);
    ok->setGeometry(FromDialogUnits(*dialog, x, y, w, h));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

}  // namespace

CFileInfoDlg::CFileInfoDlg(const FileInfoTexts& t, QWidget* parent) : QDialog(parent) {
    setWindowTitle("File Information");
    const QRect size = FromDialogUnits(*this, 0, 0, 150, 85);
    setFixedSize(size.width(), size.height());
    auto* video = new QGroupBox("Video", this);
    video->setGeometry(FromDialogUnits(*this, 5, 5, 64, 55));
    auto* audio = new QGroupBox("Audio", this);
    audio->setGeometry(FromDialogUnits(*this, 72, 5, 72, 55));
    Static(this, "Image", 10, 15, 21, 8);
    Static(this, "Size", 10, 25, 13, 8);
    Static(this, "Rate", 10, 35, 15, 8);
    Static(this, "Frames", 10, 45, 23, 8);
    Static(this, QString::fromStdString(t.image), 35, 15, 25, 8);
    Static(this, QString::fromStdString(t.size), 35, 25, 25, 8);
    Static(this, QString::fromStdString(t.videoRate), 35, 35, 25, 8);
    Static(this, QString::fromStdString(t.frames), 35, 45, 25, 8);
    Static(this, "Type", 77, 15, 15, 8);
    Static(this, "Rate", 77, 25, 15, 8);
    Static(this, "Channels", 77, 35, 28, 8);
    Static(this, "Time", 77, 45, 15, 8);
    Static(this, QString::fromStdString(t.type), 110, 15, 15, 8);
    Static(this, QString::fromStdString(t.audioRate), 110, 25, 26, 8);
    Static(this, QString::fromStdString(t.channels), 110, 35, 19, 8);
    Static(this, QString::fromStdString(t.time), 110, 45, 16, 8);
    OkButton(this, 58, 65, 30, 14);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Lumeko Information");
    const QRect size = FromDialogUnits(*this, 0, 0, 140, 59);
    setFixedSize(size.width(), size.height());
    auto* icon = new QLabel(this);
    icon->setPixmap(windowIcon().pixmap(32, 32));
    icon->setGeometry(FromDialogUnits(*this, 5, 8, 20, 20));
    Static(this, "Lumeko: a TrueMotion movie player", 30, 5, 100, 8);
    Static(this, "Version " + QCoreApplication::applicationVersion(), 30, 25, 90, 8);
    OkButton(this, 50, 40, 32, 14);
}
