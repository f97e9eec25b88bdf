// The metrics NorvalkServer serves to an administrator's Prometheus: where
// they are served (command line over the configuration store, nowhere
// unless asked), wrong addresses, and that the figures follow what the
// terminals do: requests by operation and outcome, connected terminals,
// cached statements, write conflicts and refusals by cause. Write conflicts
// are resolved by the server: terminals saving units on the same rows at once
// each get through in one request, and a unit that fails otherwise runs once.

#include "common/frame.h"
#include "common/providerclient.h"
#include "common/providernames.h"
#include "tests/support/loadprobe.h"
#include "tests/support/testcertificates.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <future>
#include <vector>

namespace {

const QString kUpdate = QString::fromLatin1(ProviderNames::Update);

// The body of GET /metrics, or the reason there is none.
QString scrape(quint16 port, bool* served = nullptr)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (served)
        *served = false;
    if (!socket.waitForConnected(5000))
        return QStringLiteral("not connected: ") + socket.errorString();
    socket.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray response;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        response += socket.readAll();
    response += socket.readAll();
    const qsizetype bodyStart = response.indexOf("\r\n\r\n");
    if (!response.startsWith("HTTP/1.1 200") || bodyStart < 0)
        return QStringLiteral("no metrics: ") + QString::fromUtf8(response.left(200));
    if (served)
        *served = true;
    return QString::fromUtf8(response.mid(bodyStart + 4));
}

// The value of one series ("name" or "name{labels}", labels in the order
// served), NaN when the text has no such line.
double valueOf(const QString& metrics, const QString& series)
{
    for (QStringView line : QStringView(metrics).split(u'\n')) {
        if (line.startsWith(series) && line.size() > series.size() && line[series.size()] == u' ')
            return line.mid(series.size() + 1).toDouble();
    }
    return std::nan("");
}

QString requests(const QString& operation, const QString& outcome)
{
    return QStringLiteral("norvalk_requests_total{operation=\"%1\",outcome=\"%2\"}")
        .arg(operation, outcome);
}

QString refusals(const QString& cause)
{
    return QStringLiteral("norvalk_refusals_total{cause=\"%1\"}").arg(cause);
}

void pointAt(ProviderClient& client, quint16 port)
{
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.setReplyTimeout(60000);
}

// "ok", or the server's refusal, for one request of a fresh terminal.
QString askNames(quint16 port)
{
    ProviderClient client;
    pointAt(client, port);
    try {
        client.getProviderNames();
        return QStringLiteral("ok");
    } catch (const RemoteError& error) {
        return error.message();
    }
}

} // namespace

class TestServerMetrics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wrongAddressEndsTheStart_data();
    void wrongAddressEndsTheStart();
    void whereTheyAreServed_data();
    void whereTheyAreServed();
    void requestsAndTerminalsAreCounted();
    void conflictingUnitsEachLandOnce();
    void failedUnitIsNotRunAgain_data();
    void failedUnitIsNotRunAgain();
    void refusalsAreCountedByCause_data();
    void refusalsAreCountedByCause();

private:
    TestDatabase m_database;
    QTemporaryDir m_home;
    TestCertificates m_certificates;
    TestCertificates::Pair m_server;
};

void TestServerMetrics::initTestCase()
{
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    QVERIFY(m_home.isValid());
    m_server = m_certificates.make(QStringLiteral("veikals"));
    QVERIFY2(!m_server.key.isEmpty(), qPrintable(m_certificates.error()));
}

void TestServerMetrics::wrongAddressEndsTheStart_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    const QString notAnAddress =
        QStringLiteral("nav IPv4 adrese ar portu (piemēram, 127.0.0.1:9464) !!!");
    QTest::newRow("no port") << "127.0.0.1" << notAnAddress;
    QTest::newRow("empty port") << "127.0.0.1:" << notAnAddress;
    QTest::newRow("port out of range") << "127.0.0.1:65536" << notAnAddress;
    QTest::newRow("signed port") << "127.0.0.1:+9464" << notAnAddress;
    QTest::newRow("host name") << "serveris:9464" << notAnAddress;
    QTest::newRow("port alone") << "9464" << notAnAddress;
    QTest::newRow("IPv6") << "[::1]:9464" << notAnAddress;
    QTest::newRow("port taken") << "taken" << QStringLiteral("Nevaru atvērt metriku adresi");
}

