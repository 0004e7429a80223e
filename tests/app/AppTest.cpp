#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "app/LumekoApp.h"
#include "app/SettingsPath.h"
#include "app/ShellOpenServer.h"
#include "movie/DuckMovie.h"
#include "moviemaker/MovieMaker.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"

// The whole application in this process, on Qt's offscreen platform: what it does with
// the command line, the shell's execute texts, the recent-file list and the picture it
// shows. Each test runs in a process of its own, one after another, because they share
// the shell-open endpoint.
namespace {

using Clock = std::chrono::steady_clock;

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("SDL_AUDIODRIVER", "dummy");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.File("config")));
        // One beside the program would be used; an older build may have left one there.
        const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
        std::filesystem::remove(program + ".ini");
        m_settingsPath = SettingsPathFor(program, m_dir.File("config"));
        std::filesystem::create_directories(std::filesystem::path(m_settingsPath).parent_path());
        std::filesystem::remove(m_settingsPath);
        moviemaker::MovieSpec spec;
        spec.frames = 45;
        spec.sound = moviemaker::SoundKind::kNone;
        for (const char* name : {"a.avi", "b.avi"})
            ASSERT_TRUE(moviemaker::MakeMovie(spec, m_dir.File(name)).Ok());
    }
    void TearDown() override {
        m_app.reset();
        std::filesystem::remove(m_settingsPath);
    }

    void WriteSettings(const std::string& text) { std::ofstream(m_settingsPath) << text; }

    void Start(std::vector<std::string> arguments) {
        m_arguments = {"app_run_tests"};
        m_arguments.insert(m_arguments.end(), arguments.begin(), arguments.end());
        for (std::string& a : m_arguments) m_argv.push_back(a.data());
        m_argv.push_back(nullptr);
        m_argc = static_cast<int>(m_arguments.size());
        m_app = std::make_unique<CLumekoApp>(m_argc, m_argv.data());
        ASSERT_TRUE(m_app->InitInstance());
    }

    // Runs the event loop until `done` holds; false after `seconds`.
    static bool RunUntil(const std::function<bool()>& done, double seconds = 10) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (!done()) {
            if (Clock::now() > end) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    void Settle() {
        RunUntil([] { return false; }, 0.3);
    }

    std::string OpenPath() {
        return m_app->GetDocument().m_bOpen ? m_app->GetDocument().m_movie.GetPath() : "";
    }
    QStringList RecentMenuTexts() {
        QStringList texts;
        for (QAction* a : FileMenu()->actions())
            if (a->text().startsWith('&') && a->text().at(1).isDigit()) texts << a->text();
        return texts;
    }
    QMenu* FileMenu() { return m_app->GetMainFrame().menuBar()->actions()[0]->menu(); }
    void ChooseRecent(int number) {
        for (QAction* a : FileMenu()->actions())
            if (a->text().startsWith(QString("&%1 ").arg(number))) return a->trigger();
        FAIL() << "no recent entry " << number;
    }

    TempDir m_dir;
    std::string m_settingsPath;
    std::vector<std::string> m_arguments;
    std::vector<char*> m_argv;
    int m_argc = 0;
    std::unique_ptr<CLumekoApp> m_app;
};

TEST_F(AppTest, OpensTheCommandLineFileAndNamesTheWindowAfterIt) {
    Start({m_dir.File("a.avi")});
    EXPECT_EQ(m_app->GetMainFrame().windowTitle(), "無題 - Lumeko")
        << "nothing opens before the first idle pass";
    ASSERT_TRUE(RunUntil([&] { return !OpenPath().empty(); }));
    EXPECT_EQ(OpenPath(), m_dir.File("a.avi"));
    EXPECT_EQ(m_app->GetMainFrame().windowTitle(), "a.avi - Lumeko");
    const QStringList recent = RecentMenuTexts();
    ASSERT_EQ(recent.size(), 1);
    EXPECT_TRUE(recent[0].startsWith("&1 ") && recent[0].endsWith("a.avi"));
}

TEST_F(AppTest, TheFirstExecuteTextAfterAStartWithAFileIsDropped) {
    Start({m_dir.File("a.avi")});
    ASSERT_TRUE(RunUntil([&] { return !OpenPath().empty(); }));
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    // The shell sends the file it started us with once more; that one is not queued. The
    // texts go in one message so that they arrive in order however busy the machine is.
    ASSERT_TRUE(
        ShellOpenServer::SendExecuteTexts(program, {m_dir.File("a.avi"), m_dir.File("b.avi")}));
    // Later ones wait in the queue for the open movie to finish.
    const auto& pending = m_app->GetDocument().m_pendingFiles;
    EXPECT_TRUE(RunUntil([&] { return !pending.empty(); }));
    EXPECT_EQ(std::vector<std::string>(pending.begin(), pending.end()),
              std::vector<std::string>{m_dir.File("b.avi")});
    EXPECT_EQ(OpenPath(), m_dir.File("a.avi"));
}

