#pragma once

#include <QWidget>

#include "movie/AviRecords.h"
#include "platform/Framework.h"

class CLumekoDoc;

// The view: shows the document's current picture, stretched over the whole client
// area, on a black background.
class CLumekoView final : public QWidget, public platform::IDocumentView {
public:
    explicit CLumekoView(CLumekoDoc& doc, QWidget* parent = nullptr);

    void SetBitmapFormat(const movie::BITMAPINFOHEADER& format) override;
    void ApplyWindowSize() override;
    void Invalidate() override;
    void ReleaseDrawing() override;
    void EnterFullScreen() override {}
    void LeaveFullScreen() override {}
    bool IsFullScreen() const override { return false; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CLumekoDoc& m_doc;
    movie::BITMAPINFOHEADER m_bmi;
    int m_nWindowSize = 1;
};
