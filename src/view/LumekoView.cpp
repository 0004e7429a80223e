#include "view/LumekoView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QWindow>

#include "playback/LumekoDoc.h"
#include "view/FullScreen.h"
#include "view/PictureDrawing.h"

namespace {
// The picture size before any movie is opened.
constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 224;
constexpr char kSection[] = "Lumeko";

FrameRect ToFrameRect(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}
}  // namespace

CLumekoView::CLumekoView(CLumekoDoc& doc, platform::ISettings& settings, QWidget* parent)
    : QFrame(parent), m_doc(doc), m_settings(settings) {
    m_bmi.biWidth = kDefaultWidth;
    m_bmi.biHeight = kDefaultHeight;
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
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
    const QRect screen = ScreenGeometry();
    m_rcScreen = {0, 0, screen.width(), screen.height()};
}

CLumekoView::~CLumekoView() {
    m_settings.WriteProfileInt(kSection, "DirectDraw", m_bDirectDraw);
    m_settings.WriteProfileInt(kSection, "WindowSize", m_nWindowSize);
    m_settings.WriteProfileInt(kSection, "FullScreen", m_bFullScreen);
    m_settings.WriteProfileInt("Varnoki", "AspectCorrect", m_bAspectCorrect);
    m_directDraw.Release();
}

QRect CLumekoView::ScreenGeometry() const {
    const QScreen* screen = window()->screen() ? window()->screen() : QApplication::primaryScreen();
    return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

void CLumekoView::SetBitmapFormat(const movie::BITMAPINFOHEADER& format) {
    m_bmi = format;
    // The surfaces' set-up fails silently, and the picture is then painted directly.
    if (m_bDirectDraw && m_directDraw.InitDirectDraw(static_cast<QWidget*>(this), format)) {
        m_directDraw.ClearSurface();
        m_rcScreen = m_directDraw.Screen();
    } else {
        BeginDrawDib();
    }
    const PictureSize corrected = CorrectedSize(format.biWidth, format.biHeight);
    m_nCorrectedWidth = corrected.width;
    m_nCorrectedHeight = corrected.height;
}

void CLumekoView::BeginDrawDib() {
    m_picture.SetSize(m_bmi.biWidth, m_bmi.biHeight);
    const QRect screen = ScreenGeometry();
    m_rcScreen = {0, 0, screen.width(), screen.height()};
    m_fullScreenPlacement =
        FullScreenPlacement({m_bmi.biWidth, m_bmi.biHeight}, {screen.width(), screen.height()});
}

PictureSize CLumekoView::BaseSize() const {
    return m_bAspectCorrect ? PictureSize{m_nCorrectedWidth, m_nCorrectedHeight}
                            : PictureSize{m_bmi.biWidth, m_bmi.biHeight};
}

QSize CLumekoView::sizeHint() const {
    const PictureSize base = BaseSize();
    const int k = m_nWindowSize > 0 ? m_nWindowSize : 1;
    return {base.width * k + 2 * kEdge, base.height * k + 2 * kEdge};
}

void CLumekoView::SetWindowSize(int mode) {
    m_nWindowSize = mode;
    ApplyWindowSize();
}

void CLumekoView::OnAspectCorrect() {
    m_bAspectCorrect = m_bAspectCorrect ? 0 : 1;
    ApplyWindowSize();
}

void CLumekoView::PlaceFrame(const FrameRect& outer) {
    QWidget* frame = window();
    // Qt sizes the inside of the frame; its decorations are outside.
    const QSize decoration = frame->frameGeometry().size() - frame->size();
    frame->resize(outer.width - decoration.width(), outer.height - decoration.height());
    // The outer corner is placed last and as it is: full screen puts it off the screen.
    if (QWindow* handle = frame->windowHandle())
        handle->setFramePosition({outer.x, outer.y});
    else
        frame->move(outer.x, outer.y);
}

void CLumekoView::ApplyMaximum() {
    QWidget* frame = window();
    const QScreen* screen = frame->screen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize allowance = frame->frameGeometry().size() - contentsRect().size();
    PlaceFrame(
        MaximumFrameRect(ToFrameRect(work), BaseSize(), {allowance.width(), allowance.height()}));
}

void CLumekoView::ApplyWindowSize() {
    QWidget* frame = window();
    // A stored factor that no frame can show (0, negative, or more than 16 screens
    // large) is applied as Maximum; the stored value itself is kept.
    const QRect screen = ScreenGeometry();
    const PictureSize base = BaseSize();
    if (m_nWindowSize <= 0 ||
        static_cast<long long>(m_nWindowSize) * base.width > 16LL * screen.width() ||
        static_cast<long long>(m_nWindowSize) * base.height > 16LL * screen.height()) {
        ApplyMaximum();
        return;
    }
    // The allowance is measured from the live frame and view: bars, menu and edges.
    const QSize allowance = frame->size() - contentsRect().size();
    const PictureSize want =
        FactorFrameSize(m_nWindowSize, base, {allowance.width(), allowance.height()});
    frame->resize(want.width, want.height);
}

void CLumekoView::Invalidate() {
    update();
}

void CLumekoView::ReleaseDrawing() {
    m_directDraw.Release();
    m_picture.Release();
    update();
}

void CLumekoView::TrackClientScreen() {
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    m_rcClientScreen = {origin.x() + kEdge, origin.y() + kEdge, origin.x() + width() - kEdge,
                        origin.y() + height() - kEdge};
}

void CLumekoView::UpdateScreenRect() {
    TrackClientScreen();
    update();
}

void CLumekoView::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    TrackClientScreen();
    m_nClientWidth = contentsRect().width();
    m_nClientHeight = contentsRect().height();
}

