#pragma once

#include <string>
#include <string_view>

#include "base/SystemRecords.h"

// What the document reaches of the window system: the main frame's status bar, title,
// recent-file list and close request, and the view that shows the pictures. Every call
// comes from the user-interface thread, never from the timer's tick.

namespace platform {

class IDocumentFrame {
public:
    virtual ~IDocumentFrame() = default;
    // Pane 0 holds prompts and the conversion's progress, pane 1 the elapsed time,
    // pane 2 the running time of the open movie. The text is UTF-8.
    virtual void SetPaneText(int pane, std::string_view text) = 0;
    // The document title (the file name); the main window shows "<title> - Lumeko".
    virtual void SetTitle(std::string_view title) = 0;
    // Puts the path at the top of the recent-file list.
    virtual void AddToRecentFileList(const std::string& path) = 0;
    // Posts the main window's close request; the window closes once the current
    // message is handled, as if the user had closed it.
    virtual void PostClose() = 0;
};

class IDocumentView {
public:
    virtual ~IDocumentView() = default;
    // The movie's picture format (24-bit, bottom-up rows of 3 × width bytes); the view
    // keeps a copy.
    virtual void SetBitmapFormat(const BITMAPINFOHEADER& format) = 0;
    // Fits the frame window to the current size mode.
    virtual void ApplyWindowSize() = 0;
    // Repaints the document's current picture soon, without erasing the background.
    virtual void Invalidate() = 0;
    // Lets go of what the view holds for drawing the movie being closed.
    virtual void ReleaseDrawing() = 0;
    // Enters full-screen playback, when the full-screen setting is on; else nothing.
    virtual void EnterFullScreen() = 0;
    virtual void LeaveFullScreen() = 0;
    virtual bool IsFullScreen() const = 0;
};

}  // namespace platform
