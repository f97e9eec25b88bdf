// The terminal's local file and the queue of lines in it: values and
// transactions of the file; the queue's order, its lines after a restart and
// after a process killed while writing; duplicate identities; the steps a
// line takes and those it may not; what a damaged file gives.

#include "client/core/clienterror.h"
#include "client/core/linequeue.h"
#include "client/core/localdatabase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <limits>
#include <memory>

namespace {

// The child process that fills a queue until it is killed.
constexpr char kFillArgument[] = "--fill-queue";

QueuedLine lineNumber(int i, qint32 documentIsn = 7)
{
    QueuedLine line;
    line.identity = QStringLiteral("line-%1").arg(i);
    line.logFloor = 1000 + i;
    line.created = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000 + i, Qt::UTC);
    line.documentKind = 3;
    line.documentIsn = documentIsn;
    line.documentNumber = QStringLiteral("P-%1").arg(documentIsn);
    line.article = QStringLiteral("%1").arg(400000 + i);
    line.goodsName = QStringLiteral("Ābolu sula %1 l").arg(i);
    line.quantity = i + 0.25;
    line.unit = EncodeUnit(QStringLiteral("EXECUTE BLOCK (P1_Q DOUBLE PRECISION = :P1_Q) AS BEGIN "
                                          "INSERT INTO T (Q) VALUES (:P1_Q); END"),
                           {RemoteParam::number(QStringLiteral("P1_Q"), i + 0.25),
                            RemoteParam::text(QStringLiteral("P1_N"), line.goodsName)});
    return line;
}

// Every field a caller gives, as enqueue stored it.
void compareGiven(const QueuedLine& actual, const QueuedLine& expected)
{
    QCOMPARE(actual.identity, expected.identity);
    QCOMPARE(actual.logFloor, expected.logFloor);
    QCOMPARE(actual.created, expected.created);
    QCOMPARE(actual.documentKind, expected.documentKind);
    QCOMPARE(actual.documentIsn, expected.documentIsn);
    QCOMPARE(actual.documentNumber, expected.documentNumber);
    QCOMPARE(actual.article, expected.article);
    QCOMPARE(actual.goodsName, expected.goodsName);
    QCOMPARE(actual.quantity, expected.quantity);
    QCOMPARE(actual.unit, expected.unit);
}

QStringList identities(const QList<QueuedLine>& lines)
{
    QStringList result;
    for (const QueuedLine& line : lines)
        result.append(line.identity);
    return result;
}

QString pragmaText(LocalDatabase& database, const QString& pragma)
{
    LocalDatabase::Statement statement = database.prepare(QStringLiteral("PRAGMA ") + pragma);
    const QString value = statement.step() ? statement.columnText(0) : QString();
    statement.reset();
    return value;
}

// Enqueues lines one transaction each until killed, telling the parent each
// line that is committed.
int fillQueue(const QString& path)
{
    LocalDatabase database(path);
    LineQueue queue(database);
    for (int i = 0;; ++i) {
        queue.enqueue(lineNumber(i));
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}

} // namespace

class TestLineQueue final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valuesKeepTheirType();
    void transactionAllOrNothing();
    void unitRoundTrip();
    void unreadableUnitRefused();
    void orderKept();
    void survivesRestart();
    void survivesKilledProcess();
    void duplicateIdentityRefused();
    void forbiddenSteps_data();
    void forbiddenSteps();
    void linesOfDocument();
    void damagedFile_data();
    void damagedFile();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("queue/Norvalk-local.sqlite")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLineQueue::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLineQueue::cleanup()
{
    m_dir.reset();
}

