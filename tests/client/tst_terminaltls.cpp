// The terminal's part of the encrypted link: its own key pair (made once,
// read back the same, a damaged pair made anew, the key readable by its owner
// only), the accepted server certificate in the settings file, and the data
// module's connection over TLS against a TLS server of the test's own:
// refusing another server certificate without going offline, and coming back
// by itself over an encrypted background connection that presents the
// terminal's certificate.

#include "client/core/connectionstep.h"
#include "client/core/settingsfile.h"
#include "client/core/systemsettings.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/terminalidentity.h"
#include "common/certificatefingerprint.h"
#include "tests/support/testcertificates.h"
#include "tests/support/tlsframeserver.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

mode_t fileMode(const QString& path)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// A loopback port nothing listens on just now.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString askServer(ServerConnection& connection, const QString& text)
{
    return connection.client()
        .dataRequest(QStringLiteral("dspTempQuery"), QCborValue(text))
        .toString();
}

} // namespace

class TestTerminalTls final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void identityMadeOnceAndReadBack();
    void damagedIdentityMadeAnew_data();
    void damagedIdentityMadeAnew();
    void acceptedCertificateInSettingsFile();

    void otherServerCertificateRefusedNotOffline();
    void backgroundReconnectIsEncrypted();

private:
    TestCertificates m_certificates;
    TestCertificates::Pair m_server;
    TestCertificates::Pair m_other;
};

void TestTerminalTls::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QFile::remove(SettingsFilePath());
    m_server = m_certificates.make(QStringLiteral("server"));
    m_other = m_certificates.make(QStringLiteral("other"));
    QVERIFY2(!m_server.fingerprint.isEmpty() && !m_other.fingerprint.isEmpty(),
             qPrintable(m_certificates.error()));
}

void TestTerminalTls::identityMadeOnceAndReadBack()
{
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("Norvalk"));
    const TerminalIdentity made = TerminalIdentity::LoadOrCreate(folder);
    QCOMPARE(made.origin(), TerminalIdentity::Origin::Created);
    QVERIFY(made.damage().isEmpty());
    QCOMPARE(made.key().algorithm(), QSsl::Ec);
    QCOMPARE(made.key().length(), 256);
    QCOMPARE(made.fingerprint(), CertificateFingerprint(made.certificate().toDer()));
    QVERIFY(made.certificate().isSelfSigned());
    QVERIFY(made.certificate().expiryDate() > QDateTime::currentDateTimeUtc().addYears(20));

    const QString keyPath = QDir(folder).filePath(TerminalIdentity::KeyFileName());
    const QString certificatePath = QDir(folder).filePath(TerminalIdentity::CertificateFileName());
    QCOMPARE(fileMode(keyPath), mode_t(0600));
    QVERIFY(QFile::exists(certificatePath));
    // Written beside itself and renamed: nothing left over.
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);

    // A key copied in readable to all is made the owner's again.
    QVERIFY(QFile::setPermissions(keyPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                                               QFile::ReadGroup));
    const TerminalIdentity again = TerminalIdentity::LoadOrCreate(folder);
    QCOMPARE(again.origin(), TerminalIdentity::Origin::Loaded);
    QCOMPARE(again.fingerprint(), made.fingerprint());
    QCOMPARE(again.key().toPem(), made.key().toPem());
    QCOMPARE(fileMode(keyPath), mode_t(0600));

    // Another terminal (another folder) has a pair of its own.
    QTemporaryDir otherHome;
    QVERIFY(TerminalIdentity::LoadOrCreate(otherHome.path()).fingerprint() != made.fingerprint());
}

void TestTerminalTls::damagedIdentityMadeAnew_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("certificate cut short") << "cut certificate";
    QTest::newRow("key not PEM") << "garbage key";
    QTest::newRow("key of another certificate") << "other key";
    QTest::newRow("certificate missing") << "no certificate";
    QTest::newRow("key missing") << "no key";
}

void TestTerminalTls::damagedIdentityMadeAnew()
{
    QFETCH(QString, damage);
    QTemporaryDir folder;
    const QString keyPath = folder.filePath(TerminalIdentity::KeyFileName());
    const QString certificatePath = folder.filePath(TerminalIdentity::CertificateFileName());
    const QString before = TerminalIdentity::LoadOrCreate(folder.path()).fingerprint();

    if (damage == QLatin1String("cut certificate")) {
        const QByteArray whole = TlsFrameServer::readFile(certificatePath);
        QVERIFY(writeFile(certificatePath, whole.left(whole.size() / 2)));
    } else if (damage == QLatin1String("garbage key")) {
        QVERIFY(writeFile(keyPath, QByteArray(300, 'x')));
    } else if (damage == QLatin1String("other key")) {
        QVERIFY(writeFile(keyPath, TlsFrameServer::readFile(m_other.key)));
    } else if (damage == QLatin1String("no certificate")) {
        QVERIFY(QFile::remove(certificatePath));
    } else {
        QVERIFY(QFile::remove(keyPath));
    }

    const TerminalIdentity remade = TerminalIdentity::LoadOrCreate(folder.path());
    QCOMPARE(remade.origin(), TerminalIdentity::Origin::Remade);
    QVERIFY(!remade.damage().isEmpty());
    QVERIFY(remade.fingerprint() != before);
    QCOMPARE(fileMode(keyPath), mode_t(0600));
    // The new pair is whole: the next start reads it back.
    const TerminalIdentity next = TerminalIdentity::LoadOrCreate(folder.path());
    QCOMPARE(next.origin(), TerminalIdentity::Origin::Loaded);
    QCOMPARE(next.fingerprint(), remade.fingerprint());
}

