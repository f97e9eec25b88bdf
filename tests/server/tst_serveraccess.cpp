// Who may connect to NorvalkServer and how many: the allow list and the
// listen address (command line and configuration store), the connection
// cap, and the process's descriptor limit. This test lowers its own limit
// of open descriptors, which the servers it starts inherit.

#include "common/frame.h"
#include "common/providerclient.h"
#include "server/net/allowlist.h"
#include "server/net/descriptorlimit.h"
#include "tests/support/loadprobe.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

namespace {

constexpr rlim_t kDescriptorLimit = 200;

// "ok", or the server's refusal, for one request of a fresh terminal.
QString askNames(quint16 port)
{
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(port);
    client.setReplyTimeout(10000);
    try {
        client.getProviderNames();
        return QStringLiteral("ok");
    } catch (const RemoteError& error) {
        return error.message();
    }
}

QByteArray namesFrame(quint32 id)
{
    ProviderRequest request;
    request.id = id;
    request.operation = ProviderOperation::GetProviderNames;
    return makeFrame(encodeRequest(request));
}

} // namespace

class TestServerAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void allowListEntries_data();
    void allowListEntries();
    void defaultCapLeavesRoom();
    void allowList_data();
    void allowList();
    void configurationStore_data();
    void configurationStore();
    void hangupRereadsTheStore_data();
    void hangupRereadsTheStore();
    void testersOwnStoreNeverReachesTheServer_data();
    void testersOwnStoreNeverReachesTheServer();
    void wrongValuesEndTheStart_data();
    void wrongValuesEndTheStart();
    void capRefusesAndLogsOncePerBurst();
    void descriptorLimitRefusesInsteadOfHanging_data();
    void descriptorLimitRefusesInsteadOfHanging();

private:
    TestDatabase m_database;
    QTemporaryDir m_home;
};

void TestServerAccess::initTestCase()
{
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    QVERIFY(m_home.isValid());
    rlimit limit{};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    limit.rlim_max = std::min(limit.rlim_max, kDescriptorLimit);
    limit.rlim_cur = limit.rlim_max;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &limit), 0);
}

void TestServerAccess::allowListEntries_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("empty: everyone") << ""
                                     << "192.168.10.5" << true;
    QTest::newRow("in the network") << "192.168.10.0/24"
                                    << "192.168.10.5" << true;
    QTest::newRow("outside it") << "192.168.10.0/24"
                                << "192.168.11.5" << false;
    QTest::newRow("one address") << "10.0.0.7"
                                 << "10.0.0.7" << true;
    QTest::newRow("its neighbour") << "10.0.0.7"
                                   << "10.0.0.8" << false;
    QTest::newRow("several, any separator") << "10.0.0.7; 192.168.10.0/24  fd00::/8"
                                            << "fd12::1" << true;
    QTest::newRow("IPv4 terminal on an IPv6 socket") << "192.168.10.0/24"
                                                     << "::ffff:192.168.10.9" << true;
    QTest::newRow("IPv6 network, IPv4 terminal") << "fd00::/8"
                                                 << "192.168.10.9" << false;
}

void TestServerAccess::allowListEntries()
{
    QFETCH(QString, list);
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    QString wrong;
    const std::optional<AllowList> parsed = AllowList::parse(list, &wrong);
    QVERIFY2(parsed, qPrintable(wrong));
    QCOMPARE(parsed->allowsEveryone(), list.isEmpty());
    QCOMPARE(parsed->allows(QHostAddress(address)), allowed);

    QVERIFY(!AllowList::parse(list + QStringLiteral(", veikals"), &wrong));
    QCOMPARE(wrong, QStringLiteral("veikals"));
    QVERIFY(!AllowList::parse(QStringLiteral("10.0.0.0/33"), &wrong));
}

void TestServerAccess::defaultCapLeavesRoom()
{
    QCOMPARE(defaultMaxClients(1024, 4), 1024 - 112);
    QVERIFY(defaultMaxClients(20000, 64) < 20000 - 64);
    QCOMPARE(defaultMaxClients(50, 4), 1); // a limit that small still serves one
}

