// The terminal's connection when the link fails, through the relay that
// breaks it (FaultProxy). First the relay's own faults, each seen by a bare
// terminal client: passing and counting, cutting, refusing, losing a reply
// the server has run, swallowing everything. Then the connection: a dead link (no reset, nothing
// acknowledged) is noticed within seconds, mid-request and between requests; an offline connection
// fails requests at once and comes back by itself when the server can be reached, with its pause
// growing while it cannot.

#include "client/core/clienterror.h"
#include "client/core/commonprocedures.h"
#include "common/providerclient.h"
#include "common/remoteerror.h"
#include "tests/client/serverfixture.h"
#include "tests/support/faultproxy.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestConnectionHealth final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void proxyForwardsAndCounts();
    void proxyCutsAndRefuses();
    void proxyLosesAReplyTheServerRan();
    void proxyBlackholePassesNothing();

    void deadLinkNoticedWithinSeconds();
    void offlineFailsAtOnceAndComesBack();
    void pauseGrowsAndStopsOnDisconnect();

private:
    ServerConnection& connection() { return m_terminal->connection; }
    int selectOne();
    // The RemoteError a request ends with (empty message: it went through).
    RemoteError failureOfSelect();
    int clientSelectOne();
    bool clientAnswers();
    RemoteError::Kind failureOf(const std::function<void()>& request);

    std::unique_ptr<ServerFixture> m_fixture;
    std::unique_ptr<FaultProxy> m_proxy;
    std::unique_ptr<OwnTerminal> m_terminal;
    std::unique_ptr<ProviderClient> m_client; // the bare client of the relay's tests
};

void TestConnectionHealth::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestConnectionHealth::init()
{
    m_proxy = std::make_unique<FaultProxy>(m_fixture->server().port());
    QVERIFY(m_proxy->isListening());
    m_terminal = std::make_unique<OwnTerminal>(QStringLiteral("127.0.0.1"), m_proxy->port(),
                                               QStringLiteral("dspTempQuery"));
    m_client = std::make_unique<ProviderClient>();
    m_client->setHost(QStringLiteral("127.0.0.1"));
    m_client->setPort(m_proxy->port());
    m_client->setConnectTimeout(3000);
}

void TestConnectionHealth::cleanup()
{
    m_client.reset();
    m_terminal.reset();
    m_proxy.reset();
}

void TestConnectionHealth::cleanupTestCase()
{
    m_fixture.reset();
}

int TestConnectionHealth::selectOne()
{
    RemoteDataSet& query = m_terminal->dataSet;
    PrepareDataset(query);
    query.setCommandText(QStringLiteral("SELECT 1 X FROM RDB$DATABASE"));
    query.open();
    return query.fieldByName(QStringLiteral("X")).asInteger();
}

RemoteError TestConnectionHealth::failureOfSelect()
{
    RemoteDataSet& query = m_terminal->dataSet;
    query.close();
    query.setCommandText(QStringLiteral("SELECT 1 X FROM RDB$DATABASE"));
    try {
        query.open();
    } catch (const RemoteError& error) {
        return error;
    }
    return RemoteError(RemoteError::Kind::Server, QString());
}