void TestLineQueue::valuesKeepTheirType()
{
    LocalDatabase database(path());
    database.exec(QStringLiteral("CREATE TABLE v (i INTEGER, d REAL, t TEXT, b BLOB)"));
    const QString text = QStringLiteral("Ķiploki, ēdamā eļļa; '--\"");
    const QByteArray bytes("\0\x01\xff\0", 4);
    const qint64 large = std::numeric_limits<qint64>::min();

    LocalDatabase::Statement insert =
        database.prepare(QStringLiteral("INSERT INTO v VALUES (?1, ?2, ?3, ?4)"));
    insert.bind(1, large).bind(2, -0.125).bind(3, text).bind(4, bytes).run();
    QCOMPARE(database.lastInsertId(), qint64(1));
    // An empty array is a blob of no bytes, not NULL; NULL is NULL.
    insert.bind(1, 5).bind(2, 0.0).bind(3, QString()).bind(4, QByteArray()).run();
    insert.bindNull(1).bindNull(2).bindNull(3).bindNull(4).run();

    LocalDatabase::Statement select = database.prepare(
        QStringLiteral("SELECT i, d, t, b, typeof(t), typeof(b) FROM v ORDER BY rowid"));
    QVERIFY(select.step());
    QCOMPARE(select.columnInteger(0), large);
    QCOMPARE(select.columnDouble(1), -0.125);
    QCOMPARE(select.columnText(2), text);
    QCOMPARE(select.columnBlob(3), bytes);
    QVERIFY(select.step());
    QCOMPARE(select.columnText(2), QString());
    QCOMPARE(select.columnText(4), QStringLiteral("text"));
    QCOMPARE(select.columnText(5), QStringLiteral("blob"));
    QVERIFY(!select.columnIsNull(3));
    QVERIFY(select.step());
    QVERIFY(select.columnIsNull(0));
    QVERIFY(select.columnIsNull(3));
    QVERIFY(!select.step());
    // After its last row the statement runs again from the start.
    QVERIFY(select.step());
    QCOMPARE(select.columnInteger(0), large);
    select.reset();

    try {
        database.prepare(QStringLiteral("SELECT k FROM nowhere"));
        QFAIL("a statement over a missing table was prepared");
    } catch (const ClientError& error) {
        QVERIFY2(error.message().contains(QStringLiteral("no such table: nowhere")),
                 qPrintable(error.message()));
        QVERIFY2(error.message().contains(QStringLiteral("Norvalk-local.sqlite")),
                 qPrintable(error.message()));
    }
}

void TestLineQueue::transactionAllOrNothing()
{
    LocalDatabase database(path());
    database.exec(QStringLiteral("CREATE TABLE t (k INTEGER PRIMARY KEY)"));
    LocalDatabase::Statement insert = database.prepare(QStringLiteral("INSERT INTO t VALUES (?1)"));
    LocalDatabase::Statement count = database.prepare(QStringLiteral("SELECT count(*) FROM t"));
    const auto rows = [&] {
        count.step();
        const qint64 n = count.columnInteger(0);
        count.reset();
        return n;
    };

    database.transaction([&] {
        insert.bind(1, 1).run();
        insert.bind(1, 2).run();
    });
    QCOMPARE(rows(), qint64(2));

    // A failing statement in the middle: the row before it goes too.
    QVERIFY_THROWS_EXCEPTION(ClientError, database.transaction([&] {
        insert.bind(1, 3).run();
        insert.bind(1, 1).run();
    }));
    QVERIFY(!database.inTransaction());
    QCOMPARE(rows(), qint64(2));

    // Any exception of the work, not only the file's own.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, database.transaction([&] {
        insert.bind(1, 4).run();
        throw std::runtime_error("the work gave up");
    }));
    QCOMPARE(rows(), qint64(2));

    QVERIFY_THROWS_EXCEPTION(ClientError,
                             database.transaction([&] { database.transaction([] {}); }));
    QVERIFY(!database.inTransaction());
}

void TestLineQueue::unitRoundTrip()
{
    const QString command =
        QStringLiteral("EXECUTE BLOCK (P1_A INTEGER = :P1_A) RETURNS (L INTEGER) AS BEGIN END");
    const RemoteParams params{
        RemoteParam::integer(QStringLiteral("P1_A"), -42),
        RemoteParam::text(QStringLiteral("P2_T"), QStringLiteral("Šķūnis ž")),
        RemoteParam::number(QStringLiteral("P3_Q"), 2.5),
        RemoteParam::dateTime(QStringLiteral("P4_D"),
                              QDateTime(QDate(2026, 12, 9), QTime(21, 40, 5, 120))),
        RemoteParam::null(QStringLiteral("P5_N")),
    };
    const QueuedUnit unit = DecodeUnit(EncodeUnit(command, params));
    QCOMPARE(unit.commandText, command);
    QCOMPARE(unit.params, params);
}

void TestLineQueue::unreadableUnitRefused()
{
    const QByteArray whole = EncodeUnit(QStringLiteral("SELECT 1 FROM RDB$DATABASE"), {});
    QVERIFY_THROWS_EXCEPTION(ClientError, DecodeUnit(whole.left(whole.size() - 3)));
    QVERIFY_THROWS_EXCEPTION(ClientError, DecodeUnit(QByteArray("not cbor at all")));
    QVERIFY_THROWS_EXCEPTION(ClientError, DecodeUnit(QByteArray()));
}