void TestServerAccess::allowList_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("served");
    QTest::addColumn<QString>("startLine");
    QTest::newRow("everyone") << QStringList{} << true
                              << QStringLiteral("Pieslēgties drīkst jebkura adrese");
    QTest::newRow("the loopback network") << QStringList{"--allow", "127.0.0.0/8"} << true
                                          << QStringLiteral("Pieslēgties drīkst: 127.0.0.0/8");
    QTest::newRow("the address among others")
        << QStringList{"--allow", "::1, 127.0.0.1"} << true
        << QStringLiteral("Pieslēgties drīkst: ::1/128, 127.0.0.1/32");
    QTest::newRow("another network") << QStringList{"--allow", "10.0.0.0/8"} << false
                                     << QStringLiteral("Pieslēgties drīkst: 10.0.0.0/8");
    QTest::newRow("IPv6 only") << QStringList{"--allow", "fd00::/8"} << false
                               << QStringLiteral("Pieslēgties drīkst: fd00::/8");
    QTest::newRow("listening on loopback") << QStringList{"--listen", "127.0.0.1"} << true
                                           << QStringLiteral("Pieslēgties drīkst jebkura adrese");
}

void TestServerAccess::allowList()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, served);
    QFETCH(QString, startLine);
    TestServer server;
    QVERIFY(server.start(m_database.path(), arguments));
    QTRY_VERIFY(server.standardOutput().contains(startLine));
    const QString answer = askNames(server.port());
    if (served) {
        QCOMPARE(answer, QStringLiteral("ok"));
        return;
    }
    QCOMPARE(answer,
             QStringLiteral("Šī termināļa adrese (127.0.0.1) nav atļauta šim serverim !!!"));
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Kļūda :Termināļa adrese 127.0.0.1 nav atļauta; savienojums atteikts")));
    QVERIFY(!server.standardOutput().contains(QStringLiteral("Pievienojies.")));
}

void TestServerAccess::configurationStore_data()
{
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QString>("allow");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("served");
    QTest::newRow("store keeps out") << ""
                                     << "10.0.0.0/8" << QStringList{} << false;
    QTest::newRow("store lets in") << "127.0.0.1"
                                   << "192.168.10.0/24, 127.0.0.1" << QStringList{} << true;
    QTest::newRow("command line over the store")
        << ""
        << "10.0.0.0/8" << QStringList{"--allow", "127.0.0.1"} << true;
}

