#include "common/codepage.h"
#include "server/db/databaseerror.h"
#include "server/db/fbattachment.h"

#include <QDateTime>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <future>

namespace {

const QString latvian = QStringLiteral("āčēģīķļņšūž ĀČĒĢĪĶĻŅŠŪŽ");

const char* const itemsSchema = R"(
CREATE TABLE ITEMS (
    ISN BIGINT NOT NULL PRIMARY KEY,
    CODE CHAR(8),
    NAME VARCHAR(40),
    ARTIKULS VARCHAR(20),
    ARTIKULS2 VARCHAR(20),
    PRICE NUMERIC(15, 2),
    QTY INTEGER,
    DUE DATE);
CREATE GENERATOR GEN_ITEMS;
CREATE TABLE LOG (ID INTEGER);
SET TERM ^;
CREATE TRIGGER ITEMS_BI FOR ITEMS BEFORE INSERT AS
BEGIN
    IF (NEW.ISN IS NULL) THEN NEW.ISN = GEN_ID(GEN_ITEMS, 1);
END^
CREATE PROCEDURE ADD_UP (A INTEGER, B INTEGER) RETURNS (TOTAL INTEGER) AS
BEGIN
    TOTAL = A + B;
END^
CREATE PROCEDURE LOG_IT (ID INTEGER) AS
BEGIN
    INSERT INTO LOG (ID) VALUES (:ID);
END^
CREATE PROCEDURE LOG_THEN_FAIL (ID INTEGER) RETURNS (N INTEGER) AS
BEGIN
    INSERT INTO LOG (ID) VALUES (:ID);
    N = 1;
    SUSPEND;
    N = 1 / 0;
    SUSPEND;
END^
SET TERM ;^
INSERT INTO ITEMS (CODE, NAME, ARTIKULS, ARTIKULS2, PRICE, QTY, DUE)
    VALUES ('A1', 'Apple', 'X-1', 'Y-1', 1.25, 5, '2024-05-09');
INSERT INTO ITEMS (CODE, NAME, ARTIKULS, ARTIKULS2, PRICE, QTY, DUE)
    VALUES ('B2', 'Bread', 'X-2', 'X-1', 2.50, 7, '2024-05-10');
INSERT INTO ITEMS (CODE, NAME, ARTIKULS, ARTIKULS2, PRICE, QTY, DUE)
    VALUES ('C3', 'Cheese', 'X-3', 'Y-3', 9.99, 5, '2024-05-11');
COMMIT;
)";

const char* const namesSchema = R"(
CREATE TABLE NAMES (ID INTEGER, NAME VARCHAR(40), NOTE BLOB SUB_TYPE TEXT);
COMMIT;
)";

FbConnectParams connectParams(const QString& database, const QString& characterSet)
{
    FbConnectParams params;
    params.database = database;
    params.characterSet = characterSet;
    params.lockTimeoutSeconds = 2;
    return params;
}

} // namespace

// Runs against real embedded databases that isql creates in a temporary
// directory, one per default character set the installations use.
class TestFbAttachment final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyResults();
    void columnTypes_data();
    void columnTypes();
    void parameters_data();
    void parameters();
    void dateTimeAgainstDateColumn();
    void repeatedParameterName();
    void maxRows();
    void cachedSelectSeesLaterCommits();
    void readingTransactionHoldsNothingBack();
    void insertReturningGeneratorValue();
    void executeProcedure();
    void sqlErrorLeavesAttachmentUsable();
    void failedCallIsRolledBack();
    void selectFromWritingProcedureCommits();
    void transactionStatementsRejected();
    void leastRecentlyUsedStatementEvicted();
    void latvianRoundTrip_data();
    void latvianRoundTrip();
    void lostConnectionClosesAttachment();
    // Last: it moves the generator the inserts above count on.
    void conflictingWriteRunsAgain_data();
    void conflictingWriteRunsAgain();

private:
    QString createDatabase(const QString& fileName, const QString& characterSet,
                           const char* schema);
    DataPacket run(const QString& sql, const RemoteParams& params = {});

    QTemporaryDir m_dir;
    QString m_itemsDatabase;
    QString m_databases[3]; // UTF8, WIN1257, NONE
    FbAttachment m_db;
};

