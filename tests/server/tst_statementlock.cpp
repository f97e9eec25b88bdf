// The statement catalogue on its own: its file, the gate in a session's
// module against a fresh demo database, and the error texts the log keeps.

#include "common/frame.h"
#include "server/db/fbattachment.h"
#include "server/db/logsafetext.h"
#include "server/db/statementcatalogue.h"
#include "server/db/stockdatabase.h"
#include "server/db/tservermoduledata.h"
#include "tests/support/testdatabase.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kTempQuery = QStringLiteral("dspTempQuery");
const QString kCountGoods = QStringLiteral("SELECT COUNT(*) FROM N_KLPREC");
const QString kGoodsName = QStringLiteral("SELECT GNOS FROM N_KLPREC WHERE ISN = :ISN");
const QString kDeleteGoods = QStringLiteral("DELETE FROM N_KLPREC");
const QString kUsers = QStringLiteral("SELECT GNOS, PASWORD FROM O_USERS");
// The departments provider's own SQL, as it is in the server.
const QString kDepartmentsSql = QStringLiteral(
    "SELECT N_DEPART.ISN, N_DEPART.GNOS NODALA FROM N_DEPART WHERE N_DEPART.ISN>1 AND "
    "(FLAG_3D IS NULL OR FLAG_3D='' OR FLAG_3D='F') ORDER BY N_DEPART.GNOS");

ProviderRequest statement(const QString& sql,
                          ProviderOperation operation = ProviderOperation::GetRecords)
{
    ProviderRequest request;
    request.id = 1;
    request.operation = operation;
    request.provider = kTempQuery;
    request.commandText = sql;
    return request;
}

ProviderRequest registering(quint32 handle, const QString& sql)
{
    ProviderRequest request = statement(sql);
    request.handle = handle;
    request.withText = true;
    return request;
}

ProviderRequest bare(quint32 handle)
{
    ProviderRequest request = registering(handle, QString());
    request.withText = false;
    return request;
}

} // namespace

class TestStatementLock final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void catalogueFile_data();
    void catalogueFile();
    void textsOutsideTheCatalogueRunNothing();
    void refusedRegistrationKeepsNoHandle();
    void freeSqlSessionAndNoCatalogue();
    void logKeepsNoQuotedValue_data();
    void logKeepsNoQuotedValue();

private:
    std::unique_ptr<TServerModuleData> lockedModule();
    ProviderAnswer run(TServerModuleData& module, const ProviderRequest& request);
    int goodsCount();

    QTemporaryDir m_dir;
    TestDatabase m_database;
    FbAttachment m_attachment;
    std::shared_ptr<const StatementCatalogue> m_catalogue;
    QStringList m_log;
};

void TestStatementLock::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    openStockDatabase(m_attachment, m_database.path());
    m_catalogue =
        std::make_shared<const StatementCatalogue>(QSet<QString>{kCountGoods, kGoodsName});
    QVERIFY(goodsCount() > 0);
}

void TestStatementLock::catalogueFile_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<int>("size");           // -1: refused
    QTest::addColumn<QString>("why");

    QTest::newRow("texts") << QByteArray(R"(["SELECT 1 FROM RDB$DATABASE", "SELECT ISN FROM )"
                                         R"(N_KLPREC WHERE ISN = :ISN"])")
                           << 2 << QString();
    QTest::newRow("empty list") << QByteArray("[]") << 0 << QString();
    QTest::newRow("missing") << QByteArray() << -1 << QStringLiteral("nevar atvērt");
    QTest::newRow("cut short") << QByteArray(R"(["SELECT 1 FROM RDB$DATABASE")") << -1
                               << QStringLiteral("nav derīgs JSON");
    QTest::newRow("an object") << QByteArray(R"({"a": "SELECT 1 FROM RDB$DATABASE"})") << -1
                               << QStringLiteral("masīvam");
    QTest::newRow("a number") << QByteArray(R"(["SELECT 1 FROM RDB$DATABASE", 7])") << -1
                              << QStringLiteral("2. elements");
    QTest::newRow("a blank text") << QByteArray(R"(["  "])") << -1 << QStringLiteral("1. elements");
}

