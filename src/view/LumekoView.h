#pragma once

#include <QWidget>

#include "movie/AviRecords.h"
#include "platform/Framework.h"
#include "platform/Settings.h"
#include "view/DirectDrawBackEnd.h"
#include "view/SizeModes.h"

class CLumekoDoc;

// The view: shows the document's current picture, stretched over the whole client
// area, on a black background.
class CLumekoView final : public QWidget, public platform::IDocumentView {
public:
    CLumekoView(CLumekoDoc& doc, platform::ISettings& settings, QWidget* parent = nullptr);
    ~CLumekoView() override;

    void SetBitmapFormat(const movie::BITMAPINFOHEADER& format) override;
    void ApplyWindowSize() override;
    void Invalidate() override;
    void ReleaseDrawing() override;
    void EnterFullScreen() override {}
    void LeaveFullScreen() override {}
    bool IsFullScreen() const override { return false; }

    QSize sizeHint() const override;

    // The size commands: 1, 2, 3 times the picture, or -1 for the largest that fits.
    void SetWindowSize(int mode);
    void OnAspectCorrect();
    void OnDirectDraw() { m_bDirectDraw = m_bDirectDraw ? 0 : 1; }
    void OnFullScreenSetting() { m_bFullScreen = m_bFullScreen ? 0 : 1; }
    int WindowSize() const { return m_nWindowSize; }
    bool AspectCorrect() const { return m_bAspectCorrect != 0; }
    bool DirectDraw() const { return m_bDirectDraw != 0; }
    bool FullScreenSetting() const { return m_bFullScreen != 0; }
    // The surface service the "DirectDraw" setting draws through; none: the setting
    // has no effect.
    void SetDirectDrawProvider(platform::IDirectDrawProvider* provider) { m_directDraw.SetProvider(provider); }
    bool DirectDrawInUse() const { return m_directDraw.InUse(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PictureSize BaseSize() const;
    void ApplyMaximum();

    CLumekoDoc& m_doc;
    platform::ISettings& m_settings;
    int m_nCorrectedWidth = 0;
    int m_nCorrectedHeight = 0;
    int m_bAspectCorrect = 0;
    int m_bFullScreen = 0;
    int m_bDirectDraw = 0;
    int m_nWindowSize = 1;
    movie::BITMAPINFOHEADER m_bmi;
    CDirectDrawBackEnd m_directDraw;
};
