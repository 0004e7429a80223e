#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <map>

#include "OffscreenApp.h"
#include "app/CommandIds.h"
#include "app/CompressorDialog.h"
#include "app/MainFrame.h"
#include "app/QtConversionHost.h"
#include "convert/Compressor.h"
#include "moviemaker/MovieMaker.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"

// A conversion started from the window on Qt's offscreen platform: the dialogs are
// answered as a user would answer them, and while the frames are converted the user
// clicks, types, drops files and closes the window.
namespace {

constexpr char kPictures[] = "画像変換中";

class ConversionWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureOffscreenApp(); }

    // The document closes its movie without the window, which goes first.
    ~ConversionWindowTest() override { test.doc.AttachFrame(nullptr); }

    void Open(int height) {
        moviemaker::MovieSpec spec;
        spec.width = 32;
        spec.height = height;
        spec.frames = 40;
        spec.sound = moviemaker::SoundKind::kPcm16;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("source.avi")).Ok());
        test.doc.AttachFrame(&frame);
        test.doc.m_pendingFiles.push_back(dir.File("source.avi"));
        test.doc.IdleProcess(0);
        ASSERT_TRUE(test.doc.m_bOpen);
        for (int id :
             {ID_PLAY, ID_STOP, ID_PAUSE, ID_FILE_SELECT, ID_FILE_OPEN, ID_CONVERT, ID_APP_EXIT})
            frame.Route(id, [this, id] { ++ran[id]; });
        frame.SetDropHandler([this](const std::string&) { ++ran[-1]; });
        frame.SetRecentFiles({dir.File("other.avi")});
        frame.SetRecentFileHandlers([this](size_t) { ++ran[-2]; }, [](const std::string&) {});
        frame.show();
    }

    // Converts with the dialogs answered: the output name, then one compressor per
    // showing of the compressor dialog; a message box is closed with its button. While
    // the frames are converted, `during` runs once.
    void Convert(std::vector<uint32_t> compressors, const std::function<void()>& during) {
        QTimer user;
        bool acted = false;
        QObject::connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* save = qobject_cast<QFileDialog*>(modal)) {
                save->selectFile(QString::fromStdString(dir.File("out.avi")));
                static_cast<QDialog*>(save)->accept();  // what its Save button does
            } else if (auto* choose = dynamic_cast<CompressorDialog*>(modal)) {
                ASSERT_FALSE(compressors.empty());
                auto* list = choose->findChild<QListWidget*>();
                for (int row = 0; row < list->count(); ++row)
                    if (list->item(row)->data(Qt::UserRole).toUInt() == compressors.front())
                        list->setCurrentRow(row);
                compressors.erase(compressors.begin());
                choose->accept();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                messages.push_back(box->text().toStdString());
                // With the mouse, as a user would: input to the conversion's own boxes
                // must get through.
                QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
            } else if (!modal && !acted && frame.PaneText(0) == kPictures) {
                acted = true;
                during();
            }
        });
        user.start(0);
        // A box that input cannot close would hang the test: close it after a while.
        QTimer rescue;
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                stuck = true;
                box->done(0);
            }
        });
        rescue.start(5000);
        {
            QtConversionHost host(&frame);
            test.doc.OnConvert(host);
        }
        user.stop();
        EXPECT_TRUE(acted) << "the conversion ended before the user could act";
    }

    // Everything a user could do to the window, none of which may reach a command while
    // a conversion runs.
    void TryEveryCommand() {
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(&frame, Qt::Key_Space);
        for (QToolBar* bar : frame.findChildren<QToolBar*>())
            for (QAction* shown : bar->actions())
                if (QWidget* button = bar->widgetForAction(shown))
                    QTest::mouseClick(button, Qt::LeftButton);
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.File("other.avi")))});
        // A drop is delivered only after the drag has entered.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &files, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&frame, &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &drop);
        // Last: the File menu, by mouse and by keyboard, would stay open.
        QMenuBar* bar = frame.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(bar->actions().front()).center());
        QTest::keyClick(&frame, Qt::Key_F, Qt::AltModifier);
        QCoreApplication::processEvents();
    }

    TempDir dir;
    TestDocument test;
    CMainFrame frame{test.settings, new QWidget};
    std::map<int, int> ran;  // command (drops -1, recent files -2) → times run
    std::vector<std::string> messages;
    bool stuck = false;
};

