#include "app/MainFrame.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QMoveEvent>
#include <QPainter>
#include <QProgressBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "app/CommandIds.h"

namespace {

constexpr char kSection[] = "Lumeko";
constexpr int kFrameWidth = 332;
constexpr int kFrameHeight = 319;
constexpr int kMaxTrackingHeight = 2000;
// Names in the File menu are shortened to this many characters.
constexpr int kRecentNameLength = 30;

// Tool bar pictures, drawn rather than stored: 11 × 11 glyphs.
QIcon Glyph(int command) {
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(32, 32, 32));
    switch (command) {
        case ID_STOP:
            p.drawRect(2, 2, 7, 7);
            break;
        case ID_PLAY:
            p.drawPolygon(QPolygonF({QPointF(2, 1), QPointF(10, 5.5), QPointF(2, 10)}));
            break;
        case ID_PAUSE:
            p.drawRect(2, 2, 3, 7);
            p.drawRect(6, 2, 3, 7);
            break;
        case ID_MUTE:
            p.drawPolygon(QPolygonF({QPointF(1, 4), QPointF(3.5, 4), QPointF(7, 1), QPointF(7, 10),
                                     QPointF(3.5, 7), QPointF(1, 7)}));
            p.setPen(QPen(QColor(32, 32, 32), 1));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(5.5, 3, 4, 5), -60 * 16, 120 * 16);
            break;
        case ID_FULL_SCREEN:
            p.setPen(QPen(QColor(32, 32, 32), 1.2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(1, 2, 9, 7));
            break;
        default: {
            p.setPen(QColor(32, 32, 32));
            QFont font = p.font();
            font.setPixelSize(command == ID_ASPECT ? 5 : 9);
            font.setBold(true);
            p.setFont(font);
            const char* text = command == ID_NORMAL   ? "1"
                               : command == ID_DOUBLE ? "2"
                               : command == ID_TRIPLE ? "3"
                                                      : "4:3";
            p.drawText(QRect(0, 0, 11, 11), Qt::AlignCenter, text);
        }
    }
    return QIcon(pixmap);
}

// What each tool bar button does, for its tool tip and its accessible name; the key
// that does the same follows in the tip.
struct ButtonText {
    int command;
    const char* name;
    const char* key;
};
constexpr ButtonText kButtonTexts[] = {
    {ID_STOP, "Stop", "S"},
    {ID_PLAY, "Play", "Space"},
    {ID_PAUSE, "Pause", "Space"},
    {ID_NORMAL, "Normal size", nullptr},
    {ID_DOUBLE, "Double size", nullptr},
    {ID_TRIPLE, "Triple size", nullptr},
    {ID_ASPECT, "4:3 aspect correction", nullptr},
    {ID_FULL_SCREEN, "Full screen", "F; Esc leaves it"},
};

// Minutes and seconds, with hours when the movie has them: "1:05", "1:02:03".
QString ClockText(double seconds) {
    const auto whole = static_cast<long long>(seconds);
    if (whole >= 3600)
        return QString("%1:%2:%3")
            .arg(whole / 3600)
            .arg(whole / 60 % 60, 2, 10, QChar('0'))
            .arg(whole % 60, 2, 10, QChar('0'));
    return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

QString Shortened(const std::string& path) {
    QString name = QString::fromStdString(path);
    if (name.size() <= kRecentNameLength) return name;
    return "..." + name.right(kRecentNameLength - 3);
}

}  // namespace