QString TestFbAttachment::createDatabase(const QString& fileName, const QString& characterSet,
                                         const char* schema)
{
    const QString path = m_dir.filePath(fileName);
    const QString charsetClause =
        characterSet.isEmpty() ? QString() : " DEFAULT CHARACTER SET " + characterSet;
    const QString script = QStringLiteral("CREATE DATABASE '%1' USER 'SYSDBA'%2;\n%3")
                               .arg(path, charsetClause, QString::fromUtf8(schema));
    QProcess isql;
    isql.start(QStandardPaths::findExecutable(QStringLiteral("isql-fb")), {QStringLiteral("-q")});
    isql.write(script.toUtf8());
    isql.closeWriteChannel();
    if (!isql.waitForFinished(30000) || isql.exitCode() != 0) {
        qWarning() << isql.readAllStandardError();
        return QString();
    }
    return path;
}

void TestFbAttachment::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("isql-fb")).isEmpty())
        QFAIL("isql-fb is needed to create the test databases (scripts/install-deps)");
    QVERIFY(m_dir.isValid());
    m_itemsDatabase =
        createDatabase(QStringLiteral("items.fdb"), QStringLiteral("UTF8"), itemsSchema);
    m_databases[0] =
        createDatabase(QStringLiteral("utf8.fdb"), QStringLiteral("UTF8"), namesSchema);
    m_databases[1] =
        createDatabase(QStringLiteral("win1257.fdb"), QStringLiteral("WIN1257"), namesSchema);
    m_databases[2] = createDatabase(QStringLiteral("none.fdb"), QString(), namesSchema);
    QVERIFY(!m_itemsDatabase.isEmpty());
    for (const QString& database : m_databases)
        QVERIFY(!database.isEmpty());
}

void TestFbAttachment::init()
{
    m_db.open(connectParams(m_itemsDatabase, QStringLiteral("UTF8")));
}

void TestFbAttachment::cleanup()
{
    m_db.close();
}

DataPacket TestFbAttachment::run(const QString& sql, const RemoteParams& params)
{
    return m_db.run(sql, params);
}

void TestFbAttachment::emptyResults()
{
    const DataPacket none = run(QStringLiteral("SELECT ISN, NAME FROM ITEMS WHERE ISN = :ISN"),
                                {RemoteParam::integer(QStringLiteral("ISN"), -1)});
    const QList<ColumnInfo> columns{{QStringLiteral("ISN"), FieldType::BigInt, 8},
                                    {QStringLiteral("NAME"), FieldType::Text, 40}};
    QCOMPARE(none.columns, columns);
    QVERIFY(none.rows.isEmpty());

    const DataPacket sum =
        run(QStringLiteral("SELECT SUM(QTY) AS TOTAL FROM ITEMS WHERE ISN = -1"));
    QCOMPARE(sum.columns.size(), 1);
    QCOMPARE(sum.columns[0].name, QStringLiteral("TOTAL"));
    QCOMPARE(sum.rows.size(), 1);
    QVERIFY(!sum.rows[0][0].isValid());
}