void TestServerAccess::configurationStore()
{
    QFETCH(QString, listen);
    QFETCH(QString, allow);
    QFETCH(QStringList, arguments);
    QFETCH(bool, served);
    const QString configHome =
        m_home.filePath(QStringLiteral("config-%1").arg(QTest::currentDataTag()));
    {
        // The per-user store the administrator edits, beside MainDB.
        QSettings store(configHome + QStringLiteral("/TOLVEX/Norvalk.conf"), QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Bazes"));
        store.setValue(QStringLiteral("MainDB"), m_database.path());
        if (!listen.isEmpty())
            store.setValue(QStringLiteral("Listen"), listen);
        store.setValue(QStringLiteral("Allow"), allow);
    }
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    TestServer server;
    server.setEnvironment(environment);
    QVERIFY(server.start(QString(), arguments));
    QCOMPARE(askNames(server.port()) == QLatin1String("ok"), served);
}

void TestServerAccess::hangupRereadsTheStore_data()
{
    QTest::addColumn<QString>("allowBefore");
    QTest::addColumn<QString>("allowAfter");
    QTest::addColumn<QString>("listenAfter");
    QTest::addColumn<bool>("servedAfter");
    QTest::addColumn<QString>("line");
    QTest::newRow("now keeps loopback out")
        << "127.0.0.1"
        << "10.0.0.0/8"
        << "127.0.0.1" << false << QStringLiteral("Pieslēgties drīkst: 10.0.0.0/8");
    QTest::newRow("now lets loopback in")
        << "10.0.0.0/8"
        << "127.0.0.0/8"
        << "127.0.0.1" << true << QStringLiteral("Pieslēgties drīkst: 127.0.0.0/8");
    QTest::newRow("mistyped: the list in force stays")
        << "10.0.0.0/8"
        << "10.0.0.0/8, kase1"
        << "127.0.0.1" << false
        << QStringLiteral("Paliek spēkā iepriekšējais atļauto adrešu saraksts");
    QTest::newRow("another listen address waits for a restart")
        << "127.0.0.1"
        << "127.0.0.1"
        << "127.0.0.2" << true
        << QStringLiteral("Klausīšanās adrese '127.0.0.2' stāsies spēkā pēc servera "
                          "restartēšanas");
}

void TestServerAccess::hangupRereadsTheStore()
{
    QFETCH(QString, allowBefore);
    QFETCH(QString, allowAfter);
    QFETCH(QString, listenAfter);
    QFETCH(bool, servedAfter);
    QFETCH(QString, line);
    const QString configHome =
        m_home.filePath(QStringLiteral("hangup-%1").arg(QTest::currentDataTag()));
    const auto writeStore = [&](const QString& allow, const QString& listen) {
        QSettings store(configHome + QStringLiteral("/TOLVEX/Norvalk.conf"), QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Bazes"));
        store.setValue(QStringLiteral("MainDB"), m_database.path());
        store.setValue(QStringLiteral("Listen"), listen);
        store.setValue(QStringLiteral("Allow"), allow);
    };
    writeStore(allowBefore, QStringLiteral("127.0.0.1"));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    TestServer server;
    server.setEnvironment(environment);
    QVERIFY(server.start(QString()));
    QCOMPARE(askNames(server.port()) == QLatin1String("ok"),
             !allowBefore.startsWith(QLatin1String("10.")));

    writeStore(allowAfter, listenAfter);
    QVERIFY(server.reload());
    QTRY_VERIFY(server.standardOutput().contains(line));
    QCOMPARE(askNames(server.port()) == QLatin1String("ok"), servedAfter);
    QVERIFY(server.isRunning());
    QCOMPARE(server.standardOutput().contains(QStringLiteral("restartēšanas")),
             listenAfter != QLatin1String("127.0.0.1"));
}

void TestServerAccess::testersOwnStoreNeverReachesTheServer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("Allow keeps loopback out") << "Allow"
                                              << "10.0.0.0/8";
    QTest::newRow("Listen on an address this machine lacks") << "Listen"
                                                             << "192.0.2.1";
}

// The store of the person running the tests, in the HOME and
// XDG_CONFIG_HOME this process has, says otherwise: the server started
// from here does not read it.
void TestServerAccess::testersOwnStoreNeverReachesTheServer()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    const QString home = m_home.filePath(QStringLiteral("tester-%1").arg(QTest::currentDataTag()));
    {
        QSettings store(home + QStringLiteral("/.config/TOLVEX/Norvalk.conf"),
                        QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Bazes"));
        store.setValue(QStringLiteral("MainDB"), m_database.path());
        store.setValue(name, value);
    }
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toLocal8Bit());
    TestServer server;
    const bool started = server.start(m_database.path());
    qputenv("HOME", oldHome);
    if (hadConfig)
        qputenv("XDG_CONFIG_HOME", oldConfig);
    else
        qunsetenv("XDG_CONFIG_HOME");
    QVERIFY2(started, qPrintable(server.standardError()));
    QCOMPARE(askNames(server.port()), QStringLiteral("ok"));
    QTRY_VERIFY(
        server.standardOutput().contains(QStringLiteral("Pieslēgties drīkst jebkura adrese")));
}

void TestServerAccess::wrongValuesEndTheStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a network")
        << QStringList{"--allow", "192.168.10.0/24,300.1.1.1"}
        << QStringLiteral("Atļauto adrešu sarakstā '300.1.1.1' nav ne adrese, ne tīkls");
    QTest::newRow("a host name") << QStringList{"--allow", "kase1"}
                                 << QStringLiteral("Atļauto adrešu sarakstā 'kase1'");
    QTest::newRow("listen on a name")
        << QStringList{"--listen", "serveris"}
        << QStringLiteral("Klausīšanās adrese 'serveris' nav IP adrese !!!");
}

void TestServerAccess::wrongValuesEndTheStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    TestServer server;
    const int exitCode = server.runToEnd(
        QStringList{QStringLiteral("--port"), QString::number(TestServer::freePort()),
                    QStringLiteral("--database"), m_database.path()} +
        arguments);
    QVERIFY(exitCode != 0);
    QVERIFY2(server.standardError().contains(message), qPrintable(server.standardError()));
}