void TestTerminalTls::acceptedCertificateInSettingsFile()
{
    QFile::remove(SettingsFilePath());
    QCOMPARE(SystemSettings::ServerCertificate(), QString());
    SystemSettings::SetServerCertificate(m_server.fingerprint);
    QCOMPARE(IniReadString(QStringLiteral("SysCon"), QStringLiteral("ServerCertificate"), {}),
             m_server.fingerprint);
    // The settings window's own writes leave it alone.
    SystemSettings switches = SystemSettings::Read();
    switches.IzrDaudzums1 = true;
    switches.Write();
    QCOMPARE(SystemSettings::ServerCertificate(), m_server.fingerprint);

    // The connection step hands it to the connection with the address (the
    // connect itself fails: nothing listens on the port).
    IniWriteString(QStringLiteral("SysCon"), QStringLiteral("HostName"),
                   QStringLiteral("127.0.0.1"));
    TClientDataModule module;
    module.SQLConnection1().setConnectTimeout(1000);
    QVERIFY_THROWS_EXCEPTION(RemoteError,
                             ConnectionStep::Connect(module, freePort(), [](const QString&) {}));
    QCOMPARE(module.SQLConnection1().serverCertificate(), m_server.fingerprint);
    QVERIFY(module.SQLConnection1().client().usesTls());

    SystemSettings::SetServerCertificate(QString());
    QVERIFY_THROWS_EXCEPTION(RemoteError,
                             ConnectionStep::Connect(module, freePort(), [](const QString&) {}));
    QVERIFY(!module.SQLConnection1().client().usesTls());
    QFile::remove(SettingsFilePath());
}

void TestTerminalTls::otherServerCertificateRefusedNotOffline()
{
    TlsFrameServer server(m_other);
    ServerConnection connection(QStringLiteral("SQLConnection1"));
    connection.setHostName(QStringLiteral("127.0.0.1"));
    connection.setPort(server.port());
    connection.setServerCertificate(m_server.fingerprint);
    QSignalSpy online(&connection, &ServerConnection::onlineChanged);

    try {
        connection.setConnected(true);
        QFAIL("connected to a server with another certificate");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Server);
        QCOMPARE(error.message(), ProviderClient::pinMismatchText(m_other.fingerprint));
    }
    QVERIFY(!connection.connected());
    QVERIFY(!connection.isOffline());
    QVERIFY(online.isEmpty());
    QCOMPARE(server.requests(), 0);
}

void TestTerminalTls::backgroundReconnectIsEncrypted()
{
    QTemporaryDir folder;
    TClientDataModule module;
    const TerminalIdentity& identity = module.loadTerminalIdentity(folder.path());
    ServerConnection& connection = module.SQLConnection1();
    const quint16 port = freePort();
    connection.setHostName(QStringLiteral("127.0.0.1"));
    connection.setPort(port);
    connection.setServerCertificate(m_server.fingerprint);
    connection.setConnectTimeout(2000);
    connection.setRetryPauses(50, 200);

    // Nothing listens: the connection goes offline and tries in the background.
    QVERIFY_THROWS_EXCEPTION(RemoteError, connection.setConnected(true));
    QVERIFY(connection.isOffline());

    {
        // A server with another certificate comes up there first: reached
        // and refused, so the connection stays offline and says why.
        TlsFrameServer impostor(m_other, port);
        QVERIFY(impostor.listening());
        QVERIFY(QTest::qWaitFor(
            [&] {
                return connection.offlineReason() ==
                       ProviderClient::pinMismatchText(m_other.fingerprint);
            },
            5000));
        QVERIFY(connection.isOffline());
        try {
            connection.setConnected(true);
            QFAIL("online with another server certificate");
        } catch (const RemoteError& error) {
            QCOMPARE(error.kind(), RemoteError::Kind::Server);
            QCOMPARE(error.message(), ProviderClient::pinMismatchText(m_other.fingerprint));
        }
        QCOMPARE(impostor.requests(), 0);
    }

    TlsFrameServer server(m_server, port);
    QVERIFY(server.listening());
    QSignalSpy online(&connection, &ServerConnection::onlineChanged);
    QVERIFY(online.wait(5000));
    QCOMPARE(online.last().first().toBool(), true);
    QVERIFY(!connection.isOffline());
    QVERIFY(connection.connected());

    // The request goes over the connection the background attempt opened.
    QCOMPARE(askServer(connection, QStringLiteral("back")), QStringLiteral("back"));
    QCOMPARE(server.handshakes(), 1);
    QCOMPARE(server.clientFingerprints(), QStringList{identity.fingerprint()});
    connection.setConnected(false);
}

QTEST_MAIN(TestTerminalTls)
#include "tst_terminaltls.moc"
