#pragma once

#include <string>
#include <string_view>

#include "movie/AviRecords.h"

// What the document reaches of the window system: the main frame's status bar, title,
// recent-file list and close request, and the view that shows the pictures.

namespace platform {

class IDocumentFrame {
public:
    virtual ~IDocumentFrame() = default;
    // Pane 0 prompts and progress, pane 1 elapsed time, pane 2 running time.
    virtual void SetPaneText(int pane, std::string_view text) = 0;
    // The document title; the frame shows it with " - Lumeko".
    virtual void SetTitle(std::string_view title) = 0;
    virtual void AddToRecentFileList(const std::string& path) = 0;
    // Posts the main window's close request.
    virtual void PostClose() = 0;
};

class IDocumentView {
public:
    virtual ~IDocumentView() = default;
    virtual void SetBitmapFormat(const movie::BITMAPINFOHEADER& format) = 0;
    // Fits the frame window to the current size mode.
    virtual void ApplyWindowSize() = 0;
    // Repaints the current picture without erasing.
    virtual void Invalidate() = 0;
    virtual void ReleaseDrawing() = 0;
    virtual void EnterFullScreen() = 0;
    virtual void LeaveFullScreen() = 0;
    virtual bool IsFullScreen() const = 0;
};

}  // namespace platform