void TestLineQueue::orderKept()
{
    LocalDatabase database(path());
    LineQueue queue(database);
    constexpr int kLines = 100;
    QList<QueuedLine> lines;
    for (int i = 0; i < kLines; ++i)
        lines.append(lineNumber(i));
    // In a shuffled order of identities, so the queue cannot be ordering by them.
    std::swap(lines[10].identity, lines[80].identity);
    queue.enqueueAll(lines);
    QCOMPARE(queue.waitingCount(), kLines);

    qint64 lastSequence = 0;
    for (int i = 0; i < kLines; ++i) {
        const std::optional<QueuedLine> next = queue.nextToSend();
        QVERIFY(next);
        compareGiven(*next, lines[i]);
        QVERIFY(next->sequence > lastSequence);
        lastSequence = next->sequence;
        queue.markSending(next->identity);
        // Until it is answered, the line sent is still the next one.
        QCOMPARE(queue.nextToSend()->identity, next->identity);
        if (i % 7 == 3)
            queue.markRefused(next->identity, QStringLiteral("refused"));
        else
            queue.markDone(next->identity, QByteArray::number(i));
    }
    QVERIFY(!queue.nextToSend());
    QCOMPARE(queue.waitingCount(), 0);

    // Done lines are forgotten only when asked, and only those answered
    // before the time.
    QCOMPARE(queue.forgetDone(QDateTime::currentDateTimeUtc().addSecs(-3600)), 0);
    QVERIFY(queue.find(lines[0].identity));
    // A sequence is never given again, not even once the lines are gone.
    QCOMPARE(queue.forgetDone(QDateTime::currentDateTimeUtc().addSecs(1)),
             kLines - queue.refused().size());
    for (const QueuedLine& line : queue.refused())
        queue.drop(line.identity);
    QVERIFY(queue.enqueue(lineNumber(kLines)) > lastSequence);
}

void TestLineQueue::survivesRestart()
{
    {
        LocalDatabase database(path());
        LineQueue queue(database);
        for (int i = 0; i < 5; ++i)
            queue.enqueue(lineNumber(i));
        queue.setLogFloor(QStringLiteral("line-4"), 99);
        queue.markSending(QStringLiteral("line-0"));
        queue.markDone(QStringLiteral("line-0"), QByteArray("\x81\x05", 2));
        queue.markSending(QStringLiteral("line-1"));
        queue.markRefused(QStringLiteral("line-1"), QStringLiteral("Prece nav atrasta"));
        queue.markSending(QStringLiteral("line-2"));
        queue.markSending(QStringLiteral("line-2"));
    }
    QVERIFY(QFile::exists(path()));

    LocalDatabase database(path());
    // Properties of the file itself, not only of the connection that made it.
    QCOMPARE(pragmaText(database, QStringLiteral("journal_mode")), QStringLiteral("wal"));
    QCOMPARE(pragmaText(database, QStringLiteral("synchronous")), QStringLiteral("2"));
    LineQueue queue(database);

    const std::optional<QueuedLine> done = queue.find(QStringLiteral("line-0"));
    QVERIFY(done);
    QCOMPARE(done->state, QueuedLineState::Done);
    QCOMPARE(done->outcome, QByteArray("\x81\x05", 2));
    const QList<QueuedLine> refused = queue.refused();
    QCOMPARE(identities(refused), QStringList{QStringLiteral("line-1")});
    QCOMPARE(refused.first().message, QStringLiteral("Prece nav atrasta"));
    compareGiven(refused.first(), lineNumber(1));

    // The line that was on its way when the program ended goes out first,
    // with the same identity, and says it may have been applied.
    std::optional<QueuedLine> next = queue.nextToSend();
    QVERIFY(next);
    compareGiven(*next, lineNumber(2));
    QCOMPARE(next->state, QueuedLineState::Sending);
    QCOMPARE(next->sends, 2);
    QCOMPARE(queue.waitingCount(), 3);
    QCOMPARE(queue.find(QStringLiteral("line-4"))->logFloor, qint64(99));
    QCOMPARE(queue.find(QStringLiteral("line-3"))->state, QueuedLineState::Waiting);
    QCOMPARE(queue.find(QStringLiteral("line-3"))->sends, 0);
}

