// The server's window, made for real (offscreen) with its server running in
// this process: the count label and the log as terminals come and go, the
// address caption, and the log's length.

#include "common/providerclient.h"
#include "common/showmessage.h"
#include "server/window/tnorvaskserverfm.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QLabel>
#include <QListWidget>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <future>

class TestServerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void countAndLogFollowTerminals();
    void degradedStartKeepsDesignAddress();
    void captionShowsAnAddressTerminalsCanUse();
    void shownAddress_data();
    void shownAddress();
    void listKeepsItsLengthWhateverTheLines();
    void reloadButtonRereadsTheStore();

private:
    // A terminal on a thread of its own, asking for the provider names and
    // staying connected until release is set; the window's thread keeps
    // turning its event loop meanwhile.
    struct Terminal
    {
        std::promise<void> release;
        std::future<int> names;
    };
    static void connectTerminal(Terminal& terminal, quint16 port);
    static ServerOptions optionsFor(const QString& database);
    static QString lastItem(const TNorvaskServerFM& window);

    TestDatabase m_database;
    QTemporaryDir m_missing;
    QTemporaryDir m_home;
    QStringList m_messages;
};

void TestServerWindow::initTestCase()
{
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    QVERIFY(m_missing.isValid());
    // The servers run in this process: a store of their own, not the tester's.
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral(".config")).toLocal8Bit());
}

void TestServerWindow::init()
{
    m_messages.clear();
    setMessageHandler([this](const QString& text) { m_messages << text; });
}

void TestServerWindow::cleanup()
{
    setMessageHandler({});
}

ServerOptions TestServerWindow::optionsFor(const QString& database)
{
    ServerOptions options;
    options.port = TestServer::freePort();
    options.databaseOverride = database;
    options.workerCount = 2;
    return options;
}

void TestServerWindow::connectTerminal(Terminal& terminal, quint16 port)
{
    terminal.names =
        std::async(std::launch::async, [port, released = terminal.release.get_future()]() mutable {
            ProviderClient client;
            client.setHost(QStringLiteral("127.0.0.1"));
            client.setPort(port);
            const int names = int(client.getProviderNames().size());
            released.wait();
            return names;
        });
}

QString TestServerWindow::lastItem(const TNorvaskServerFM& window)
{
    const int count = window.lstProcess()->count();
    return count > 0 ? window.lstProcess()->item(count - 1)->text() : QString();
}

void TestServerWindow::countAndLogFollowTerminals()
{
    TNorvaskServerFM window(optionsFor(m_database.path()));
    QCOMPARE(window.FormCreate(), ServerHost::Startup::Serving);
    window.show();
    QCOMPARE(window.lbConnectionCount()->text(), QStringLiteral("0"));
    Terminal terminal;
    connectTerminal(terminal, window.host().port());
    QTRY_COMPARE(window.lbConnectionCount()->text(), QStringLiteral("1"));
    QVERIFY2(lastItem(window).endsWith(QLatin1String(" Pievienojies. Savienojumu skaits:1")),
             qPrintable(lastItem(window)));
    terminal.release.set_value();
    QTRY_VERIFY(terminal.names.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    QCOMPARE(terminal.names.get(), 11);
    QTRY_COMPARE(window.lbConnectionCount()->text(), QStringLiteral("0"));
    QVERIFY2(lastItem(window).endsWith(QLatin1String(" Atvienojies. Savienojumu skaits:0")),
             qPrintable(lastItem(window)));
    QVERIFY(m_messages.isEmpty());
}

void TestServerWindow::degradedStartKeepsDesignAddress()
{
    TNorvaskServerFM window(optionsFor(m_missing.filePath(QStringLiteral("nav/PRECES.GDB"))));
    QCOMPARE(window.FormCreate(), ServerHost::Startup::Degraded);
    window.show();
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(
        m_messages[0].startsWith(QStringLiteral("Nevaru atvērt FireDAC konekciju datu bāzi !!!\n")),
        qPrintable(m_messages[0]));
    QCOMPARE(window.lbIpAdrese()->text(), QStringLiteral("IP adrese : 127.0.0.1"));
    // The transport still runs: a terminal is served and counted.
    Terminal terminal;
    connectTerminal(terminal, window.host().port());
    QTRY_COMPARE(window.lbConnectionCount()->text(), QStringLiteral("1"));
    terminal.release.set_value();
    QTRY_VERIFY(terminal.names.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
    QCOMPARE(terminal.names.get(), 11);
}

void TestServerWindow::captionShowsAnAddressTerminalsCanUse()
{
    // What a terminal on the shop network can reach: an IPv4 address that is
    // not the machine's own loopback (a stock Debian names itself 127.0.1.1).
    QStringList usable;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp) ||
            interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.ip().isLoopback())
                usable << entry.ip().toString();
        }
    }
    TNorvaskServerFM window(optionsFor(m_database.path()));
    QCOMPARE(window.FormCreate(), ServerHost::Startup::Serving);
    const QString caption = window.lbIpAdrese()->text();
    QVERIFY2(caption.startsWith(QLatin1String("IP adrese : ")), qPrintable(caption));
    const QString shown = caption.mid(12);
    if (usable.isEmpty())
        QVERIFY2(shown == QLatin1String("0") || QHostAddress(shown).isLoopback(),
                 qPrintable(shown));
    else
        QVERIFY2(usable.contains(shown), qPrintable(shown + " not in " + usable.join(' ')));
}