TEST_F(ConversionWindowTest, CommandsAreHeldWhileConverting) {
    Open(16);
    Convert({movie::MakeFourCC("DIB ")}, [this] { TryEveryCommand(); });
    EXPECT_TRUE(ran.empty()) << "command " << ran.begin()->first << " ran during the conversion";
    EXPECT_EQ(frame.PaneText(0), "変換終了");
    EXPECT_TRUE(std::filesystem::exists(dir.File("out.avi")));
    EXPECT_TRUE(frame.isVisible());

    // Afterwards the same input reaches the commands again.
    TryEveryCommand();
    for (int command : {int{ID_FILE_OPEN}, int{ID_STOP}, int{ID_PLAY}, int{ID_PAUSE}, -1})
        EXPECT_EQ(ran[command], 1) << command;
}

TEST_F(ConversionWindowTest, EscapeCancelsAndLeavesNoFile) {
    Open(16);
    Convert({movie::MakeFourCC("MJPG")}, [this] { QTest::keyClick(&frame, Qt::Key_Escape); });
    EXPECT_NE(frame.PaneText(0), "変換終了");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.avi")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".out.avi"))
            << "the temporary file is left: " << entry.path();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(frame.isVisible());
}

TEST_F(ConversionWindowTest, CloseRequestCancelsThenCloses) {
    Open(16);
    Convert({movie::MakeFourCC("DIB ")}, [this] { frame.close(); });
    EXPECT_TRUE(frame.isVisible()) << "the window stays while the conversion unwinds";
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.avi")));
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".out.avi"))
            << "the temporary file is left: " << entry.path();
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame.isVisible());
}

// The compressor refused at the start: its message box and the dialog shown again both
// take the user's input although a conversion is under way.
TEST_F(ConversionWindowTest, RefusedCompressorsMessageAndDialogTakeInput) {
    bool haveH264 = false;
    for (const auto& c : convert::InstalledCompressors())
        haveH264 |= c.fccHandler == movie::MakeFourCC("H264");
    if (!haveH264) GTEST_SKIP() << "built without libx264";
    Open(15);  // an odd height, which H.264 in 4:2:0 cannot hold
    Convert({movie::MakeFourCC("H264"), movie::MakeFourCC("DIB ")}, [] {});
    EXPECT_FALSE(stuck) << "the message box took no input";
    EXPECT_EQ(messages, std::vector<std::string>{"このCODECには変換できません"});
    EXPECT_EQ(frame.PaneText(0), "変換終了");
    EXPECT_TRUE(std::filesystem::exists(dir.File("out.avi")));
}

}  // namespace

namespace {

// The compressor dialog: only what the chosen compressor heeds can be changed, and what
// is accepted comes back in the variables.
TEST_F(ConversionWindowTest, CompressorDialogOffersWhatEachCompressorHeeds) {
    convert::COMPVARS vars;
    CompressorDialog dialog(vars, &frame);
    auto* list = dialog.findChild<QListWidget*>();
    const auto spins = dialog.findChildren<QSpinBox*>();
    ASSERT_EQ(spins.size(), 3);  // quality, key frames, data rate, in that order
    struct Case {
        uint32_t code;
        bool quality, keyFrames, dataRate;
    };
    const auto fcc = [](const char(&code)[5]) { return movie::MakeFourCC(code); };
    for (const Case& c :
         {Case{fcc("DIB "), false, false, false}, Case{fcc("MJPG"), true, false, true},
          Case{fcc("DUCK"), false, true, false}, Case{fcc("H264"), true, true, true}}) {
        SCOPED_TRACE(c.code);
        int row = -1;
        for (int r = 0; r < list->count(); ++r)
            if (list->item(r)->data(Qt::UserRole).toUInt() == c.code) row = r;
        if (row < 0) continue;  // H.264 only with libx264
        list->setCurrentRow(row);
        EXPECT_EQ(spins[0]->isEnabled(), c.quality);
        EXPECT_EQ(spins[1]->isEnabled(), c.keyFrames);
        EXPECT_EQ(spins[2]->isEnabled(), c.dataRate);
    }
    list->setCurrentRow(2);
    spins[0]->setValue(55);
    spins[1]->setValue(4);
    spins[2]->setValue(300);
    dialog.accept();
    EXPECT_EQ(vars.fccHandler, movie::MakeFourCC("DUCK"));
    EXPECT_EQ(vars.lQ, 5500);
    EXPECT_EQ(vars.lKey, 4);
    EXPECT_EQ(vars.lDataRate, 300);
}

}  // namespace