TEST_F(AppTest, ExecuteTextsAfterAPlainStartAreAllQueued) {
    Start({});
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    ASSERT_TRUE(ShellOpenServer::SendExecuteTexts(program, {m_dir.File("b.avi")}));
    EXPECT_TRUE(RunUntil([&] { return OpenPath() == m_dir.File("b.avi"); }));
}

TEST_F(AppTest, HandOversAfterAStartWithAFileAreAllQueued) {
    // A hand-over never repeats the file this player started with, so none is dropped;
    // the names' bytes arrive as they were.
    const std::string latin1 = m_dir.File("caf\xe9.avi");
    Start({m_dir.File("a.avi")});
    ASSERT_TRUE(RunUntil([&] { return !OpenPath().empty(); }));
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    auto sent = std::async(std::launch::async, [&] {
        return ShellOpenServer::Send(program, {m_dir.File("b.avi"), latin1});
    });
    ASSERT_TRUE(RunUntil(
        [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(sent.get());
    const auto& pending = m_app->GetDocument().m_pendingFiles;
    EXPECT_EQ(std::vector<std::string>(pending.begin(), pending.end()),
              (std::vector<std::string>{m_dir.File("b.avi"), latin1}));
    EXPECT_TRUE(m_app->ServesShellOpen());
}

TEST_F(AppTest, ARelativeNameThatIsNotUtf8OpensFromTheCommandLine) {
    // Shift-JIS for ムービー: Qt's list of arguments would have mangled it.
    const std::string name = "\x83\x80\x81[\x83r\x81[.avi";
    moviemaker::MovieSpec spec;
    spec.frames = 5;
    spec.sound = moviemaker::SoundKind::kNone;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, m_dir.File(name)).Ok());
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.Path());
    Start({name});
    std::filesystem::current_path(here);
    ASSERT_TRUE(RunUntil([&] { return !OpenPath().empty(); })) << "the movie never opened";
    EXPECT_EQ(OpenPath(), m_dir.File(name));
    const QStringList recent = RecentMenuTexts();
    ASSERT_EQ(recent.size(), 1);
}

TEST_F(AppTest, AChosenRecentFileMovesToTheTopWhenItOpens) {
    WriteSettings("[Recent File List]\nFile1=" + m_dir.File("a.avi") +
                  "\nFile2=" + m_dir.File("b.avi") + "\n");
    Start({});
    ASSERT_EQ(RecentMenuTexts().size(), 2);
    ChooseRecent(2);
    // Chosen: it leaves the list at once, and comes back on top once it has opened.
    EXPECT_EQ(RecentMenuTexts().size(), 1);
    ASSERT_TRUE(RunUntil([&] { return OpenPath() == m_dir.File("b.avi"); }));
    const QStringList texts = RecentMenuTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].endsWith("b.avi"));
    EXPECT_TRUE(texts[1].endsWith("a.avi"));
}

TEST_F(AppTest, AChosenRecentFileThatIsGoneStaysRemoved) {
    const std::string gone = m_dir.File("gone.avi");
    WriteSettings("[Recent File List]\nFile1=" + gone + "\nFile2=" + m_dir.File("a.avi") + "\n");
    Start({});
    ChooseRecent(1);
    Settle();
    EXPECT_FALSE(m_app->GetDocument().m_bOpen);
    const QStringList texts = RecentMenuTexts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].endsWith("a.avi"));
    m_app.reset();
    std::ifstream in(m_settingsPath);
    const std::string saved{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(saved.find(gone), std::string::npos) << "the settings keep the list as it was left";
}

TEST_F(AppTest, ErrorsAreShownInATaskModalBoxWithTheErrorIcon) {
    Start({});
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
    // Answers the box as soon as it is up, so the test never waits on a person.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            modal = box->windowModality() == Qt::ApplicationModal;
            box->accept();
        }
    });
    answer.start(10);
    QtMessageBox().ShowError("ﾒﾓﾘが足りません");
    EXPECT_EQ(text, "ﾒﾓﾘが足りません");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(modal);
    EXPECT_TRUE(title.isEmpty() || title == QCoreApplication::applicationName());
}

