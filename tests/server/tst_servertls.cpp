// The terminals' link over TLS 1.3 and the enrolled terminals, end to end:
// norvalk-serverd with certificates made for the test, and terminals
// written here on a plain QSslSocket that pins the server's certificate,
// sending frames by hand so that the record sizes are the test's to choose.

#include "common/certificatefingerprint.h"
#include "common/frame.h"
#include "common/providerprotocol.h"
#include "server/net/terminallist.h"
#include "tests/support/testcertificates.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

namespace {

QSslKey readKey(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QSslKey();
    return QSslKey(file.readAll(), QSsl::Ec);
}

// A terminal on TLS 1.3 that trusts the server by its fingerprint alone, as
// the real ones do, presenting its own certificate when it has one.
class TlsTerminal final
{
public:
    explicit TlsTerminal(const TestCertificates::Pair* own = nullptr,
                         QSsl::SslProtocol protocol = QSsl::TlsV1_3OrLater)
    {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setProtocol(protocol);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        if (own) {
            const QList<QSslCertificate> certificate =
                QSslCertificate::fromPath(own->certificate, QSsl::Pem);
            if (!certificate.isEmpty())
                configuration.setLocalCertificate(certificate.first());
            configuration.setPrivateKey(readKey(own->key));
        }
        m_socket.setSslConfiguration(configuration);
    }

    // The fingerprint the server presented; empty when no TLS link came up.
    QString connect(quint16 port)
    {
        m_socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        if (!m_socket.waitForConnected(10000))
            return QString();
        m_port = m_socket.localPort(); // gone with the connection, and the log names it
        if (!m_socket.waitForEncrypted(10000))
            return QString();
        return CertificateFingerprint(m_socket.peerCertificate().toDer());
    }

    // Writes the bytes in pieces of this size, each sent before the next is
    // given, so that every piece travels in a record of its own.
    void send(const QByteArray& bytes, qsizetype piece)
    {
        for (qsizetype at = 0; at < bytes.size(); at += piece) {
            m_socket.write(bytes.mid(at, piece));
            m_socket.flush();
            while (m_socket.encryptedBytesToWrite() > 0 || m_socket.bytesToWrite() > 0) {
                if (!m_socket.waitForBytesWritten(5000))
                    return;
            }
        }
    }

    // The next reply; nothing when none came whole.
    std::optional<ProviderReply> reply()
    {
        while (parseFrame(m_buffer, kMaxReplyBody).status != FrameParse::Complete) {
            if (!m_socket.waitForReadyRead(15000))
                return std::nullopt;
            m_buffer.append(m_socket.readAll());
        }
        const FrameParse frame = parseFrame(m_buffer, kMaxReplyBody);
        Decoded<ProviderReply> decoded = decodeReply(frame.body);
        m_buffer.remove(0, frame.frameSize);
        return decoded.value;
    }

    std::optional<ProviderReply> ask(const ProviderRequest& request, qsizetype piece = 1 << 20)
    {
        send(makeFrame(encodeRequest(request)), piece);
        return reply();
    }

    quint16 localPort() const { return m_port; }