CMainFrame::CMainFrame(platform::ISettings& settings, QWidget* view) : m_settings(settings) {
    setCentralWidget(view);
    resize(kFrameWidth, kFrameHeight);
    // The frame may be dragged (or sized) taller than the screen.
    setMaximumHeight(kMaxTrackingHeight);
    setWindowIcon(QIcon(QCoreApplication::applicationDirPath() + "/../share/lumeko/lumeko.svg"));
    const int x = m_settings.GetProfileInt(kSection, "x_position", INT32_MIN);
    const int y = m_settings.GetProfileInt(kSection, "y_position", INT32_MIN);
    // Under Wayland the compositor places windows; a client cannot.
    if (x != INT32_MIN && y != INT32_MIN && !QGuiApplication::platformName().startsWith("wayland"))
        move(x, y);

    // Panes: 0 stretches (prompts and progress), 1 the elapsed time, 2 the running time.
    const int unit = (std::abs(fontMetrics().height()) + 1) / 2;
    for (size_t i = 0; i < m_panes.size(); ++i) {
        m_panes[i] = new QLabel(i == 0 ? QString() : QStringLiteral(" 0: 0"), this);
        m_panes[i]->setMinimumWidth((i == 0 ? 10 : 5) * unit);
        if (i == 0) {
            statusBar()->addWidget(m_panes[i], 1);
        } else {
            m_panes[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            statusBar()->addPermanentWidget(m_panes[i]);
        }
    }
    m_progress = new QProgressBar(this);
    m_progress->setMaximumHeight(fontMetrics().height());
    m_progress->setTextVisible(false);
    m_progress->hide();
    statusBar()->insertWidget(1, m_progress, 1);
    statusBar()->setSizeGripEnabled(false);
    BuildMenus();
    BuildToolBar();
    BuildPositionBar();
    BuildKeys();
    SetTitle("無題");
    setAcceptDrops(true);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    activateWindow();
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && m_openDropped) m_openDropped(url.toLocalFile().toStdString());
    event->acceptProposedAction();
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (m_moved) m_moved();
}

QAction* CMainFrame::Command(int id, const QString& text, const QString& prompt) {
    auto* action = new QAction(text, this);
    action->setData(id);
    if (!prompt.isEmpty()) {
        // The prompt shows in pane 0 while the item is highlighted.
        connect(action, &QAction::hovered, this, [this, prompt] { m_panes[0]->setText(prompt); });
    }
    m_actions[id] = action;
    return action;
}

void CMainFrame::BuildMenus() {
    m_fileMenu = menuBar()->addMenu("&File");
    auto* open = Command(ID_FILE_SELECT, "&Open...\tCtrl+O", "ファイルを選択する");
    m_fileMenu->addAction(open);
    m_fileMenu->addAction(Command(ID_CONVERT, "&Convert...", "ファイルを変換する"));
    m_fileMenu->addAction(
        Command(ID_SAVE_PICTURE, "Save &Picture…", "表示中の画像をPNGファイルに保存する"));
    m_fileMenu->addSeparator();
    m_recentPlaceholder = Command(ID_FILE_MRU_FIRST, "最新のﾌｧｲﾙ", "指定のﾌｧｲﾙを開く");
    m_recentPlaceholder->setEnabled(false);
    m_fileMenu->addAction(m_recentPlaceholder);
    m_recentEnd = m_fileMenu->addSeparator();
    m_fileMenu->addAction(Command(ID_APP_EXIT, "E&xit", "アプリケーションを終了する"));

    QMenu* setup = menuBar()->addMenu("&Setup");
    setup->addAction(Command(ID_NORMAL, "&Normal", "元のｻｲｽﾞで表示"));
    setup->addAction(Command(ID_DOUBLE, "&Double", "２倍表示"));
    setup->addAction(Command(ID_TRIPLE, "&Triple", "３倍表示"));
    setup->addAction(Command(ID_MAXIMUM, "&Maximum", "最大化表示"));
    setup->addSeparator();
    setup->addAction(Command(ID_LOOP, "&Loop", ""));
    setup->addAction(Command(ID_FULL_SCREEN, "&Full Screen", "フルスクリーン表示"));
    setup->addAction(Command(ID_DIRECT_DRAW, "Direct Draw", "Direct Drawを使用する"));

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(Command(ID_HELP_FINDER, "&Help", "ヘルプを表示"));
    help->addAction(Command(ID_FILE_INFO, "&Information...", "ファイル情報の表示"));
    help->addAction(Command(ID_APP_ABOUT, "&About...", "プログラムの情報を表示"));

    // Ctrl+O is the framework's one-file open prompt, not the menu's Open.
    auto* prompt = Command(ID_FILE_OPEN, "Open", "ﾌｧｲﾙを開く");
    prompt->setShortcut(QKeySequence("Ctrl+O"));
    addAction(prompt);

    for (QMenu* menu : {m_fileMenu, setup, help}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
        connect(menu, &QMenu::aboutToHide, this, [this] { m_panes[0]->clear(); });
    }
}

