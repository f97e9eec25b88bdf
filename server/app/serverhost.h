#pragma once

#include "server/db/unitsinflight.h"
#include "server/net/allowlist.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>

class ServerMetrics;
class ServerTls;
class SessionServer;
class StatementCatalogue;
class TServerModuleData;

struct ServerOptions
{
    quint16 port = 211;
    QString databaseOverride; // --database: used instead of the configuration store
    int workerCount = 4;
    int stallTimeoutMs = 30000;
    // --listen and --allow; when not given, the configuration store's
    // "Listen" and "Allow" beside "MainDB", else every interface and everyone.
    std::optional<QString> listenAddress;
    std::optional<QString> allowList;
    // --metrics ADDRESS:PORT, else the store's "Metrics"; off when neither is given.
    std::optional<QString> metricsAddress;
    int maxClients = 0;      // --max-clients; 0: as many as the descriptor limit leaves room for
    int stopGraceMs = 10000; // --grace: how long a stop lets running statements finish
    // --certificate and --key, else the store's "Certificate" and "Key": the
    // terminals' link is TLS 1.3 with them; plain TCP when neither is given.
    std::optional<QString> certificateFile;
    std::optional<QString> keyFile;
    // --terminals, else the store's "Terminals": only the terminals the file
    // enrolls are served. Needs TLS.
    std::optional<QString> terminalsFile;
    // --statements FILE, else the store's "Statements": the catalogue of the
    // statement texts terminals may send; every text runs when neither is given.
    std::optional<QString> statementsFile;
};

// Start-up, serving and the session monitor of NorvalkServer, shared by the
// window and the headless mode. DSServer1 is the session server; the
// database connection is one attachment per session worker.
//
// Everything it reports goes through three signals: logLine (every line of
// the process log), message (what the user must read: a message box or
// standard error) and connectionCountChanged.
class ServerHost final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerHost)

public:
    enum class Startup
    {
        Serving,  // database open, transport listening
        Degraded, // transport listening, database not open: requests fail at the database
        Ended,    // the program must end (no configured path, or the port is taken)
    };

    explicit ServerHost(ServerOptions options, QObject* parent = nullptr);
    ~ServerHost() override;

    // The start-up sequence: path from the configuration store, database, transport.
    Startup start();

    int connectionCount() const { return m_connectionCount; }
    quint16 port() const;
    // The address shown in the window: the first IPv4 address of the host
    // name, or else of the network interfaces, that is not a loopback one;
    // failing that the host name's own; "0" when the name does not resolve.
    static QString ServerIpAddress();
    static QString shownAddress(const QList<QHostAddress>& hostName,
                                const QList<QHostAddress>& interfaces);
    // The organisation/application/group/value of the per-user configuration
    // store, over the machine's file (see ServerSettings).
    static QString configuredDatabasePath(bool* found);
    // Another value of the same group ("Listen", "Allow"); nothing when absent.
    static std::optional<QString> configuredValue(const QString& name);

    // What SIGHUP and the window's button do, for a changed schema or
    // settings without stopping the terminals: every worker drops its
    // prepared statements at its next idle moment, so changed triggers and
    // procedures take effect, and the stored settings are read again. A new
    // "Allow" applies to the terminals that connect from now on; a new
    // "Listen" or "MainDB" is logged as waiting for a restart. The terminals
    // file is read again; a file with a wrong line leaves the list in force.
    // Values given
    // "Listen" or "MainDB" is logged as waiting for a restart. The statement
    // catalogue's file is read again for the terminals that connect from now
    // on; a file that cannot be used leaves the one in force. Values given
    // on the command line stay as they are.
    void reload();

    // Stops accepting, lets the requests in flight be answered (waiting up to
    // graceMs, by default --grace, for a statement that is still running,
    // then cancelling it), then closes the sessions and the database. False
    // when a worker stayed inside the database even then; the program should
    // end without waiting.
    bool shutdown(int graceMs = -1);

signals:
    void logLine(const QString& text);
    void message(const QString& text);
    void connectionCountChanged(int count);
    // Just before the terminals' port opens, after the database client has
    // set its own signal handlers: whoever sees the port open may stop the
    // server at once, so a stop must be caught from here on.
    void aboutToListen();

private:
    std::shared_ptr<TServerModuleData> DSServerClass1GetClass();
    void DSServer1Connect();
    void DSServer1Disconnect();
    void DSServer1Error(const QString& error);
    bool openDatabase(const QString& path);
    bool startSessionServer(const QString& path);
    bool startMetrics();
    QString metricsText() const;
    QString listenText() const;
    std::optional<AllowList> allowList(QString* wrongEntry) const;
    void logAllowList(const AllowList& allow);
    QString configuredText(const std::optional<QString>& given, const QString& name) const;
    bool loadTls();
    void reloadTerminals();
    QString statementsPath() const;
    // Reads the catalogue named by the options or the store into
    // m_statements; false with *error when the file cannot be used.
    bool loadStatements(QString* error);
    // What the sessions' modules report from their workers reaches logLine
    // on this object's thread, and nothing once the host is gone.
    struct LogRelay
    {
        std::mutex lock;
        ServerHost* host = nullptr;
    };

    ServerOptions m_options;
    QString m_databasePath; // as served
    QString m_listenText;   // as served
    QString m_metricsText;  // as served
    // Before the session server, whose workers and listener report to it to their end.
    std::unique_ptr<ServerMetrics> m_metrics;
    std::shared_ptr<ServerTls> m_tls; // null: plain TCP
    QString m_tlsText;                // certificate, key and terminals files as served
    std::unique_ptr<SessionServer> m_DSServer1;
    // Shared with every session's module (and so across the workers).
    std::shared_ptr<UnitsInFlight> m_unitsInFlight = std::make_shared<UnitsInFlight>();
    int m_connectionCount = 0;
    // Read by the listener's thread as it makes each session's module, set by
    // start-up and SIGHUP on this one.
    mutable std::mutex m_statementsLock;
    std::shared_ptr<const StatementCatalogue> m_statements; // null: the lock is off
    std::shared_ptr<LogRelay> m_logRelay = std::make_shared<LogRelay>();
};