void TestFbAttachment::columnTypes_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("smallint") << "CAST(7 AS SMALLINT)" << FieldType::Integer << 2
                              << QVariant(qint32(7));
    QTest::newRow("integer") << "CAST(-7 AS INTEGER)" << FieldType::Integer << 4
                             << QVariant(qint32(-7));
    QTest::newRow("bigint") << "CAST(5000000000 AS BIGINT)" << FieldType::BigInt << 8
                            << QVariant(qint64(5000000000));
    QTest::newRow("numeric") << "CAST(12.34 AS NUMERIC(15, 2))" << FieldType::Double << 8
                             << QVariant(12.34);
    QTest::newRow("small numeric")
        << "CAST(-1.5 AS NUMERIC(4, 1))" << FieldType::Double << 2 << QVariant(-1.5);
    QTest::newRow("double") << "CAST(0.25 AS DOUBLE PRECISION)" << FieldType::Double << 8
                            << QVariant(0.25);
    QTest::newRow("char padding trimmed")
        << "CAST('ab' AS CHAR(5))" << FieldType::Text << 5 << QVariant(QStringLiteral("ab"));
    QTest::newRow("varchar keeps blanks")
        << "CAST('ab ' AS VARCHAR(5))" << FieldType::Text << 5 << QVariant(QStringLiteral("ab "));
    QTest::newRow("octets") << "CAST('ab' AS VARCHAR(4) CHARACTER SET OCTETS)" << FieldType::Blob
                            << 4 << QVariant(QByteArray("ab"));
    QTest::newRow("date") << "DATE '2024-05-10'" << FieldType::Date << 4
                          << QVariant(QDate(2024, 5, 10));
    QTest::newRow("time") << "TIME '13:14:15.123'" << FieldType::Time << 4
                          << QVariant(QTime(13, 14, 15, 123));
    QTest::newRow("timestamp") << "TIMESTAMP '2024-05-10 13:14:15.123'" << FieldType::DateTime << 8
                               << QVariant(QDateTime(QDate(2024, 5, 10), QTime(13, 14, 15, 123)));
    QTest::newRow("boolean") << "TRUE" << FieldType::Boolean << 1 << QVariant(true);
    QTest::newRow("null integer") << "CAST(NULL AS INTEGER)" << FieldType::Integer << 4
                                  << QVariant();
    QTest::newRow("text blob") << "CAST('long ' || 'text' AS BLOB SUB_TYPE TEXT)" << FieldType::Text
                               << 8 << QVariant(QStringLiteral("long text"));
    QTest::newRow("binary blob") << "CAST('raw' AS BLOB SUB_TYPE BINARY)" << FieldType::Blob << 8
                                 << QVariant(QByteArray("raw"));
}

void TestFbAttachment::columnTypes()
{
    QFETCH(QString, expression);
    QFETCH(FieldType, type);
    QFETCH(int, size);
    QFETCH(QVariant, value);

    const DataPacket packet = run("SELECT " + expression + " AS V FROM RDB$DATABASE");
    QCOMPARE(packet.columns, QList<ColumnInfo>({{QStringLiteral("V"), type, size}}));
    QCOMPARE(packet.rows.size(), 1);
    QCOMPARE(packet.rows[0][0], value);
    QCOMPARE(packet.rows[0][0].metaType(), value.metaType());
}

void TestFbAttachment::parameters_data()
{
    QTest::addColumn<QString>("condition");
    QTest::addColumn<RemoteParam>("param");
    QTest::addColumn<QStringList>("names");

    const QString p = QStringLiteral("P");
    QTest::newRow("integer") << "QTY = :P" << RemoteParam::integer(p, 7) << QStringList{"Bread"};
    QTest::newRow("text for integer")
        << "QTY = :P" << RemoteParam::text(p, "7") << QStringList{"Bread"};
    QTest::newRow("integer for text")
        << "CODE = 'C' || :P" << RemoteParam::integer(p, 3) << QStringList{"Cheese"};
    QTest::newRow("double for numeric")
        << "PRICE = :P" << RemoteParam::number(p, 2.5) << QStringList{"Bread"};
    QTest::newRow("text for char")
        << "CODE = :P" << RemoteParam::text(p, "A1") << QStringList{"Apple"};
    QTest::newRow("datetime for date")
        << "DUE = :P" << RemoteParam::dateTime(p, QDateTime(QDate(2024, 5, 11), QTime(0, 0)))
        << QStringList{"Cheese"};
    QTest::newRow("null") << "QTY = :P OR :P IS NULL" << RemoteParam::null(p)
                          << QStringList{"Apple", "Bread", "Cheese"};
    QTest::newRow("missing is null")
        << "COALESCE(:Q, 5) = QTY" << RemoteParam::integer(p, 7) << QStringList{"Apple", "Cheese"};
    QTest::newRow("name case ignored")
        << "QTY = :p" << RemoteParam::integer(p, 7) << QStringList{"Bread"};
}

