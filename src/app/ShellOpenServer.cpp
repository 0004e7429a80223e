#include "app/ShellOpenServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace {
// Execute texts longer than this are cut, as a shell's execute buffer would.
constexpr qsizetype kMaxExecuteText = 519;
// A hand-over path longer than the system's longest path is no path: the sender is cut off.
constexpr qsizetype kMaxPath = 4096;
constexpr char kHandOverMark = '\0';
constexpr char kAcknowledge = 'k';
constexpr int kConnectTimeoutMs = 1000;
constexpr int kAcknowledgeTimeoutMs = 5000;
// How soon a waiting player tries again after another one won the endpoint.
constexpr int kRetryMs = 250;

bool SameUser(const QLocalSocket& socket) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                      &length) == 0 &&
           peer.uid == getuid();
}

bool Connect(QLocalSocket& socket, const QString& programBaseName) {
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(ShellOpenServer::EndpointName(programBaseName));
    return socket.waitForConnected(kConnectTimeoutMs);
}

// What one client has sent so far.
struct Conversation {
    QByteArray pending;
    bool decided = false;
    bool handOver = false;
};
}  // namespace

QString ShellOpenServer::EndpointName(const QString& programBaseName) {
    // One endpoint per user, so players of different users never meet.
    return QString("%1-system-%2").arg(programBaseName).arg(getuid());
}

bool ShellOpenServer::Listen(const QString& programBaseName, Handler onExecute,
                             Handler onHandOver) {
    m_name = EndpointName(programBaseName);
    m_onExecute = std::move(onExecute);
    m_onHandOver = std::move(onHandOver);
    m_server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
        while (QLocalSocket* client = m_server.nextPendingConnection()) Serve(client);
    });
    m_retry.setSingleShot(true);
    QObject::connect(&m_retry, &QTimer::timeout, [this] {
        if (!TryServe()) Watch();
    });
    // The owner ended (or was never there): this player takes the endpoint, or, when
    // another waiting one was quicker, watches that one instead.
    QObject::connect(&m_watch, &QLocalSocket::disconnected, [this] { m_retry.start(0); });
    QObject::connect(&m_watch, &QLocalSocket::errorOccurred, [this] {
        if (m_watch.state() == QLocalSocket::UnconnectedState && !m_retry.isActive())
            m_retry.start(0);
    });
    if (TryServe()) return true;
    Watch();
    return false;
}

bool ShellOpenServer::TryServe() {
    return m_server.isListening() || m_server.listen(m_name);
}

void ShellOpenServer::Watch() {
    m_watch.abort();
    m_watch.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    m_watch.connectToServer(m_name);
    // An endpoint nobody answers: try again a little later rather than spin.
    if (m_watch.state() == QLocalSocket::UnconnectedState) m_retry.start(kRetryMs);
}

void ShellOpenServer::Serve(QLocalSocket* client) {
    QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    if (!SameUser(*client)) {
        client->abort();
        return;
    }
    auto conversation = std::make_shared<Conversation>();
    QObject::connect(client, &QLocalSocket::readyRead, client, [this, client, conversation] {
        Conversation& c = *conversation;
        c.pending += client->readAll();
        if (!c.decided && !c.pending.isEmpty()) {
            c.decided = true;
            c.handOver = c.pending.front() == kHandOverMark;
            if (c.handOver) c.pending.remove(0, 1);
        }
        const char end = c.handOver ? '\0' : '\n';
        qsizetype at;
        while ((at = c.pending.indexOf(end)) >= 0) {
            const QByteArray item = c.pending.left(at);
            c.pending.remove(0, at + 1);
            if (!c.handOver) {
                m_onExecute(item.left(kMaxExecuteText).toStdString());
            } else if (item.isEmpty()) {
                client->write(&kAcknowledge, 1);
                client->flush();
                return;
            } else {
                m_onHandOver(item.toStdString());
            }
        }
        if (c.handOver && c.pending.size() > kMaxPath) client->abort();
        if (!c.handOver && c.pending.size() > kMaxPath) c.pending.clear();
    });
}

bool ShellOpenServer::Send(const QString& programBaseName, const std::vector<std::string>& paths) {
    QLocalSocket socket;
    if (!Connect(socket, programBaseName)) return false;
    QByteArray message(1, kHandOverMark);
    for (const std::string& path : paths) {
        // A path holding a NUL cannot name a file; it would split into two.
        if (path.empty() || path.find('\0') != std::string::npos) continue;
        message += QByteArray::fromStdString(path) + '\0';
    }
    message += '\0';
    socket.write(message);
    if (!socket.waitForBytesWritten(kConnectTimeoutMs) && socket.bytesToWrite() > 0) return false;
    if (!socket.waitForReadyRead(kAcknowledgeTimeoutMs)) return false;
    return socket.read(1) == QByteArray(1, kAcknowledge);
}

bool ShellOpenServer::SendExecuteTexts(const QString& programBaseName,
                                       const std::vector<std::string>& texts) {
    QLocalSocket socket;
    if (!Connect(socket, programBaseName)) return false;
    for (const std::string& text : texts) socket.write(QByteArray::fromStdString(text) + '\n');
    socket.flush();
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}
