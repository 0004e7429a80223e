#include "app/LumekoApp.h"

#include <fcntl.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>
#include <cerrno>
#include <csignal>
#include <filesystem>

#include "app/CommandIds.h"
#include "app/CommandLine.h"
#include "app/CommandStates.h"
#include "app/FileInfoDialog.h"
#include "app/PictureCommands.h"
#include "app/QtConversionHost.h"
#include "app/SettingsPath.h"

namespace {

// Idle passes while something is going on run this often: the due frame comes from the
// clock, so a short precise timer keeps the picture on time without spinning a core.
constexpr int kBusyIdleMs = 1;
constexpr int kQuietIdleMs = 20;

std::string SettingsPath() {
    // Taken as bytes: a folder name need not be UTF-8.
    const QByteArray home = qgetenv("HOME");
    const std::string configHome =
        ConfigHomeFor(qgetenv("XDG_CONFIG_HOME").toStdString(),
                      home.isEmpty() ? QDir::homePath().toStdString() : home.toStdString());
    const std::string path =
        SettingsPathFor(QCoreApplication::applicationFilePath().toStdString(), configHome);
    // The user's own folder, private as configuration folders are; never one beside the
    // program, where the file is only used when it is there already.
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!std::filesystem::exists(folder, ec) && std::filesystem::create_directories(folder, ec))
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    return path;
}

// The write end of the pipe the signal handler writes to; the notifier reads the other
// end on the user-interface thread. A write is all a handler may safely do.
int g_signalPipe[2] = {-1, -1};

extern "C" void WriteSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

CLumekoApp::CLumekoApp(int& argc, char** argv)
    : m_argc(argc),
      m_argv(argv),
      m_qt(argc, argv),
      m_settings(SettingsPath()),
      m_recent(m_settings) {
    // Once a run: the settings then live until the program ends.
    m_settings.SetWriteFailureHandler([this](const std::string& error) {
        m_messages.ShowError("Lumeko cannot save its settings; changes last until it ends.\n" +
                             error);
    });
}

CLumekoApp::~CLumekoApp() {
    m_idle.stop();
    if (m_signalNotifier) {
        // The default handling comes back first, so no handler writes to a closed pipe.
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        m_signalNotifier.reset();
        close(g_signalPipe[0]);
        close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
    // The document closes while its view still exists, then the window goes.
    m_pDoc.reset();
    m_frame.reset();
    m_recent.Save();
}

bool CLumekoApp::InitInstance() {
    QCoreApplication::setApplicationName("Lumeko");
    QCoreApplication::setApplicationVersion(LUMEKO_VERSION);
    // The window's application id under Wayland: the desktop file's name, for its icon.
    QGuiApplication::setDesktopFileName("lumeko");
    m_recent.Load();
    // The document first, then the frame and its view, as the document template makes them.
    m_pDoc = std::make_unique<CLumekoDoc>(
        DocumentServices{m_settings, m_clock, m_timer, m_waveOut, m_messages});
    m_view = new CLumekoView(*m_pDoc, m_settings);
    m_view->SetDirectDrawProvider(&m_directDrawProvider);
    m_frame = std::make_unique<CMainFrame>(m_settings, m_view);
    m_pDoc->AttachFrame(m_frame.get());
    m_pDoc->AttachView(m_view);
    m_frame->SetRecentFileHandlers(
        [this](size_t index) {
            const std::string path = m_recent.Entries()[index];
            // The entry leaves the list; opening the file puts it back on top.
            m_recent.Remove(index);
            m_frame->SetRecentFiles(m_recent.Entries());
            OpenDocumentFile(path);
        },
        [this](const std::string& path) {
            m_recent.Add(path);
            m_frame->SetRecentFiles(m_recent.Entries());
        });
    m_frame->SetRecentFiles(m_recent.Entries());
    m_frame->SetDropHandler([this](const std::string& path) { OpenDocumentFile(path); });
    m_frame->SetMoveHandler([this] { m_view->UpdateScreenRect(); });
    RouteCommands();
    m_frame->show();

    // The arguments as bytes, after Qt took its own options out: its list of strings
    // would mangle names that are not UTF-8.
    const std::vector<std::string> arguments(m_argv, m_argv + m_argc);
    CLumekoCommandLineInfo commandLine(*m_pDoc);
    m_bFileOnCommandLine = commandLine.ParseCommandLine(arguments, CurrentDirectory());

    m_shellOpen.Listen(
        QFileInfo(QCoreApplication::applicationFilePath()).baseName(),
        [this](const std::string& text) { OnDDECommand(text); },
        [this](const std::string& path) { OnHandOver(path); });

    CatchStopSignals();
    m_idle.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_idle, &QTimer::timeout, [this] { OnIdle(); });
    m_bIdleBusy = true;
    m_idle.start(kBusyIdleMs);
    return true;
}

