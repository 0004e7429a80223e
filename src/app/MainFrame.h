#pragma once

#include <QLabel>
#include <QMainWindow>
#include <array>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "platform/Framework.h"
#include "platform/Settings.h"

class QAction;
class QMenu;
class QProgressBar;

// The main window: menu, tool bar, the three status panes, the view in the middle,
// and its position kept in the settings.
class CMainFrame final : public QMainWindow, public platform::IDocumentFrame {
public:
    CMainFrame(platform::ISettings& settings, QWidget* view);

    void SetPaneText(int pane, std::string_view text) override;
    void SetTitle(std::string_view title) override;
    void AddToRecentFileList(const std::string& path) override;
    void PostClose() override;

    // Binds a command to its handler and, optionally, to its state (enabled, checked).
    struct CommandState {
        bool enabled = true;
        bool checked = false;
    };
    void Route(int command, std::function<void()> handler, std::function<CommandState()> state = {});
    // Re-evaluates the state of every command (menus call it as they open; idle time for
    // the tool bar).
    void UpdateCommandStates();
    // The recent-file list belongs to the application: entries chosen, and paths opened.
    void SetRecentFileHandlers(std::function<void(size_t index)> open, std::function<void(const std::string&)> add) {
        m_openRecent = std::move(open);
        m_addRecent = std::move(add);
    }
    void SetRecentFiles(const std::vector<std::string>& paths);
    // A progress bar beside pane 0 for long work; hidden when total is 0.
    void ShowProgress(uint64_t done, uint64_t total);
    QString PaneText(int pane) const { return m_panes[static_cast<size_t>(pane)]->text(); }

    // Files dropped on the window go to the application's open entry, in order.
    void SetDropHandler(std::function<void(const std::string&)> open) { m_openDropped = std::move(open); }
    // Called after each move of the frame: the view's place on the screen moved with it.
    void SetMoveHandler(std::function<void()> moved) { m_moved = std::move(moved); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    QAction* Command(int id, const QString& text, const QString& prompt);
    void BuildMenus();
    void BuildToolBar();

    platform::ISettings& m_settings;
    std::array<QLabel*, 3> m_panes{};
    QProgressBar* m_progress = nullptr;
    std::map<int, QAction*> m_actions;
    std::map<int, std::function<CommandState()>> m_states;
    // The tool bar's buttons and the commands they show.
    std::vector<std::pair<QAction*, QAction*>> m_toolButtons;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    QAction* m_recentEnd = nullptr;
    std::vector<QAction*> m_recentActions;
    std::function<void(size_t)> m_openRecent;
    std::function<void(const std::string&)> m_addRecent;
    std::function<void(const std::string&)> m_openDropped;
    std::function<void()> m_moved;
};