// Settings that cannot be saved (here the configuration folder is under a plain file)
// are reported once a run, in a message box naming the file and the cause.
TEST_F(AppTest, SettingsThatCannotBeSavedAreReportedOnce) {
    std::ofstream(m_dir.File("blocked")) << "not a folder";
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_dir.File("blocked")));
    QStringList texts;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts << box->text();
            box->accept();
        }
    });
    Start({m_dir.File("a.avi")});
    answer.start(10);  // once the application is there to run it
    ASSERT_TRUE(RunUntil([&] { return !OpenPath().empty(); }));
    m_app->GetDocument().OnLoop();
    Settle();
    m_app.reset();  // the window position, the view and the recent files are saved now
    ASSERT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();
    EXPECT_TRUE(texts[0].contains(QString::fromStdString(m_dir.File("blocked/lumeko/lumeko.ini"))))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains("Not a directory")) << texts[0].toStdString();
}

// The frame the view paints mid-play is, pixel for pixel, the frame our decoder makes
// for the moment the clock says is due.
double Psnr(const QImage& shown, const std::vector<uint8_t>& bottomUpBgr, int width, int height) {
    double squares = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bottomUpBgr.data() +
                             static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 3;
        for (int x = 0; x < width; ++x) {
            const QRgb p = shown.pixel(x, y);
            const double db = qBlue(p) - row[x * 3], dg = qGreen(p) - row[x * 3 + 1],
                         dr = qRed(p) - row[x * 3 + 2];
            squares += db * db + dg * dg + dr * dr;
        }
    }
    const double mse = squares / (3.0 * width * height);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(AppTest, TheViewShowsTheDecodedFrameThatIsDue) {
    RecordingMessageBox messages;
    CDuckMovie reference(messages);
    ASSERT_EQ(reference.Open(m_dir.File("a.avi")), 1);
    movie::BITMAPINFOHEADER header{};
    ASSERT_EQ(reference.GetBitmapHeader(&header), 1);
    const int width = header.biWidth, height = header.biHeight;
    std::vector<std::vector<uint8_t>> frames(reference.GetFrameCount());
    for (uint32_t i = 0; i < frames.size(); ++i) {
        frames[i].resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        ASSERT_EQ(reference.ReadFrame(i, frames[i].data()), 1);
    }

    Start({m_dir.File("a.avi"), "/play"});
    CLumekoDoc& doc = m_app->GetDocument();
    ASSERT_TRUE(RunUntil([&] { return doc.m_bPlaying; }));
    const auto started = Clock::now();
    RunUntil([] { return false; }, 1.2);
    auto* view = static_cast<CLumekoView*>(m_app->GetMainFrame().centralWidget());
    // The client area lies inside the view's sunken edge.
    view->resize(width + 2 * CLumekoView::kEdge, height + 2 * CLumekoView::kEdge);
    const auto before = Clock::now();
    const QImage shown =
        view->grab(view->contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
    const auto after = Clock::now();
    ASSERT_EQ(shown.size(), QSize(width, height));

    int best = -1;
    double bestPsnr = 0;
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        const double psnr = Psnr(shown, frames[static_cast<size_t>(i)], width, height);
        if (psnr > bestPsnr) bestPsnr = psnr, best = i;
    }
    using Ms = std::chrono::duration<double, std::milli>;
    const double earliest = Ms(before - started).count(), latest = Ms(after - started).count() + 20;
    const int firstDue = static_cast<int>(earliest * 15 / 1000),
              lastDue = static_cast<int>(latest * 15 / 1000);
    EXPECT_GE(bestPsnr, 40.0) << "the view shows a decoded frame, upright and in its own colours";
    EXPECT_GE(best, firstDue - 1) << "best match at " << bestPsnr << " dB";
    EXPECT_LE(best, lastDue + 1) << "best match at " << bestPsnr << " dB";
}

// A logout's SIGTERM, or Ctrl+C in the terminal, ends the program as Exit does: the
// window closes, saving its place, and the settings are written on the way out.
TEST_F(AppTest, StopSignalsEndTheProgramAsExitDoes) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        std::filesystem::remove(m_settingsPath);
        Start({m_dir.File("a.avi"), "/play"});
        ASSERT_TRUE(RunUntil([&] { return m_app->GetDocument().m_bPlaying; }));
        m_app->GetMainFrame().move(123, 45);
        std::raise(signal);
        EXPECT_TRUE(RunUntil([&] { return !m_app->GetMainFrame().isVisible(); }, 1.0));
        m_app.reset();
        std::ifstream in(m_settingsPath);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        EXPECT_NE(text.find("x_position="), std::string::npos) << text;
        EXPECT_NE(text.find("File1=" + m_dir.File("a.avi")), std::string::npos) << text;
        m_argv.clear();
    }
}