void TestLineQueue::survivesKilledProcess()
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QLatin1String(kFillArgument), path()});
    QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));

    // Killed once it has committed a good many lines, while it writes more.
    int committed = -1;
    QByteArray output;
    const QDeadlineTimer deadline(30'000);
    while (committed < 40) {
        QVERIFY2(child.state() == QProcess::Running || child.bytesAvailable() > 0,
                 "the child process ended by itself");
        QVERIFY2(!deadline.hasExpired(), "the child process stopped writing");
        child.waitForReadyRead(5000);
        output += child.readAll();
        const qsizetype end = output.lastIndexOf('\n');
        if (end > 0)
            committed = output.left(end).split('\n').last().toInt();
    }
    child.kill();
    QVERIFY(child.waitForFinished(5000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    output += child.readAll();
    committed = output.left(output.lastIndexOf('\n')).split('\n').last().toInt();

    LocalDatabase database(path());
    QCOMPARE(pragmaText(database, QStringLiteral("integrity_check")), QStringLiteral("ok"));
    LineQueue queue(database);
    const int kept = queue.waitingCount();
    // Every line it reported committed, perhaps one more that was committed
    // just before the kill but not yet reported; never a later line without
    // all before it.
    QVERIFY2(kept == committed + 1 || kept == committed + 2,
             qPrintable(QStringLiteral("kept %1, reported %2").arg(kept).arg(committed)));
    for (int i = 0; i < kept; ++i) {
        const std::optional<QueuedLine> next = queue.nextToSend();
        QVERIFY(next);
        compareGiven(*next, lineNumber(i));
        QCOMPARE(next->sequence, qint64(i + 1));
        QCOMPARE(DecodeUnit(next->unit).params.size(), 2);
        queue.drop(next->identity);
    }
    QVERIFY(!queue.nextToSend());
}

void TestLineQueue::duplicateIdentityRefused()
{
    LocalDatabase database(path());
    LineQueue queue(database);
    queue.enqueue(lineNumber(1));
    queue.enqueue(lineNumber(2));

    QueuedLine again = lineNumber(3);
    again.identity = QStringLiteral("line-1");
    try {
        queue.enqueue(again);
        QFAIL("a second line with the same identity was queued");
    } catch (const ClientError& error) {
        QVERIFY2(error.message().contains(QStringLiteral("line-1")), qPrintable(error.message()));
    }
    // A batch with one duplicate is refused whole.
    QVERIFY_THROWS_EXCEPTION(ClientError, queue.enqueueAll({lineNumber(4), lineNumber(2)}));
    QVERIFY(!queue.find(QStringLiteral("line-4")));

    // The first one stays as it was, and the queue takes the next line.
    QCOMPARE(queue.waitingCount(), 2);
    compareGiven(*queue.find(QStringLiteral("line-1")), lineNumber(1));
    queue.enqueue(lineNumber(5));
    QCOMPARE(queue.waitingCount(), 3);
}

void TestLineQueue::forbiddenSteps_data()
{
    // Each row: the steps that bring line-1 to its state, then the step refused.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("refused");

    QTest::newRow("log floor after a send") << QStringList{"sending"} << "logFloor";
    QTest::newRow("log floor of a refused line") << QStringList{"sending", "refused"} << "logFloor";
    QTest::newRow("done before it was sent") << QStringList{} << "done";
    QTest::newRow("refused before it was sent") << QStringList{} << "refused";
    QTest::newRow("done twice") << QStringList{"sending", "done"} << "done";
    QTest::newRow("refused after done") << QStringList{"sending", "done"} << "refused";
    QTest::newRow("sent again after done") << QStringList{"sending", "done"} << "sending";
    QTest::newRow("sent again after refused") << QStringList{"sending", "refused"} << "sending";
    QTest::newRow("drop a line that may be applied") << QStringList{"sending"} << "drop";
    QTest::newRow("drop a done line") << QStringList{"sending", "done"} << "drop";
    QTest::newRow("unknown identity") << QStringList{"drop"} << "sending";
}

void TestLineQueue::forbiddenSteps()
{
    QFETCH(QStringList, before);
    QFETCH(QString, refused);

    LocalDatabase database(path());
    LineQueue queue(database);
    queue.enqueue(lineNumber(1));
    const QString identity = QStringLiteral("line-1");
    const auto take = [&](const QString& step) {
        if (step == QLatin1String("sending"))
            queue.markSending(identity);
        else if (step == QLatin1String("done"))
            queue.markDone(identity, "ok");
        else if (step == QLatin1String("refused"))
            queue.markRefused(identity, QStringLiteral("no"));
        else if (step == QLatin1String("drop"))
            queue.drop(identity);
        else if (step == QLatin1String("logFloor"))
            queue.setLogFloor(identity, 1);
        else
            QFAIL("unknown step");
    };
    for (const QString& step : before)
        take(step);
    const std::optional<QueuedLine> was = queue.find(identity);

    QVERIFY_THROWS_EXCEPTION(ClientError, take(refused));
    // Nothing of the line changed.
    const std::optional<QueuedLine> is = queue.find(identity);
    QCOMPARE(is.has_value(), was.has_value());
    if (is) {
        QCOMPARE(is->state, was->state);
        QCOMPARE(is->sends, was->sends);
        QCOMPARE(is->logFloor, was->logFloor);
        QCOMPARE(is->outcome, was->outcome);
        QCOMPARE(is->message, was->message);
    }
}

void TestLineQueue::linesOfDocument()
{
    LocalDatabase database(path());
    LineQueue queue(database);
    queue.enqueue(lineNumber(1, 7));
    queue.enqueue(lineNumber(2, 8));
    queue.enqueue(lineNumber(3, 7));
    queue.enqueue(lineNumber(4, 7));
    QueuedLine otherKind = lineNumber(5, 7);
    otherKind.documentKind = 4;
    queue.enqueue(otherKind);

    queue.markSending(QStringLiteral("line-1"));
    queue.markDone(QStringLiteral("line-1"), {});
    queue.markSending(QStringLiteral("line-3"));
    queue.markRefused(QStringLiteral("line-3"), QStringLiteral("no"));

    // What the window lists: not the done line, the refused one still.
    const QList<QueuedLine> lines = queue.linesOfDocument(3, 7);
    QCOMPARE(identities(lines), (QStringList{"line-3", "line-4"}));
    QCOMPARE(lines[0].state, QueuedLineState::Refused);
    compareGiven(lines[1], lineNumber(4, 7));
    QCOMPARE(identities(queue.linesOfDocument(4, 7)), QStringList{"line-5"});
    QVERIFY(queue.linesOfDocument(3, 9).isEmpty());
}

void TestLineQueue::damagedFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("expected");

    QTest::newRow("not a database") << "text"
                                    << "file is not a database";
    QTest::newRow("a folder") << "folder"
                              << "unable to open database file";
    QTest::newRow("schema overwritten") << "schema"
                                        << "malformed";
    QTest::newRow("table overwritten") << "table"
                                       << "malformed";
}

void TestLineQueue::damagedFile()
{
    QFETCH(QString, damage);
    QFETCH(QString, expected);

    if (damage == QLatin1String("schema") || damage == QLatin1String("table")) {
        {
            LocalDatabase database(path());
            LineQueue queue(database);
            QList<QueuedLine> lines;
            for (int i = 0; i < 50; ++i)
                lines.append(lineNumber(i));
            queue.enqueueAll(lines);
        }
        // Closing the last connection moved the log into the file.
        QVERIFY(!QFile::exists(path() + QStringLiteral("-wal")));
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 pageSize = 4096;
        QVERIFY(file.size() > 2 * pageSize);
        // Page 1 holds the schema from byte 100; the pages after it the table.
        const qint64 from = damage == QLatin1String("schema") ? 100 : pageSize;
        const qint64 to = damage == QLatin1String("schema") ? pageSize : file.size();
        file.seek(from);
        file.write(QByteArray(to - from, '\xa5'));
    } else if (damage == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path()));
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(path()).absolutePath()));
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[SysCon]\nHostName=127.0.0.1\n").repeated(200));
    }

    // Whether the damage shows when the file is opened or when the queue
    // reads it, it is a ClientError that names the file and the trouble.
    try {
        LocalDatabase database(path());
        LineQueue queue(database);
        queue.waitingCount();
        queue.nextToSend();
        QFAIL("a damaged file was read as a queue");
    } catch (const ClientError& error) {
        QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QStringLiteral("Norvalk-local.sqlite")),
                 qPrintable(error.message()));
    }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kFillArgument) == 0)
        return fillQueue(QString::fromLocal8Bit(argv[2]));
    TestLineQueue test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_linequeue.moc"
