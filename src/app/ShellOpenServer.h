#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

// Shell open for a running player: a local socket named after the program's base name,
// the topic "system" and the user. Two kinds of message reach it:
//  - execute texts, one per line, as a shell sends them; each is handed on as it came;
//  - a hand-over from another start of the program (`lumeko FILE`, `lumeko --send`):
//    absolute paths as bytes, each ended by a NUL, the list ended by an empty one. It
//    is acknowledged once every path has been handed on, so the sender knows nothing
//    was lost.
// The socket lives in the abstract namespace: it vanishes with its owner, and binding it
// is atomic, so when the owner ends exactly one of the waiting players takes it over.
// Only the user's own processes are served.
class ShellOpenServer {
public:
    using Handler = std::function<void(const std::string&)>;

    static QString EndpointName(const QString& programBaseName);

    // Serves the endpoint; while another player serves it, watches that one and takes
    // the endpoint over when it ends. True when serving now.
    bool Listen(const QString& programBaseName, Handler onExecute, Handler onHandOver);
    bool IsServing() const { return m_server.isListening(); }

    // The hand-over: delivers the paths to a running player; false when none answers
    // or it did not acknowledge them all.
    static bool Send(const QString& programBaseName, const std::vector<std::string>& paths);
    // Execute texts as a shell would send them, one per line.
    static bool SendExecuteTexts(const QString& programBaseName,
                                 const std::vector<std::string>& texts);

private:
    bool TryServe();
    void Watch();
    void Serve(QLocalSocket* client);

    QString m_name;
    QLocalServer m_server;
    QLocalSocket m_watch;
    QTimer m_retry;
    Handler m_onExecute;
    Handler m_onHandOver;
};