void TestServerWindow::shownAddress_data()
{
    QTest::addColumn<QStringList>("hostName");
    QTest::addColumn<QStringList>("interfaces");
    QTest::addColumn<QString>("shown");
    QTest::newRow("stock Debian") << QStringList{"127.0.1.1"}
                                  << QStringList{"127.0.0.1", "::1", "192.168.10.5"}
                                  << "192.168.10.5";
    QTest::newRow("name resolves to the network")
        << QStringList{"fe80::1", "10.0.0.7"} << QStringList{"192.168.10.5"} << "10.0.0.7";
    QTest::newRow("IPv6 only") << QStringList{"::1"} << QStringList{"2001:db8::5"} << "0";
    QTest::newRow("loopback only")
        << QStringList{"127.0.1.1"} << QStringList{"127.0.0.1"} << "127.0.1.1";
    QTest::newRow("name does not resolve") << QStringList{} << QStringList{"127.0.0.1"} << "0";
}

void TestServerWindow::shownAddress()
{
    QFETCH(QStringList, hostName);
    QFETCH(QStringList, interfaces);
    QFETCH(QString, shown);
    const auto addresses = [](const QStringList& texts) {
        QList<QHostAddress> list;
        for (const QString& text : texts)
            list.append(QHostAddress(text));
        return list;
    };
    QCOMPARE(ServerHost::shownAddress(addresses(hostName), addresses(interfaces)), shown);
}

void TestServerWindow::listKeepsItsLengthWhateverTheLines()
{
    TNorvaskServerFM window(optionsFor(m_database.path()));
    const QString manyLines = QStringLiteral("Kļūda :Provaiders '") + QString(40, u'\n') + "'";
    for (int i = 0; i < 200; ++i)
        window.AddProcessLine(manyLines);
    QCOMPARE(window.lstProcess()->count(), 3001);
    window.AddProcessLine(QStringLiteral("pēdējā"));
    QCOMPARE(window.lstProcess()->count(), 3001);
    QVERIFY(lastItem(window).endsWith(QStringLiteral(" pēdējā")));
}

void TestServerWindow::reloadButtonRereadsTheStore()
{
    TNorvaskServerFM window(optionsFor(m_database.path()));
    QCOMPARE(window.FormCreate(), ServerHost::Startup::Serving);
    window.show();
    {
        QSettings store(m_home.filePath(QStringLiteral(".config/TOLVEX/Norvalk.conf")),
                        QSettings::IniFormat);
        store.beginGroup(QStringLiteral("Bazes"));
        store.setValue(QStringLiteral("Allow"), QStringLiteral("10.0.0.0/8"));
    }
    QTest::mouseClick(window.btReload(), Qt::LeftButton);
    const QStringList items = [&] {
        QStringList texts;
        for (int i = 0; i < window.lstProcess()->count(); ++i)
            texts << window.lstProcess()->item(i)->text();
        return texts;
    }();
    QVERIFY(!items.filter(QStringLiteral("Iestatījumi tiek pārlasīti")).isEmpty());
    QVERIFY2(lastItem(window).endsWith(QStringLiteral(" Pieslēgties drīkst: 10.0.0.0/8")),
             qPrintable(lastItem(window)));
    QVERIFY(m_messages.isEmpty());
    QFile::remove(m_home.filePath(QStringLiteral(".config/TOLVEX/Norvalk.conf")));
}

QTEST_MAIN(TestServerWindow)
#include "tst_serverwindow.moc"
