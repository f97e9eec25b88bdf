// Start-up of the server: where the database path comes from, what happens
// when it is missing or the database cannot be opened, character sets, the
// Firebird server path, and a clean stop; by norvalk-serverd, and by
// NorvalkServer --headless for what both programs must do alike.

#include "common/providerclient.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TestServer::Program)

class TestServerStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pathFromConfigurationStore_data();
    void pathFromConfigurationStore();
    void unreachableDatabaseServesDegraded();
    void latvianLettersSurvive_data();
    void latvianLettersSurvive();
    void remoteFirebirdServer();
    void terminationIsClean_data();
    void terminationIsClean();

private:
    QProcessEnvironment environmentWithStore(const QString& group, const QString& path);

    QTemporaryDir m_home;
    TestDatabase m_database;
};

void TestServerStartup::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
}

// A configuration store of its own for the server process: the same
// organisation/application/group/value as on the shop's machines.
QProcessEnvironment TestServerStartup::environmentWithStore(const QString& group,
                                                            const QString& path)
{
    const QString configHome =
        m_home.filePath(QStringLiteral("config-%1").arg(QTest::currentDataTag()));
    QFile::remove(configHome + QStringLiteral("/TOLVEX/Norvalk.conf"));
    if (!group.isEmpty()) {
        QSettings store(configHome + QStringLiteral("/TOLVEX/Norvalk.conf"), QSettings::IniFormat);
        store.beginGroup(group);
        store.setValue(QStringLiteral("MainDB"), path);
    }
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    return environment;
}

void TestServerStartup::pathFromConfigurationStore_data()
{
    using Program = TestServer::Program;
    QTest::addColumn<Program>("program");
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("withPath");
    QTest::addColumn<QString>("message");
    const QString notFound = QStringLiteral("Reģistros DB ceļš nav atrasts !!!");
    QTest::newRow("no key") << Program::Service << QString() << false << notFound;
    QTest::newRow("other group") << Program::Service << QStringLiteral("Citas") << true << notFound;
    QTest::newRow("empty path") << Program::Service << QStringLiteral("Bazes") << false
                                << QStringLiteral(
                                       "Datora reģistros nav aizpildīts datu bāzes ceļš !!!");
    QTest::newRow("path set") << Program::Service << QStringLiteral("Bazes") << true << QString();
    QTest::newRow("NorvalkServer --headless, no key")
        << Program::Windowed << QString() << false << notFound;
    QTest::newRow("NorvalkServer --headless, path set")
        << Program::Windowed << QStringLiteral("Bazes") << true << QString();
}

void TestServerStartup::pathFromConfigurationStore()
{
    QFETCH(TestServer::Program, program);
    QFETCH(QString, group);
    QFETCH(bool, withPath);
    QFETCH(QString, message);
    TestServer server(program);
    server.setEnvironment(environmentWithStore(group, withPath ? m_database.path() : QString()));
    if (message.isEmpty()) {
        QVERIFY(server.start(QString()));
        ProviderClient client;
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(server.port());
        RemoteParams none;
        QVERIFY(!client.getRecords(QStringLiteral("dspN_DEPART"), QString(), none).rows.isEmpty());
        return;
    }
    const int exitCode =
        server.runToEnd({QStringLiteral("--port"), QString::number(TestServer::freePort())});
    QVERIFY(exitCode != 0);
    QVERIFY2(server.standardError().contains(message), qPrintable(server.standardError()));
}

void TestServerStartup::unreachableDatabaseServesDegraded()
{
    TestServer server;
    QVERIFY(server.start(m_home.filePath(QStringLiteral("missing/PRECES.GDB"))));
    QTRY_VERIFY(server.standardError().contains(
        QStringLiteral("Nevaru atvērt FireDAC konekciju datu bāzi !!!\n")));
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    RemoteParams none;
    try {
        client.getRecords(QStringLiteral("dspN_DEPART"), QString(), none);
        QFAIL("a request without a database should fail");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Server);
        QVERIFY(!error.message().isEmpty());
    }
    QVERIFY(server.isRunning());
    QCOMPARE(client.getProviderNames().size(), 11);
}

void TestServerStartup::latvianLettersSurvive_data()
{
    QTest::addColumn<QString>("charset");
    QTest::newRow("UTF8") << QStringLiteral("UTF8");
    QTest::newRow("WIN1257") << QStringLiteral("WIN1257");
}

void TestServerStartup::latvianLettersSurvive()
{
    QFETCH(QString, charset);
    TestDatabase database(TestDatabase::Content::Empty, charset);
    QVERIFY2(database.isValid(), qPrintable(database.error()));
    TestServer server;
    QVERIFY(server.start(database.path()));
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    const QString letters = QStringLiteral("ā č ē ģ ī ķ ļ ņ š ū ž Ā Č Ē Ģ Ī Ķ Ļ Ņ Š Ū Ž");
    RemoteParams params{RemoteParam::text(QStringLiteral("GNOS"), letters)};
    client.execute(QStringLiteral("dspUpdate"),
                   QStringLiteral("INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS)"), params);
    const DataPacket back =
        client.getRecords(QStringLiteral("dspTempQuery"),
                          QStringLiteral("SELECT GNOS FROM N_PRGRUP WHERE GNOS = :GNOS"), params);
    QCOMPARE(back.rows.size(), 1);
    QCOMPARE(back.rows[0][0].toString(), letters);
}

void TestServerStartup::remoteFirebirdServer()
{
    // The Firebird server runs as its own user: the database must be reachable for it.
    QFile::setPermissions(QFileInfo(m_database.path()).absolutePath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadOther | QFileDevice::WriteOther |
                              QFileDevice::ExeOther);
    TestServer server;
    QVERIFY(server.start(QStringLiteral("127.0.0.1:") + m_database.path()));
    QVERIFY2(!server.standardError().contains(QLatin1String("Nevaru")),
             qPrintable(server.standardError()));
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    RemoteParams none;
    const DataPacket departments =
        client.getRecords(QStringLiteral("dspN_DEPART"), QString(), none);
    QVERIFY(!departments.rows.isEmpty());
    QVERIFY(!server.standardError().contains(QLatin1String("Nevaru")));
}

void TestServerStartup::terminationIsClean_data()
{
    QTest::addColumn<TestServer::Program>("program");
    QTest::newRow("norvalk-serverd") << TestServer::Program::Service;
    QTest::newRow("NorvalkServer --headless") << TestServer::Program::Windowed;
}

void TestServerStartup::terminationIsClean()
{
    QFETCH(TestServer::Program, program);
    TestServer server(program);
    QVERIFY(server.start(m_database.path()));
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    client.connectToServer();
    const int exitCode = server.stop();
    QVERIFY2(exitCode == 0, qPrintable(QStringLiteral("exit %1\n%2\n%3")
                                           .arg(exitCode)
                                           .arg(server.standardOutput(), server.standardError())));
    QVERIFY2(server.standardOutput().contains(QStringLiteral("Serveris apturēts")),
             qPrintable(server.standardOutput()));
}

QTEST_GUILESS_MAIN(TestServerStartup)
#include "tst_serverstartup.moc"