void CMainFrame::BuildToolBar() {
    auto* bar = new QToolBar(this);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(22, 22));
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    // Stop, Play, Pause and the aspect button exist only here; the others repeat menu items.
    Command(ID_STOP, "Stop", "");
    Command(ID_PLAY, "Play", "");
    Command(ID_PAUSE, "Pause", "");
    Command(ID_ASPECT, "Aspect", "");
    auto button = [&](int id) {
        auto* shown = new QAction(Glyph(id), QString(), bar);
        shown->setData(id);
        connect(shown, &QAction::triggered, m_actions[id], &QAction::trigger);
        bar->addAction(shown);
        m_toolButtons.emplace_back(shown, m_actions[id]);
        for (const ButtonText& t : kButtonTexts) {
            if (t.command != id) continue;
            shown->setToolTip(t.key ? QString("%1 (%2)").arg(t.name, t.key) : QString(t.name));
            // Reachable with Tab, and named for screen readers.
            QWidget* widget = bar->widgetForAction(shown);
            widget->setAccessibleName(t.name);
            widget->setFocusPolicy(Qt::TabFocus);
        }
    };
    for (int id : {ID_STOP, ID_PLAY, ID_PAUSE}) button(id);
    bar->addSeparator();
    for (int id : {ID_NORMAL, ID_DOUBLE, ID_TRIPLE}) button(id);
    bar->addSeparator();
    for (int id : {ID_ASPECT, ID_FULL_SCREEN}) button(id);
    // The bars lie along the bottom, the tool bar above the status bar.
    addToolBar(Qt::BottomToolBarArea, bar);
}

void CMainFrame::BuildPositionBar() {
    auto* bar = new QToolBar("Position", this);
    bar->setObjectName("position");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);

    m_positionSlider = new QSlider(Qt::Horizontal, bar);
    m_positionSlider->setAccessibleName("Position");
    m_positionSlider->setToolTip(
        "Position: drag to look through the movie (←/→ 5 s, Shift+←/→ 1 min, Home/End, "
        "comma/period one frame)");
    m_positionSlider->setFocusPolicy(Qt::TabFocus);
    m_positionSlider->setRange(0, 0);
    m_positionSlider->setEnabled(false);
    m_positionSlider->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_positionSlider->setMinimumWidth(40);
    bar->addWidget(m_positionSlider);
    connect(m_positionSlider, &QSlider::sliderPressed, this, [this] {
        if (m_seek.pressed) m_seek.pressed();
    });
    connect(m_positionSlider, &QSlider::sliderMoved, this, [this](int value) {
        if (m_seek.moved) m_seek.moved(static_cast<uint32_t>(value));
    });
    connect(m_positionSlider, &QSlider::sliderReleased, this, [this] {
        if (m_seek.released) m_seek.released(static_cast<uint32_t>(m_positionSlider->value()));
    });
    // A click beside the handle or a key moves the slider without a drag: a seek at once.
    connect(m_positionSlider, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction)
            return;
        QTimer::singleShot(0, this, [this] {
            if (m_seek.released && !m_positionSlider->isSliderDown())
                m_seek.released(static_cast<uint32_t>(m_positionSlider->value()));
        });
    });

    m_timeLabel = new QLabel("0:00 / 0:00", bar);
    m_timeLabel->setAccessibleName("Time");
    m_timeLabel->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(m_timeLabel);

    Command(ID_MUTE, "Mute", "");
    m_muteButton = new QToolButton(bar);
    m_muteButton->setIcon(Glyph(ID_MUTE));
    m_muteButton->setIconSize(QSize(22, 22));
    m_muteButton->setAutoRaise(true);
    m_muteButton->setCheckable(true);
    m_muteButton->setToolTip("Mute (M)");
    m_muteButton->setAccessibleName("Mute");
    m_muteButton->setFocusPolicy(Qt::TabFocus);
    connect(m_muteButton, &QToolButton::clicked, this, [this] { m_actions[ID_MUTE]->trigger(); });
    bar->addWidget(m_muteButton);

    m_volumeSlider = new QSlider(Qt::Horizontal, bar);
    m_volumeSlider->setRange(0, 200);
    m_volumeSlider->setPageStep(10);
    m_volumeSlider->setValue(100);
    m_volumeSlider->setFixedWidth(60);
    m_volumeSlider->setAccessibleName("Volume");
    m_volumeSlider->setToolTip("Volume (↑/↓)");
    m_volumeSlider->setFocusPolicy(Qt::TabFocus);
    connect(m_volumeSlider, &QSlider::valueChanged, this, [this](int value) {
        if (m_volumeChanged) m_volumeChanged(value);
    });
    bar->addWidget(m_volumeSlider);

    // A line of its own, nearer the picture than the buttons: lines added later lie
    // above the earlier ones.
    addToolBarBreak(Qt::BottomToolBarArea);
    addToolBar(Qt::BottomToolBarArea, bar);
}

