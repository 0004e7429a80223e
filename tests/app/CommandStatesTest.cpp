#include <QMenuBar>

#include "ViewFixture.h"
#include "app/CommandIds.h"
#include "app/CommandStates.h"

// Which commands are enabled and checked with no movie, a movie open, playing and paused.
namespace {

class CommandStatesTest : public ViewFixture {};

struct Expected {
    bool play, stop, pause, info, convert;
};

TEST_F(CommandStatesTest, DocumentCommandsFollowOpenAndPlaying) {
    const std::string movie = Make(32, 16, 60);
    struct Case {
        const char* state;
        Expected enabled;
    };
    const Case cases[] = {
        {"no movie", {false, false, false, false, false}},
        {"open", {true, false, false, true, true}},
        {"playing", {false, true, true, true, true}},
        {"paused", {false, true, true, true, true}},
        {"stopped", {true, false, false, true, true}},
    };
    for (const Case& c : cases) {
        const std::string state = c.state;
        if (state == "open") Open(movie);
        if (state == "playing") services.doc.OnPlay();
        if (state == "paused") services.doc.OnPause();
        if (state == "stopped") services.doc.OnStop();
        const CLumekoDoc& doc = services.doc;
        const std::pair<int, bool> rows[] = {
            {ID_PLAY, c.enabled.play},       {ID_STOP, c.enabled.stop},
            {ID_PAUSE, c.enabled.pause},     {ID_FILE_INFO, c.enabled.info},
            {ID_CONVERT, c.enabled.convert}, {ID_LOOP, true},
            {ID_FILE_SELECT, true}};
        for (const auto& [id, enabled] : rows) {
            const CMainFrame::CommandState s = DocumentCommandState(id, doc);
            EXPECT_EQ(s.enabled, enabled) << id << " " << state;
            if (id != ID_LOOP) {
                EXPECT_FALSE(s.checked) << id << " " << state;
            }
        }
    }
}

TEST_F(CommandStatesTest, LoopIsCheckedByItsSwitchAndWorksWithoutAMovie) {
    EXPECT_FALSE(DocumentCommandState(ID_LOOP, services.doc).checked);
    services.doc.OnLoop();
    EXPECT_TRUE(DocumentCommandState(ID_LOOP, services.doc).checked);
    EXPECT_TRUE(DocumentCommandState(ID_LOOP, services.doc).enabled);
}

TEST_F(CommandStatesTest, ViewCommandsAreNeverDisabledAndCheckedByTheirSettings) {
    view->SetWindowSize(2);
    for (int id :
         {ID_NORMAL, ID_DOUBLE, ID_TRIPLE, ID_MAXIMUM, ID_ASPECT, ID_DIRECT_DRAW, ID_FULL_SCREEN}) {
        const CMainFrame::CommandState s = ViewCommandState(id, *view);
        EXPECT_TRUE(s.enabled) << id;
        EXPECT_EQ(s.checked, id == ID_DOUBLE) << id;
    }
    const std::pair<int, int> modes[] = {{1, ID_NORMAL}, {3, ID_TRIPLE}, {-1, ID_MAXIMUM}};
    for (const auto& [mode, id] : modes) {
        view->SetWindowSize(mode);
        for (int other : {ID_NORMAL, ID_DOUBLE, ID_TRIPLE, ID_MAXIMUM})
            EXPECT_EQ(ViewCommandState(other, *view).checked, other == id) << mode << " " << other;
    }
    view->OnAspectCorrect();
    view->OnDirectDraw();
    view->OnFullScreen();
    for (int id : {ID_ASPECT, ID_DIRECT_DRAW, ID_FULL_SCREEN})
        EXPECT_TRUE(ViewCommandState(id, *view).checked) << id;
}

// The frame shows the states on its menu items once it evaluates them.
TEST_F(CommandStatesTest, MenuItemsShowTheStates) {
    frame->Route(
        ID_PLAY, [] {}, [this] { return DocumentCommandState(ID_PLAY, services.doc); });
    frame->Route(
        ID_LOOP, [] {}, [this] { return DocumentCommandState(ID_LOOP, services.doc); });
    services.doc.OnLoop();
    frame->UpdateCommandStates();
    QAction* play = nullptr;
    QAction* loop = nullptr;
    for (QAction* menu : frame->menuBar()->actions())
        for (QAction* item : menu->menu()->actions()) {
            if (item->data().toInt() == ID_LOOP) loop = item;
        }
    for (QAction* a : frame->findChildren<QAction*>())
        if (a->data().toInt() == ID_PLAY && a->text() == "Play") play = a;
    ASSERT_TRUE(play && loop);
    EXPECT_FALSE(play->isEnabled());
    EXPECT_TRUE(loop->isChecked());
    Open(Make(32, 16));
    frame->UpdateCommandStates();
    EXPECT_TRUE(play->isEnabled());
}

}  // namespace