void TestStatementLock::catalogueFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, size);
    QFETCH(QString, why);
    const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + ".json");
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString error;
    const std::shared_ptr<const StatementCatalogue> catalogue =
        StatementCatalogue::load(path, &error);
    if (size < 0) {
        QVERIFY(!catalogue);
        // The administrator reads which file, and why.
        QVERIFY2(error.contains(path) && error.contains(why), qPrintable(error));
        return;
    }
    QVERIFY2(catalogue, qPrintable(error));
    QCOMPARE(catalogue->size(), size);
    if (size > 0) {
        QVERIFY(catalogue->contains(QStringLiteral("SELECT 1 FROM RDB$DATABASE")));
        // Exact texts: another spacing is another statement.
        QVERIFY(!catalogue->contains(QStringLiteral("SELECT 1 FROM RDB$DATABASE ")));
        QVERIFY(!catalogue->contains(QStringLiteral("select 1 from rdb$database")));
    }
}

std::unique_ptr<TServerModuleData> TestStatementLock::lockedModule()
{
    m_log.clear();
    auto module = std::make_unique<TServerModuleData>(
        nullptr, m_catalogue, [this](const QString& line) { m_log.append(line); });
    module->setTerminal(QStringLiteral("Kase1 (192.168.1.20:50123)"), false);
    return module;
}

ProviderAnswer TestStatementLock::run(TServerModuleData& module, const ProviderRequest& request)
{
    return module.handle(request, m_attachment);
}

int TestStatementLock::goodsCount()
{
    TServerModuleData module;
    const ProviderAnswer answer = run(module, statement(kCountGoods));
    const QByteArray frame = answer.frame().join();
    const Decoded<ProviderReply> reply =
        decodeReply(parseFrame(frame, kMaxReplyBody).body.toByteArray());
    return reply.value && reply.value->ok ? reply.value->packet.rows.value(0).value(0).toInt() : -1;
}

void TestStatementLock::textsOutsideTheCatalogueRunNothing()
{
    const int goods = goodsCount();
    std::unique_ptr<TServerModuleData> module = lockedModule();
    // Listed texts, the provider's own SQL (no text) and another provider's run.
    for (const QString& sql : {kCountGoods, QString(), QStringLiteral("  "), kDepartmentsSql}) {
        const ProviderAnswer answer = run(*module, statement(sql));
        QVERIFY2(answer.reply.ok, qPrintable(sql + ": " + answer.reply.error));
    }
    QVERIFY(m_log.isEmpty());

    const QStringList refused{kDeleteGoods, QStringLiteral("DROP TABLE N_KLPREC"), kUsers,
                              kCountGoods + u' '};
    for (const QString& sql : refused) {
        for (ProviderOperation operation :
             {ProviderOperation::GetRecords, ProviderOperation::Execute}) {
            const ProviderAnswer answer = run(*module, statement(sql, operation));
            QVERIFY2(!answer.reply.ok, qPrintable(sql));
            QCOMPARE(answer.reply.error, TServerModuleData::kRefusedText);
            QVERIFY(!answer.reply.unknownHandle);
            QVERIFY(!answer.rows.hasColumns);
        }
    }
    QCOMPARE(goodsCount(), goods);
    // One line for the session, naming the terminal and the first text.
    QCOMPARE(m_log.size(), 1);
    QCOMPARE(m_log.first(),
             QStringLiteral("Terminālim Kase1 (192.168.1.20:50123) atteikts vaicājums ārpus "
                            "saraksta: DELETE FROM N_KLPREC"));
    // Listed texts still run after refusals.
    QVERIFY(run(*module, statement(kCountGoods)).reply.ok);

    // The line shows the start of a long text only, on one line.
    std::unique_ptr<TServerModuleData> another = lockedModule();
    const QString longText = QStringLiteral("SELECT GNOS,\n PASWORD FROM O_USERS WHERE GNOS = "
                                            ":GNOS AND PASWORD = :PASWORD AND ISN > 0 AND ISN < "
                                            "1000000");
    QVERIFY(!run(*another, statement(longText)).reply.ok);
    QCOMPARE(m_log.size(), 1);
    QVERIFY2(m_log.first().endsWith(longText.simplified().left(60)), qPrintable(m_log.first()));
    QVERIFY(!m_log.first().contains(QStringLiteral("1000000")));
    QVERIFY(!m_log.first().contains(u'\n'));

    // A value written into the text is not logged either.
    std::unique_ptr<TServerModuleData> third = lockedModule();
    QVERIFY(!run(*third, statement(QStringLiteral("SELECT GNOS FROM O_USERS WHERE PASWORD = "
                                                  "'Slepena-Parole-42'")))
                 .reply.ok);
    QCOMPARE(m_log, QStringList{QStringLiteral("Terminālim Kase1 (192.168.1.20:50123) atteikts "
                                               "vaicājums ārpus saraksta: SELECT GNOS FROM "
                                               "O_USERS WHERE PASWORD = '…'")});
}

