#include "view/LumekoView.h"

#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QScreen>

#include "playback/LumekoDoc.h"

namespace {
// The picture size before any movie is opened.
constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 224;
constexpr char kSection[] = "Lumeko";
}  // namespace

CLumekoView::CLumekoView(CLumekoDoc& doc, platform::ISettings& settings, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_settings(settings) {
    m_bmi.biWidth = kDefaultWidth;
    m_bmi.biHeight = kDefaultHeight;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMinimumSize(1, 1);
    m_bDirectDraw = m_settings.GetProfileInt(kSection, "DirectDraw", 0);
    m_bFullScreen = m_settings.GetProfileInt(kSection, "FullScreen", 0);
    m_bAspectCorrect = m_settings.GetProfileInt("Varnoki", "AspectCorrect", 0);
    m_nWindowSize = m_settings.GetProfileInt(kSection, "WindowSize", 1);
    // Before any movie the corrected picture is the default one's: 320 × 240.
    const PictureSize corrected = CorrectedSize(kDefaultWidth, kDefaultHeight);
    m_nCorrectedWidth = corrected.width;
    m_nCorrectedHeight = corrected.height;
}

CLumekoView::~CLumekoView() {
    m_settings.WriteProfileInt(kSection, "DirectDraw", m_bDirectDraw);
    m_settings.WriteProfileInt(kSection, "WindowSize", m_nWindowSize);
    m_settings.WriteProfileInt(kSection, "FullScreen", m_bFullScreen);
    m_settings.WriteProfileInt("Varnoki", "AspectCorrect", m_bAspectCorrect);
    m_directDraw.Release();
}

void CLumekoView::SetBitmapFormat(const movie::BITMAPINFOHEADER& format) {
    m_bmi = format;
    // The surfaces' set-up fails silently, and the picture is then painted directly.
    if (m_bDirectDraw && m_directDraw.InitDirectDraw(static_cast<QWidget*>(this), format)) m_directDraw.ClearSurface();
    const PictureSize corrected = CorrectedSize(format.biWidth, format.biHeight);
    m_nCorrectedWidth = corrected.width;
    m_nCorrectedHeight = corrected.height;
}

PictureSize CLumekoView::BaseSize() const {
    return m_bAspectCorrect ? PictureSize{m_nCorrectedWidth, m_nCorrectedHeight}
                            : PictureSize{m_bmi.biWidth, m_bmi.biHeight};
}

QSize CLumekoView::sizeHint() const {
    const PictureSize base = BaseSize();
    const int k = m_nWindowSize > 0 ? m_nWindowSize : 1;
    return {base.width * k, base.height * k};
}

void CLumekoView::SetWindowSize(int mode) {
    m_nWindowSize = mode;
    ApplyWindowSize();
}

void CLumekoView::OnAspectCorrect() {
    m_bAspectCorrect = m_bAspectCorrect ? 0 : 1;
    ApplyWindowSize();
}

void CLumekoView::ApplyMaximum() {
    QWidget* frame = window();
    const QRect work = frame->screen() ? frame->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect outer = frame->frameGeometry();
    const PictureSize allowance{outer.width() - width(), outer.height() - height()};
    const FrameRect r = MaximumFrameRect({work.x(), work.y(), work.width(), work.height()}, BaseSize(), allowance);
    // Qt places and sizes the inside of the frame; its decorations are outside.
    const QSize decoration = outer.size() - frame->size();
    frame->move(r.x, r.y);
    frame->resize(r.width - decoration.width(), r.height - decoration.height());
}

void CLumekoView::ApplyWindowSize() {
    QWidget* frame = window();
    // A stored factor that no frame can show (0, negative, or more than 16 screens
    // large) is applied as Maximum; the stored value itself is kept.
    const QRect screen = frame->screen() ? frame->screen()->geometry() : QRect(0, 0, 1024, 768);
    const PictureSize base = BaseSize();
    if (m_nWindowSize <= 0 || static_cast<long long>(m_nWindowSize) * base.width > 16LL * screen.width() ||
        static_cast<long long>(m_nWindowSize) * base.height > 16LL * screen.height()) {
        ApplyMaximum();
        return;
    }
    // The allowance is measured from the live frame and view: bars, menu and edges.
    const QSize allowance = frame->size() - size();
    const PictureSize want = FactorFrameSize(m_nWindowSize, base, {allowance.width(), allowance.height()});
    frame->resize(want.width, want.height);
}

void CLumekoView::Invalidate() { update(); }

void CLumekoView::ReleaseDrawing() {
    m_directDraw.Release();
    update();
}

void CLumekoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Magenta while an overlay is shown, which shows only where the screen holds it.
    const uint32_t erase = m_directDraw.EraseColor();
    const QColor background(erase & 0xFF, (erase >> 8) & 0xFF, (erase >> 16) & 0xFF);
    if (!m_doc.m_bOpen || !m_doc.m_pCurrentImage) {
        painter.fillRect(rect(), background);
        return;
    }
    if (m_directDraw.InUse()) {
        if (m_directDraw.Overlay()) painter.fillRect(rect(), background);
        const QPoint topLeft = mapToGlobal(QPoint(0, 0));
        const platform::RECT clientScreen{topLeft.x(), topLeft.y(), topLeft.x() + width(), topLeft.y() + height()};
        m_directDraw.Draw(m_doc.m_pCurrentImage, m_bmi, clientScreen, IsFullScreen(), m_bAspectCorrect != 0);
        return;
    }
    // The display bitmap, wrapped without a copy; its first row is the picture's bottom.
    const int width = m_bmi.biWidth, height = m_bmi.biHeight;
    const QImage picture(m_doc.m_pCurrentImage, width, height, width * 3, QImage::Format_BGR888);
    painter.translate(0, this->height());
    painter.scale(static_cast<double>(this->width()) / width, -static_cast<double>(this->height()) / height);
    painter.drawImage(0, 0, picture);
}
