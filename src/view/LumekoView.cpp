#include "view/LumekoView.h"

#include <QImage>
#include <QMainWindow>
#include <QPainter>

#include "playback/LumekoDoc.h"

namespace {
// The picture size before any movie is opened.
constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 224;
}  // namespace

CLumekoView::CLumekoView(CLumekoDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc) {
    m_bmi.biWidth = kDefaultWidth;
    m_bmi.biHeight = kDefaultHeight;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMinimumSize(1, 1);
}

void CLumekoView::SetBitmapFormat(const movie::BITMAPINFOHEADER& format) { m_bmi = format; }

QSize CLumekoView::sizeHint() const { return {m_bmi.biWidth * m_nWindowSize, m_bmi.biHeight * m_nWindowSize}; }

void CLumekoView::ApplyWindowSize() {
    // The frame grows or shrinks by what the client area lacks or has too much.
    QWidget* frame = window();
    const QSize want = sizeHint();
    frame->resize(frame->size() + (want - size()));
}

void CLumekoView::Invalidate() { update(); }

void CLumekoView::ReleaseDrawing() { update(); }

void CLumekoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_doc.m_bOpen || !m_doc.m_pCurrentImage) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // The display bitmap, wrapped without a copy; its first row is the picture's bottom.
    const int width = m_bmi.biWidth, height = m_bmi.biHeight;
    const QImage picture(m_doc.m_pCurrentImage, width, height, width * 3, QImage::Format_BGR888);
    painter.translate(0, this->height());
    painter.scale(static_cast<double>(this->width()) / width, -static_cast<double>(this->height()) / height);
    painter.drawImage(0, 0, picture);
}