void TestFbAttachment::parameters()
{
    QFETCH(QString, condition);
    QFETCH(RemoteParam, param);
    QFETCH(QStringList, names);

    const DataPacket packet =
        run("SELECT NAME FROM ITEMS WHERE " + condition + " ORDER BY ISN", {param});
    QStringList found;
    for (const QVariantList& row : packet.rows)
        found.append(row[0].toString());
    QCOMPARE(found, names);
}

void TestFbAttachment::dateTimeAgainstDateColumn()
{
    const QString sql = QStringLiteral("SELECT COUNT(*) FROM ITEMS WHERE DUE <= :D");
    const QDateTime afternoon(QDate(2024, 5, 10), QTime(15, 30));
    QCOMPARE(run(sql, {RemoteParam::dateTime("D", afternoon)}).rows[0][0], QVariant(qint64(2)));
    QCOMPARE(run(sql, {RemoteParam::dateTime("D", afternoon.addDays(-1))}).rows[0][0],
             QVariant(qint64(1)));
}

void TestFbAttachment::repeatedParameterName()
{
    const DataPacket packet = run(QStringLiteral("SELECT CODE FROM ITEMS WHERE ARTIKULS=:ARTIKULS "
                                                 "OR ARTIKULS2=:ARTIKULS ORDER BY ISN"),
                                  {RemoteParam::text("ARTIKULS", "X-1")});
    QCOMPARE(packet.rows.size(), 2);
    QCOMPARE(packet.rows[0][0], QVariant(QStringLiteral("A1")));
    QCOMPARE(packet.rows[1][0], QVariant(QStringLiteral("B2")));
}

void TestFbAttachment::maxRows()
{
    const QString sql = QStringLiteral("SELECT ISN FROM ITEMS ORDER BY ISN");
    QCOMPARE(m_db.run(sql, {}, 2).rows.size(), 2);
    QCOMPARE(m_db.run(sql, {}, 0).rows.size(), 0);
    QCOMPARE(m_db.run(sql, {}, 0).columns.size(), 1);
    QCOMPARE(m_db.run(sql, {}).rows.size(), 3);
}

void TestFbAttachment::cachedSelectSeesLaterCommits()
{
    const QString count = QStringLiteral("SELECT COUNT(*) FROM LOG WHERE ID = :ID");
    const RemoteParams id{RemoteParam::integer("ID", 41)};
    QCOMPARE(run(count, id).rows[0][0], QVariant(qint64(0)));

    FbAttachment other;
    other.open(connectParams(m_itemsDatabase, QStringLiteral("UTF8")));
    other.run(QStringLiteral("INSERT INTO LOG (ID) VALUES (:ID)"), id);
    QCOMPARE(run(count, id).rows[0][0], QVariant(qint64(1)));
    other.run(QStringLiteral("INSERT INTO LOG (ID) VALUES (:ID)"), id);
    QCOMPARE(run(count, id).rows[0][0], QVariant(qint64(2)));
    QCOMPARE(m_db.cachedStatementCount(), 1);
}

void TestFbAttachment::readingTransactionHoldsNothingBack()
{
    const QString current = QStringLiteral("SELECT CURRENT_TRANSACTION FROM RDB$DATABASE");
    const qint64 reading = run(current).rows[0][0].toLongLong();
    FbAttachment other;
    other.open(connectParams(m_itemsDatabase, QStringLiteral("UTF8")));
    for (int i = 0; i < 3; ++i)
        other.run(QStringLiteral("INSERT INTO LOG (ID) VALUES (81)"), {});
    // One transaction for all the reads, which still sees every commit...
    QCOMPARE(run(QStringLiteral("SELECT COUNT(*) FROM LOG WHERE ID = 81")).rows[0][0],
             QVariant(qint64(3)));
    QCOMPARE(run(current).rows[0][0].toLongLong(), reading);
    // ...and counts as committed already: the oldest active transaction and
    // the oldest interesting one, which bound garbage collection, move on.
    const DataPacket database = other.run(
        QStringLiteral("SELECT MON$OLDEST_ACTIVE, MON$OLDEST_TRANSACTION FROM MON$DATABASE"), {});
    QVERIFY2(database.rows[0][0].toLongLong() > reading,
             qPrintable(QStringLiteral("oldest active %1, reading %2")
                            .arg(database.rows[0][0].toLongLong())
                            .arg(reading)));
    QVERIFY(database.rows[0][1].toLongLong() > reading);
    // The monitoring tables are read afresh each time all the same.
    const QString attachments = QStringLiteral("SELECT COUNT(*) FROM MON$ATTACHMENTS");
    const qint64 seen = run(attachments).rows[0][0].toLongLong();
    FbAttachment third;
    third.open(connectParams(m_itemsDatabase, QStringLiteral("UTF8")));
    QCOMPARE(run(attachments).rows[0][0].toLongLong(), seen + 1);
}