void CMainFrame::BuildKeys() {
    struct Key {
        int command;
        const char* text;
        QKeySequence key;
    };
    const Key keys[] = {
        {ID_PLAY_PAUSE, "Play/Pause", Qt::Key_Space},
        {ID_STOP, nullptr, Qt::Key_S},
        {ID_SEEK_BACK, "Back 5 seconds", Qt::Key_Left},
        {ID_SEEK_FORWARD, "Forward 5 seconds", Qt::Key_Right},
        {ID_SEEK_BACK_LONG, "Back 1 minute", QKeySequence(Qt::SHIFT | Qt::Key_Left)},
        {ID_SEEK_FORWARD_LONG, "Forward 1 minute", QKeySequence(Qt::SHIFT | Qt::Key_Right)},
        {ID_SEEK_START, "To the start", Qt::Key_Home},
        {ID_SEEK_END, "To the end", Qt::Key_End},
        {ID_STEP_BACK, "One frame back", Qt::Key_Comma},
        {ID_STEP_FORWARD, "One frame forward", Qt::Key_Period},
        {ID_TOGGLE_FULL_SCREEN, "Full screen on/off", Qt::Key_F},
        {ID_MUTE, nullptr, Qt::Key_M},
        {ID_VOLUME_UP, "Louder", Qt::Key_Up},
        {ID_VOLUME_DOWN, "Softer", Qt::Key_Down},
        {ID_COPY_PICTURE, "Copy Picture", QKeySequence::Copy},
    };
    // Escape is the full-screen view's own key (it has the focus there): a window-wide
    // shortcut would take it from the view on every display server.
    for (const Key& k : keys) {
        QAction* action = k.text ? Command(k.command, k.text, "") : m_actions[k.command];
        action->setShortcut(k.key);
        // Window-wide: the keys work whichever control has the focus.
        addAction(action);
    }
}

