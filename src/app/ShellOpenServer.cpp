#include "app/ShellOpenServer.h"

#include <QLocalSocket>
#include <unistd.h>

namespace {
// Execute texts longer than this are cut, as the original's buffer did.
constexpr qsizetype kMaxExecuteText = 519;
constexpr int kConnectTimeoutMs = 1000;
}  // namespace

QString ShellOpenServer::EndpointName(const QString& programBaseName) {
    // One endpoint per user, so players of different users never meet.
    return QString("%1-system-%2").arg(programBaseName).arg(getuid());
}

bool ShellOpenServer::Listen(const QString& programBaseName, std::function<void(const std::string&)> onExecute) {
    m_onExecute = std::move(onExecute);
    const QString name = EndpointName(programBaseName);
    // A player that died leaves its endpoint behind; a live one answers and keeps it.
    if (!m_server.listen(name)) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(100)) return false;
        QLocalServer::removeServer(name);
        if (!m_server.listen(name)) return false;
    }
    QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
        while (QLocalSocket* client = m_server.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                while (client->canReadLine()) {
                    QByteArray line = client->readLine();
                    line.chop(1);
                    m_onExecute(line.left(kMaxExecuteText).toStdString());
                }
            });
        }
    });
    return true;
}

bool ShellOpenServer::Send(const QString& programBaseName, const std::vector<std::string>& texts) {
    QLocalSocket socket;
    socket.connectToServer(EndpointName(programBaseName));
    if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
    for (const std::string& text : texts) socket.write(QByteArray::fromStdString(text) + '\n');
    socket.flush();
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}