void TestFbAttachment::insertReturningGeneratorValue()
{
    const DataPacket inserted =
        run(QStringLiteral("INSERT INTO ITEMS (NAME) VALUES (:NAME) RETURNING ISN"),
            {RemoteParam::text("NAME", "Dill")});
    QCOMPARE(inserted.columns, QList<ColumnInfo>({{QStringLiteral("ISN"), FieldType::BigInt, 8}}));
    QCOMPARE(inserted.rows.size(), 1);

    const DataPacket generator =
        run(QStringLiteral("SELECT GEN_ID(GEN_ITEMS, 0) FROM RDB$DATABASE"));
    QCOMPARE(generator.columns[0].type, FieldType::BigInt);
    QCOMPARE(inserted.rows[0][0], generator.rows[0][0]);
    QCOMPARE(run(QStringLiteral("SELECT NAME FROM ITEMS WHERE ISN = :ISN"),
                 {RemoteParam::text("ISN", inserted.rows[0][0].toString())})
                 .rows[0][0],
             QVariant(QStringLiteral("Dill")));
    run(QStringLiteral("DELETE FROM ITEMS WHERE NAME = 'Dill'"));
}

void TestFbAttachment::executeProcedure()
{
    const DataPacket sum = run(QStringLiteral("EXECUTE PROCEDURE ADD_UP(:A, :B)"),
                               {RemoteParam::integer("A", 2), RemoteParam::integer("B", 3)});
    QCOMPARE(sum.columns, QList<ColumnInfo>({{QStringLiteral("TOTAL"), FieldType::Integer, 4}}));
    QCOMPARE(sum.rows, QList<QVariantList>({{QVariant(qint32(5))}}));

    const DataPacket nothing =
        run(QStringLiteral("EXECUTE PROCEDURE LOG_IT(:ID)"), {RemoteParam::integer("ID", 51)});
    QVERIFY(nothing.columns.isEmpty());
    QVERIFY(nothing.rows.isEmpty());
    QCOMPARE(run(QStringLiteral("SELECT COUNT(*) FROM LOG WHERE ID = 51")).rows[0][0],
             QVariant(qint64(1)));
}

void TestFbAttachment::sqlErrorLeavesAttachmentUsable()
{
    try {
        run(QStringLiteral("SELECT * FROM NO_SUCH_TABLE"));
        QFAIL("an unknown table was accepted");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.message().contains(u"Table unknown\nNO_SUCH_TABLE"),
                 qPrintable(error.message()));
        QVERIFY(!error.connectionLost());
    }
    // A run-time error on a prepared statement: QTY is 5.
    const QString divide =
        QStringLiteral("SELECT 10 / (QTY - CAST(:D AS INTEGER)) FROM ITEMS WHERE CODE = 'A1'");
    QVERIFY_THROWS_EXCEPTION(DatabaseError, run(divide, {RemoteParam::integer("D", 5)}));
    QVERIFY(m_db.isOpen());
    QCOMPARE(run(divide, {RemoteParam::integer("D", 0)}).rows[0][0], QVariant(qint64(2)));
}

