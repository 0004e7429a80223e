#include "view/LumekoView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
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

// Where a window lies is the window manager's business under Wayland: a client can
// only ask for sizes and states.
bool ClientMayPlaceWindows() {
    return !QGuiApplication::platformName().startsWith("wayland");
}

// How long, after a size is asked or the window shown, the compositor's answers may
// still bring a size of its own, and how often ours is asked again meanwhile.
constexpr int kHoldSizeMs = 3000;
constexpr int kHoldSizeTries = 8;
// Not every answer comes with an event that tells: the size is also looked at this often.
constexpr int kHoldCheckMs = 200;
constexpr int kWindowedFrameStyle = QFrame::WinPanel | QFrame::Sunken;
}  // namespace

CLumekoView::CLumekoView(CLumekoDoc& doc, platform::ISettings& settings, QWidget* parent)
    : QFrame(parent), m_doc(doc), m_settings(settings) {
    m_bmi.biWidth = kDefaultWidth;
    m_bmi.biHeight = kDefaultHeight;
    setFrameStyle(kWindowedFrameStyle);
    // Focus for Escape in full screen; the view never takes it by a click of its own.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMinimumSize(1, 1);
    m_bDirectDraw = m_settings.GetProfileInt(kSection, "DirectDraw", 0);
    m_bFullScreen = m_settings.GetProfileInt(kSection, "FullScreen", 0);
    m_bAspectCorrect = m_settings.GetProfileInt("Varnoki", "AspectCorrect", 0);
    m_holdTimer.setSingleShot(true);
    m_holdCheck.setInterval(kHoldCheckMs);
    connect(&m_holdCheck, &QTimer::timeout, this, [this] {
        if (m_holdTimer.isActive())
            ReassertFrameSize();
        else
            m_holdCheck.stop();
    });
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

void CLumekoView::ResizeFrame(int width, int height) {
    QWidget* frame = window();
    // A window the user maximised ignores sizes: it becomes a normal one first.
    if (frame->windowState() & Qt::WindowMaximized)
        frame->setWindowState(frame->windowState() & ~Qt::WindowMaximized);
    frame->resize(width, height);
    if (!ClientMayPlaceWindows()) HoldFrameSize(QSize(width, height));
}

void CLumekoView::HoldFrameSize(QSize size) {
    // A compositor answers a size asked for at the wrong moment (before it first showed
    // the window, while it still thinks it full screen) with a size of its own: for a
    // little while ours is asked again whenever another one comes.
    QWidget* frame = window();
    m_heldFrameSize = size;
    m_nHoldTries = 0;
    m_holdTimer.start(kHoldSizeMs);
    m_holdCheck.start();
    frame->installEventFilter(this);
    if (QWindow* handle = frame->windowHandle()) handle->installEventFilter(this);
}

void CLumekoView::ReassertFrameSize() {
    QWidget* frame = window();
    if (!m_holdTimer.isActive() || m_bFullScreenActive ||
        (frame->windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized)) ||
        frame->size() == m_heldFrameSize || m_nHoldTries >= kHoldSizeTries)
        return;
    ++m_nHoldTries;
    frame->resize(m_heldFrameSize);
}

void CLumekoView::PlaceFrame(const FrameRect& outer) {
    QWidget* frame = window();
    // Qt sizes the inside of the frame; its decorations are outside.
    const QSize decoration = frame->frameGeometry().size() - frame->size();
    ResizeFrame(outer.width - decoration.width(), outer.height - decoration.height());
    if (!ClientMayPlaceWindows()) return;
    if (QWindow* handle = frame->windowHandle())
        handle->setFramePosition({outer.x, outer.y});
    else
        frame->move(outer.x, outer.y);
}

void CLumekoView::ApplyMaximum() {
    QWidget* frame = window();
    const QScreen* screen = frame->screen();
    const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // Bars shown since the last layout take their room first.
    if (frame->layout()) frame->layout()->activate();
    const QSize allowance = frame->frameGeometry().size() - contentsRect().size();
    PlaceFrame(
        MaximumFrameRect(ToFrameRect(work), BaseSize(), {allowance.width(), allowance.height()}));
}

void CLumekoView::ApplyWindowSize() {
    QWidget* frame = window();
    // The bars are hidden and the window is the screen's: the size is applied when the
    // window comes back.
    if (m_bFullScreenActive) {
        m_bSizePending = true;
        return;
    }
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
    // The allowance is measured from the live frame and view: bars, menu and edges, laid
    // out first so that bars shown since the last layout count.
    if (frame->layout()) frame->layout()->activate();
    const QSize allowance = frame->size() - contentsRect().size();
    const PictureSize want =
        FactorFrameSize(m_nWindowSize, base, {allowance.width(), allowance.height()});
    ResizeFrame(want.width, want.height);
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
    const QRect client = contentsRect();
    const QPoint origin = mapToGlobal(client.topLeft());
    m_rcClientScreen = {origin.x(), origin.y(), origin.x() + client.width(),
                        origin.y() + client.height()};
}

void CLumekoView::UpdateClientSize() {
    TrackClientScreen();
    m_nClientWidth = contentsRect().width();
    m_nClientHeight = contentsRect().height();
}

void CLumekoView::UpdateScreenRect() {
    TrackClientScreen();
    update();
}

void CLumekoView::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    UpdateClientSize();
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

void CLumekoView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_bFullScreenActive) {
        LeaveFullScreen();
        event->accept();
        return;
    }
    QFrame::keyPressEvent(event);
}

