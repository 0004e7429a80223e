#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QToolBar>

#include "OffscreenApp.h"
#include "app/MainFrame.h"
#include "platform/MemorySettings.h"

// The main window's menu, bars, title and position, on Qt's offscreen platform.
namespace {

class MainFrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureOffscreenApp(); }
    platform::MemorySettings settings;
};

QStringList Texts(const QList<QAction*>& actions) {
    QStringList texts;
    for (QAction* a : actions) texts << (a->isSeparator() ? "-" : a->text());
    return texts;
}

TEST_F(MainFrameTest, MenusBarsAndPanes) {
    CMainFrame frame(settings, new QWidget);
    const auto menus = frame.menuBar()->actions();
    ASSERT_EQ(Texts(menus), (QStringList{"&File", "&Setup", "&Help"}));
    EXPECT_EQ(Texts(menus[0]->menu()->actions()),
              (QStringList{"&Open...\tCtrl+O", "&Convert...", "Save &Picture…", "-", "最新のﾌｧｲﾙ",
                           "-", "E&xit"}));
    EXPECT_EQ(Texts(menus[1]->menu()->actions()),
              (QStringList{"&Normal", "&Double", "&Triple", "&Maximum", "-", "&Loop",
                           "&Full Screen", "Direct Draw"}));
    EXPECT_EQ(Texts(menus[2]->menu()->actions()),
              (QStringList{"&Help", "&Information...", "&About..."}));
    EXPECT_FALSE(menus[0]->menu()->actions()[4]->isEnabled())
        << "the empty recent-file entry is greyed";

    // The buttons' bar, and the position bar above it; both along the bottom.
    const auto bars = frame.findChildren<QToolBar*>();
    ASSERT_EQ(bars.size(), 2);
    QToolBar* buttonBar = bars[0]->objectName() == "position" ? bars[1] : bars[0];
    int buttons = 0;
    for (QAction* a : buttonBar->actions()) buttons += a->isSeparator() ? 0 : 1;
    EXPECT_EQ(buttons, 8);
    for (QToolBar* bar : bars) EXPECT_EQ(frame.toolBarArea(bar), Qt::BottomToolBarArea);

    EXPECT_EQ(frame.PaneText(0), "");
    EXPECT_EQ(frame.PaneText(1), " 0: 0");
    EXPECT_EQ(frame.PaneText(2), " 0: 0");
    EXPECT_EQ(frame.windowTitle(), "無題 - Lumeko");
    frame.SetTitle("demo.avi");
    EXPECT_EQ(frame.windowTitle(), "demo.avi - Lumeko");
    EXPECT_EQ(frame.maximumHeight(), 2000);

    // A highlighted item shows its prompt in pane 0.
    menus[1]->menu()->actions()[1]->hover();
    EXPECT_EQ(frame.PaneText(0), "２倍表示");
}

// Every button says what it does and which key does the same, has a name for screen
// readers, and can be reached with Tab.
TEST_F(MainFrameTest, ButtonsHaveTipsNamesAndTheKeyboard) {
    CMainFrame frame(settings, new QWidget);
    QStringList tips, names;
    for (QToolBar* bar : frame.findChildren<QToolBar*>())
        for (QAction* a : bar->actions()) {
            QWidget* widget = bar->widgetForAction(a);
            if (a->isSeparator() || !widget) continue;
            const QString tip = a->toolTip().isEmpty() || a->toolTip() == a->text()
                                    ? widget->toolTip()
                                    : a->toolTip();
            tips << tip;
            names << widget->accessibleName();
            if (!qobject_cast<QLabel*>(widget)) {
                EXPECT_TRUE(widget->focusPolicy() & Qt::TabFocus) << tip.toStdString();
            }
        }
    for (const char* expected :
         {"Stop (S)", "Play (Space)", "Pause (Space)", "Normal size", "Double size", "Triple size",
          "4:3 aspect correction", "Full screen (F; Esc leaves it)", "Mute (M)"})
        EXPECT_TRUE(tips.contains(expected)) << expected;
    EXPECT_FALSE(names.contains(QString())) << names.join(",").toStdString();
    EXPECT_TRUE(names.contains("Position"));
    EXPECT_TRUE(names.contains("Volume"));
}

TEST_F(MainFrameTest, RecentFilesAreShortenedInTheMenu) {
    CMainFrame frame(settings, new QWidget);
    frame.SetRecentFiles({"/a/short.avi", "/a/very/long/path/to/some/movie/file/name.avi"});
    const QStringList texts = Texts(frame.menuBar()->actions()[0]->menu()->actions());
    EXPECT_TRUE(texts.contains("&1 /a/short.avi"));
    EXPECT_TRUE(texts.contains("&2 ...to/some/movie/file/name.avi"));
}

// Files dropped on the view reach the frame, which hands them on in order.
TEST_F(MainFrameTest, DroppedFilesAreQueuedInTheOrderGiven) {
    auto* view = new QWidget;
    CMainFrame frame(settings, view);
    frame.show();
    std::vector<std::string> opened;
    frame.SetDropHandler([&](const std::string& path) { opened.push_back(path); });
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/m/c.avi"), QUrl("https://example.invalid/x.avi"),
                  QUrl::fromLocalFile("/m/a.avi"), QUrl::fromLocalFile("/m/b b.avi")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &drop);
    EXPECT_EQ(opened, (std::vector<std::string>{"/m/c.avi", "/m/a.avi", "/m/b b.avi"}));
}

TEST_F(MainFrameTest, MovesAreReportedForTheViewsScreenRectangle) {
    CMainFrame frame(settings, new QWidget);
    int moves = 0;
    frame.SetMoveHandler([&] { ++moves; });
    frame.show();
    QCoreApplication::processEvents();
    const int before = moves;
    frame.move(frame.pos() + QPoint(30, 20));
    QCoreApplication::processEvents();
    EXPECT_GT(moves, before);
}

TEST_F(MainFrameTest, PositionIsSavedOnCloseAndUsedAtTheNextStart) {
    {
        CMainFrame frame(settings, new QWidget);
        frame.show();
        frame.move(123, 45);
        frame.close();
    }
    const int x = settings.GetProfileInt("Lumeko", "x_position", -1);
    const int y = settings.GetProfileInt("Lumeko", "y_position", -1);
    EXPECT_NE(x, -1);
    EXPECT_NE(y, -1);
    CMainFrame again(settings, new QWidget);
    EXPECT_EQ(again.frameGeometry().topLeft(), QPoint(x, y));
}

}  // namespace
