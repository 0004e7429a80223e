#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/Framework.h"

// A frame and a view that remember what the document asked of them.
class RecordingFrame final : public platform::IDocumentFrame {
public:
    void SetPaneText(int pane, std::string_view text) override { panes[pane] = std::string(text); }
    void SetTitle(std::string_view text) override { title = std::string(text); }
    void AddToRecentFileList(const std::string& path) override { recent.push_back(path); }
    void PostClose() override { ++closeRequests; }

    std::map<int, std::string> panes;
    std::string title;
    std::vector<std::string> recent;
    int closeRequests = 0;
};

class RecordingView final : public platform::IDocumentView {
public:
    void SetBitmapFormat(const movie::BITMAPINFOHEADER& f) override { format = f; }
    void ApplyWindowSize() override { ++resizes; }
    void Invalidate() override { ++invalidations; }
    void ReleaseDrawing() override { ++releases; }
    void EnterFullScreen() override { fullScreen = fullScreenSetting; }
    void LeaveFullScreen() override { fullScreen = false; }
    bool IsFullScreen() const override { return fullScreen; }

    movie::BITMAPINFOHEADER format;
    int resizes = 0, invalidations = 0, releases = 0;
    bool fullScreen = false;
    bool fullScreenSetting = false;
};