bool CLumekoView::eventFilter(QObject* watched, QEvent* event) {
    QWidget* frame = window();
    // The window manager ended full screen (its own key, a workspace switch): the
    // window gets its bars back. Only the platform's word counts, and only once it has
    // said "full screen": a compositor may first answer with the state the window had.
    if (watched == frame && event->type() == QEvent::WindowStateChange && event->spontaneous() &&
        m_bFullScreenActive) {
        if (frame->windowState() & Qt::WindowFullScreen)
            m_bFullScreenConfirmed = true;
        else if (m_bFullScreenConfirmed)
            LeaveFullScreen();
    }
    // The compositor's word that full screen is over comes with the size it remembers
    // from before; ours follows it.
    if (watched == frame && event->type() == QEvent::WindowStateChange && event->spontaneous() &&
        m_bRestoreOnNormal && !m_bFullScreenActive &&
        !(frame->windowState() & Qt::WindowFullScreen)) {
        m_bRestoreOnNormal = false;
        QTimer::singleShot(0, this, [this] {
            if (m_bFullScreenActive) return;
            window()->resize(m_savedFrameSize);
            HoldFrameSize(m_savedFrameSize);
        });
    }
    const QWindow* handle = frame->windowHandle();
    const bool shown = watched == handle && event->type() == QEvent::Expose && handle->isExposed();
    if (shown && m_holdTimer.isActive()) m_holdTimer.start(kHoldSizeMs);
    if (m_holdTimer.isActive() &&
        (shown || (watched == frame && (event->type() == QEvent::Resize ||
                                        event->type() == QEvent::WindowStateChange))))
        QTimer::singleShot(0, this, [this] { ReassertFrameSize(); });
    return QFrame::eventFilter(watched, event);
}

void CLumekoView::OnFullScreen() {
    if (m_bFullScreen) {
        m_bFullScreen = 0;
        return;
    }
    m_bFullScreen = 1;
    if (m_doc.m_bPlaying) EnterFullScreen();
}

void CLumekoView::EnterFullScreen() {
    // Entering again while in force would save the full-screen state as the one to
    // return to, and the window would never get its own place back.
    if (!m_bFullScreen || m_bFullScreenActive) return;
    m_directDraw.DetachClipper();
    m_bFullScreenActive = true;
    m_bFullScreenConfirmed = false;
    m_bRestoreOnNormal = false;
    QWidget* frame = window();
    m_rcSavedFrame = ToFrameRect(frame->frameGeometry());
    m_savedFrameState = frame->windowState();
    // While a size is still held the frame may show the compositor's passing answer (its
    // first configure brings the frame's initial size): the size asked for is the one to
    // come back to.
    const bool holding = m_holdTimer.isActive() && m_nHoldTries < kHoldSizeTries;
    m_savedFrameSize = holding ? m_heldFrameSize : frame->size();
    // Only the picture is left: no menu, tool bar, status bar or sunken edge.
    m_hiddenBars.clear();
    if (auto* main = qobject_cast<QMainWindow*>(frame)) {
        std::vector<QWidget*> bars{main->menuWidget(), main->statusBar()};
        for (QToolBar* bar : main->findChildren<QToolBar*>(Qt::FindDirectChildrenOnly))
            bars.push_back(bar);
        for (QWidget* bar : bars)
            if (bar && bar->isVisible()) {
                bar->hide();
                m_hiddenBars.emplace_back(bar);
            }
    }
    setFrameStyle(QFrame::NoFrame);
    UpdateClientSize();
    frame->installEventFilter(this);
    // The window manager's full-screen state, on X11 and Wayland alike: it covers the
    // screen the window is on and stays above the rest. A click anywhere lands on the
    // view, so no mouse grab is needed (Wayland allows none outside pop-ups).
    frame->setWindowState((m_savedFrameState & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    // An X display without a window manager leaves the state unheeded: the window then
    // takes the screen itself (a window manager overrules this with its own placement).
    if (ClientMayPlaceWindows()) frame->setGeometry(ScreenGeometry());
    frame->show();
    frame->raise();
    frame->activateWindow();
    setFocusPolicy(Qt::StrongFocus);
    setFocus(Qt::OtherFocusReason);
    setCursor(Qt::BlankCursor);
}

void CLumekoView::LeaveFullScreen() {
    if (!m_bFullScreenActive) return;
    m_bFullScreenActive = false;
    QWidget* frame = window();
    unsetCursor();
    clearFocus();
    setFocusPolicy(Qt::NoFocus);
    for (const QPointer<QWidget>& bar : m_hiddenBars)
        if (bar) bar->show();
    m_hiddenBars.clear();
    setFrameStyle(kWindowedFrameStyle);
    // The bars take their room now, so a size chosen meanwhile is measured with them.
    if (frame->layout()) frame->layout()->activate();
    UpdateClientSize();
    frame->setWindowState(m_savedFrameState & ~Qt::WindowFullScreen);
    if (!(m_savedFrameState & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        // As it was, and where it was where a client may say so: not every window
        // manager gives a window that was full screen its old size back.
        frame->resize(m_savedFrameSize);
        QWindow* handle = frame->windowHandle();
        if (ClientMayPlaceWindows() && handle)
            handle->setFramePosition({m_rcSavedFrame.x, m_rcSavedFrame.y});
        if (!ClientMayPlaceWindows()) {
            HoldFrameSize(m_savedFrameSize);
            m_bRestoreOnNormal = true;
        }
    }
    if (m_bSizePending) {
        m_bSizePending = false;
        ApplyWindowSize();
    }
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