void CMainFrame::ShowPosition(uint32_t frame, uint32_t frames, double framesPerSecond) {
    // Called at every idle pass: what is already shown costs nothing.
    const Position position{frame, frames, framesPerSecond, m_positionSlider->isSliderDown(),
                            m_positionSlider->value()};
    if (position == m_shownPosition) return;
    m_shownPosition = position;
    m_fFramesPerSecond = framesPerSecond;
    const int last = frames ? static_cast<int>(std::min<uint32_t>(frames - 1, INT32_MAX)) : 0;
    if (m_positionSlider->maximum() != last) {
        m_positionSlider->setRange(0, last);
        // A page is about a tenth of the movie, a step one frame.
        m_positionSlider->setPageStep(std::max(1, last / 10));
    }
    // The user's drag is not to be fought.
    if (!m_positionSlider->isSliderDown()) {
        const QSignalBlocker quiet(m_positionSlider);
        m_positionSlider->setValue(
            static_cast<int>(std::min<uint32_t>(frame, static_cast<uint32_t>(last))));
    }
    const uint32_t shown =
        m_positionSlider->isSliderDown() ? static_cast<uint32_t>(m_positionSlider->value()) : frame;
    const double perSecond = framesPerSecond > 0 ? framesPerSecond : 1;
    m_timeLabel->setText(frames
                             ? ClockText(shown / perSecond) + " / " + ClockText(frames / perSecond)
                             : QString("0:00 / 0:00"));
    m_shownPosition.sliderValue = m_positionSlider->value();
}

void CMainFrame::ShowVolume(int percent, bool muted) {
    const QSignalBlocker quiet(m_volumeSlider);
    m_volumeSlider->setValue(percent);
    m_muteButton->setChecked(muted);
    m_volumeSlider->setToolTip(QString("Volume %1% (↑/↓)").arg(percent));
}

void CMainFrame::Route(int command, std::function<void()> handler,
                       std::function<CommandState()> state) {
    auto it = m_actions.find(command);
    if (it == m_actions.end()) return;
    connect(it->second, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    if (state) m_states[command] = std::move(state);
}

void CMainFrame::UpdateCommandStates() {
    for (auto& [id, state] : m_states) {
        if (!state) continue;
        const CommandState s = state();
        QAction* action = m_actions[id];
        action->setEnabled(s.enabled);
        action->setCheckable(s.checked || action->isCheckable());
        action->setChecked(s.checked);
    }
    if (m_positionEnabled)
        m_positionSlider->setEnabled(m_positionEnabled() && m_positionSlider->maximum() > 0);
    for (const auto& [shown, command] : m_toolButtons) {
        shown->setEnabled(command->isEnabled());
        shown->setCheckable(command->isCheckable());
        shown->setChecked(command->isChecked());
    }
}

void CMainFrame::SetRecentFiles(const std::vector<std::string>& paths) {
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater();
    }
    m_recentActions.clear();
    m_recentPlaceholder->setVisible(paths.empty());
    for (size_t i = 0; i < paths.size(); ++i) {
        auto* action = new QAction(QString("&%1 %2").arg(i + 1).arg(Shortened(paths[i])), this);
        connect(action, &QAction::triggered, this, [this, i] {
            if (m_openRecent) m_openRecent(i);
        });
        connect(action, &QAction::hovered, this,
                [this] { m_panes[0]->setText("指定のﾌｧｲﾙを開く"); });
        m_fileMenu->insertAction(m_recentEnd, action);
        m_recentActions.push_back(action);
    }
}

void CMainFrame::ShowProgress(uint64_t done, uint64_t total) {
    m_progress->setVisible(total > 0);
    if (total == 0) return;
    m_progress->setRange(0, 1000);
    m_progress->setValue(static_cast<int>(done * 1000 / total));
}

void CMainFrame::SetPaneText(int pane, std::string_view text) {
    if (pane >= 0 && pane < static_cast<int>(m_panes.size()))
        m_panes[static_cast<size_t>(pane)]->setText(
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void CMainFrame::SetTitle(std::string_view title) {
    setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())) +
                   " - Lumeko");
}

void CMainFrame::AddToRecentFileList(const std::string& path) {
    if (m_addRecent) m_addRecent(path);
}

void CMainFrame::PostClose() {
    QTimer::singleShot(0, this, [this] { close(); });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Full screen or maximised, the place to come back to is the normal window's.
    const bool normal = !(windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized));
    const QRect frame = normal ? frameGeometry() : normalGeometry();
    m_settings.WriteProfileInt(kSection, "x_position", frame.left());
    m_settings.WriteProfileInt(kSection, "y_position", frame.top());
    event->accept();
}