// The player's keys, through the window as a user presses them, and the position
// slider dragged and let go.
TEST_F(AppTest, KeysAndTheSliderMoveWithinTheMovie) {
    moviemaker::MovieSpec spec;
    spec.width = 64;
    spec.height = 48;
    spec.frames = 300;  // 20 seconds at 15 frames a second
    spec.keyEvery = 30;
    spec.sound = moviemaker::SoundKind::kNone;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, m_dir.File("long.avi")).Ok());
    Start({m_dir.File("long.avi")});
    CLumekoDoc& doc = m_app->GetDocument();
    CMainFrame& frame = m_app->GetMainFrame();
    ASSERT_TRUE(RunUntil([&] { return doc.m_bOpen; }));
    frame.activateWindow();
    Settle();
    auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(&frame, key, modifiers);
        QCoreApplication::processEvents();
    };

    // Stopped, a seek waits paused at its target; the slider and the time follow.
    press(Qt::Key_Right);
    EXPECT_EQ(doc.CurrentFrame(), 75u);
    EXPECT_TRUE(doc.m_bPlaying && doc.m_bPaused);
    Settle();
    EXPECT_EQ(frame.PositionSlider()->value(), 75);
    EXPECT_EQ(frame.PositionText(), "0:05 / 0:20");
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        uint32_t frame;
    };
    for (const Step& step :
         {Step{Qt::Key_Period, Qt::NoModifier, 76}, Step{Qt::Key_Comma, Qt::NoModifier, 75},
          Step{Qt::Key_Comma, Qt::NoModifier, 74}, Step{Qt::Key_Left, Qt::NoModifier, 0},
          Step{Qt::Key_Comma, Qt::NoModifier, 0}, Step{Qt::Key_Right, Qt::ShiftModifier, 299},
          Step{Qt::Key_Home, Qt::NoModifier, 0}, Step{Qt::Key_End, Qt::NoModifier, 299},
          Step{Qt::Key_Left, Qt::ShiftModifier, 0}, Step{Qt::Key_Right, Qt::NoModifier, 75}}) {
        press(step.key, step.modifiers);
        EXPECT_EQ(doc.CurrentFrame(), step.frame)
            << QKeySequence(step.key | step.modifiers).toString().toStdString();
    }

    // Space plays on from the frame on screen and pauses again; a frame step pauses.
    press(Qt::Key_Space);
    EXPECT_FALSE(doc.m_bPaused);
    RunUntil([] { return false; }, 0.5);
    EXPECT_GT(doc.CurrentFrame(), 75u);
    press(Qt::Key_Period);
    EXPECT_TRUE(doc.m_bPaused);
    const uint32_t stepped = doc.CurrentFrame();
    press(Qt::Key_Space);
    EXPECT_FALSE(doc.m_bPaused);

    // The slider dragged while playing shows frames as it goes and plays on from where it
    // is let go.
    QSlider* slider = frame.PositionSlider();
    slider->setSliderDown(true);
    EXPECT_TRUE(doc.m_bPaused) << "taking the slider holds the picture";
    for (const int value : {200, 150, 160}) {
        slider->setSliderPosition(value);
        EXPECT_EQ(doc.CurrentFrame(), static_cast<uint32_t>(value));
    }
    slider->setSliderDown(false);
    EXPECT_EQ(doc.CurrentFrame(), 160u);
    EXPECT_FALSE(doc.m_bPaused) << "let go, the movie plays on";
    RunUntil([] { return false; }, 0.3);
    EXPECT_GT(doc.CurrentFrame(), 160u);
    EXPECT_GT(doc.CurrentFrame(), stepped);

    // F enters full screen while playing, Escape leaves it; S stops.
    press(Qt::Key_F);
    EXPECT_TRUE(m_app->GetMainFrame().centralWidget() != nullptr);
    auto* view = static_cast<CLumekoView*>(frame.centralWidget());
    EXPECT_TRUE(view->IsFullScreen());
    // Escape goes where the keys go in full screen: to the view, which has the focus.
    QTest::keyClick(view, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->IsFullScreen());
    press(Qt::Key_F);
    press(Qt::Key_F);
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_FALSE(view->FullScreenSetting()) << "F turns full screen off as it turned it on";
    press(Qt::Key_S);
    EXPECT_FALSE(doc.m_bPlaying);

    // M mutes, the arrows up and down change the volume by tenths, and the bar shows it.
    const int volume = doc.GetVolume();
    press(Qt::Key_M);
    EXPECT_TRUE(doc.IsMuted());
    press(Qt::Key_Up);
    EXPECT_EQ(doc.GetVolume(), volume + 10);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(doc.GetVolume(), volume - 10);
    EXPECT_EQ(frame.VolumeSlider()->value(), volume - 10);
    press(Qt::Key_M);
    EXPECT_FALSE(doc.IsMuted());

    // Ctrl+C copies the picture at the movie's size.
    QGuiApplication::clipboard()->clear();
    press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(64, 48));
}

}  // namespace