void CLumekoApp::CatchStopSignals() {
    if (g_signalPipe[0] >= 0 || pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_signalNotifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(m_signalNotifier.get(), &QSocketNotifier::activated,
                     [this] { OnStopSignal(); });
    struct sigaction action {};
    action.sa_handler = &WriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void CLumekoApp::OnStopSignal() {
    char bytes[16];
    while (read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    // As Exit: the frame saves its place, the document and the view their settings as
    // the program ends. A conversion under way is cancelled first by its host.
    m_frame->close();
}

int CLumekoApp::Run() {
    return m_qt.exec();
}

void CLumekoApp::OpenDocumentFile(const std::string& path) {
    // A message box at the end of the run (settings that cannot be saved) dispatches
    // events after the document is gone.
    if (!m_pDoc) return;
    m_pDoc->m_pendingFiles.push_back(path);
    if (!m_bIdleBusy) {
        m_bIdleBusy = true;
        m_idle.setInterval(kBusyIdleMs);
    }
}

bool CLumekoApp::OnDDECommand(const std::string& text) {
    if (m_bFileOnCommandLine) {
        m_bFileOnCommandLine = false;
        return false;
    }
    OpenDocumentFile(text);
    return false;
}

void CLumekoApp::OnHandOver(const std::string& path) {
    OpenDocumentFile(path);
    if (m_frame->isMinimized()) m_frame->showNormal();
    m_frame->raise();
    m_frame->activateWindow();
}

void CLumekoApp::OnIdle() {
    if (!m_pDoc || m_bConverting) return;
    const bool again = m_pDoc->IdleProcess(0) != 0;
    ShowPosition();
    // The tool bar follows the document; an idle pass that changes nothing costs nothing.
    const uint32_t key = CommandStateKey();
    if (key != m_nCommandStateKey) {
        m_nCommandStateKey = key;
        m_frame->UpdateCommandStates();
    }
    if (again != m_bIdleBusy) {
        m_bIdleBusy = again;
        m_idle.setInterval(again ? kBusyIdleMs : kQuietIdleMs);
    }
}

uint32_t CLumekoApp::CommandStateKey() const {
    const CLumekoDoc& doc = *m_pDoc;
    const CLumekoView& view = *m_view;
    uint32_t key = 0;
    for (const bool bit :
         {doc.m_bOpen, doc.m_bPlaying, doc.m_bPaused.load(std::memory_order_relaxed),
          doc.m_bLoop != 0, m_bConverting, view.AspectCorrect(), view.DirectDraw(),
          view.FullScreenSetting()})
        key = key << 1 | (bit ? 1u : 0u);
    return key << 8 | static_cast<uint8_t>(view.WindowSize());
}

void CLumekoApp::ShowPosition() {
    const CLumekoDoc& doc = *m_pDoc;
    const double fps = doc.m_bOpen ? static_cast<double>(doc.m_fRate) / doc.m_fScale : 0;
    m_frame->ShowPosition(doc.CurrentFrame(), doc.m_bOpen ? doc.m_nFrameCount : 0, fps);
}

void CLumekoApp::SeekBy(double seconds) {
    CLumekoDoc& doc = *m_pDoc;
    if (!doc.m_bOpen) return;
    const double frames = seconds * doc.m_fRate / doc.m_fScale;
    const double target = std::max(0.0, static_cast<double>(doc.CurrentFrame()) + frames);
    doc.Seek(static_cast<uint32_t>(std::min(target, 4e9)));
    ShowPosition();
}

void CLumekoApp::StepBy(int frames) {
    CLumekoDoc& doc = *m_pDoc;
    if (!doc.m_bOpen) return;
    // Stepping is for a still picture: a playing movie pauses first.
    if (doc.m_bPlaying && !doc.m_bPaused) doc.OnPause();
    const uint32_t current = doc.CurrentFrame();
    if (frames < 0 && current == 0) return;
    doc.Seek(frames < 0 ? current - 1 : current + 1);
    ShowPosition();
}

void CLumekoApp::OnSavePicture() {
    const QImage picture = CurrentPicture(*m_pDoc, m_view->AspectCorrect());
    if (picture.isNull()) return;
    const QString movie =
        QFileInfo(QString::fromStdString(m_pDoc->m_movie.GetPath())).completeBaseName();
    const QString suggested =
        QString("%1-%2.png").arg(movie.isEmpty() ? "picture" : movie).arg(m_pDoc->CurrentFrame());
    const QString path =
        QFileDialog::getSaveFileName(m_frame.get(), "Save Picture", suggested, "PNG (*.png)");
    if (path.isEmpty()) return;
    const QString error = SavePicture(picture, path);
    if (!error.isEmpty()) m_messages.ShowError(error.toStdString());
}

void CLumekoApp::OnFileOpenPrompt() {
    const QString path = QFileDialog::getOpenFileName(m_frame.get(), "開く", QString(),
                                                      "TrueMotion ﾌｧｲﾙ (*.avi);;すべてのﾌｧｲﾙ (*)");
    if (!path.isEmpty()) OpenDocumentFile(path.toStdString());
}

void CLumekoApp::RouteCommands() {
    CLumekoDoc& doc = *m_pDoc;
    CMainFrame& frame = *m_frame;
    CLumekoView& view = *m_view;
    // While a conversion runs, the commands that would pull the movie away are greyed
    // (and held back by the conversion's host).
    const auto idle = [this] { return !m_bConverting; };
    const auto docState = [&doc](int id) {
        return [&doc, id] { return DocumentCommandState(id, doc); };
    };
    const auto heldState = [&doc, idle](int id) {
        return [&doc, id, idle] {
            CMainFrame::CommandState state = DocumentCommandState(id, doc);
            state.enabled = state.enabled && idle();
            return state;
        };
    };
    const auto viewState = [&view](int id) {
        return [&view, id] { return ViewCommandState(id, view); };
    };
    frame.Route(
        ID_PLAY, [&doc] { doc.OnPlay(); }, heldState(ID_PLAY));
    frame.Route(
        ID_STOP, [&doc] { doc.OnStop(); }, heldState(ID_STOP));
    frame.Route(
        ID_PAUSE, [&doc] { doc.OnPause(); }, heldState(ID_PAUSE));
    frame.Route(
        ID_LOOP, [&doc] { doc.OnLoop(); }, docState(ID_LOOP));
    frame.Route(
        ID_FILE_SELECT,
        [this] {
            const QStringList paths = QFileDialog::getOpenFileNames(
                m_frame.get(), "File Select", QString(), "Files (*.avi);;All Files (*)");
            for (const QString& p : paths) OpenDocumentFile(p.toStdString());
        },
        heldState(ID_FILE_SELECT));
    frame.Route(
        ID_FILE_OPEN, [this] { OnFileOpenPrompt(); }, heldState(ID_FILE_OPEN));
    for (auto [id, mode] :
         {std::pair{ID_NORMAL, 1}, {ID_DOUBLE, 2}, {ID_TRIPLE, 3}, {ID_MAXIMUM, -1}})
        frame.Route(
            id, [&view, mode = mode] { view.SetWindowSize(mode); }, viewState(id));
    frame.Route(
        ID_ASPECT, [&view] { view.OnAspectCorrect(); }, viewState(ID_ASPECT));
    frame.Route(
        ID_DIRECT_DRAW, [&view] { view.OnDirectDraw(); }, viewState(ID_DIRECT_DRAW));
    frame.Route(
        ID_FULL_SCREEN, [&view] { view.OnFullScreen(); }, viewState(ID_FULL_SCREEN));
    frame.Route(
        ID_APP_EXIT, [this] { m_frame->close(); },
        [idle] {
            return CMainFrame::CommandState{idle(), false};
        });
    frame.Route(ID_HELP_FINDER, [] {
        const QString manual =
            QCoreApplication::applicationDirPath() + "/../share/lumeko/help/index.html";
        QDesktopServices::openUrl(QUrl::fromLocalFile(manual));
    });
    frame.Route(
        ID_FILE_INFO,
        [this] {
            CFileInfoDlg dialog(MakeFileInfoTexts(*m_pDoc), m_frame.get());
            dialog.exec();
        },
        docState(ID_FILE_INFO));
    frame.Route(ID_APP_ABOUT, [this] {
        CAboutDlg dialog(m_frame.get());
        dialog.exec();
    });
    // Moving within the movie, volume, and keeping the picture.
    const auto whenOpen = [&doc, idle] {
        return CMainFrame::CommandState{doc.m_bOpen && idle(), false};
    };
    const auto always = [] { return CMainFrame::CommandState{true, false}; };
    frame.Route(
        ID_PLAY_PAUSE,
        [&doc] {
            // Space on a focused button presses that button, as everywhere else.
            if (auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget())) {
                button->animateClick();
                return;
            }
            if (doc.m_bPlaying)
                doc.OnPause();
            else
                doc.OnPlay();
        },
        whenOpen);
    frame.Route(
        ID_SEEK_BACK, [this] { SeekBy(-5); }, whenOpen);
    frame.Route(
        ID_SEEK_FORWARD, [this] { SeekBy(5); }, whenOpen);
    frame.Route(
        ID_SEEK_BACK_LONG, [this] { SeekBy(-60); }, whenOpen);
    frame.Route(
        ID_SEEK_FORWARD_LONG, [this] { SeekBy(60); }, whenOpen);
    frame.Route(
        ID_SEEK_START,
        [this, &doc] {
            doc.Seek(0);
            ShowPosition();
        },
        whenOpen);
    frame.Route(
        ID_SEEK_END,
        [this, &doc] {
            doc.Seek(doc.m_nFrameCount ? doc.m_nFrameCount - 1 : 0);
            ShowPosition();
        },
        whenOpen);
    frame.Route(
        ID_STEP_BACK, [this] { StepBy(-1); }, whenOpen);
    frame.Route(
        ID_STEP_FORWARD, [this] { StepBy(1); }, whenOpen);
    frame.Route(
        ID_TOGGLE_FULL_SCREEN,
        [&view, &doc] {
            // The Full Screen setting, and the picture with it: on enters at once while
            // playing, off leaves.
            if (view.IsFullScreen()) {
                view.LeaveFullScreen();
                if (view.FullScreenSetting()) view.OnFullScreen();
            } else {
                if (!view.FullScreenSetting()) view.OnFullScreen();
                if (doc.m_bPlaying) view.EnterFullScreen();
            }
        },
        always);
    const auto showVolume = [this, &doc] { m_frame->ShowVolume(doc.GetVolume(), doc.IsMuted()); };
    frame.Route(
        ID_MUTE,
        [&doc, showVolume] {
            doc.SetMute(!doc.IsMuted());
            showVolume();
        },
        always);
    frame.Route(
        ID_VOLUME_UP,
        [&doc, showVolume] {
            doc.SetVolume(doc.GetVolume() + 10);
            showVolume();
        },
        always);
    frame.Route(
        ID_VOLUME_DOWN,
        [&doc, showVolume] {
            doc.SetVolume(doc.GetVolume() - 10);
            showVolume();
        },
        always);
    frame.SetVolumeHandler([&doc](int percent) { doc.SetVolume(percent); });
    showVolume();
    frame.Route(
        ID_SAVE_PICTURE, [this] { OnSavePicture(); }, whenOpen);
    frame.Route(
        ID_COPY_PICTURE,
        [this] {
            const QImage picture = CurrentPicture(*m_pDoc, m_view->AspectCorrect());
            if (!picture.isNull()) QGuiApplication::clipboard()->setImage(picture);
        },
        whenOpen);
    // Dragging shows the frames as it goes, a still picture, and seeks on release:
    // a playing movie plays on from there.
    frame.SetPositionState([this, &doc] { return doc.m_bOpen && !m_bConverting; });
    frame.SetSeekHandlers({
        [this, &doc] {
            m_bResumeAfterDrag = doc.m_bPlaying && !doc.m_bPaused;
            if (m_bResumeAfterDrag) doc.OnPause();
        },
        [&doc](uint32_t target) { doc.Seek(target); },
        [this, &doc](uint32_t target) {
            doc.Seek(target);
            if (m_bResumeAfterDrag && doc.m_bPaused) doc.OnPause();
            m_bResumeAfterDrag = false;
            ShowPosition();
        },
    });
    frame.Route(
        ID_CONVERT,
        [this] {
            // The document's idle work waits while the movie is being converted.
            m_bConverting = true;
            m_frame->UpdateCommandStates();
            {
                QtConversionHost host(m_frame.get());
                m_pDoc->OnConvert(host);
            }
            m_bConverting = false;
            m_frame->UpdateCommandStates();
        },
        heldState(ID_CONVERT));
}
