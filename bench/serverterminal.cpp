#include "bench/serverterminal.h"

#include "bench/articlecodes.h"
#include "bench/benchstatements.h"
#include "common/certificatefingerprint.h"
#include "common/providerclient.h"
#include "common/providernames.h"
#include "server/db/fbattachment.h"
#include "server/db/stockdatabase.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <chrono>

#include <stdexcept>

namespace {

constexpr int kConnectTimeoutMs = 10000;
// Bounded, so that a stuck server ends the run with errors instead of hanging it.
constexpr int kReplyTimeoutMs = 30000;
constexpr int kStartupTimeoutMs = 30000;
constexpr int kStopTimeoutMs = 15000;

const QString kProvider = QString::fromLatin1(ProviderNames::FindN_KLPREC);

class ServerTerminal final : public Terminal
{
public:
    explicit ServerTerminal(quint16 port, bool roundTripOnly = false,
                            const QString& fingerprint = QString())
        : m_roundTripOnly(roundTripOnly)
    {
        m_client.setTls(fingerprint);
        m_client.setHost(QStringLiteral("127.0.0.1"));
        m_client.setPort(port);
        m_client.setConnectTimeout(kConnectTimeoutMs);
        m_client.setReplyTimeout(kReplyTimeoutMs);
        m_client.connectToServer();
    }

    int lookUp(const QString& code) override
    {
        if (m_roundTripOnly) {
            m_client.getParams(kProvider);
            return 1;
        }
        RemoteParams params{RemoteParam::text(kLookupParam, code)};
        return int(m_client.getRecords(kProvider, kLookupSql, params).rows.size());
    }

    void insertGroup(const QString& name) override
    {
        RemoteParams params{RemoteParam::text(kInsertParam, name)};
        const DataPacket packet = m_client.getRecords(kProvider, kInsertReturningSql, params);
        if (packet.rows.size() != 1)
            throw std::runtime_error("insert returned no key");
    }

private:
    ProviderClient m_client;
    const bool m_roundTripOnly;
};

class AttachmentTerminal final : public Terminal
{
public:
    explicit AttachmentTerminal(const QString& database) { openStockDatabase(m_db, database); }

    int lookUp(const QString& code) override
    {
        return m_db.runEncoded(kLookupSql, {RemoteParam::text(kLookupParam, code)}).rowCount;
    }

    void insertGroup(const QString& name) override
    {
        m_db.runEncoded(kInsertSql, {RemoteParam::text(kInsertParam, name)});
    }

private:
    FbAttachment m_db;
};

// One scrape: true when the answer was a page of metrics.
bool scrapeOnce(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray response;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(2000))
        response += socket.readAll();
    response += socket.readAll();
    return response.startsWith("HTTP/1.1 200") && response.contains("norvalk_requests_total");
}

} // namespace

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("no free loopback port");
    return probe.serverPort();
}

MetricsScraper::MetricsScraper(quint16 port, std::chrono::milliseconds interval)
{
    m_thread = std::thread([this, port, interval] {
        const auto step = std::chrono::milliseconds(20);
        while (!m_stop.load()) {
            ++(scrapeOnce(port) ? m_scrapes : m_failures);
            for (auto waited = std::chrono::milliseconds(0); waited < interval && !m_stop.load();
                 waited += step)
                std::this_thread::sleep_for(step);
        }
    });
}

MetricsScraper::~MetricsScraper()
{
    m_stop = true;
    m_thread.join();
}

TerminalFactory serverTerminals(quint16 port)
{
    return [port]() -> std::unique_ptr<Terminal> { return std::make_unique<ServerTerminal>(port); };
}

TerminalFactory serverTlsTerminals(quint16 port, const QString& fingerprint)
{
    return [port, fingerprint]() -> std::unique_ptr<Terminal> {
        return std::make_unique<ServerTerminal>(port, false, fingerprint);
    };
}

QString makeCertificate(const QString& folder, QString* certificate, QString* key)
{
    *certificate = folder + QStringLiteral("/bench-server.pem");
    *key = folder + QStringLiteral("/bench-server.key");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=bench"), QStringLiteral("-keyout"), *key,
                   QStringLiteral("-out"), *certificate});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        throw std::runtime_error("openssl could not make the bench's certificate");
    QFile file(*certificate);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the bench's certificate");
    const QList<QSslCertificate> read = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (read.isEmpty())
        throw std::runtime_error("the bench's certificate is not one");
    return CertificateFingerprint(read.first().toDer());
}

QList<double> tlsReconnects(quint16 port, const QString& fingerprint, int count)
{
    QList<double> times;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        ServerTerminal terminal(port, true, fingerprint);
        terminal.lookUp(QString());
        times.append(double(clock.nsecsElapsed()) / 1e6);
    }
    return times;
}

TerminalFactory serverRoundTrips(quint16 port)
{
    return [port]() -> std::unique_ptr<Terminal> {
        return std::make_unique<ServerTerminal>(port, true);
    };
}

TerminalFactory attachmentTerminals(const QString& database)
{
    return [database]() -> std::unique_ptr<Terminal> {
        return std::make_unique<AttachmentTerminal>(database);
    };
}

ServerProcess::~ServerProcess()
{
    stop();
}

void ServerProcess::start(const QString& program, const QString& databasePath, int workers,
                          const QString& logPath, const QStringList& extraArguments,
                          const QString& fingerprint)
{
    m_port = freePort();
    m_fingerprint = fingerprint;
    m_logPath = logPath;
    // Into a file: a pipe nobody reads during the run would stall the server's logging.
    m_process.setStandardOutputFile(logPath, QIODevice::Append);
    m_process.setStandardErrorFile(logPath, QIODevice::Append);
    m_process.start(program,
                    QStringList{QStringLiteral("--headless"), QStringLiteral("--port"),
                                QString::number(m_port), QStringLiteral("--database"), databasePath,
                                QStringLiteral("--workers"), QString::number(workers)} +
                        extraArguments);
    if (!m_process.waitForStarted(kStartupTimeoutMs))
        throw std::runtime_error(
            ("cannot start " + program + ": " + m_process.errorString()).toStdString());
    const QDeadlineTimer deadline(kStartupTimeoutMs);
    while (!answersLookup()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            stop();
            QFile log(logPath);
            log.open(QIODevice::ReadOnly);
            throw std::runtime_error(
                ("NorvalkServer did not come up; its log:\n" + QString::fromUtf8(log.readAll()))
                    .toStdString());
        }
        QThread::msleep(100);
    }
}

bool ServerProcess::answersLookup() const
{
    try {
        return ServerTerminal(m_port, false, m_fingerprint).lookUp(generatedArticleCode(1)) == 1;
    } catch (const std::exception&) {
        return false;
    }
}

void ServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
}
