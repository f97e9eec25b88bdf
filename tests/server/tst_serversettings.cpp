// Where the server's configuration values come from: the per-user store, the
// machine's file, and which wins when both hold a value.

#include "server/app/serverhost.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using Entries = QMap<QString, QVariant>;
Q_DECLARE_METATYPE(std::optional<QString>)

class TestServerSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void valueFromLayers_data();
    void valueFromLayers();
    void groupFromLayers_data();
    void groupFromLayers();
    void missingMachineFileIsNoLayer();

private:
    void writeLayers(const Entries& user, const Entries& machine);
    static void rewrite(const QString& path, const Entries& entries);

    QTemporaryDir m_dir;
};

// Everything under a folder of the test's own: the user store is looked up
// once per process, so its place is fixed before the first read.
void TestServerSettings::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("HOME", m_dir.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("NORVALK_SYSTEM_CONFIG", m_dir.filePath(QStringLiteral("norvalk.conf")).toLocal8Bit());
}

// Both files through QSettings itself, so that the reads see every row's
// contents however fast the rows follow each other.
void TestServerSettings::rewrite(const QString& path, const Entries& entries)
{
    QSettings file(path, QSettings::IniFormat);
    file.clear();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        file.setValue(it.key(), it.value());
    file.sync();
    QCOMPARE(file.status(), QSettings::NoError);
}

void TestServerSettings::writeLayers(const Entries& user, const Entries& machine)
{
    rewrite(m_dir.filePath(QStringLiteral("config/TOLVEX/Norvalk.conf")), user);
    rewrite(m_dir.filePath(QStringLiteral("norvalk.conf")), machine);
}

void TestServerSettings::valueFromLayers_data()
{
    QTest::addColumn<Entries>("user");
    QTest::addColumn<Entries>("machine");
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::optional<QString>>("expected");

    const QString userDb = QStringLiteral("/srv/own/PRECES.FDB");
    const QString machineDb = QStringLiteral("127.0.0.1:/srv/stock/PRECES.FDB");
    QTest::newRow("machine only") << Entries{} << Entries{{"Bazes/MainDB", machineDb}} << "MainDB"
                                  << std::optional(machineDb);
    QTest::newRow("user only") << Entries{{"Bazes/MainDB", userDb}} << Entries{} << "MainDB"
                               << std::optional(userDb);
    QTest::newRow("user wins") << Entries{{"Bazes/MainDB", userDb}}
                               << Entries{{"Bazes/MainDB", machineDb}} << "MainDB"
                               << std::optional(userDb);
    QTest::newRow("user's empty value wins")
        << Entries{{"Bazes/MainDB", QString()}} << Entries{{"Bazes/MainDB", machineDb}} << "MainDB"
        << std::optional(QString());
    QTest::newRow("user group without the value")
        << Entries{{"Bazes/Listen", "127.0.0.1"}} << Entries{{"Bazes/MainDB", machineDb}}
        << "MainDB" << std::optional(machineDb);
    QTest::newRow("machine value in another group")
        << Entries{} << Entries{{"Citas/Allow", "10.0.0.0/8"}} << "Allow"
        << std::optional<QString>();
    QTest::newRow("machine list") << Entries{}
                                  << Entries{{"Bazes/Allow",
                                              QStringList{"192.168.10.0/24", "10.0.0.7"}}}
                                  << "Allow"
                                  << std::optional(QStringLiteral("192.168.10.0/24,10.0.0.7"));
    QTest::newRow("user listen over machine")
        << Entries{{"Bazes/Listen", "127.0.0.1"}} << Entries{{"Bazes/Listen", "192.168.10.5"}}
        << "Listen" << std::optional(QStringLiteral("127.0.0.1"));
    QTest::newRow("in neither") << Entries{{"Bazes/MainDB", userDb}}
                                << Entries{{"Bazes/MainDB", machineDb}} << "Listen"
                                << std::optional<QString>();
}

void TestServerSettings::valueFromLayers()
{
    QFETCH(Entries, user);
    QFETCH(Entries, machine);
    QFETCH(QString, name);
    QFETCH(std::optional<QString>, expected);
    writeLayers(user, machine);
    QCOMPARE(ServerHost::configuredValue(name), expected);
}

// The group decides between "no key" and "no path" at start-up.
void TestServerSettings::groupFromLayers_data()
{
    QTest::addColumn<Entries>("user");
    QTest::addColumn<Entries>("machine");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("path");

    const QString machineDb = QStringLiteral("/srv/stock/PRECES.FDB");
    QTest::newRow("neither") << Entries{} << Entries{} << false << QString();
    QTest::newRow("machine group")
        << Entries{} << Entries{{"Bazes/MainDB", machineDb}} << true << machineDb;
    QTest::newRow("machine group without path")
        << Entries{} << Entries{{"Bazes/Listen", "127.0.0.1"}} << true << QString();
    QTest::newRow("machine other group")
        << Entries{} << Entries{{"Citas/MainDB", machineDb}} << false << QString();
    QTest::newRow("user group, machine path")
        << Entries{{"Bazes/Allow", "127.0.0.1"}} << Entries{{"Bazes/MainDB", machineDb}} << true
        << machineDb;
}

void TestServerSettings::groupFromLayers()
{
    QFETCH(Entries, user);
    QFETCH(Entries, machine);
    QFETCH(bool, found);
    QFETCH(QString, path);
    writeLayers(user, machine);
    bool groupFound = !found;
    QCOMPARE(ServerHost::configuredDatabasePath(&groupFound), path);
    QCOMPARE(groupFound, found);
}

void TestServerSettings::missingMachineFileIsNoLayer()
{
    writeLayers({}, {{"Bazes/MainDB", QStringLiteral("/srv/stock/PRECES.FDB")}});
    const QByteArray named = qgetenv("NORVALK_SYSTEM_CONFIG");
    for (const QByteArray& other :
         {m_dir.filePath(QStringLiteral("missing.conf")).toLocal8Bit(), QByteArray()}) {
        qputenv("NORVALK_SYSTEM_CONFIG", other);
        bool found = true;
        const QString path = ServerHost::configuredDatabasePath(&found);
        qputenv("NORVALK_SYSTEM_CONFIG", named);
        QVERIFY2(!found, other.constData());
        QVERIFY(path.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestServerSettings)
#include "tst_serversettings.moc"
