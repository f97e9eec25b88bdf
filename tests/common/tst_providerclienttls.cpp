// The terminal's side of the encrypted link against a small TLS server on
// loopback that speaks frames: the pinned certificate accepted and a request
// answered, another certificate refused before anything is sent, the
// client's own certificate seen by the server, a connection opened without
// waiting and handed over, the first contact that only reads the server's
// fingerprint; and the load probes' raw connections over TLS.

#include "common/certificatefingerprint.h"
#include "common/providerclient.h"
#include "tests/support/loadprobe.h"
#include "tests/support/testcertificates.h"
#include "tests/support/tlsframeserver.h"

#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

#include <memory>

namespace {

QByteArray readAll(const QString& path)
{
    return TlsFrameServer::readFile(path);
}

QString answerTo(ProviderClient& client, const QString& text)
{
    return client.dataRequest(QStringLiteral("dspTempQuery"), QCborValue(text)).toString();
}

} // namespace

class TestProviderClientTls final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void pinnedServerAnswers();
    void otherCertificateRefusedBeforeAnyRequest();
    void ownCertificatePresented();
    void adoptedEncryptedConnection();
    void adoptRefusesOtherCertificate();
    void firstContactReadsFingerprint();
    void firstContactWithoutTlsFails();
    void loadProbesSpeakTls();

private:
    void pointAt(ProviderClient& client, quint16 port) const;
    bool pinWithTerminalCertificate(ProviderClient& client) const;

    TestCertificates m_certificates;
    TestCertificates::Pair m_server;
    TestCertificates::Pair m_other;
    TestCertificates::Pair m_terminal;
};

void TestProviderClientTls::initTestCase()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no TLS backend here");
    m_server = m_certificates.make(QStringLiteral("server"));
    m_other = m_certificates.make(QStringLiteral("other"));
    m_terminal = m_certificates.make(QStringLiteral("terminal"));
    QVERIFY2(!m_server.fingerprint.isEmpty() && !m_other.fingerprint.isEmpty() &&
                 !m_terminal.fingerprint.isEmpty(),
             qPrintable(m_certificates.error()));
}

void TestProviderClientTls::pointAt(ProviderClient& client, quint16 port) const
{
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.setConnectTimeout(5000);
    client.setReplyTimeout(5000);
}

// The server's certificate pinned, the terminal's own presented.
bool TestProviderClientTls::pinWithTerminalCertificate(ProviderClient& client) const
{
    const QSslCertificate certificate(readAll(m_terminal.certificate), QSsl::Pem);
    const QSslKey key(readAll(m_terminal.key), QSsl::Ec, QSsl::Pem);
    client.setTls(m_server.fingerprint, certificate, key);
    return !certificate.isNull() && !key.isNull();
}

void TestProviderClientTls::pinnedServerAnswers()
{
    TlsFrameServer server(m_server);
    ProviderClient client;
    pointAt(client, server.port());
    // Typed as an administrator might paste it: lower case, no colons.
    client.setTls(m_server.fingerprint.toLower().remove(QLatin1Char(':')));
    QVERIFY(client.usesTls());
    QCOMPARE(client.pinnedFingerprint(), m_server.fingerprint);

    RemoteParams params;
    client.execute(QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 1 FROM RDB$DATABASE"),
                   params);
    QCOMPARE(client.presentedFingerprint(), m_server.fingerprint);
    // Statement handles work over TLS too: the second request goes bare and
    // still reaches the server on the same connection.
    client.execute(QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 1 FROM RDB$DATABASE"),
                   params);
    QCOMPARE(server.requests(), 2);
    QCOMPARE(server.handshakes(), 1);
    QVERIFY(client.isConnected());
    QVERIFY(client.checkLink());
    QVERIFY(client.bytesReceived() > 0);

    // A new connection costs a new handshake, and its statements register
    // afresh.
    client.disconnectFromServer();
    client.execute(QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 2 FROM RDB$DATABASE"),
                   params);
    QCOMPARE(server.requests(), 3);
    QCOMPARE(server.handshakes(), 2);
    // No certificate of its own was set: none was shown.
    QCOMPARE(server.clientFingerprints(), (QStringList{QString(), QString()}));
}