void TestServerMetrics::wrongAddressEndsTheStart()
{
    QFETCH(QString, address);
    QFETCH(QString, message);
    QTcpServer taken;
    if (address == QLatin1String("taken")) {
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        address = QStringLiteral("127.0.0.1:%1").arg(taken.serverPort());
    }
    TestServer server;
    const int exitCode = server.runToEnd(
        {QStringLiteral("--port"), QString::number(TestServer::freePort()),
         QStringLiteral("--database"), m_database.path(), QStringLiteral("--metrics"), address});
    QVERIFY(exitCode != 0);
    QVERIFY2(server.standardError().contains(message), qPrintable(server.standardError()));
    QVERIFY(!server.standardOutput().contains(QStringLiteral("Gaidu termināļus")));
}

void TestServerMetrics::whereTheyAreServed_data()
{
    QTest::addColumn<bool>("inStore");
    QTest::addColumn<bool>("onCommandLine");
    QTest::addColumn<bool>("servedAtStore");
    QTest::addColumn<bool>("servedAtCommandLine");
    QTest::newRow("neither: off") << false << false << false << false;
    QTest::newRow("store") << true << false << true << false;
    QTest::newRow("command line") << false << true << false << true;
    QTest::newRow("command line over the store") << true << true << false << true;
}

