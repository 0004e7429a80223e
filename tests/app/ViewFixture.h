#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>
#include <string>

#include "OffscreenApp.h"
#include "app/MainFrame.h"
#include "moviemaker/MovieMaker.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"
#include "view/LumekoView.h"

// The real main frame and view around a document on test services, shown on the
// offscreen platform; movies are made by our encoder as a test needs them.
class ViewFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureOffscreenApp(); }

    ViewFixture() { Build(); }
    ~ViewFixture() override { Destroy(); }

    void Build() {
        view = new CLumekoView(services.doc, services.settings);
        frame = std::make_unique<CMainFrame>(services.settings, view);
        services.doc.AttachView(view);
        frame->SetMoveHandler([this] { view->UpdateScreenRect(); });
        frame->show();
        Settle();
    }
    void Destroy() {
        services.doc.CloseMovie();
        services.doc.AttachView(nullptr);
        frame.reset();
        view = nullptr;
    }

    static void Settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    std::string Make(int width, int height, int frames = 2, const std::string& name = "movie.avi") {
        moviemaker::MovieSpec spec;
        spec.width = width;
        spec.height = height;
        spec.frames = frames;
        spec.keyEvery = 1;
        spec.sound = moviemaker::SoundKind::kNone;
        const std::string path = dir.File(name);
        EXPECT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
        return path;
    }
    void Open(const std::string& path) {
        services.doc.m_pendingFiles.push_back(path);
        services.doc.IdleProcess(0);
        Settle();
    }
    // Where the view's window lies on the screen, right and bottom just outside.
    movie::RECT ViewOnScreen() const {
        const QPoint origin = view->mapToGlobal(QPoint(0, 0));
        return {origin.x(), origin.y(), origin.x() + view->width(), origin.y() + view->height()};
    }

    TempDir dir;
    TestDocument services;
    std::unique_ptr<CMainFrame> frame;
    CLumekoView* view = nullptr;
};
