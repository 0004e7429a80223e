#include "app/LumekoApp.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

#include <QDir>
#include <QFileInfo>
#include <filesystem>

#include "app/CommandIds.h"
#include "app/SettingsPath.h"
#include "app/CommandLine.h"
#include "app/CommandStates.h"
#include "app/FileInfoDialog.h"
#include "app/QtConversionHost.h"

namespace {

// Idle passes while something is going on run this often: the due frame comes from the
// clock, so a short precise timer keeps the picture on time without spinning a core.
constexpr int kBusyIdleMs = 1;
constexpr int kQuietIdleMs = 20;

std::string SettingsPath() {
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    const std::string configHome = xdg.isEmpty() ? QDir::homePath().toStdString() + "/.config" : xdg.toStdString();
    const std::string path = SettingsPathFor(QCoreApplication::applicationFilePath().toStdString(), configHome);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    return path;
}

}  // namespace

void QtMessageBox::ShowError(std::string_view text) {
    QMessageBox box(QMessageBox::Critical, QString(), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                    QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

CLumekoApp::CLumekoApp(int& argc, char** argv)
    : m_argc(argc), m_argv(argv), m_qt(argc, argv), m_settings(SettingsPath()), m_recent(m_settings) {}

CLumekoApp::~CLumekoApp() {
    m_idle.stop();
    // The document closes while its view still exists, then the window goes.
    m_pDoc.reset();
    m_frame.reset();
    m_recent.Save();
}

bool CLumekoApp::InitInstance() {
    QCoreApplication::setApplicationName("Lumeko");
    QCoreApplication::setApplicationVersion("0.1.0");
    // The window's application id under Wayland: the desktop file's name, for its icon.
    QGuiApplication::setDesktopFileName("lumeko");
    m_recent.Load();
    // The document first, then the frame and its view, as the document template makes them.
    m_pDoc = std::make_unique<CLumekoDoc>(DocumentServices{m_settings, m_clock, m_timer, m_waveOut, m_messages});
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

    m_shellOpen.Listen(QFileInfo(QCoreApplication::applicationFilePath()).baseName(),
                       [this](const std::string& text) { OnDDECommand(text); },
                       [this](const std::string& path) { OnHandOver(path); });

    m_idle.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_idle, &QTimer::timeout, [this] { OnIdle(); });
    m_idle.start(kBusyIdleMs);
    return true;
}

int CLumekoApp::Run() { return m_qt.exec(); }

void CLumekoApp::OpenDocumentFile(const std::string& path) {
    m_pDoc->m_pendingFiles.push_back(path);
    m_idle.setInterval(kBusyIdleMs);
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
    const int again = m_pDoc->IdleProcess(0);
    m_frame->UpdateCommandStates();
    m_idle.setInterval(again ? kBusyIdleMs : kQuietIdleMs);
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
    const auto docState = [&doc](int id) { return [&doc, id] { return DocumentCommandState(id, doc); }; };
    const auto heldState = [&doc, idle](int id) {
        return [&doc, id, idle] {
            CMainFrame::CommandState state = DocumentCommandState(id, doc);
            state.enabled = state.enabled && idle();
            return state;
        };
    };
    const auto viewState = [&view](int id) { return [&view, id] { return ViewCommandState(id, view); }; };
    frame.Route(ID_PLAY, [&doc] { doc.OnPlay(); }, heldState(ID_PLAY));
    frame.Route(ID_STOP, [&doc] { doc.OnStop(); }, heldState(ID_STOP));
    frame.Route(ID_PAUSE, [&doc] { doc.OnPause(); }, heldState(ID_PAUSE));
    frame.Route(ID_LOOP, [&doc] { doc.OnLoop(); }, docState(ID_LOOP));
    frame.Route(ID_FILE_SELECT, [this] {
        const QStringList paths = QFileDialog::getOpenFileNames(m_frame.get(), "File Select", QString(),
                                                                "Files (*.avi);;All Files (*)");
        for (const QString& p : paths) OpenDocumentFile(p.toStdString());
    }, heldState(ID_FILE_SELECT));
    frame.Route(ID_FILE_OPEN, [this] { OnFileOpenPrompt(); }, heldState(ID_FILE_OPEN));
    for (auto [id, mode] : {std::pair{ID_NORMAL, 1}, {ID_DOUBLE, 2}, {ID_TRIPLE, 3}, {ID_MAXIMUM, -1}})
        frame.Route(id, [&view, mode = mode] { view.SetWindowSize(mode); }, viewState(id));
    frame.Route(ID_ASPECT, [&view] { view.OnAspectCorrect(); }, viewState(ID_ASPECT));
    frame.Route(ID_DIRECT_DRAW, [&view] { view.OnDirectDraw(); }, viewState(ID_DIRECT_DRAW));
    frame.Route(ID_FULL_SCREEN, [&view] { view.OnFullScreen(); }, viewState(ID_FULL_SCREEN));
    frame.Route(ID_APP_EXIT, [this] { m_frame->close(); }, [idle] { return CMainFrame::CommandState{idle(), false}; });
    frame.Route(ID_HELP_FINDER, [] {
        const QString manual = QCoreApplication::applicationDirPath() + "/../share/lumeko/help/index.html";
        QDesktopServices::openUrl(QUrl::fromLocalFile(manual));
    });
    frame.Route(ID_FILE_INFO, [this] {
        CFileInfoDlg dialog(MakeFileInfoTexts(*m_pDoc), m_frame.get());
        dialog.exec();
    }, docState(ID_FILE_INFO));
    frame.Route(ID_APP_ABOUT, [this] {
        CAboutDlg dialog(m_frame.get());
        dialog.exec();
    });
    frame.Route(ID_CONVERT, [this] {
        // The document's idle work waits while the movie is being converted.
        m_bConverting = true;
        m_frame->UpdateCommandStates();
        {
            QtConversionHost host(m_frame.get());
            m_pDoc->OnConvert(host);
        }
        m_bConverting = false;
        m_frame->UpdateCommandStates();
    }, heldState(ID_CONVERT));
}