    bool closedByServer()
    {
        for (int i = 0; i < 50 && m_socket.state() == QAbstractSocket::ConnectedState; ++i)
            m_socket.waitForReadyRead(100);
        return m_socket.state() != QAbstractSocket::ConnectedState;
    }

private:
    QSslSocket m_socket;
    QByteArray m_buffer;
    quint16 m_port = 0;
};

ProviderRequest namesRequest(quint32 id)
{
    ProviderRequest request;
    request.id = id;
    request.operation = ProviderOperation::GetProviderNames;
    return request;
}

ProviderRequest selectRequest(quint32 id, const QString& sql, RemoteParams params = {})
{
    ProviderRequest request;
    request.id = id;
    request.provider = QStringLiteral("dspTempQuery");
    request.commandText = sql;
    request.params = std::move(params);
    return request;
}

QString replyText(const std::optional<ProviderReply>& reply)
{
    if (!reply)
        return QStringLiteral("(no reply)");
    return reply->ok ? QStringLiteral("ok") : reply->error;
}

// The log as one text: the process log folds long lines (a fingerprint
// alone is 95 characters) without a prefix on the continuation.
QString unfoldedLog(TestServer& server)
{
    return server.standardOutput().remove(u'\n');
}

bool writeFile(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

class TestServerTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void terminalsFile();
    void requestsOverTls();
    void largeReplyAndRequestInSmallRecords();
    void requestsThatArriveTogether();
    void plainTerminalGetsNothing();
    void stalledHandshakeIsDropped();
    void enrolledTerminals();
    void wrongFilesEndTheStart_data();
    void wrongFilesEndTheStart();

private:
    QStringList tlsArguments() const
    {
        return {QStringLiteral("--certificate"), m_server.certificate, QStringLiteral("--key"),
                m_server.key};
    }

    TestDatabase m_database;
    TestCertificates m_certificates;
    TestCertificates::Pair m_server;
    TestCertificates::Pair m_till;
    TestCertificates::Pair m_stranger;
};

void TestServerTls::initTestCase()
{
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    m_server = m_certificates.make(QStringLiteral("veikals"));
    m_till = m_certificates.make(QStringLiteral("kase1"));
    m_stranger = m_certificates.make(QStringLiteral("svesais"));
    QVERIFY2(!m_stranger.fingerprint.isEmpty(), qPrintable(m_certificates.error()));
}

void TestServerTls::terminalsFile()
{
    QString error;
    const QString typed = m_till.fingerprint.toLower().remove(u':');
    const std::optional<TerminalList> list =
        TerminalList::parse(QStringLiteral("# Veikala termināļi\n\n%1  Kase 1\n  %2 Noliktava\n")
                                .arg(typed, m_stranger.fingerprint),
                            &error);
    QVERIFY2(list, qPrintable(error));
    QCOMPARE(list->size(), 2);
    QCOMPARE(list->name(m_till.fingerprint), QStringLiteral("Kase 1"));
    QCOMPARE(list->name(m_stranger.fingerprint), QStringLiteral("Noliktava"));
    QVERIFY(!list->name(m_server.fingerprint));

    QVERIFY(!TerminalList::parse(QStringLiteral("# ok\n%1 Kase\n%1\n").arg(m_till.fingerprint),
                                 &error));
    QVERIFY2(error.startsWith(QStringLiteral("3. rindā")), qPrintable(error));
    QVERIFY(!TerminalList::parse(QStringLiteral("AB:CD Kase\n"), &error));
    QVERIFY2(error.startsWith(QStringLiteral("1. rindā")), qPrintable(error));
}

void TestServerTls::requestsOverTls()
{
    TestServer server;
    QVERIFY(server.start(m_database.path(), tlsArguments()));
    QTRY_VERIFY2(
        unfoldedLog(server).contains(QStringLiteral("TLS 1.3; servera sertifikāta nospiedums ") +
                                     m_server.fingerprint),
        qPrintable(server.standardOutput()));
    // A port probe that connects and goes is not a failed handshake.
    QVERIFY(!server.standardOutput().contains(QStringLiteral("TLS savienojums neizdevās")));

    TlsTerminal terminal;
    QCOMPARE(terminal.connect(server.port()), m_server.fingerprint);
    for (quint32 id = 1; id <= 3; ++id) {
        const std::optional<ProviderReply> reply = terminal.ask(namesRequest(id));
        QCOMPARE(replyText(reply), QStringLiteral("ok"));
        QCOMPARE(reply->id, id);
        QVERIFY(reply->providerNames.contains(QStringLiteral("dspTempQuery")));
    }
    const std::optional<ProviderReply> rows =
        terminal.ask(selectRequest(4, QStringLiteral("SELECT COUNT(*) FROM N_DEPART")));
    QCOMPARE(replyText(rows), QStringLiteral("ok"));
    QVERIFY(rows->packet.rows.value(0).value(0).toInt() > 0);

    // TLS 1.3 only: an older terminal gets no link at all.
    TlsTerminal older(nullptr, QSsl::TlsV1_2);
    QCOMPARE(older.connect(server.port()), QString());
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Savienojums ar 127.0.0.1:%1 slēgts: TLS savienojums neizdevās")
            .arg(older.localPort())));
}

