// The relay the connection tests break links with, each of its faults seen
// by a real terminal client talking to NorvalkServer through it: passing
// requests and counting them, cutting, refusing, losing a reply the server
// has acted on, and swallowing everything.

#include "common/providerclient.h"
#include "common/remoteerror.h"
#include "tests/client/serverfixture.h"
#include "tests/support/faultproxy.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

class TestFaultProxy final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void forwardsAndCounts();
    void cutsAndRefusals();
    void lostReplyWasRun();
    void blackholePassesNothing();

private:
    int selectOne();
    bool answers();
    RemoteError::Kind failureOf(const std::function<void()>& request);

    std::unique_ptr<ServerFixture> m_fixture;
    std::unique_ptr<FaultProxy> m_proxy;
    std::unique_ptr<ProviderClient> m_client;
};

void TestFaultProxy::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TestFaultProxy::init()
{
    m_proxy = std::make_unique<FaultProxy>(m_fixture->server().port());
    QVERIFY(m_proxy->isListening());
    m_client = std::make_unique<ProviderClient>();
    m_client->setHost(QStringLiteral("127.0.0.1"));
    m_client->setPort(m_proxy->port());
    m_client->setConnectTimeout(3000);
}

void TestFaultProxy::cleanup()
{
    m_client.reset();
    m_proxy.reset();
}

void TestFaultProxy::cleanupTestCase()
{
    m_fixture.reset();
}

int TestFaultProxy::selectOne()
{
    RemoteParams none;
    const DataPacket packet = m_client->getRecords(
        QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 1 X FROM RDB$DATABASE"), none);
    return packet.rows.isEmpty() ? -1 : packet.rows.first().value(0).toInt();
}

bool TestFaultProxy::answers()
{
    try {
        return selectOne() == 1;
    } catch (const RemoteError&) {
        return false;
    }
}

// The kind of RemoteError a request ends with; a request that succeeds fails the test.
RemoteError::Kind TestFaultProxy::failureOf(const std::function<void()>& request)
{
    try {
        request();
    } catch (const RemoteError& error) {
        return error.kind();
    }
    qWarning("the request went through");
    return RemoteError::Kind::Server;
}

void TestFaultProxy::forwardsAndCounts()
{
    QCOMPARE(selectOne(), 1);
    QCOMPARE(selectOne(), 1);
    QCOMPARE(m_proxy->connectionsAccepted(), 1);
    QCOMPARE(m_proxy->openConnections(), 1);
    // Every byte either way went through the relay, and only those.
    QCOMPARE(m_proxy->bytesToServer(), m_client->bytesSent());
    QTRY_COMPARE(m_proxy->bytesToTerminal(), m_client->bytesReceived());
    QVERIFY(m_client->bytesReceived() > 0);
}

void TestFaultProxy::cutsAndRefusals()
{
    QCOMPARE(selectOne(), 1);
    m_proxy->cutAll();
    QCOMPARE(m_proxy->openConnections(), 0);
    QTRY_VERIFY(!m_client->isConnected());
    // The client finds the connection gone before sending and opens another.
    QCOMPARE(selectOne(), 1);
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
    QCOMPARE(selectOne(), 1);
    QCOMPARE(m_proxy->connectionsAccepted(), 3);

    m_client->disconnectFromServer();
    m_proxy->refuseFor(400);
    QCOMPARE(failureOf([this] { m_client->connectToServer(); }), RemoteError::Kind::Transport);
    QTRY_VERIFY_WITH_TIMEOUT(answers(), 5000);
    QCOMPARE(m_proxy->connectionsAccepted(), 4);
}

void TestFaultProxy::lostReplyWasRun()
{
    QCOMPARE(selectOne(), 1);
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
    QCOMPARE(selectOne(), 1);
    QCOMPARE(m_proxy->repliesSwallowed(), 1);
}

void TestFaultProxy::blackholePassesNothing()
{
    QCOMPARE(selectOne(), 1);
    const quint64 sentBefore = m_proxy->bytesToServer();
    const quint64 receivedBefore = m_proxy->bytesToTerminal();
    m_proxy->blackhole(true);
    m_client->setReplyTimeout(1500);
    QCOMPARE(failureOf([this] { selectOne(); }), RemoteError::Kind::Transport);
    QCOMPARE(m_proxy->bytesToServer(), sentBefore);
    QCOMPARE(m_proxy->bytesToTerminal(), receivedBefore);
    // A new connection is accepted, and goes nowhere either.
    QCOMPARE(failureOf([this] { selectOne(); }), RemoteError::Kind::Transport);
    QCOMPARE(m_proxy->connectionsAccepted(), 2);
    QCOMPARE(m_proxy->bytesToServer(), sentBefore);

    m_proxy->blackhole(false);
    m_client->setReplyTimeout(10000);
    QCOMPARE(selectOne(), 1);
    QVERIFY(m_proxy->bytesToServer() > sentBefore);
}

QTEST_GUILESS_MAIN(TestFaultProxy)
#include "tst_faultproxy.moc"