int TestConnectionHealth::clientSelectOne()
{
    RemoteParams none;
    const DataPacket packet = m_client->getRecords(
        QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 1 X FROM RDB$DATABASE"), none);
    return packet.rows.isEmpty() ? -1 : packet.rows.first().value(0).toInt();
}

bool TestConnectionHealth::clientAnswers()
{
    try {
        return clientSelectOne() == 1;
    } catch (const RemoteError&) {
        return false;
    }
}

// The kind of RemoteError a request ends with; a request that succeeds fails the test.
RemoteError::Kind TestConnectionHealth::failureOf(const std::function<void()>& request)
{
    try {
        request();
    } catch (const RemoteError& error) {
        return error.kind();
    }
    qWarning("the request went through");
    return RemoteError::Kind::Server;
}

void TestConnectionHealth::proxyForwardsAndCounts()
{
    QCOMPARE(clientSelectOne(), 1);
    QCOMPARE(clientSelectOne(), 1);
    QCOMPARE(m_proxy->connectionsAccepted(), 1);
    QCOMPARE(m_proxy->openConnections(), 1);
    // Every byte either way went through the relay, and only those.
    QCOMPARE(m_proxy->bytesToServer(), m_client->bytesSent());
    QTRY_COMPARE(m_proxy->bytesToTerminal(), m_client->bytesReceived());
    QVERIFY(m_client->bytesReceived() > 0);
}

void TestConnectionHealth::proxyCutsAndRefuses()
{
    QCOMPARE(clientSelectOne(), 1);
    m_proxy->cutAll();
    QCOMPARE(m_proxy->openConnections(), 0);
    QTRY_VERIFY(!m_client->isConnected());
    // The client finds the connection gone before sending and opens another.
    QCOMPARE(clientSelectOne(), 1);
    QCOMPARE(m_proxy->connectionsAccepted(), 2);

    m_proxy->refuse(true);
    QElapsedTimer refused;
    refused.start();
    m_client->disconnectFromServer();
    QCOMPARE(failureOf([this] { m_client->connectToServer(); }), RemoteError::Kind::Transport);
    QVERIFY2(refused.elapsed() < 2000, "a refused connect is not waited out"); // not the timeout
    // What was open before the refusal is not touched by it.
    QCOMPARE(m_proxy->connectionsAccepted(), 2);
    m_proxy->refuse(false);
    QCOMPARE(clientSelectOne(), 1);
    QCOMPARE(m_proxy->connectionsAccepted(), 3);

    m_client->disconnectFromServer();
    m_proxy->refuseFor(400);
    QCOMPARE(failureOf([this] { m_client->connectToServer(); }), RemoteError::Kind::Transport);
    QTRY_VERIFY_WITH_TIMEOUT(clientAnswers(), 5000);
    QCOMPARE(m_proxy->connectionsAccepted(), 4);
}

void TestConnectionHealth::proxyLosesAReplyTheServerRan()
{
    QCOMPARE(clientSelectOne(), 1);
    m_proxy->swallowNextReply();
    RemoteParams none;
    QCOMPARE(failureOf([&] {
                 m_client->execute(QStringLiteral("dspTempQuery"),
                                   QStringLiteral("INSERT INTO N_DEPART (ISN, GNOS) VALUES (71, "
                                                  "'Lost reply')"),
                                   none);
             }),
             RemoteError::Kind::Transport);
    QCOMPARE(m_proxy->repliesSwallowed(), 1);
    // The server ran it all the same: that is what makes this case hard.
    QCOMPARE(m_fixture->value(QStringLiteral("SELECT GNOS FROM N_DEPART WHERE ISN = 71")),
             QVariant(QStringLiteral("Lost reply")));
    // Only the one reply went: the next request is answered.
    QCOMPARE(clientSelectOne(), 1);
    QCOMPARE(m_proxy->repliesSwallowed(), 1);
}

void TestConnectionHealth::proxyBlackholePassesNothing()
{
    QCOMPARE(clientSelectOne(), 1);
    // The relay counts a reply once it has handed it on, maybe after the client has it.
    QTRY_COMPARE(m_proxy->bytesToTerminal(), m_client->bytesReceived());
    const quint64 sentBefore = m_proxy->bytesToServer();
    const quint64 receivedBefore = m_proxy->bytesToTerminal();
    m_proxy->blackhole(true);
    m_client->setReplyTimeout(1500);
    QCOMPARE(failureOf([this] { clientSelectOne(); }), RemoteError::Kind::Transport);
    QCOMPARE(m_proxy->bytesToServer(), sentBefore);
    QCOMPARE(m_proxy->bytesToTerminal(), receivedBefore);
    // A new connection is accepted, and goes nowhere either.
    QCOMPARE(failureOf([this] { clientSelectOne(); }), RemoteError::Kind::Transport);
    QCOMPARE(m_proxy->connectionsAccepted(), 2);
    QCOMPARE(m_proxy->bytesToServer(), sentBefore);

    m_proxy->blackhole(false);
    m_client->setReplyTimeout(10000);
    QCOMPARE(clientSelectOne(), 1);
    QVERIFY(m_proxy->bytesToServer() > sentBefore);
}

void TestConnectionHealth::deadLinkNoticedWithinSeconds()
{
    QSignalSpy online(&connection(), &ServerConnection::onlineChanged);
    QCOMPARE(selectOne(), 1);

    // Mid-request: the request goes into a link that acknowledges nothing.
    // The reply timeout (two minutes) is not what ends the wait.
    m_proxy->blackhole(true);
    QElapsedTimer waited;
    waited.start();
    const RemoteError lost = failureOfSelect();
    const qint64 took = waited.elapsed();
    QCOMPARE(lost.kind(), RemoteError::Kind::Transport);
    QVERIFY2(lost.message().startsWith(QStringLiteral("Savienojums ar serveri pārtrūka")),
             qPrintable(lost.message()));
    // Generous for a loaded machine, and far from the reply timeout.
    QVERIFY2(took < 15000, qPrintable(QString::number(took)));
    QVERIFY(connection().isOffline());
    QCOMPARE(connection().offlineReason(), lost.message());
    QCOMPARE(online.size(), 1);
    QCOMPARE(online.first().first().toBool(), false);

    // The link comes back; so does the connection, on its own.
    m_proxy->blackhole(false);
    QTRY_VERIFY_WITH_TIMEOUT(!connection().isOffline(), 15000);
    QCOMPARE(online.size(), 2);
    QCOMPARE(online.last().first().toBool(), true);
    QCOMPARE(selectOne(), 1);

    // Between requests: an idle connection whose link dies is given up by
    // the keep-alive probes and goes offline, with no request to find it.
    m_proxy->blackhole(true);
    waited.restart();
    QTRY_VERIFY_WITH_TIMEOUT(connection().isOffline(), 15000);
    QVERIFY2(waited.elapsed() > 1000, "gone before the link was idle at all");
    QVERIFY(!connection().connected());
    QCOMPARE(online.size(), 3);
    QCOMPARE(online.last().first().toBool(), false);
    QVERIFY2(connection().offlineReason().startsWith(
                 QStringLiteral("Savienojums ar serveri pārtrūka: ")),
             qPrintable(connection().offlineReason()));
}

void TestConnectionHealth::offlineFailsAtOnceAndComesBack()
{
    QSignalSpy online(&connection(), &ServerConnection::onlineChanged);
    QCOMPARE(selectOne(), 1);
    m_proxy->refuse(true);
    m_proxy->cutAll();
    QTRY_VERIFY(!connection().connected());
    try {
        selectOne();
        QFAIL("a request went through with the server out of reach");
    } catch (const ClientError& error) {
        QVERIFY2(
            error.message().startsWith(QStringLiteral("Kļūda atjaunojot savienojumu ar serveri ")),
            qPrintable(error.message()));
    }
    QVERIFY(connection().isOffline());
    QCOMPARE(online.size(), 1);

    // Offline: requests, and PrepareDataset's reconnect, fail without waiting.
    for (int scan = 0; scan < 3; ++scan) {
        QElapsedTimer waited;
        waited.start();
        QVERIFY_THROWS_EXCEPTION(ClientError, PrepareDataset(m_terminal->dataSet));
        const RemoteError error = failureOfSelect();
        QCOMPARE(error.kind(), RemoteError::Kind::Transport);
        QVERIFY2(error.message().startsWith(QStringLiteral("Savienojums ar serveri pārtrūka: ")),
                 qPrintable(error.message()));
        QVERIFY2(waited.elapsed() < 1000, qPrintable(QString::number(waited.elapsed())));
    }
    QCOMPARE(online.size(), 1);

    // Reachable again: a background attempt brings the connection back, and
    // the request after it goes over the connection that attempt opened.
    const int acceptedBefore = m_proxy->connectionsAccepted();
    m_proxy->refuse(false);
    QTRY_VERIFY_WITH_TIMEOUT(!connection().isOffline(), 10000);
    QVERIFY(connection().connected());
    QCOMPARE(online.size(), 2);
    QCOMPARE(online.last().first().toBool(), true);
    QCOMPARE(selectOne(), 1);
    QCOMPARE(m_proxy->connectionsAccepted(), acceptedBefore + 1);

    // A lost reply is not sent again: the server has the row once.
    m_proxy->swallowNextReply();
    RemoteDataSet& update = m_terminal->dataSet;
    PrepareDataset(update);
    update.setCommandText(QStringLiteral("INSERT INTO N_DEPART (ISN, GNOS) VALUES (81, 'Once')"));
    QVERIFY_THROWS_EXCEPTION(RemoteError, update.execute());
    QVERIFY(connection().isOffline());
    QCOMPARE(m_fixture->value(QStringLiteral("SELECT COUNT(*) FROM N_DEPART WHERE ISN = 81")),
             QVariant(1));

    // Dropping the connection on purpose ends the offline state, and the
    // connect that follows (as the login's) tries the server itself.
    connection().setConnected(false);
    QVERIFY(!connection().isOffline());
    connection().setConnected(true);
    QVERIFY(connection().connected());
    QCOMPARE(online.last().first().toBool(), true);
}

void TestConnectionHealth::pauseGrowsAndStopsOnDisconnect()
{
    connection().setRetryPauses(100, 400);
    m_proxy->refuse(true);
    QVERIFY_THROWS_EXCEPTION(ClientError, selectOne());
    QVERIFY(connection().isOffline());
    QCOMPARE(connection().reconnectAttempts(), 0);

    // The pause before each attempt: doubling up to the most.
    QList<int> pauses{connection().retryPauseMs()};
    QSignalSpy scheduled(&connection(), &ServerConnection::retryScheduled);
    QElapsedTimer waited;
    waited.start();
    QTRY_VERIFY_WITH_TIMEOUT(scheduled.size() >= 3, 10000);
    for (const QList<QVariant>& signal : scheduled)
        pauses << signal.first().toInt();
    QCOMPARE(pauses.mid(0, 4), (QList<int>{100, 200, 400, 400}));
    QVERIFY(connection().reconnectAttempts() >= 3);
    // The pauses were waited: 100 + 200 before the third attempt's failure.
    QVERIFY2(waited.elapsed() >= 250, qPrintable(QString::number(waited.elapsed())));
    QVERIFY(connection().isOffline());

    connection().setConnected(false);
    QCOMPARE(connection().retryPauseMs(), 0);
    const int attempts = connection().reconnectAttempts();
    QTest::qWait(600);
    QCOMPARE(connection().reconnectAttempts(), attempts);
}

QTEST_GUILESS_MAIN(TestConnectionHealth)
#include "tst_connectionhealth.moc"
