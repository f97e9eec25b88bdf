#pragma once

#include "benchrun.h"

#include <QProcess>
#include <QString>

// A terminal of NorvalkServer: a ProviderClient sending the look-up with the
// goods search provider.
TerminalFactory serverTerminals(quint16 port);

// Not a look-up: a request the server answers without the database (the
// provider's parameters), counted as one row found. Its time is what the
// protocol, the sockets and the server's own thread cost on every request.
TerminalFactory serverRoundTrips(quint16 port);

// Our own attachment layer (FbAttachment, the server's database side) used
// directly, the rows encoded as a worker encodes them for a reply.
TerminalFactory attachmentTerminals(const QString& database);

// NorvalkServer --headless on a free loopback port, for the length of one mode.
class ServerProcess final
{
public:
    ~ServerProcess();

    // Starts the program and waits until it answers a look-up; throws
    // std::runtime_error with the reason and the program's log otherwise.
    void start(const QString& program, const QString& databasePath, int workers,
               const QString& logPath, const QStringList& extraArguments = {});
    // SIGTERM, then waits for the clean stop (killed after a bounded wait).
    void stop();
    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }

private:
    bool answersLookup() const;

    QProcess m_process;
    QString m_logPath;
    quint16 m_port = 0;
};