// A reply far larger than the socket takes at once, and a request in many
// small records, both whole: the ciphertext of a partial write must not be
// lost, nor a record read ahead of the request it belongs to.
void TestServerTls::largeReplyAndRequestInSmallRecords()
{
    TestServer server;
    QVERIFY(server.start(m_database.path(), tlsArguments()));
    TlsTerminal terminal;
    QCOMPARE(terminal.connect(server.port()), m_server.fingerprint);

    terminal.send(makeFrame(encodeRequest(selectRequest(
                      1, QStringLiteral("SELECT RPAD('', 8000, 'x') || T.RDB$TYPE FROM RDB$TYPES "
                                        "T, (SELECT FIRST 3 1 N FROM RDB$TYPES) X")))),
                  1 << 20);
    // Read nothing for a while: the server's writes fill the socket and
    // stop part-way through its ciphertext.
    QThread::msleep(500);
    const std::optional<ProviderReply> large = terminal.reply();
    QCOMPARE(replyText(large), QStringLiteral("ok"));
    qint64 characters = 0;
    for (const QList<QVariant>& row : large->packet.rows) {
        QVERIFY(row.value(0).toString().startsWith(QString(8000, u'x')));
        characters += row.value(0).toString().size();
    }
    QVERIFY2(characters > 4 * 1024 * 1024, qPrintable(QString::number(characters)));

    const QString text = QString(8000, u'a') + QStringLiteral("ž");
    const std::optional<ProviderReply> split = terminal.ask(
        selectRequest(
            2, QStringLiteral("SELECT CHAR_LENGTH(CAST(:T AS VARCHAR(8100))) FROM RDB$DATABASE"),
            {RemoteParam::text(QStringLiteral("T"), text)}),
        97);
    QCOMPARE(replyText(split), QStringLiteral("ok"));
    QCOMPARE(split->packet.rows.value(0).value(0).toInt(), 8001);

    // Replies whose pieces end on either side of a record's 16 KB: the
    // server gathers them into records, and none may lose or repeat a byte.
    quint32 id = 3;
    for (const auto& [rows, length] :
         {std::pair{2, 8120}, {2, 8150}, {2, 8170}, {2, 8191}, {5, 8000}}) {
        const std::optional<ProviderReply> reply = terminal.ask(selectRequest(
            ++id, QStringLiteral("SELECT FIRST %1 CAST(RPAD('', %2, 'y') AS VARCHAR(%2)) "
                                 "FROM RDB$TYPES")
                      .arg(rows)
                      .arg(length)));
        QCOMPARE(replyText(reply), QStringLiteral("ok"));
        QCOMPARE(reply->packet.rows.size(), rows);
        for (const QList<QVariant>& row : reply->packet.rows)
            QCOMPARE(row.value(0).toString(), QString(length, u'y'));
    }

    // And the link goes on as before.
    QCOMPARE(replyText(terminal.ask(namesRequest(++id))), QStringLiteral("ok"));
}

// Requests sent while the session is busy arrive in one read, each in a
// record of its own: the engine holds the later ones after handing out the
// first, and the socket will not report them again. Every one is answered.
void TestServerTls::requestsThatArriveTogether()
{
    TestServer server;
    QVERIFY(server.start(m_database.path(), tlsArguments()));
    TlsTerminal terminal;
    QCOMPARE(terminal.connect(server.port()), m_server.fingerprint);

    const QByteArray slow = makeFrame(encodeRequest(
        selectRequest(1, QStringLiteral("SELECT COUNT(*) FROM RDB$TYPES A, RDB$TYPES B, "
                                        "(SELECT FIRST 20 1 N FROM RDB$TYPES) C"))));
    terminal.send(slow, slow.size());
    QThread::msleep(50); // the session is in the database now
    for (quint32 id = 2; id <= 4; ++id) {
        const QByteArray frame = makeFrame(encodeRequest(namesRequest(id)));
        terminal.send(frame, frame.size());
    }
    for (quint32 id = 1; id <= 4; ++id) {
        const std::optional<ProviderReply> reply = terminal.reply();
        QCOMPARE(replyText(reply), QStringLiteral("ok"));
        QCOMPARE(reply->id, id);
    }
}

