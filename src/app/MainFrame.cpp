#include "app/MainFrame.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMoveEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

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
        case ID_STOP: p.drawRect(2, 2, 7, 7); break;
        case ID_PLAY: p.drawPolygon(QPolygonF({QPointF(2, 1), QPointF(10, 5.5), QPointF(2, 10)})); break;
        case ID_PAUSE:
            p.drawRect(2, 2, 3, 7);
            p.drawRect(6, 2, 3, 7);
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
            const char* text = command == ID_NORMAL ? "1" : command == ID_DOUBLE ? "2" : command == ID_TRIPLE ? "3" : "4:3";
            p.drawText(QRect(0, 0, 11, 11), Qt::AlignCenter, text);
        }
    }
    return QIcon(pixmap);
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
    if (x != INT32_MIN && y != INT32_MIN && !QGuiApplication::platformName().startsWith("wayland")) move(x, y);

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
    };
    for (int id : {ID_STOP, ID_PLAY, ID_PAUSE}) button(id);
    bar->addSeparator();
    for (int id : {ID_NORMAL, ID_DOUBLE, ID_TRIPLE}) button(id);
    bar->addSeparator();
    for (int id : {ID_ASPECT, ID_FULL_SCREEN}) button(id);
    // The bars lie along the bottom, the tool bar above the status bar.
    addToolBar(Qt::BottomToolBarArea, bar);
}

void CMainFrame::Route(int command, std::function<void()> handler, std::function<CommandState()> state) {
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
    for (QToolBar* bar : findChildren<QToolBar*>())
        for (QAction* shown : bar->actions()) {
            const auto it = m_actions.find(shown->data().toInt());
            if (it == m_actions.end() || shown->isSeparator()) continue;
            shown->setEnabled(it->second->isEnabled());
            shown->setCheckable(it->second->isCheckable());
            shown->setChecked(it->second->isChecked());
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
        connect(action, &QAction::hovered, this, [this] { m_panes[0]->setText("指定のﾌｧｲﾙを開く"); });
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
        m_panes[static_cast<size_t>(pane)]->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void CMainFrame::SetTitle(std::string_view title) {
    setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())) + " - Lumeko");
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