void TestFbAttachment::failedCallIsRolledBack()
{
    // The procedure's insert outlives its failure within the transaction, so
    // only the call's rollback takes it away.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, run(QStringLiteral("SELECT N FROM LOG_THEN_FAIL(:ID)"),
                                                {RemoteParam::integer("ID", 61)}));
    QCOMPARE(run(QStringLiteral("SELECT COUNT(*) FROM LOG WHERE ID = 61")).rows[0][0],
             QVariant(qint64(0)));
}

void TestFbAttachment::selectFromWritingProcedureCommits()
{
    const DataPacket first = m_db.run(QStringLiteral("SELECT N FROM LOG_THEN_FAIL(:ID)"),
                                      {RemoteParam::integer("ID", 71)}, 1);
    QCOMPARE(first.rows, QList<QVariantList>({{QVariant(qint32(1))}}));
    QCOMPARE(run(QStringLiteral("SELECT COUNT(*) FROM LOG WHERE ID = 71")).rows[0][0],
             QVariant(qint64(1)));
}

void TestFbAttachment::transactionStatementsRejected()
{
    QVERIFY_THROWS_EXCEPTION(DatabaseError, run(QStringLiteral("COMMIT")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, run(QStringLiteral("SET TRANSACTION READ ONLY")));
    QCOMPARE(run(QStringLiteral("SELECT 1 FROM RDB$DATABASE")).rows.size(), 1);
}

void TestFbAttachment::leastRecentlyUsedStatementEvicted()
{
    FbAttachment small(2);
    small.open(connectParams(m_itemsDatabase, QStringLiteral("UTF8")));
    const QString sql = QStringLiteral("SELECT %1 FROM RDB$DATABASE");
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(small.run(sql.arg(i), {}).rows[0][0], QVariant(qint32(i)));
    QCOMPARE(small.cachedStatementCount(), 2);
    QCOMPARE(small.run(sql.arg(1), {}).rows[0][0], QVariant(qint32(1)));
    QCOMPARE(small.cachedStatementCount(), 2);
}

void TestFbAttachment::latvianRoundTrip_data()
{
    QTest::addColumn<int>("database");
    QTest::addColumn<QString>("characterSet");
    QTest::addColumn<QString>("databaseCharacterSet");
    QTest::addColumn<QByteArray>("storedBytes");

    const QByteArray utf8 = latvian.toUtf8();
    const QByteArray codePage = toCodePage(latvian);
    QTest::newRow("UTF8 database, UTF8") << 0 << "UTF8"
                                         << "UTF8" << utf8;
    QTest::newRow("UTF8 database, no character set") << 0 << ""
                                                     << "UTF8" << utf8;
    QTest::newRow("WIN1257 database, no character set") << 1 << ""
                                                        << "WIN1257" << codePage;
    QTest::newRow("WIN1257 database, UTF8") << 1 << "UTF8"
                                            << "WIN1257" << codePage;
    QTest::newRow("NONE database, no character set") << 2 << ""
                                                     << "NONE" << codePage;
}

void TestFbAttachment::latvianRoundTrip()
{
    QFETCH(int, database);
    QFETCH(QString, characterSet);
    QFETCH(QString, databaseCharacterSet);
    QFETCH(QByteArray, storedBytes);

    FbAttachment db;
    db.open(connectParams(m_databases[database], characterSet));
    QCOMPARE(db.databaseCharacterSet(), databaseCharacterSet);
    db.run(QStringLiteral("DELETE FROM NAMES"), {});
    db.run(QStringLiteral("INSERT INTO NAMES (ID, NAME, NOTE) VALUES (1, :NAME, :NAME)"),
           {RemoteParam::text("NAME", latvian)});

    const DataPacket packet =
        db.run(QStringLiteral("SELECT NAME, NOTE, CAST(NAME AS VARCHAR(160) CHARACTER SET OCTETS) "
                              "FROM NAMES WHERE NAME = :NAME"),
               {RemoteParam::text("NAME", latvian)});
    QCOMPARE(packet.rows.size(), 1);
    QCOMPARE(packet.rows[0][0].toString(), latvian);
    QCOMPARE(packet.rows[0][1].toString(), latvian);
    QCOMPARE(packet.rows[0][2].toByteArray(), storedBytes);
    QCOMPARE(packet.columns[0].size, 40);
}

void TestFbAttachment::lostConnectionClosesAttachment()
{
    const QVariant id =
        run(QStringLiteral("SELECT CURRENT_CONNECTION FROM RDB$DATABASE")).rows[0][0];
    FbAttachment other;
    other.open(connectParams(m_itemsDatabase, QStringLiteral("UTF8")));
    other.run(QStringLiteral("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = :ID"),
              {RemoteParam::text("ID", id.toString())});
    try {
        run(QStringLiteral("SELECT 1 FROM RDB$DATABASE"));
        QFAIL("the killed attachment still ran a statement");
    } catch (const DatabaseError& error) {
        QVERIFY2(error.connectionLost(), qPrintable(error.message()));
    }
    QVERIFY(!m_db.isOpen());
    QCOMPARE(m_db.cachedStatementCount(), 0);
    try {
        run(QStringLiteral("SELECT 1 FROM RDB$DATABASE"));
        QFAIL("a closed attachment ran a statement");
    } catch (const DatabaseError& error) {
        QVERIFY(error.connectionLost());
    }
}

QTEST_GUILESS_MAIN(TestFbAttachment)

void TestFbAttachment::conflictingWriteRunsAgain_data()
{
    QTest::addColumn<int>("retryMs");
    QTest::addColumn<bool>("lands");
    QTest::newRow("within the time") << 5000 << true;
    QTest::newRow("no time to run again") << 0 << false;
}

void TestFbAttachment::conflictingWriteRunsAgain()
{
    QFETCH(int, retryMs);
    QFETCH(bool, lands);
    const QString row = QStringLiteral("SELECT QTY FROM ITEMS WHERE ISN = 3");
    const QString generator = QStringLiteral("SELECT GEN_ID(GEN_ITEMS, 0) FROM RDB$DATABASE");
    const qint32 quantity = run(row).rows[0][0].toInt();
    const qint64 before = run(generator).rows[0][0].toLongLong();
    // Another attachment changes the row and holds it uncommitted a while;
    // the generator, outside transactions, says when it has the row.
    std::future<void> holder = std::async(std::launch::async, [this] {
        FbAttachment other;
        other.open(connectParams(m_itemsDatabase, QStringLiteral("UTF8")));
        other.run(QStringLiteral("EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN "
                                 "UPDATE ITEMS SET QTY = QTY + 1 WHERE ISN = 3; "
                                 "I = GEN_ID(GEN_ITEMS, 1); I = 0; "
                                 "WHILE (I < 3000000) DO I = I + 1; END"),
                  {});
    });
    QTRY_VERIFY_WITH_TIMEOUT(run(generator).rows[0][0].toLongLong() != before, 30000);

    FbConnectParams params = connectParams(m_itemsDatabase, QStringLiteral("UTF8"));
    params.lockTimeoutSeconds = 60; // waits for the holder whatever the machine's load
    params.conflictRetryMs = retryMs;
    m_db.open(params);
    m_db.clearConflicts();
    const QString add = QStringLiteral("UPDATE ITEMS SET QTY = QTY + 10 WHERE ISN = 3");
    QString refused;
    try {
        run(add);
    } catch (const DatabaseError& error) {
        refused = error.message();
    }
    holder.get();
    // The holder's change is committed either way; the update waited for it,
    // was refused, and then ran again on what it committed, or was reported.
    const FbAttachment::Conflicts conflicts = m_db.conflicts();
    if (lands) {
        QCOMPARE(refused, QString());
        QCOMPARE(conflicts.retries, 1);
        QVERIFY(!conflicts.gaveUp);
        QCOMPARE(run(row).rows[0][0].toInt(), quantity + 11);
    } else {
        QVERIFY2(refused.contains(QStringLiteral("update conflicts")), qPrintable(refused));
        QCOMPARE(conflicts.retries, 0);
        QVERIFY(conflicts.gaveUp);
        QCOMPARE(run(row).rows[0][0].toInt(), quantity + 1);
    }
}

#include "tst_fbattachment.moc"