void TestServerMetrics::whereTheyAreServed()
{
    QFETCH(bool, inStore);
    QFETCH(bool, onCommandLine);
    QFETCH(bool, servedAtStore);
    QFETCH(bool, servedAtCommandLine);
    const quint16 storePort = TestServer::freePort();
    quint16 commandLinePort = TestServer::freePort();
    while (commandLinePort == storePort)
        commandLinePort = TestServer::freePort();
    const QString configHome =
        m_home.filePath(QStringLiteral("config-%1").arg(QTest::currentDataTag()));
    {
        QSettings store(configHome + QStringLiteral("/TOLVEX/Norvalk.conf"), QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Bazes"));
        store.setValue(QStringLiteral("MainDB"), m_database.path());
        if (inStore)
            store.setValue(QStringLiteral("Metrics"),
                           QStringLiteral("127.0.0.1:%1").arg(storePort));
    }
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    TestServer server;
    server.setEnvironment(environment);
    QStringList arguments;
    if (onCommandLine)
        arguments << QStringLiteral("--metrics")
                  << QStringLiteral("127.0.0.1:%1").arg(commandLinePort);
    QVERIFY(server.start(QString(), arguments));

    bool served = false;
    const QString atStore = scrape(storePort, &served);
    QVERIFY2(served == servedAtStore, qPrintable(atStore));
    const QString atCommandLine = scrape(commandLinePort, &served);
    QVERIFY2(served == servedAtCommandLine, qPrintable(atCommandLine));
    if (served)
        QTRY_VERIFY(server.standardOutput().contains(
            QStringLiteral("Metrikas: http://127.0.0.1:%1/metrics").arg(commandLinePort)));
    if (!servedAtStore && !servedAtCommandLine)
        QVERIFY(!server.standardOutput().contains(QStringLiteral("Metrikas:")));
}

void TestServerMetrics::requestsAndTerminalsAreCounted()
{
    const quint16 metricsPort = TestServer::freePort();
    TestServer server;
    QVERIFY(server.start(m_database.path(), {QStringLiteral("--metrics"),
                                             QStringLiteral("127.0.0.1:%1").arg(metricsPort)}));
    // The start-up probe of the test server has come and gone.
    QTRY_VERIFY(server.standardOutput().contains(QStringLiteral("Atvienojies.")));
    const QString before = scrape(metricsPort);
    QCOMPARE(valueOf(before, QStringLiteral("norvalk_terminals_connected")), 0.0);
    QCOMPARE(valueOf(before, requests(QStringLiteral("AS_GetRecords"), QStringLiteral("ok"))), 0.0);

    {
        ProviderClient client;
        pointAt(client, server.port());
        RemoteParams none;
        QCOMPARE(client.getProviderNames().size(), 11);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(client
                         .getRecords(kUpdate,
                                     QStringLiteral("SELECT ISN FROM N_PRGRUP WHERE ISN = 2"), none)
                         .rows.size(),
                     1);
        QVERIFY_THROWS_EXCEPTION(
            RemoteError,
            client.getRecords(kUpdate, QStringLiteral("SELECT NOSUCH FROM N_PRGRUP"), none));
        client.execute(kUpdate, QStringLiteral("UPDATE N_PRGRUP SET GNOS = GNOS WHERE ISN = 2"),
                       none);

        const QString during = scrape(metricsPort);
        QCOMPARE(valueOf(during, QStringLiteral("norvalk_terminals_connected")), 1.0);
        QCOMPARE(valueOf(during, requests(QStringLiteral("AS_GetRecords"), QStringLiteral("ok"))),
                 3.0);
        QCOMPARE(
            valueOf(during, requests(QStringLiteral("AS_GetRecords"), QStringLiteral("failed"))),
            1.0);
        QCOMPARE(valueOf(during, requests(QStringLiteral("AS_Execute"), QStringLiteral("ok"))),
                 1.0);
        QCOMPARE(
            valueOf(during, requests(QStringLiteral("AS_GetProviderNames"), QStringLiteral("ok"))),
            1.0);
        QCOMPARE(valueOf(during, QStringLiteral(
                                     "norvalk_request_seconds_count{operation=\"AS_GetRecords\"}")),
                 4.0);
        QVERIFY(valueOf(during, QStringLiteral(
                                    "norvalk_request_seconds_sum{operation=\"AS_GetRecords\"}")) >
                0);
        // The select and the update stay prepared; the failed one never was.
        QCOMPARE(valueOf(during, QStringLiteral("norvalk_statements_cached")), 2.0);
    }
    QTRY_COMPARE(valueOf(scrape(metricsPort), QStringLiteral("norvalk_terminals_connected")), 0.0);

    // SIGHUP drops the prepared statements of every worker.
    QVERIFY(server.reload());
    QTRY_COMPARE(valueOf(scrape(metricsPort), QStringLiteral("norvalk_statements_cached")), 0.0);
}

void TestServerMetrics::conflictingUnitsEachLandOnce()
{
    const quint16 metricsPort = TestServer::freePort();
    TestServer server;
    QVERIFY(server.start(m_database.path(), {QStringLiteral("--metrics"),
                                             QStringLiteral("127.0.0.1:%1").arg(metricsPort)}));
    // Terminals on several workers move the stock of the same goods, one
    // unit after another, and hold the row a while after: they meet each
    // other's uncommitted change. Goods 12 has no stock row in department 3
    // yet, so the first ones also race to make it.
    constexpr int kTerminals = 4;
    constexpr int kUnits = 3;
    const QString unit = QStringLiteral(
        "EXECUTE BLOCK (G INTEGER = :G, D INTEGER = :D, NOTE VARCHAR(40) = :NOTE) AS "
        "DECLARE I INTEGER = 0; BEGIN "
        "EXECUTE PROCEDURE UPDATETEKATLIK(:G, :D, 1, 'F', 0); "
        "INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (GEN_ID(N_PRGRUPGEN, 1), :NOTE); "
        "WHILE (I < 300000) DO I = I + 1; END");
    const RemoteParams params{RemoteParam::integer(QStringLiteral("G"), 12),
                              RemoteParam::integer(QStringLiteral("D"), 3),
                              RemoteParam::text(QStringLiteral("NOTE"), QStringLiteral("kopā"))};
    std::vector<std::future<QStringList>> terminals;
    for (int t = 0; t < kTerminals; ++t) {
        terminals.push_back(std::async(std::launch::async, [&server, &unit, &params] {
            ProviderClient client;
            pointAt(client, server.port());
            QStringList errors;
            for (int u = 0; u < kUnits; ++u) {
                RemoteParams sent = params;
                try {
                    client.execute(kUpdate, unit, sent);
                } catch (const RemoteError& error) {
                    errors << error.message();
                }
            }
            return errors;
        }));
    }
    QStringList errors;
    for (std::future<QStringList>& terminal : terminals)
        errors << terminal.get();
    QCOMPARE(errors, QStringList());

    ProviderClient reader;
    pointAt(reader, server.port());
    RemoteParams none;
    const DataPacket stock = reader.getRecords(
        kUpdate,
        QStringLiteral("SELECT COUNT(*), SUM(ATLIKUMS) FROM O_TEKATLIK WHERE ISPRECE = 12 AND "
                       "ISNODALA = 3"),
        none);
    // One stock row, moved once by every unit; one group row per unit.
    QCOMPARE(stock.rows.value(0).value(0).toInt(), 1);
    QCOMPARE(stock.rows.value(0).value(1).toDouble(), double(kTerminals * kUnits));
    const DataPacket added = reader.getRecords(
        kUpdate, QStringLiteral("SELECT COUNT(*) FROM N_PRGRUP WHERE GNOS = 'kopā'"), none);
    QCOMPARE(added.rows.value(0).value(0).toInt(), kTerminals * kUnits);

    // Each unit took one request; the collisions were run again by the server.
    const QString metrics = scrape(metricsPort);
    QCOMPARE(valueOf(metrics, requests(QStringLiteral("AS_Execute"), QStringLiteral("ok"))),
             double(kTerminals * kUnits));
    QCOMPARE(valueOf(metrics, requests(QStringLiteral("AS_Execute"), QStringLiteral("failed"))),
             0.0);
    const double resolved =
        valueOf(metrics, QStringLiteral("norvalk_write_conflicts_total{outcome=\"resolved\"}"));
    QVERIFY2(resolved > 0, qPrintable(metrics));
    QVERIFY(valueOf(metrics, QStringLiteral("norvalk_units_retried_total")) >= resolved);
    QCOMPARE(valueOf(metrics, QStringLiteral("norvalk_write_conflicts_total{outcome=\"failed\"}")),
             0.0);
}

void TestServerMetrics::failedUnitIsNotRunAgain_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("runs");
    QTest::addColumn<QString>("error");
    // A key that is simply taken is no conflict: reported as it comes.
    QTest::newRow("primary key") << "INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (2, :NOTE)" << 1
                                 << "PRIMARY or UNIQUE KEY";
    QTest::newRow("missing value")
        << "INSERT INTO O_TEKATLIK (ISPRECE, ISNODALA) VALUES (NULL, 2)" << 1 << "ISPRECE";
    // A unique index's duplicate may be another terminal's row made just
    // now: run once more, then it is a real one.
    QTest::newRow("unique index")
        << "INSERT INTO O_TEKATLIK (ISPRECE, ISNODALA, NELEGALIZ) VALUES (1, 2, 'F')" << 2
        << "visible to active transactions";
}

