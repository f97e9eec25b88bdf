#pragma once

#include "bench/benchrun.h"

#include <QProcess>
#include <QString>

#include <atomic>
#include <thread>

// A terminal of NorvalkServer: a ProviderClient sending the look-up with the
// goods search provider.
TerminalFactory serverTerminals(quint16 port);
// The same over TLS 1.3, pinning the server's certificate by its fingerprint.
TerminalFactory serverTlsTerminals(quint16 port, const QString& fingerprint);

// A self-signed certificate and key made with openssl in folder, as
// scripts/make-certificate makes a shop's; returns its fingerprint. Throws
// std::runtime_error when openssl fails.
QString makeCertificate(const QString& folder, QString* certificate, QString* key);

// Milliseconds of each of count reconnects over TLS: connect, handshake and
// the reply to one request without the database.
QList<double> tlsReconnects(quint16 port, const QString& fingerprint, int count);

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

    // Starts the program and waits until it answers a look-up (over TLS,
    // pinning fingerprint, when one is given); throws
    // std::runtime_error with the reason and the program's log otherwise.
    void start(const QString& program, const QString& databasePath, int workers,
               const QString& logPath, const QStringList& extraArguments = {},
               const QString& fingerprint = QString());
    // SIGTERM, then waits for the clean stop (killed after a bounded wait).
    void stop();
    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }

private:
    bool answersLookup() const;

    QProcess m_process;
    QString m_logPath;
    QString m_fingerprint;
    quint16 m_port = 0;
};

// A free TCP port on 127.0.0.1; throws std::runtime_error when there is none.
quint16 freePort();

// What Prometheus does to a server with --metrics: GET /metrics every
// interval, on a thread of its own, until the object goes.
class MetricsScraper final
{
public:
    MetricsScraper(quint16 port, std::chrono::milliseconds interval);
    ~MetricsScraper();
    MetricsScraper(const MetricsScraper&) = delete;
    MetricsScraper& operator=(const MetricsScraper&) = delete;

    int scrapes() const { return m_scrapes.load(); }
    int failures() const { return m_failures.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_scrapes{0};
    std::atomic<int> m_failures{0};
    std::thread m_thread;
};
