// NorvalkServer under faults: the database connection lost in the middle of
// a write, terminals that vanish or never read, results over the reply
// limit, and SIGTERM while statements run. Every load is bounded; waits end
// by themselves.

#include "common/frame.h"
#include "common/providerclient.h"
#include "common/providernames.h"
#include "server/db/fbattachment.h"
#include "server/db/stockdatabase.h"
#include "server/net/requestmemory.h"
#include "tests/support/loadprobe.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

#include <future>
#include <unistd.h>

namespace {

const QString kUpdate = QString::fromLatin1(ProviderNames::Update);

// Counts to the limit: a second or so for ten million, and for a hundred
// billion until it is stopped: something for a worker to be busy with.
QString loopSql(qint64 limit, const QString& before = QString())
{
    return QStringLiteral("EXECUTE BLOCK AS DECLARE I BIGINT = 0; BEGIN %1 "
                          "WHILE (I < %2) DO I = I + 1; END")
        .arg(before)
        .arg(limit);
}

QString endlessLoopSql(const QString& before = QString())
{
    return loopSql(100000000000, before);
}

// A request on a thread of its own: "ok", or the error text it got.
std::future<QString> requestAsync(quint16 port, ProviderOperation operation, QString sql,
                                  int replyTimeoutMs = 60000)
{
    return std::async(std::launch::async, [=] {
        ProviderClient client;
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setReplyTimeout(replyTimeoutMs);
        try {
            RemoteParams none;
            if (operation == ProviderOperation::Execute)
                client.execute(kUpdate, sql, none);
            else
                client.getRecords(kUpdate, sql, none);
            return QStringLiteral("ok");
        } catch (const RemoteError& error) {
            return error.message();
        }
    });
}

void pointAt(ProviderClient& client, quint16 port)
{
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(port);
}

bool isReady(const std::future<QString>& future)
{
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

Decoded<ProviderReply> replyOn(RawConnection& connection)
{
    try {
        return decodeReply(connection.readFrame(30000));
    } catch (const std::exception& error) {
        return {std::nullopt, QString::fromUtf8(error.what())};
    }
}

// The value of a "VmHWM:"-style line of the status of the server this test
// started, in KiB; -1 when there is none.
qint64 serverMemoryKiB(const char* field)
{
    const QString self = QString::number(::getpid());
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = status.readAll().split('\n');
        if (!lines.value(0).contains(TestServer::programName().toLatin1()) ||
            !lines.contains("PPid:\t" + self.toLatin1()))
            continue;
        for (const QByteArray& line : lines) {
            if (line.startsWith(field))
                return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

} // namespace

class TestServerFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writeCutMidwayIsNotRepeated();
    void attachmentLostWhileIdleIsReopened();
    void resultOverReplyLimitIsRefused();
    void repliesNobodyReadsStayBounded();
    void statementOfVanishedTerminalIsCancelled();
    void stopAnswersEveryRequest_data();
    void stopAnswersEveryRequest();
    void twoServersShareOneDatabase();
    void requestMemoryBudget_data();
    void requestMemoryBudget();
    void halfSentRequestsStayWithinTheBudget();
    void hangupPreparesStatementsAnew();

private:
    qint64 count(const QString& marker);
    void killServerAttachments();
    bool serverStatementRuns();

    TestDatabase m_database;
    QString m_remotePath; // the same database through the Firebird server
    FbAttachment m_watcher;
};

void TestServerFaults::initTestCase()
{
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    // The Firebird server runs as its own user: the folder must let it in.
    QFile::setPermissions(QFileInfo(m_database.path()).absolutePath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadOther | QFileDevice::WriteOther |
                              QFileDevice::ExeOther);
    m_remotePath = QStringLiteral("127.0.0.1:") + m_database.path();
    openStockDatabase(m_watcher, m_remotePath);
}

qint64 TestServerFaults::count(const QString& marker)
{
    return m_watcher
        .run(QStringLiteral("SELECT COUNT(*) FROM N_PRGRUP WHERE GNOS = :GNOS"),
             {RemoteParam::text(QStringLiteral("GNOS"), marker)})
        .rows[0][0]
        .toLongLong();
}

// What the database server's administrator does to a connection: cut it.
void TestServerFaults::killServerAttachments()
{
    m_watcher.run(QStringLiteral("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> "
                                 "CURRENT_CONNECTION AND MON$REMOTE_PROCESS CONTAINING :PROGRAM"),
                  {RemoteParam::text(QStringLiteral("PROGRAM"), TestServer::programName())});
}

bool TestServerFaults::serverStatementRuns()
{
    return m_watcher
               .run(QStringLiteral("SELECT COUNT(*) FROM MON$STATEMENTS S JOIN MON$ATTACHMENTS A "
                                   "ON A.MON$ATTACHMENT_ID = S.MON$ATTACHMENT_ID WHERE "
                                   "S.MON$STATE = 1 AND A.MON$REMOTE_PROCESS CONTAINING :PROGRAM"),
                    {RemoteParam::text(QStringLiteral("PROGRAM"), TestServer::programName())})
               .rows[0][0]
               .toLongLong() > 0;
}

void TestServerFaults::writeCutMidwayIsNotRepeated()
{
    TestServer server;
    QVERIFY(server.start(m_remotePath, {QStringLiteral("--workers"), QStringLiteral("1")}));
    QCOMPARE(requestAsync(server.port(), ProviderOperation::GetRecords,
                          QStringLiteral("SELECT 1 FROM N_ISI"))
                 .get(),
             QStringLiteral("ok"));
    // The insert commits on its own at once; the connection is cut while the
    // rest of the statement runs. Sent again, the statement would insert again.
    const QString marker =
        QStringLiteral("Viens ieraksts %1").arg(QDateTime::currentMSecsSinceEpoch());
    std::future<QString> outcome = requestAsync(
        server.port(), ProviderOperation::Execute,
        endlessLoopSql(QStringLiteral("IN AUTONOMOUS TRANSACTION DO INSERT INTO N_PRGRUP (GNOS) "
                                      "VALUES ('%1');")
                           .arg(marker)));
    QTRY_COMPARE_WITH_TIMEOUT(count(marker), 1, 20000);
    killServerAttachments();
    QTRY_VERIFY_WITH_TIMEOUT(isReady(outcome), 60000);
    const QString reply = outcome.get();
    QCOMPARE(count(marker), 1);
    QVERIFY2(reply.startsWith(QStringLiteral("Savienojums ar datu bāzi pārtrūka")),
             qPrintable(reply));
}

void TestServerFaults::attachmentLostWhileIdleIsReopened()
{
    TestServer server;
    QVERIFY(server.start(m_remotePath, {QStringLiteral("--workers"), QStringLiteral("1")}));
    ProviderClient client;
    pointAt(client, server.port());
    RemoteParams none;
    QCOMPARE(client.getRecords(kUpdate, QStringLiteral("SELECT 1 FROM N_ISI"), none).rows.size(),
             1);
    killServerAttachments();
    // Nothing reached the database on the cut attachment: the write goes
    // through on a fresh one, once.
    const QString marker =
        QStringLiteral("Pēc pārtraukuma %1").arg(QDateTime::currentMSecsSinceEpoch());
    RemoteParams params{RemoteParam::text(QStringLiteral("GNOS"), marker)};
    client.execute(kUpdate, QStringLiteral("INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS)"), params);
    QCOMPARE(count(marker), 1);
}

void TestServerFaults::resultOverReplyLimitIsRefused()
{
    TestServer server;
    QVERIFY(server.start(m_database.path()));
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    client.setReplyTimeout(120000);
    RemoteParams none;
    // About 270 MB: over the 256 MiB a terminal takes in one reply.
    try {
        client.getRecords(kUpdate, generatedRowsSql(270000), none);
        QFAIL("a result over the reply limit came back");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Server);
        QVERIFY2(error.message().contains(QStringLiteral("pārsniedz 256 MiB")),
                 qPrintable(error.message()));
    }
    // Given up as it grew: the server held about the limit, not several
    // times the result.
    const qint64 peakKiB = serverMemoryKiB("VmHWM:");
    QVERIFY(peakKiB > 0);
    if (!ServersRunUnderSanitizer())
        QVERIFY2(peakKiB < 600 * 1024, qPrintable(QString::number(peakKiB / 1024) + " MiB"));
    // The same session goes on, and a result under the limit still comes whole.
    QCOMPARE(client.getRecords(kUpdate, generatedRowsSql(2000), none).rows.size(), 2000);
}

void TestServerFaults::repliesNobodyReadsStayBounded()
{
    TestServer server;
    QVERIFY(server.start(m_database.path(), {QStringLiteral("--workers"), QStringLiteral("1")}));
    QCOMPARE(requestAsync(server.port(), ProviderOperation::GetRecords,
                          QStringLiteral("SELECT 1 FROM N_ISI"))
                 .get(),
             QStringLiteral("ok"));
    const qint64 before = serverMemoryKiB("VmRSS:");
    // 150 requests for a megabyte each, from a terminal that reads none of it.
    constexpr int kRequests = 150;
    QByteArray requests;
    for (int i = 0; i < kRequests; ++i)
        requests += selectFrame(generatedRowsSql(1000), quint32(i + 1));
    RawConnection silent(server.port(), 16384);
    QCOMPARE(silent.sendWithin(requests, 20000), requests.size());
    // A terminal on the same worker is served meanwhile...
    QCOMPARE(requestAsync(server.port(), ProviderOperation::GetRecords,
                          QStringLiteral("SELECT 1 FROM N_ISI"))
                 .get(),
             QStringLiteral("ok"));
    // ...and the server holds a few of the replies, not all of them.
    const qint64 grownKiB = serverMemoryKiB("VmHWM:") - before;
    if (!ServersRunUnderSanitizer())
        QVERIFY2(grownKiB < 48 * 1024, qPrintable(QString::number(grownKiB / 1024) + " MiB"));
    // Read at last, every reply comes, in order.
    for (int i = 0; i < kRequests; ++i) {
        const Decoded<ProviderReply> reply = replyOn(silent);
        QVERIFY2(reply.value, qPrintable(reply.error));
        QVERIFY2(reply.value->ok, qPrintable(reply.value->error));
        QCOMPARE(reply.value->id, quint32(i + 1));
        QCOMPARE(reply.value->packet.rows.size(), 1000);
    }
}

void TestServerFaults::statementOfVanishedTerminalIsCancelled()
{
    TestServer server;
    QVERIFY(server.start(m_database.path(), {QStringLiteral("--workers"), QStringLiteral("1")}));
    {
        RawConnection vanishing(server.port());
        vanishing.send(selectFrame(endlessLoopSql(), 1));
    }
    // Behind it on the one worker: served once the abandoned statement is cancelled.
    QCOMPARE(requestAsync(server.port(), ProviderOperation::GetRecords,
                          QStringLiteral("SELECT 1 FROM N_ISI"), 30000)
                 .get(),
             QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(
        server.standardOutput().contains(QStringLiteral("atvienojās; tā pieprasījuma izpilde tika "
                                                        "pārtraukta")),
        5000);
}

void TestServerFaults::stopAnswersEveryRequest_data()
{
    QTest::addColumn<QString>("running");
    QTest::addColumn<QString>("grace");
    QTest::addColumn<QString>("runningReply");
    QTest::newRow("finishes within the grace period")
        << loopSql(20000000) << QStringLiteral("30000") << QString();
    QTest::newRow("outlives the grace period")
        << endlessLoopSql() << QStringLiteral("300")
        << QStringLiteral("Serveris tiek apturēts; pieprasījuma izpilde tika pārtraukta !!!");
}

void TestServerFaults::stopAnswersEveryRequest()
{
    QFETCH(QString, running);
    QFETCH(QString, grace);
    QFETCH(QString, runningReply);
    TestServer server;
    QVERIFY(server.start(m_remotePath, {QStringLiteral("--workers"), QStringLiteral("1"),
                                        QStringLiteral("--grace"), grace}));
    RawConnection first(server.port());
    first.send(selectFrame(running, 1));
    QTRY_VERIFY_WITH_TIMEOUT(serverStatementRuns(), 10000);
    // A request received while the one worker is busy waits behind it. The
    // server has taken it once it has logged three connects: the test
    // server's start-up probe, the first terminal and this one.
    RawConnection second(server.port());
    second.send(selectFrame(QStringLiteral("SELECT 1 FROM N_ISI"), 2));
    QTRY_COMPARE_WITH_TIMEOUT(server.standardOutput().count(QStringLiteral("Pievienojies.")), 3,
                              5000);

    QCOMPARE(server.stop(), 0);
    const Decoded<ProviderReply> firstReply = replyOn(first);
    QVERIFY2(firstReply.value, qPrintable(firstReply.error));
    QCOMPARE(firstReply.value->id, quint32(1));
    QCOMPARE(firstReply.value->error, runningReply);
    QCOMPARE(firstReply.value->ok, runningReply.isEmpty());
    const Decoded<ProviderReply> secondReply = replyOn(second);
    QVERIFY2(secondReply.value, qPrintable(secondReply.error));
    QCOMPARE(secondReply.value->id, quint32(2));
    QCOMPARE(secondReply.value->error,
             QStringLiteral("Serveris tiek apturēts; pieprasījums netika izpildīts !!!"));
}

void TestServerFaults::twoServersShareOneDatabase()
{
    // Two NorvalkServers on one Firebird server, as shops of a chain grow,
    // with terminals spread over both, inserting at once.
    TestServer servers[2];
    for (TestServer& server : servers)
        QVERIFY(server.start(m_remotePath));
    constexpr int kTerminals = 8;
    constexpr int kInsertsEach = 25;
    const QString prefix =
        QStringLiteral("Divi serveri %1 ").arg(QDateTime::currentMSecsSinceEpoch());
    std::vector<std::future<QString>> terminals;
    for (int t = 0; t < kTerminals; ++t) {
        const quint16 port = servers[t % 2].port();
        terminals.push_back(std::async(std::launch::async, [port, t, prefix] {
            ProviderClient client;
            client.setHost(QStringLiteral("127.0.0.1"));
            client.setPort(port);
            QStringList keys;
            try {
                for (int i = 0; i < kInsertsEach; ++i) {
                    const QString name = prefix + QStringLiteral("%1-%2").arg(t).arg(i);
                    RemoteParams params{RemoteParam::text(QStringLiteral("GNOS"), name)};
                    const DataPacket row = client.getRecords(
                        kUpdate,
                        QStringLiteral("INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS) RETURNING ISN"),
                        params);
                    keys.append(row.rows.value(0).value(0).toString() + QLatin1Char('=') + name);
                }
            } catch (const RemoteError& error) {
                return QStringLiteral("error: ") + error.message();
            }
            return keys.join(QLatin1Char('\n'));
        }));
    }
    QSet<qint64> keys;
    for (std::future<QString>& terminal : terminals) {
        const QString result = terminal.get();
        QVERIFY2(!result.startsWith(QLatin1String("error: ")), qPrintable(result));
        for (const QString& entry : result.split(QLatin1Char('\n'))) {
            const qint64 key = entry.section(QLatin1Char('='), 0, 0).toLongLong();
            const QString name = entry.section(QLatin1Char('='), 1);
            keys.insert(key);
            // Each terminal's key names the row it inserted.
            const DataPacket row =
                m_watcher.run(QStringLiteral("SELECT GNOS FROM N_PRGRUP WHERE ISN = :ISN"),
                              {RemoteParam::text(QStringLiteral("ISN"), QString::number(key))});
            QCOMPARE(row.rows.value(0).value(0).toString(), name);
        }
    }
    QCOMPARE(keys.size(), kTerminals * kInsertsEach);
    const DataPacket stored =
        m_watcher.run(QStringLiteral("SELECT COUNT(*) FROM N_PRGRUP WHERE GNOS STARTING WITH :P"),
                      {RemoteParam::text(QStringLiteral("P"), prefix)});
    QCOMPARE(stored.rows[0][0].toLongLong(), qint64(kTerminals * kInsertsEach));
}

void TestServerFaults::requestMemoryBudget_data()
{
    // Sessions' shares as they grow one after the other, in KiB, on a budget
    // of 1 MiB: 768 KiB for the parts beyond each request's first 64 KiB.
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QList<bool>>("taken");
    QTest::newRow("small requests fill the whole budget")
        << QList<int>(16, 64) << QList<bool>(16, true);
    QTest::newRow("one more small request is over it")
        << QList<int>(17, 64) << (QList<bool>(16, true) << false);
    QTest::newRow("large parts stop at three quarters")
        << QList<int>{512, 320, 320} << QList<bool>{true, true, false};
    QTest::newRow("small requests still fit beside them")
        << QList<int>{576, 320, 64, 64} << QList<bool>{true, true, true, true};
}

void TestServerFaults::requestMemoryBudget()
{
    QFETCH(QList<int>, sizes);
    QFETCH(QList<bool>, taken);
    RequestMemory memory(1024 * 1024);
    std::vector<RequestMemory::Share> shares(sizes.size());
    qint64 held = 0;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const qint64 bytes = sizes[i] * 1024;
        QCOMPARE(memory.resize(shares[i], bytes), taken[i]);
        QCOMPARE(shares[i].total(), taken[i] ? bytes : 0);
        held += shares[i].total();
        QCOMPARE(memory.held(), held);
    }
    // Giving back always works, and leaves nothing held.
    for (RequestMemory::Share& share : shares)
        QVERIFY(memory.resize(share, 0));
    QCOMPARE(memory.held(), 0);
}

void TestServerFaults::halfSentRequestsStayWithinTheBudget()
{
    TestServer server;
    QVERIFY(server.start(m_database.path()));
    QCOMPARE(requestAsync(server.port(), ProviderOperation::GetRecords,
                          QStringLiteral("SELECT 1 FROM N_ISI"))
                 .get(),
             QStringLiteral("ok"));
    const qint64 before = serverMemoryKiB("VmRSS:");
    // Fifty terminals each send half of a request of 4 MiB and stop.
    QByteArray half(2 * 1024 * 1024, ' ');
    qToBigEndian<quint32>(quint32(kMaxRequestBody), half.data());
    std::vector<std::unique_ptr<RawConnection>> terminals;
    for (int i = 0; i < 50; ++i) {
        terminals.push_back(std::make_unique<RawConnection>(server.port()));
        try {
            terminals.back()->sendWithin(half, 10000);
        } catch (const std::exception&) {
            // Refused and closed while it was still sending.
        }
    }
    const QString refusal = QStringLiteral(
        "Serverim pašlaik pietrūkst atmiņas pieprasījumu saņemšanai; mēģiniet vēlāk !!!");
    // The first are held, the rest refused, each with a failed reply numbered 0.
    int refused = 0;
    QString wrongReply;
    std::vector<bool> answered(terminals.size());
    const auto collect = [&] {
        for (size_t i = 0; i < terminals.size(); ++i) {
            if (answered[i] || !terminals[i]->readable())
                continue;
            answered[i] = true;
            const Decoded<ProviderReply> reply = replyOn(*terminals[i]);
            if (!reply.value || reply.value->id != 0 || reply.value->ok ||
                reply.value->error != refusal)
                wrongReply = reply.value ? reply.value->error : reply.error;
            ++refused;
        }
        // 64 MiB hold 24 of them at most; without a budget they held 4 MiB each.
        return refused >= 26 && refused == server.standardOutput().count(QStringLiteral(
                                               "Serverim pašlaik pietrūkst atmiņas"));
    };
    QTRY_VERIFY_WITH_TIMEOUT(collect(), 20000);
    QVERIFY2(wrongReply.isEmpty(), qPrintable(wrongReply));
    const qint64 grownKiB = serverMemoryKiB("VmHWM:") - before;
    if (!ServersRunUnderSanitizer())
        QVERIFY2(grownKiB < 96 * 1024, qPrintable(QString::number(grownKiB / 1024) + " MiB"));
    // A terminal with an everyday request is served meanwhile.
    QCOMPARE(requestAsync(server.port(), ProviderOperation::GetRecords,
                          QStringLiteral("SELECT 1 FROM N_ISI"))
                 .get(),
             QStringLiteral("ok"));
}

// An administrator changes a procedure while the terminals work: after
// SIGHUP the statements that use it run the new one.
void TestServerFaults::hangupPreparesStatementsAnew()
{
    const QString header = QStringLiteral(
        "ALTER PROCEDURE PRECVALIDSERT (ISPRECE INTEGER, ISNODALA INTEGER, ISSERTIF INTEGER, "
        "DATUMS DATE) RETURNS (ATLIKUMS DOUBLE PRECISION) AS ");
    const QString source =
        m_watcher
            .run(QStringLiteral("SELECT RDB$PROCEDURE_SOURCE FROM RDB$PROCEDURES WHERE "
                                "RDB$PROCEDURE_NAME = 'PRECVALIDSERT'"),
                 {})
            .rows.value(0)
            .value(0)
            .toString();
    QVERIFY(source.contains(QStringLiteral("SUSPEND")));
    TestServer server;
    QVERIFY(server.start(m_remotePath, {QStringLiteral("--workers"), QStringLiteral("1")}));
    ProviderClient client;
    pointAt(client, server.port());
    RemoteParams none;
    const QString stock = QStringLiteral("SELECT ATLIKUMS FROM PRECVALIDSERT(-1, -1, 0, NULL)");
    QCOMPARE(client.getRecords(kUpdate, stock, none).rows.value(0).value(0).toDouble(), 0.0);

    m_watcher.run(header + QStringLiteral("BEGIN ATLIKUMS = 42; SUSPEND; END"), {});
    const auto restore = qScopeGuard([&] { m_watcher.run(header + source, {}); });
    QVERIFY(server.reload());
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Iestatījumi tiek pārlasīti; vaicājumi tiks sagatavoti no jauna")));
    QCOMPARE(client.getRecords(kUpdate, stock, none).rows.value(0).value(0).toDouble(), 42.0);
    QVERIFY(server.isRunning());
}

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
