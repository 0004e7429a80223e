#include "app/FileInfoDialog.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <vector>

#include "app/DialogUnits.h"

namespace {

// One control of a dialog template: its text and its rectangle in dialog units.
struct Control {
    QString text;
    int x, y, width, height;
};

// The units for a template whose texts must all fit their controls.
DialogUnits FittedUnits(const QDialog& dialog, const std::vector<Control>& statics) {
    DialogUnits units(dialog.font());
    for (const Control& c : statics) units.FitText(c.text, c.width);
    return units;
}

void AddStatics(QDialog* dialog, const DialogUnits& units, const std::vector<Control>& statics) {
    for (const Control& c : statics) {
        auto* label = new QLabel(c.text, dialog);
        label->setGeometry(units.Map(c.x, c.y, c.width, c.height));
    }
}

void AddOkButton(QDialog* dialog, const DialogUnits& units, int x, int y, int width, int height) {
    auto* ok = new QPushButton("OK", dialog);
    ok->setDefault(true);
    ok->setGeometry(units.Map(x, y, width, height));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
}

// The program's picture as its icon file draws it (a screen showing a play sign), for
// a system that has no image reader for that file.
QPixmap DrawnProgramIcon(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size.width() / 64.0, size.height() / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x2b, 0x3a));
    p.drawRoundedRect(QRectF(4, 10, 56, 44), 6, 6);
    p.setBrush(QColor(0xf2, 0xa9, 0x00));
    p.drawRoundedRect(QRectF(10, 16, 44, 32), 2, 2);
    p.setBrush(QColor(0x1d, 0x2b, 0x3a));
    p.drawPolygon(QPolygonF({QPointF(27, 22), QPointF(43, 32), QPointF(27, 42)}));
    return pixmap;
}

void SetSize(QDialog* dialog, const DialogUnits& units, int width, int height) {
    const QRect size = units.Map(0, 0, width, height);
    dialog->setFixedSize(size.width(), size.height());
}

}  // namespace

CFileInfoDlg::CFileInfoDlg(const FileInfoTexts& t, QWidget* parent) : QDialog(parent) {
    setWindowTitle("File Information");
    const auto text = [](const std::string& s) { return QString::fromStdString(s); };
    const std::vector<Control> statics = {
        {"Image", 10, 15, 21, 8},
        {"Size", 10, 25, 13, 8},
        {"Rate", 10, 35, 15, 8},
        {"Frames", 10, 45, 23, 8},
        {text(t.image), 35, 15, 25, 8},
        {text(t.size), 35, 25, 25, 8},
        {text(t.videoRate), 35, 35, 25, 8},
        {text(t.frames), 35, 45, 25, 8},
        {"Type", 74, 15, 15, 8},
        {"Rate", 74, 25, 15, 8},
        {"Channels", 74, 35, 28, 8},
        {"Time", 74, 45, 15, 8},
        {text(t.type), 105, 15, 15, 8},
        {text(t.audioRate), 105, 25, 26, 8},
        {text(t.channels), 105, 35, 19, 8},
        {text(t.time), 105, 45, 16, 8},
    };
    const DialogUnits units = FittedUnits(*this, statics);
    SetSize(this, units, 143, 85);
    (new QGroupBox("Video", this))->setGeometry(units.Map(5, 5, 60, 55));
    (new QGroupBox("Audio", this))->setGeometry(units.Map(70, 5, 65, 55));
    AddStatics(this, units, statics);
    AddOkButton(this, units, 55, 65, 30, 14);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Lumeko Information");
    const std::vector<Control> statics = {
        {"Lumeko movie player", 30, 5, 75, 8},
        {"Version " + QCoreApplication::applicationVersion(), 30, 25, 90, 8},
    };
    const DialogUnits units = FittedUnits(*this, statics);
    SetSize(this, units, 123, 59);
    auto* icon = new QLabel(this);
    const QRect iconRect = units.Map(5, 8, 20, 20);
    const QPixmap picture = windowIcon().pixmap(iconRect.size());
    icon->setPixmap(picture.isNull() ? DrawnProgramIcon(iconRect.size()) : picture);
    icon->setGeometry(iconRect);
    AddStatics(this, units, statics);
    AddOkButton(this, units, 45, 40, 32, 14);
}
