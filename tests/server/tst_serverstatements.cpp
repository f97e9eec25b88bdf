// End-to-end: norvalk-serverd with a statement catalogue (--statements, or
// the store's "Statements") on a fresh demo database, through ProviderClient
// as the terminal sends; and what its log keeps of failed statements.

#include "common/providerclient.h"
#include "common/remoteerror.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kTempQuery = QStringLiteral("dspTempQuery");
const QString kCountGoods = QStringLiteral("SELECT COUNT(*) FROM N_KLPREC");
const QString kGoodsName = QStringLiteral("SELECT GNOS FROM N_KLPREC WHERE ISN = :ISN");
const QString kUsers = QStringLiteral("SELECT GNOS, PASWORD FROM O_USERS");
const QString kRefused =
    QStringLiteral("Serveris šo vaicājumu neizpilda: tā nav termināļa vaicājumu sarakstā !!!");
const QString kRefusalLine = QStringLiteral("atteikts vaicājums ārpus saraksta: ");

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray catalogueOf(const QStringList& texts)
{
    return QJsonDocument(QJsonArray::fromStringList(texts)).toJson();
}

// The server's error for the statement; empty when it ran.
QString errorOf(ProviderClient& client, const QString& sql, RemoteParams params = {},
                bool execute = false)
{
    try {
        if (execute)
            client.execute(kTempQuery, sql, params);
        else
            client.getRecords(kTempQuery, sql, params);
        return QString();
    } catch (const RemoteError& error) {
        return error.message();
    }
}

} // namespace

class TestServerStatements final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void onlyListedStatementsRun();
    void failedStatementKeepsItsValuesOutOfTheLog();
    void reloadKeepsTheCatalogueOnABadFile();
    void startFailsOnAnUnusableFile_data();
    void startFailsOnAnUnusableFile();

private:
    void point(ProviderClient& client, const TestServer& server) const;
    int goodsCount(const TestServer& server);

    QTemporaryDir m_dir;
    TestDatabase m_database;
    QString m_catalogue;
    TestServer m_server;
};

void TestServerStatements::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    m_catalogue = m_dir.filePath(QStringLiteral("statements.json"));
    QVERIFY(writeFile(m_catalogue, catalogueOf({kCountGoods, kGoodsName})));
    QVERIFY(m_server.start(m_database.path(), {QStringLiteral("--workers"), QStringLiteral("1"),
                                               QStringLiteral("--statements"), m_catalogue}));
    // The log cuts its lines at 100 characters: the temporary path goes on in the next.
    QTRY_VERIFY(m_server.standardOutput().contains(
        QStringLiteral("Termināļi drīkst sūtīt tikai 2 vaicājumus no saraksta ")));
}

void TestServerStatements::point(ProviderClient& client, const TestServer& server) const
{
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    client.setReplyTimeout(30000);
}

int TestServerStatements::goodsCount(const TestServer& server)
{
    ProviderClient client;
    point(client, server);
    RemoteParams none;
    return client.getRecords(kTempQuery, kCountGoods, none).rows.value(0).value(0).toInt();
}

void TestServerStatements::onlyListedStatementsRun()
{
    const int goods = goodsCount(m_server);
    QVERIFY(goods > 0);
    ProviderClient terminal;
    point(terminal, m_server);
    RemoteParams item{RemoteParam::integer(QStringLiteral("ISN"), 3)};
    QCOMPARE(errorOf(terminal, kGoodsName, item), QString());
    // The provider's own SQL needs no catalogue.
    QCOMPARE(errorOf(terminal, QString()), QString());

    QCOMPARE(errorOf(terminal, QStringLiteral("DELETE FROM N_KLPREC"), {}, true), kRefused);
    QCOMPARE(errorOf(terminal, QStringLiteral("DROP TABLE N_KLPREC"), {}, true), kRefused);
    QCOMPARE(errorOf(terminal, kUsers), kRefused);
    QCOMPARE(errorOf(terminal, kUsers), kRefused); // its handle was not kept either
    // The connection goes on with listed statements.
    QCOMPARE(errorOf(terminal, kGoodsName, item), QString());
    QCOMPARE(goodsCount(m_server), goods);

    // One line for the session's refusals, another for the next session's.
    QTRY_COMPARE(m_server.standardOutput().count(kRefusalLine), 1);
    QVERIFY(m_server.standardOutput().contains(kRefusalLine + QStringLiteral("DELETE FROM")));
    ProviderClient another;
    point(another, m_server);
    QCOMPARE(errorOf(another, kUsers), kRefused);
    QTRY_COMPARE(m_server.standardOutput().count(kRefusalLine), 2);
    QVERIFY(m_server.standardOutput().contains(kRefusalLine + QStringLiteral("SELECT GNOS")));
    // The refused replies themselves are not each a line of the log.
    QVERIFY2(!m_server.standardOutput().contains(kRefused), qPrintable(m_server.standardOutput()));
}