void TestServerAccess::capRefusesAndLogsOncePerBurst()
{
    TestServer server;
    QVERIFY(
        server.start(m_database.path(), {QStringLiteral("--max-clients"), QStringLiteral("3")}));
    // The start-up probe of the test server has come and gone.
    QTRY_VERIFY(server.standardOutput().contains(QStringLiteral("Atvienojies.")));
    std::vector<std::unique_ptr<ProviderClient>> served;
    for (int i = 0; i < 3; ++i) {
        served.push_back(std::make_unique<ProviderClient>());
        served.back()->setHost(QStringLiteral("127.0.0.1"));
        served.back()->setPort(server.port());
        QCOMPARE(served.back()->getProviderNames().size(), 11);
    }
    for (int i = 0; i < 5; ++i)
        QCOMPARE(askNames(server.port()),
                 QStringLiteral("Serverim jau pieslēgts lielākais atļautais termināļu skaits (3); "
                                "mēģiniet vēlāk !!!"));
    served.pop_back();
    QTRY_VERIFY(
        server.standardOutput().contains(QStringLiteral("Atvienojies. Savienojumu skaits:2")));
    QCOMPARE(askNames(server.port()), QStringLiteral("ok"));
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Atteikti 5 termināļi, kamēr bija sasniegta termināļu robeža 3")));
    // One line when the refusals began, one when they ended: not one per terminal.
    QCOMPARE(server.standardOutput().count(QStringLiteral("vairāk serveris nepieņem")), 1);
}

void TestServerAccess::descriptorLimitRefusesInsteadOfHanging_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("burstLine");
    // The server works under the limit of this process (200).
    QTest::newRow("cap from the limit")
        << QStringList{} << QStringLiteral("vairāk serveris nepieņem");
    // A cap the limit cannot hold: the server runs out of descriptors first.
    QTest::newRow("cap above the limit") << QStringList{"--max-clients", "100000"}
                                         << QStringLiteral("beigušies brīvie failu deskriptori");
}

void TestServerAccess::descriptorLimitRefusesInsteadOfHanging()
{
    if (ServersRunUnderSanitizer())
        QSKIP("the sanitizer's runtime holds descriptors of its own under the limit");
    QFETCH(QStringList, arguments);
    QFETCH(QString, burstLine);
    TestServer server;
    QVERIFY(server.start(m_database.path(), arguments));
    std::vector<std::unique_ptr<RawConnection>> kept;
    int refused = 0;
    for (quint32 id = 1; id < kDescriptorLimit && refused < 5; ++id) {
        std::unique_ptr<RawConnection> terminal;
        try {
            terminal = std::make_unique<RawConnection>(server.port());
            terminal->send(namesFrame(id));
        } catch (const std::exception& error) {
            QFAIL(qPrintable(QStringLiteral("terminal %1: %2").arg(id).arg(error.what())));
        }
        // Every terminal hears back: served, or told why not.
        Decoded<ProviderReply> reply;
        try {
            reply = decodeReply(terminal->readFrame(10000));
        } catch (const std::exception& error) {
            QFAIL(qPrintable(QStringLiteral("terminal %1: %2").arg(id).arg(error.what())));
        }
        QVERIFY2(reply.value, qPrintable(reply.error));
        if (reply.value->ok) {
            kept.push_back(std::move(terminal));
            continue;
        }
        ++refused;
        QVERIFY2(reply.value->error.endsWith(QStringLiteral("mēģiniet vēlāk !!!")),
                 qPrintable(reply.value->error));
    }
    QCOMPARE(refused, 5);
    QVERIFY(kept.size() > 50);

    // One leaves: the next is served again, and the burst is summed up.
    kept.pop_back();
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Atvienojies. Savienojumu skaits:%1").arg(kept.size())));
    RawConnection next(server.port());
    next.send(namesFrame(1000));
    const Decoded<ProviderReply> reply = decodeReply(next.readFrame(10000));
    QVERIFY2(reply.value && reply.value->ok,
             qPrintable(reply.value ? reply.value->error : reply.error));
    QTRY_VERIFY(server.standardOutput().contains(QStringLiteral("Atteikti 5 termināļi")));
    QCOMPARE(server.standardOutput().count(burstLine), 1);
}

QTEST_GUILESS_MAIN(TestServerAccess)
#include "tst_serveraccess.moc"