void TestServerTls::plainTerminalGetsNothing()
{
    TestServer server;
    QVERIFY(server.start(m_database.path(), tlsArguments()));
    QTcpSocket plain;
    plain.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(plain.waitForConnected(5000));
    const QString port = QString::number(plain.localPort());
    plain.write(makeFrame(encodeRequest(namesRequest(7))));
    QVERIFY(plain.waitForBytesWritten(5000));
    QByteArray received;
    for (int i = 0; i < 50 && plain.state() == QAbstractSocket::ConnectedState; ++i) {
        plain.waitForReadyRead(100);
        received += plain.readAll();
    }
    QCOMPARE(plain.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(received, QByteArray());
    QTRY_VERIFY2(server.standardOutput().contains(
                     QStringLiteral("Savienojums ar 127.0.0.1:%1 slēgts: TLS savienojums neizdevās")
                         .arg(port)),
                 qPrintable(server.standardOutput()));
}

void TestServerTls::stalledHandshakeIsDropped()
{
    TestServer server;
    QVERIFY(server.start(m_database.path(),
                         tlsArguments() + QStringList{QStringLiteral("--stall-timeout"), "300"}));
    QTcpSocket silent;
    silent.connectToHost(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(silent.waitForConnected(5000));
    const quint16 port = silent.localPort();
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, 10000);
    QTRY_VERIFY2(server.standardOutput().contains(
                     QStringLiteral("Savienojums ar 127.0.0.1:%1 slēgts: TLS savienojums netika "
                                    "izveidots laikā")
                         .arg(port)),
                 qPrintable(server.standardOutput()));
}

void TestServerTls::enrolledTerminals()
{
    QTemporaryDir folder;
    const QString list = folder.filePath(QStringLiteral("terminals"));
    QVERIFY(writeFile(list,
                      QStringLiteral("# Veikala termināļi\n%1 Kase 1\n").arg(m_till.fingerprint)));
    TestServer server;
    QVERIFY(server.start(m_database.path(),
                         tlsArguments() + QStringList{QStringLiteral("--terminals"), list}));
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Reģistrēto termināļu saraksts '%1': 1 termināļi").arg(list)));

    const auto refusal = [](const QString& fingerprint) {
        return QStringLiteral("Šis terminālis serverī nav reģistrēts. Paziņojiet administratoram "
                              "termināļa nospiedumu: ") +
               fingerprint;
    };
    const auto refusalLogged = [&](const TlsTerminal& terminal, const QString& fingerprint) {
        return unfoldedLog(server).contains(
            QStringLiteral("Nereģistrēts terminālis 127.0.0.1:%1, nospiedums %2")
                .arg(terminal.localPort())
                .arg(fingerprint));
    };

    {
        TlsTerminal till(&m_till);
        QCOMPARE(till.connect(server.port()), m_server.fingerprint);
        QCOMPARE(replyText(till.ask(namesRequest(1))), QStringLiteral("ok"));
        QCOMPARE(replyText(till.ask(namesRequest(2))), QStringLiteral("ok"));
    }
    {
        // The server's own certificate: the administrator's tools on its host.
        TlsTerminal tools(&m_server);
        QCOMPARE(tools.connect(server.port()), m_server.fingerprint);
        QCOMPARE(replyText(tools.ask(namesRequest(1))), QStringLiteral("ok"));
    }
    {
        TlsTerminal stranger(&m_stranger);
        QCOMPARE(stranger.connect(server.port()), m_server.fingerprint);
        const std::optional<ProviderReply> reply = stranger.ask(namesRequest(5));
        QCOMPARE(replyText(reply), refusal(m_stranger.fingerprint));
        QCOMPARE(reply->id, 5u);
        QVERIFY(stranger.closedByServer());
        QTRY_VERIFY2(refusalLogged(stranger, m_stranger.fingerprint),
                     qPrintable(server.standardOutput()));
    }
    {
        TlsTerminal anonymous;
        QCOMPARE(anonymous.connect(server.port()), m_server.fingerprint);
        QCOMPARE(replyText(anonymous.ask(namesRequest(1))),
                 refusal(QStringLiteral("nav sertifikāta")));
        QVERIFY(anonymous.closedByServer());
        QTRY_VERIFY(refusalLogged(anonymous, QStringLiteral("nav sertifikāta")));
    }

    // Enrolled by a reload; a file broken afterwards keeps the list in force.
    QVERIFY(writeFile(list, QStringLiteral("%1 Kase 1\n%2 Noliktava\n")
                                .arg(m_till.fingerprint, m_stranger.fingerprint)));
    QVERIFY(server.reload());
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Reģistrēto termināļu saraksts '%1': 2 termināļi").arg(list)));
    QVERIFY(writeFile(list, QStringLiteral("%1 Kase 1\nNoliktava\n").arg(m_till.fingerprint)));
    QVERIFY(server.reload());
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Paliek spēkā iepriekšējais termināļu saraksts")));
    QVERIFY(server.standardOutput().contains(QStringLiteral("2. rindā")));
    TlsTerminal stranger(&m_stranger);
    QCOMPARE(stranger.connect(server.port()), m_server.fingerprint);
    QCOMPARE(replyText(stranger.ask(namesRequest(1))),
             QStringLiteral("ok")); // Nothing changed that would wait for a restart.
    QVERIFY2(!server.standardOutput().contains(QStringLiteral("restartēšanas")),
             qPrintable(server.standardOutput()));
}

void TestServerTls::wrongFilesEndTheStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("key of another certificate")
        << QStringList{"--certificate", m_server.certificate, "--key", m_till.key}
        << QStringLiteral("Atslēga '%1' neatbilst sertifikātam '%2' !!!")
               .arg(m_till.key, m_server.certificate);
    QTest::newRow("no such certificate")
        << QStringList{"--certificate", m_certificates.folder() + "/nav.pem", "--key", m_server.key}
        << QStringLiteral("Nevaru nolasīt servera sertifikāta failu");
    QTest::newRow("key for a certificate")
        << QStringList{"--certificate", m_server.key, "--key", m_server.key}
        << QStringLiteral("nav PEM sertifikāta");
    QTest::newRow("certificate for a key")
        << QStringList{"--certificate", m_server.certificate, "--key", m_server.certificate}
        << QStringLiteral("nav nešifrētas PEM privātās atslēgas");
    QTest::newRow("certificate without its key")
        << QStringList{"--certificate", m_server.certificate}
        << QStringLiteral("norādiet arī --key");
    QTest::newRow("terminals without TLS") << QStringList{"--terminals", m_server.certificate}
                                           << QStringLiteral("var pārbaudīt tikai TLS savienojumā");
    QTest::newRow("terminals file that is not one")
        << QStringList{"--certificate", m_server.certificate, "--key",
                       m_server.key,    "--terminals",        m_server.certificate}
        << QStringLiteral("1. rindā jābūt termināļa sertifikāta nospiedumam");
}

void TestServerTls::wrongFilesEndTheStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    TestServer server;
    const int exitCode = server.runToEnd(QStringList{"--database", m_database.path(), "--port",
                                                     QString::number(TestServer::freePort())} +
                                         arguments);
    QVERIFY(exitCode != 0);
    QVERIFY2(server.standardError().contains(message), qPrintable(server.standardError()));
    QVERIFY(!server.standardOutput().contains(QStringLiteral("Gaidu termināļus")));
}

QTEST_GUILESS_MAIN(TestServerTls)
#include "tst_servertls.moc"