void TestProviderClientTls::otherCertificateRefusedBeforeAnyRequest()
{
    TlsFrameServer server(m_other);
    ProviderClient client;
    pointAt(client, server.port());
    client.setTls(m_server.fingerprint);
    QStringList linkLost;
    client.setLinkLostHandler([&linkLost](const QString& reason) { linkLost << reason; });

    for (int round = 0; round < 2; ++round) {
        try {
            RemoteParams params;
            client.execute(QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 1"), params);
            QFAIL("a server with another certificate was sent a request");
        } catch (const RemoteError& error) {
            QCOMPARE(error.kind(), RemoteError::Kind::Server);
            QCOMPARE(error.message(),
                     QStringLiteral("Servera sertifikāts neatbilst iestatītajam (%1). Ja serverim "
                                    "ir jauns sertifikāts, administrators to var pieņemt "
                                    "iestatījumos.")
                         .arg(m_other.fingerprint));
        }
        QCOMPARE(client.presentedFingerprint(), m_other.fingerprint);
        QVERIFY(!client.isConnected());
    }
    QCOMPARE(server.requests(), 0);
    // The server was reached: no broken link for the terminal to go offline on.
    QVERIFY(linkLost.isEmpty());

    // A pin that is no fingerprint at all keeps TLS on and matches nothing.
    client.setTls(QStringLiteral("not a fingerprint"));
    QVERIFY(client.usesTls());
    QVERIFY_THROWS_EXCEPTION(RemoteError, client.connectToServer());
    QCOMPARE(server.requests(), 0);
}

void TestProviderClientTls::ownCertificatePresented()
{
    TlsFrameServer server(m_server);
    ProviderClient client;
    pointAt(client, server.port());
    QVERIFY(pinWithTerminalCertificate(client));

    QCOMPARE(answerTo(client, QStringLiteral("x")), QStringLiteral("x"));
    QCOMPARE(server.requests(), 1);
    QCOMPARE(server.clientFingerprints(), QStringList{m_terminal.fingerprint});

    // Back to plain TCP (from the next connect): this server then hears no
    // TLS and no request gets through; the failure is the link's.
    client.setTls(QString());
    QVERIFY(!client.usesTls());
    client.disconnectFromServer();
    client.setConnectTimeout(1000);
    client.setReplyTimeout(1000);
    QVERIFY_THROWS_EXCEPTION(RemoteError, answerTo(client, QStringLiteral("y")));
    QCOMPARE(server.requests(), 1);
}

void TestProviderClientTls::adoptedEncryptedConnection()
{
    TlsFrameServer server(m_server);
    ProviderClient client;
    pointAt(client, server.port());
    QVERIFY(pinWithTerminalCertificate(client));

    // Opened as the terminal's background attempt opens it: without
    // waiting, the event loop driving the handshake.
    std::unique_ptr<QTcpSocket> socket = client.newSocket();
    auto* encrypted = qobject_cast<QSslSocket*>(socket.get());
    QVERIFY(encrypted);
    QSignalSpy ready(encrypted, &QSslSocket::encrypted);
    client.startConnecting(*socket);
    QVERIFY(ready.wait(5000));

    client.adoptConnection(std::move(socket));
    QVERIFY(!socket);
    QVERIFY(client.isConnected());
    RemoteParams params;
    client.execute(QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 1"), params);
    client.execute(QStringLiteral("dspTempQuery"), QStringLiteral("SELECT 1"), params);
    QCOMPARE(server.requests(), 2);
    QCOMPARE(server.handshakes(), 1); // the requests went over the adopted connection
    QCOMPARE(server.clientFingerprints(), QStringList{m_terminal.fingerprint});

    // A plain socket, or a handshake not yet done, is no connection to take.
    std::unique_ptr<QTcpSocket> plain = std::make_unique<QTcpSocket>();
    plain->connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(plain->waitForConnected(5000));
    client.adoptConnection(std::move(plain));
    QVERIFY(!client.isConnected());
}

void TestProviderClientTls::adoptRefusesOtherCertificate()
{
    TlsFrameServer server(m_other);
    ProviderClient client;
    pointAt(client, server.port());
    client.setTls(m_server.fingerprint);
    std::unique_ptr<QTcpSocket> socket = client.newSocket();
    QSignalSpy ready(qobject_cast<QSslSocket*>(socket.get()), &QSslSocket::encrypted);
    client.startConnecting(*socket);
    QVERIFY(ready.wait(5000));

    try {
        client.adoptConnection(std::move(socket));
        QFAIL("a connection to another certificate was taken");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Server);
        QVERIFY(error.message().contains(m_other.fingerprint));
    }
    // Still the caller's, to be let go outside its own signal.
    QVERIFY(socket);
    QVERIFY(!client.isConnected());
    QCOMPARE(client.presentedFingerprint(), m_other.fingerprint);
    QCOMPARE(server.requests(), 0);
}

void TestProviderClientTls::firstContactReadsFingerprint()
{
    TlsFrameServer server(m_server);
    QCOMPARE(
        ProviderClient::fetchServerFingerprint(QStringLiteral("127.0.0.1"), server.port(), 5000),
        m_server.fingerprint);
    QCOMPARE(server.requests(), 0);
}

void TestProviderClientTls::firstContactWithoutTlsFails()
{
    // A listener that takes the connection and says nothing: a plain server
    // waiting for a frame, not a handshake.
    QTcpServer plain;
    QVERIFY(plain.listen(QHostAddress::LocalHost, 0));
    try {
        ProviderClient::fetchServerFingerprint(QStringLiteral("127.0.0.1"), plain.serverPort(),
                                               500);
        QFAIL("a fingerprint came from a server without TLS");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Transport);
        QVERIFY(
            error.message().startsWith(QStringLiteral("127.0.0.1:%1: ").arg(plain.serverPort())));
    }
}

void TestProviderClientTls::loadProbesSpeakTls()
{
    TlsFrameServer server(m_server);
    IdleTerminals idle;
    idle.open(server.port(), 3, RawTls{m_terminal.certificate, m_terminal.key});
    QCOMPARE(idle.count(), 3);
    QCOMPARE(server.requests(), 3);
    QCOMPARE(server.clientFingerprints(), QStringList(3, m_terminal.fingerprint));

    // Without a certificate of its own; the server's session tickets are no
    // reply to read.
    RawConnection raw(server.port(), RawTls{});
    QCOMPARE(raw.peerFingerprint(), m_server.fingerprint);
    QTest::qWait(50);
    QVERIFY(!raw.readable());
    raw.send(selectFrame(QStringLiteral("SELECT 1"), 7));
    const Decoded<ProviderReply> reply = decodeReply(raw.readFrame(5000));
    QVERIFY(reply.value && reply.value->ok);
    QCOMPARE(reply.value->id, 7u);
    QCOMPARE(server.requests(), 4);
    QCOMPARE(server.clientFingerprints().last(), QString());
}

QTEST_MAIN(TestProviderClientTls)
#include "tst_providerclienttls.moc"
