#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Framework.h"

// A frame and a view that remember what the document asked of them: the latest state,
// and every call in order.
class RecordingFrame final : public platform::IDocumentFrame {
public:
    void SetPaneText(int pane, std::string_view text) override {
        panes[pane] = std::string(text);
        paneHistory.emplace_back(pane, std::string(text));
        calls.push_back("SetPaneText");
    }
    void SetTitle(std::string_view text) override {
        title = std::string(text);
        calls.push_back("SetTitle");
    }
    void AddToRecentFileList(const std::string& path) override {
        recent.push_back(path);
        calls.push_back("AddToRecentFileList");
    }
    void PostClose() override {
        ++closeRequests;
        calls.push_back("PostClose");
    }

    std::map<int, std::string> panes;                      // the latest text of each pane
    std::vector<std::pair<int, std::string>> paneHistory;  // every text written
    std::string title;
    std::vector<std::string> recent;
    int closeRequests = 0;
    std::vector<std::string> calls;
};

class RecordingView final : public platform::IDocumentView {
public:
    void SetBitmapFormat(const BITMAPINFOHEADER& f) override {
        format = f;
        calls.push_back("SetBitmapFormat");
    }
    void ApplyWindowSize() override {
        ++resizes;
        calls.push_back("ApplyWindowSize");
    }
    void Invalidate() override {
        ++invalidations;
        calls.push_back("Invalidate");
    }
    void ReleaseDrawing() override {
        ++releases;
        calls.push_back("ReleaseDrawing");
    }
    // Full screen is entered only when the view's setting asks for it.
    void EnterFullScreen() override {
        fullScreen = fullScreenSetting;
        calls.push_back("EnterFullScreen");
    }
    void LeaveFullScreen() override {
        fullScreen = false;
        calls.push_back("LeaveFullScreen");
    }
    bool IsFullScreen() const override { return fullScreen; }

    BITMAPINFOHEADER format;
    int resizes = 0, invalidations = 0, releases = 0;
    bool fullScreen = false;
    bool fullScreenSetting = false;
    std::vector<std::string> calls;
};
