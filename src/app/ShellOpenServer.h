#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

// Shell open for a running player, in place of DDE: a local socket named after the
// program's base name and the topic "system". Each line a client sends is one execute
// text, handed on as it came.
class ShellOpenServer {
public:
    static QString EndpointName(const QString& programBaseName);

    // Starts listening; false when the endpoint cannot be made (the player still runs).
    bool Listen(const QString& programBaseName, std::function<void(const std::string&)> onExecute);

    // The client: delivers each text to a running player; false when none answers.
    static bool Send(const QString& programBaseName, const std::vector<std::string>& texts);

private:
    QLocalServer m_server;
    std::function<void(const std::string&)> m_onExecute;
};