void CLumekoView::moveEvent(QMoveEvent* event) {
    QFrame::moveEvent(event);
    UpdateScreenRect();
}

void CLumekoView::mousePressEvent(QMouseEvent* event) {
    // Outside full screen a click does nothing of its own: no play, stop or pause.
    if (event->button() == Qt::LeftButton) LeaveFullScreen();
    QFrame::mousePressEvent(event);
}

void CLumekoView::OnFullScreen() {
    if (m_bFullScreen) {
        m_bFullScreen = 0;
        return;
    }
    m_bFullScreen = 1;
    if (m_doc.m_bPlaying) EnterFullScreen();
}

void CLumekoView::SetFrameTopmost(bool topmost) {
    // Set on the native window, so the frame stays shown instead of being made anew.
    if (QWindow* handle = window()->windowHandle())
        handle->setFlag(Qt::WindowStaysOnTopHint, topmost);
}

void CLumekoView::EnterFullScreen() {
    // Entering again while in force would save the full-screen rectangle as the one to
    // return to, and the window would never get its own place back.
    if (!m_bFullScreen || m_bFullScreenActive) return;
    m_directDraw.DetachClipper();
    m_bFullScreenActive = true;
    QWidget* frame = window();
    m_rcSavedFrame = ToFrameRect(frame->frameGeometry());
    const QRect view(mapToGlobal(QPoint(0, 0)), size());
    const QRect screen = ScreenGeometry();
    FrameRect outer = FullScreenFrameRect(
        m_rcSavedFrame, ToFrameRect(view),
        {m_rcScreen.right - m_rcScreen.left, m_rcScreen.bottom - m_rcScreen.top});
    outer.x += screen.x();
    outer.y += screen.y();
    SetFrameTopmost(true);
    PlaceFrame(outer);
    frame->raise();
    grabMouse();
    setCursor(Qt::BlankCursor);
}

void CLumekoView::LeaveFullScreen() {
    if (!m_bFullScreenActive) return;
    m_bFullScreenActive = false;
    releaseMouse();
    SetFrameTopmost(false);
    PlaceFrame(m_rcSavedFrame);
    unsetCursor();
    // The full-screen blits painted over whatever lay there: everything is drawn again.
    if (m_directDraw.AttachClipper())
        for (QWidget* window : QApplication::topLevelWidgets()) window->update();
}

QRect CLumekoView::PictureDestination() const {
    if (m_bFullScreenActive && !m_bAspectCorrect)
        return {m_fullScreenPlacement.x, m_fullScreenPlacement.y, m_fullScreenPlacement.width,
                m_fullScreenPlacement.height};
    return {0, 0, m_nClientWidth, m_nClientHeight};
}

void CLumekoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect client = contentsRect();
    painter.setClipRect(client);
    painter.translate(client.topLeft());
    const QRect whole(0, 0, client.width(), client.height());
    // Magenta while an overlay is shown, which shows only where the screen holds it.
    const uint32_t erase = m_directDraw.EraseColor();
    const QColor background(erase & 0xFF, (erase >> 8) & 0xFF, (erase >> 16) & 0xFF);
    if (!m_doc.m_bOpen || !m_doc.m_pCurrentImage) {
        painter.fillRect(whole, background);
        return;
    }
    if (m_directDraw.InUse()) {
        if (m_directDraw.Overlay()) painter.fillRect(whole, background);
        m_directDraw.Draw(m_doc.m_pCurrentImage, m_bmi, m_rcClientScreen, IsFullScreen(),
                          m_bAspectCorrect != 0);
        return;
    }
    const QRect destination = PictureDestination();
    // What the picture leaves uncovered is the black background.
    for (const QRect& band : QRegion(whole).subtracted(QRegion(destination)))
        painter.fillRect(band, Qt::black);
    m_picture.Draw(painter, m_doc.m_pCurrentImage, destination);
}