void TestStatementLock::refusedRegistrationKeepsNoHandle()
{
    std::unique_ptr<TServerModuleData> module = lockedModule();
    ProviderAnswer answer = run(*module, registering(7, kUsers));
    QCOMPARE(answer.reply.error, TServerModuleData::kRefusedText);
    answer = run(*module, bare(7));
    QVERIFY(!answer.reply.ok);
    QVERIFY(answer.reply.unknownHandle);

    // A handle registered with a listed text and then with a refused one
    // does not go on running the first.
    ProviderRequest listed = registering(8, kGoodsName);
    listed.params = {RemoteParam::integer(QStringLiteral("ISN"), 3)};
    answer = run(*module, listed);
    QVERIFY2(answer.reply.ok, qPrintable(answer.reply.error));
    ProviderRequest byHandle = bare(8);
    byHandle.params = listed.params;
    answer = run(*module, byHandle);
    QVERIFY2(answer.reply.ok, qPrintable(answer.reply.error));
    answer = run(*module, registering(8, kUsers));
    QCOMPARE(answer.reply.error, TServerModuleData::kRefusedText);
    answer = run(*module, byHandle);
    QVERIFY(answer.reply.unknownHandle);
    QCOMPARE(m_log.size(), 1);
}

void TestStatementLock::freeSqlSessionAndNoCatalogue()
{
    std::unique_ptr<TServerModuleData> module = lockedModule();
    QCOMPARE(run(*module, statement(kUsers)).reply.error, TServerModuleData::kRefusedText);
    // The administrator's tools on the server's own host.
    module->setTerminal(QStringLiteral("serveris (127.0.0.1:40000)"), true);
    ProviderAnswer answer = run(*module, statement(kUsers));
    QVERIFY2(answer.reply.ok, qPrintable(answer.reply.error));
    answer = run(*module, registering(3, kUsers));
    QVERIFY2(answer.reply.ok, qPrintable(answer.reply.error));
    // And taken back: the catalogue applies again.
    module->setTerminal(QStringLiteral("Kase1"), false);
    QCOMPARE(run(*module, statement(kUsers)).reply.error, TServerModuleData::kRefusedText);

    // Without a catalogue every text runs, and nothing is logged.
    m_log.clear();
    TServerModuleData open(nullptr, nullptr, [this](const QString& line) { m_log.append(line); });
    answer = run(open, statement(kUsers));
    QVERIFY2(answer.reply.ok, qPrintable(answer.reply.error));
    QVERIFY(m_log.isEmpty());
}

void TestStatementLock::logKeepsNoQuotedValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("logged");

    QTest::newRow("conversion") << QStringLiteral(
                                       "conversion error from string \"Slepena-Parole-42\"")
                                << QStringLiteral("conversion error from string \"…\"");
    QTest::newRow("column value")
        << QStringLiteral(
               "validation error for column \"O_USERS\".\"PASWORD\", value \"*** null ***\"")
        << QStringLiteral("validation error for column "
                          "\"O_USERS\".\"PASWORD\", value \"…\"");
    QTest::newRow("key value")
        << QStringLiteral("violation of PRIMARY or UNIQUE KEY constraint \"INTEG_5\" on table "
                          "\"O_USERS\"\nProblematic key value is (\"GNOS\" = 'janis')")
        << QStringLiteral("violation of PRIMARY or UNIQUE KEY constraint \"INTEG_5\" on table "
                          "\"O_USERS\"\nProblematic key value is (\"…\" = '…')");
    // A value that looks like a name is still a value where no name is announced.
    QTest::newRow("name-like value") << QStringLiteral("conversion error from string \"ABC123\"")
                                     << QStringLiteral("conversion error from string \"…\"");
    QTest::newRow("unclosed") << QStringLiteral("Token unknown\n'slepens un vēl")
                              << QStringLiteral("Token unknown\n'…");
    QTest::newRow("plain") << QStringLiteral("Datu bāze nav pieejama")
                           << QStringLiteral("Datu bāze nav pieejama");
    QTest::newRow("long") << QString(1000, u'x') << QString(300, u'x') + QStringLiteral("…");
}

void TestStatementLock::logKeepsNoQuotedValue()
{
    QFETCH(QString, text);
    QFETCH(QString, logged);
    QCOMPARE(logSafeText(text), logged);
}

QTEST_GUILESS_MAIN(TestStatementLock)
#include "tst_statementlock.moc"