void TestServerMetrics::failedUnitIsNotRunAgain()
{
    QFETCH(QString, failing);
    QFETCH(int, runs);
    QFETCH(QString, error);
    const quint16 metricsPort = TestServer::freePort();
    TestServer server;
    QVERIFY(server.start(m_database.path(), {QStringLiteral("--metrics"),
                                             QStringLiteral("127.0.0.1:%1").arg(metricsPort)}));
    ProviderClient client;
    pointAt(client, server.port());
    // The generator is outside transactions: how far the unit moved it
    // tells how many times it ran.
    const QString generator = QStringLiteral("SELECT GEN_ID(N_PRGRUPGEN, 0) FROM RDB$DATABASE");
    RemoteParams none;
    const qint64 before =
        client.getRecords(kUpdate, generator, none).rows.value(0).value(0).toLongLong();
    RemoteParams params{RemoteParam::text(QStringLiteral("NOTE"), QStringLiteral("vienreiz"))};
    const QString unit =
        QStringLiteral("EXECUTE BLOCK (NOTE VARCHAR(40) = :NOTE) AS BEGIN "
                       "INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (GEN_ID(N_PRGRUPGEN, 1), "
                       ":NOTE); %1; END")
            .arg(failing);
    try {
        client.execute(kUpdate, unit, params);
        QFAIL("the unit was stored");
    } catch (const RemoteError& refused) {
        QCOMPARE(refused.kind(), RemoteError::Kind::Server);
        QVERIFY2(refused.message().contains(error), qPrintable(refused.message()));
    }
    const qint64 after =
        client.getRecords(kUpdate, generator, none).rows.value(0).value(0).toLongLong();
    QCOMPARE(after - before, qint64(runs));
    const DataPacket added = client.getRecords(
        kUpdate, QStringLiteral("SELECT COUNT(*) FROM N_PRGRUP WHERE GNOS = 'vienreiz'"), none);
    QCOMPARE(added.rows.value(0).value(0).toInt(), 0);
    const QString metrics = scrape(metricsPort);
    QCOMPARE(valueOf(metrics, QStringLiteral("norvalk_units_retried_total")), double(runs - 1));
    QCOMPARE(valueOf(metrics, requests(QStringLiteral("AS_Execute"), QStringLiteral("failed"))),
             1.0);
    QCOMPARE(valueOf(metrics, QStringLiteral("norvalk_write_conflicts_total{outcome=\"failed\"}")),
             0.0);
}

