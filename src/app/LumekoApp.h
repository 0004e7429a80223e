#pragma once

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "app/MainFrame.h"
#include "app/QtMessageBox.h"
#include "app/ShellOpenServer.h"
#include "platform/IniFileSettings.h"
#include "platform/MessageBox.h"
#include "platform/RecentFileList.h"
#include "platform/ThreadTimer.h"
#include "platform/qtgl/GlDirectDraw.h"
#include "platform/sdl/SdlWaveOut.h"
#include "playback/LumekoDoc.h"
#include "view/LumekoView.h"

// The application: start-up, the settings file beside the program, the recent-file
// list, idle processing that serves the document, and the one entry for files.
class CLumekoApp {
public:
    CLumekoApp(int& argc, char** argv);
    ~CLumekoApp();

    bool InitInstance();
    int Run();
    // Queues a path; nothing opens a file directly.
    void OpenDocumentFile(const std::string& path);
    // An execute text from the shell: the first one after a start with a file named on
    // the command line is dropped (a shell repeats the file it started us with), the
    // others are queued as paths. Always false.
    bool OnDDECommand(const std::string& text);
    // A path handed over by another start of the program: always queued, since that
    // start never repeats ours; the window comes to the front.
    void OnHandOver(const std::string& path);
    bool ServesShellOpen() const { return m_shellOpen.IsServing(); }
    CLumekoDoc& GetDocument() { return *m_pDoc; }
    CMainFrame& GetMainFrame() { return *m_frame; }

private:
    void OnIdle();
    void RouteCommands();
    void OnFileOpenPrompt();
    // SIGINT and SIGTERM end the program as Exit does, saving its position and settings.
    void CatchStopSignals();
    void OnStopSignal();
    // What the command states depend on, packed; they are evaluated again only when it
    // changes.
    uint32_t CommandStateKey() const;
    void ShowPosition();
    // Moves by a time or by frames from the frame on screen, within the movie.
    void SeekBy(double seconds);
    void StepBy(int frames);
    void OnSavePicture();

    int& m_argc;
    char** m_argv;
    QApplication m_qt;
    platform::IniFileSettings m_settings;
    platform::RecentFileList m_recent;
    platform::SteadyMillisecondClock m_clock;
    platform::ThreadTimer m_timer;
    platform::SdlWaveOut m_waveOut;
    QtMessageBox m_messages;
    GlDirectDrawProvider m_directDrawProvider;  // outlives the view, which draws through it
    std::unique_ptr<CLumekoDoc> m_pDoc;
    CLumekoView* m_view = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
    QTimer m_idle;
    ShellOpenServer m_shellOpen;
    bool m_bFileOnCommandLine = false;
    bool m_bConverting = false;
    bool m_bIdleBusy = true;
    uint32_t m_nCommandStateKey = UINT32_MAX;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
    bool m_bResumeAfterDrag = false;  // the movie played when the slider was taken
};
