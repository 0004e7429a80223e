#pragma once

#include <QFrame>
#include <QPointer>
#include <QTimer>
#include <vector>

#include "movie/AviRecords.h"
#include "platform/Framework.h"
#include "platform/Settings.h"
#include "view/DirectDrawBackEnd.h"
#include "view/PictureDrawing.h"
#include "view/SizeModes.h"

class CLumekoDoc;
class LumekoViewTestAccess;

// The view: shows the document's current picture, stretched over the whole client
// area inside a sunken edge 2 pixels wide, on a black background. In full screen the
// window manager makes its window full screen, the window's bars and the edge are
// hidden, and the view's client area is the whole screen.
class CLumekoView final : public QFrame, public platform::IDocumentView {
public:
    // The width of the view's sunken edge; the client area lies inside it.
    static constexpr int kEdge = 2;

    CLumekoView(CLumekoDoc& doc, platform::ISettings& settings, QWidget* parent = nullptr);
    ~CLumekoView() override;

    void SetBitmapFormat(const movie::BITMAPINFOHEADER& format) override;
    void ApplyWindowSize() override;
    void Invalidate() override;
    void ReleaseDrawing() override;
    void EnterFullScreen() override;
    void LeaveFullScreen() override;
    bool IsFullScreen() const override { return m_bFullScreenActive; }
    // The main frame moved: the client area moved on the screen with it.
    void UpdateScreenRect();

    QSize sizeHint() const override;

    // The size commands: 1, 2, 3 times the picture, or -1 for the largest that fits.
    void SetWindowSize(int mode);
    void OnAspectCorrect();
    void OnDirectDraw() { m_bDirectDraw = m_bDirectDraw ? 0 : 1; }
    // Turns the full-screen setting on (entering at once while playing) or off (a full
    // screen in force goes on until a click or a stop).
    void OnFullScreen();
    int WindowSize() const { return m_nWindowSize; }
    bool AspectCorrect() const { return m_bAspectCorrect != 0; }
    bool DirectDraw() const { return m_bDirectDraw != 0; }
    bool FullScreenSetting() const { return m_bFullScreen != 0; }
    // The surface service the "DirectDraw" setting draws through; none: the setting
    // has no effect.
    void SetDirectDrawProvider(platform::IDirectDrawProvider* provider) {
        m_directDraw.SetProvider(provider);
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class LumekoViewTestAccess;

    PictureSize BaseSize() const;
    void ApplyMaximum();
    void BeginDrawDib();
    void TrackClientScreen();
    QRect PictureDestination() const;
    QRect ScreenGeometry() const;
    void PlaceFrame(const FrameRect& outer);
    void ResizeFrame(int width, int height);
    void HoldFrameSize(QSize size);
    void ReassertFrameSize();
    void UpdateClientSize();

    CLumekoDoc& m_doc;
    platform::ISettings& m_settings;
    int m_nCorrectedWidth = 0;
    int m_nCorrectedHeight = 0;
    int m_bAspectCorrect = 0;
    bool m_bFullScreenActive = false;
    // The window system has reported the full-screen state since it was asked for.
    bool m_bFullScreenConfirmed = false;
    int m_bFullScreen = 0;
    int m_bDirectDraw = 0;
    FrameRect m_rcSavedFrame{};
    Qt::WindowStates m_savedFrameState;
    QSize m_savedFrameSize;
    // The frame size last asked for under Wayland, held while the compositor's answers
    // come (see HoldFrameSize).
    QSize m_heldFrameSize;
    int m_nHoldTries = 0;
    QTimer m_holdTimer;
    QTimer m_holdCheck;
    // Full screen was left under Wayland: the size goes back once the compositor agrees.
    bool m_bRestoreOnNormal = false;
    // The frame's bars that full screen hid, to be shown again.
    std::vector<QPointer<QWidget>> m_hiddenBars;
    // A size chosen in full screen waits for the window.
    bool m_bSizePending = false;
    FrameRect m_fullScreenPlacement{};
    movie::RECT m_rcScreen;
    movie::RECT m_rcClientScreen;
    int m_nClientWidth = 0;
    int m_nClientHeight = 0;
    int m_nWindowSize = 1;
    movie::BITMAPINFOHEADER m_bmi;
    DirectDrawBackEnd m_directDraw;
    SoftwarePicture m_picture;
};