void TestServerMetrics::refusalsAreCountedByCause_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("cause");
    QTest::newRow("allow list") << QStringList{"--allow", "10.0.0.0/8"} << "allow";
    QTest::newRow("cap") << QStringList{"--max-clients", "1"} << "cap";
    QTest::newRow("stall") << QStringList{"--stall-timeout", "200"} << "stall";
    QTest::newRow("size") << QStringList{} << "size";
    QTest::newRow("plain terminal on TLS")
        << QStringList{"--certificate", m_server.certificate, "--key", m_server.key} << "tls";
}

void TestServerMetrics::refusalsAreCountedByCause()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, cause);
    const quint16 metricsPort = TestServer::freePort();
    TestServer server;
    QVERIFY(server.start(m_database.path(),
                         arguments + QStringList{QStringLiteral("--metrics"),
                                                 QStringLiteral("127.0.0.1:%1").arg(metricsPort)}));
    // The start-up probe of the test server has been served, or refused as
    // the terminals after it will be.
    QTRY_VERIFY(server.standardOutput().contains(QStringLiteral("Atvienojies.")) ||
                server.standardOutput().contains(QStringLiteral("nav atļauta")));
    const double before = valueOf(scrape(metricsPort), refusals(cause));
    ProviderClient holder;
    if (cause == QLatin1String("allow")) {
        // The test's own terminal is the one kept out.
        QVERIFY(askNames(server.port()) != QLatin1String("ok"));
    } else if (cause == QLatin1String("cap")) {
        pointAt(holder, server.port());
        holder.getProviderNames();
        QVERIFY(askNames(server.port()) != QLatin1String("ok"));
    } else if (cause == QLatin1String("tls")) {
        // A plain frame where a TLS handshake should begin: no reply at all.
        RawConnection connection(server.port());
        ProviderRequest names;
        names.operation = ProviderOperation::GetProviderNames;
        connection.send(makeFrame(encodeRequest(names)));
        QString ended;
        try {
            connection.readFrame(5000);
        } catch (const std::runtime_error& error) {
            ended = QString::fromLatin1(error.what());
        }
        QCOMPARE(ended, QStringLiteral("the server closed the connection"));
    } else {
        RawConnection connection(server.port());
        QByteArray header(4, '\0');
        // Half a frame that stays so, or a header over the request limit.
        qToBigEndian<quint32>(cause == QLatin1String("size") ? quint32(kMaxRequestBody + 1) : 100,
                              header.data());
        connection.send(header);
        const QByteArray reply = connection.readFrame(30000);
        QVERIFY(decodeReply(reply).value);
        QVERIFY(!decodeReply(reply).value->ok);
    }
    QTRY_COMPARE(valueOf(scrape(metricsPort), refusals(cause)), before + 1);
    const QString metrics = scrape(metricsPort);
    for (const QString other :
         {"allow", "cap", "descriptors", "stall", "memory", "size", "tls", "terminal"}) {
        if (other != cause)
            QCOMPARE(valueOf(metrics, refusals(other)), 0.0);
    }
}

QTEST_GUILESS_MAIN(TestServerMetrics)
#include "tst_servermetrics.moc"