void TestServerStatements::failedStatementKeepsItsValuesOutOfTheLog()
{
    // A password typed where a number belongs: Firebird quotes it back.
    const QString secret = QStringLiteral("Slepena-Parole-42");
    ProviderClient terminal;
    point(terminal, m_server);
    const QString error =
        errorOf(terminal, kGoodsName, {RemoteParam::text(QStringLiteral("ISN"), secret)});
    QVERIFY2(error.contains(secret), qPrintable(error)); // the terminal is told what failed
    QTRY_VERIFY(m_server.standardOutput().contains(QStringLiteral("conversion error")));
    QVERIFY2(!m_server.standardOutput().contains(secret), qPrintable(m_server.standardOutput()));
    QVERIFY(!m_server.standardError().contains(secret));
}

void TestServerStatements::reloadKeepsTheCatalogueOnABadFile()
{
    const QString path = m_dir.filePath(QStringLiteral("reloaded.json"));
    QVERIFY(writeFile(path, catalogueOf({kCountGoods})));
    // A database of its own: an embedded one opens in one process at a time.
    const TestDatabase database;
    QVERIFY2(database.isValid(), qPrintable(database.error()));
    TestServer server;
    QVERIFY(server.start(database.path(), {QStringLiteral("--statements"), path}));

    QVERIFY(writeFile(path, QByteArrayLiteral("[\"SELECT")));
    QVERIFY(server.reload());
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Paliek spēkā iepriekšējais vaicājumu saraksts")));
    QVERIFY(server.standardOutput().contains(QStringLiteral("Kļūda :Vaicājumu sarakstu '")));
    {
        ProviderClient terminal;
        point(terminal, server);
        QCOMPARE(errorOf(terminal, kCountGoods), QString());
        QCOMPARE(errorOf(terminal, kUsers), kRefused);
    }

    // A good file takes effect for the terminals that connect after it.
    QVERIFY(writeFile(path, catalogueOf({kCountGoods, kUsers})));
    QVERIFY(server.reload());
    QTRY_VERIFY(server.standardOutput().contains(
        QStringLiteral("Termināļi drīkst sūtīt tikai 2 vaicājumus")));
    ProviderClient terminal;
    point(terminal, server);
    QCOMPARE(errorOf(terminal, kUsers), QString());
}

void TestServerStatements::startFailsOnAnUnusableFile_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::addColumn<bool>("fromStore");

    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("malformed") << QByteArrayLiteral("[\"SELECT 1 FROM RDB$DATABASE\",") << false;
    QTest::newRow("not texts") << QByteArrayLiteral("{\"SELECT\": 1}") << false;
    QTest::newRow("missing, from the store") << QByteArray() << true;
}

void TestServerStatements::startFailsOnAnUnusableFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, fromStore);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    const QString path = m_dir.filePath(tag + QStringLiteral(".json"));
    if (!content.isEmpty())
        QVERIFY(writeFile(path, content));
    TestServer server;
    QStringList arguments{QStringLiteral("--port"), QString::number(TestServer::freePort()),
                          QStringLiteral("--database"), m_database.path()};
    if (fromStore) {
        const QString machineFile = m_dir.filePath(tag + QStringLiteral(".conf"));
        {
            QSettings store(machineFile, QSettings::IniFormat);
            store.setValue(QStringLiteral("Bazes/Statements"), path);
        }
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("NORVALK_SYSTEM_CONFIG"), machineFile);
        server.setEnvironment(environment);
    } else {
        arguments << QStringLiteral("--statements") << path;
    }
    const int exitCode = server.runToEnd(arguments);
    QVERIFY(exitCode != 0);
    const QString message = server.standardError();
    QVERIFY2(message.contains(QStringLiteral("Vaicājumu sarakstu '%1' nevar izmantot").arg(path)),
             qPrintable(message));
    QVERIFY(!server.standardOutput().contains(QStringLiteral("Gaidu termināļus")));
}

QTEST_GUILESS_MAIN(TestServerStatements)
#include "tst_serverstatements.moc"
