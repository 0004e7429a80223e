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
class QSlider;
class QToolButton;

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
    void Route(int command, std::function<void()> handler,
               std::function<CommandState()> state = {});
    // Re-evaluates the state of every command (menus call it as they open; idle time for
    // the tool bar).
    void UpdateCommandStates();
    // The recent-file list belongs to the application: entries chosen, and paths opened.
    void SetRecentFileHandlers(std::function<void(size_t index)> open,
                               std::function<void(const std::string&)> add) {
        m_openRecent = std::move(open);
        m_addRecent = std::move(add);
    }
    void SetRecentFiles(const std::vector<std::string>& paths);
    // A progress bar beside pane 0 for long work; hidden when total is 0.
    void ShowProgress(uint64_t done, uint64_t total);
    QString PaneText(int pane) const { return m_panes[static_cast<size_t>(pane)]->text(); }

    // The position bar under the picture: a slider over the movie's frames with the time
    // beside it, and the volume. `frames` 0 empties it.
    void ShowPosition(uint32_t frame, uint32_t frames, double framesPerSecond);
    void ShowVolume(int percent, bool muted);
    // Dragging the slider: pressed, each move (to scrub), released (to seek).
    struct SeekHandlers {
        std::function<void()> pressed;
        std::function<void(uint32_t frame)> moved;
        std::function<void(uint32_t frame)> released;
    };
    void SetSeekHandlers(SeekHandlers handlers) { m_seek = std::move(handlers); }
    void SetVolumeHandler(std::function<void(int percent)> changed) {
        m_volumeChanged = std::move(changed);
    }
    // Whether the slider may be used now (evaluated with the command states).
    void SetPositionState(std::function<bool()> enabled) { m_positionEnabled = std::move(enabled); }
    QSlider* PositionSlider() const { return m_positionSlider; }
    QSlider* VolumeSlider() const { return m_volumeSlider; }
    QString PositionText() const { return m_timeLabel->text(); }

    // Files dropped on the window go to the application's open entry, in order.
    void SetDropHandler(std::function<void(const std::string&)> open) {
        m_openDropped = std::move(open);
    }
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
    void BuildPositionBar();
    void BuildKeys();

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
    QSlider* m_positionSlider = nullptr;
    // What the position bar shows now.
    struct Position {
        uint32_t frame = 0;
        uint32_t frames = UINT32_MAX;
        double framesPerSecond = 0;
        bool sliderDown = false;
        int sliderValue = 0;
        bool operator==(const Position&) const = default;
    };
    Position m_shownPosition;
    QLabel* m_timeLabel = nullptr;
    QToolButton* m_muteButton = nullptr;
    QSlider* m_volumeSlider = nullptr;
    double m_fFramesPerSecond = 0;
    SeekHandlers m_seek;
    std::function<void(int)> m_volumeChanged;
    std::function<bool()> m_positionEnabled;
};
