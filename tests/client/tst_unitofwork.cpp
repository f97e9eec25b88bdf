// Several statements sent as one unit against a running NorvalkServer: each
// statement keeps its own values under shared marker names, a key returned by
// one feeds the next, the stock move's inventory check runs inside, a check
// can end the unit early, and a failure anywhere leaves nothing stored.

#include "client/core/clienterror.h"
#include "client/core/commonprocedures.h"
#include "client/core/unitofwork.h"
#include "common/remoteerror.h"
#include "tests/client/serverfixture.h"

#include <QMutex>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

class TestUnitOfWork final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void statementsKeepTheirOwnValues();
    void keyOfOneStatementFeedsTheNext();
    void failureLeavesNothingStored_data();
    void failureLeavesNothingStored();
    void stockMoveChecksInventoryInside_data();
    void stockMoveChecksInventoryInside();
    void checkEndsTheUnitEarly();
    void concurrentMovesOfOneRowAllLand();
    void mistakesCaughtBeforeSending();
    void sameShapeSameStatement();
    void unitSentAgainIsAppliedOnce();
    void identityAndFloorChecked();

private:
    RemoteDataSet& update() { return m_fixture->module().cdsUpdate(); }
    int count(const QString& sql) { return m_fixture->value(sql).toInt(); }
    double stock(int goods, int department);
    // A line of waybill 50 with its log entry and stock move, as a save is.
    void buildSave(UnitOfWork& unit, double quantity);

    std::unique_ptr<ServerFixture> m_fixture;
};

namespace {

const QString kInsertLine = QStringLiteral(
    "INSERT INTO O_PRECE (ISPRECE, ISPAVADZ, DAUDZUMS, CENA) VALUES (:ISPRECE, :ISPAVADZ, "
    ":DAUDZUMS, :CENA)");

// A line of waybill 50 whose key the unit keeps as :L.
void addLineReturningKey(UnitOfWork& unit, int goods, double quantity, double price)
{
    unit.declareResult(QStringLiteral("L"), ParamType::Integer);
    unit.add(kInsertLine + QStringLiteral(" RETURNING ISN INTO :L"))
        .set(QStringLiteral("ISPRECE"), goods)
        .set(QStringLiteral("ISPAVADZ"), 50)
        .set(QStringLiteral("DAUDZUMS"), quantity)
        .set(QStringLiteral("CENA"), price);
}

} // namespace

void TestUnitOfWork::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    m_fixture->module().clientState().CurrentUser = QStringLiteral("ANNA");
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    m_fixture->run({
        "INSERT INTO N_DEPART (ISN, GNOS) VALUES (2, 'Rīga')",
        "INSERT INTO N_DEPART (ISN, GNOS) VALUES (3, 'Jelgava')",
        "INSERT INTO O_PAVADZ (ISN, NR_PAVADZ, ISNODALA, ISKLIENT) VALUES (50, '50', 2, 0)",
        // An inventory of department 3 today lists goods 8.
        "INSERT INTO O_PRATL_PAV (ISN, NR_PAVADZ, ISNODALA, DATUMS) VALUES (1, '1', 3, '" + today +
            "')",
        "INSERT INTO O_PRATL_PRC (ISPRATLPAV, ISPRECE) VALUES (1, 8)",
    });
}

void TestUnitOfWork::init()
{
    m_fixture->messages().clear();
}

void TestUnitOfWork::cleanupTestCase()
{
    QVERIFY(m_fixture->messages().isEmpty());
    m_fixture.reset();
}

double TestUnitOfWork::stock(int goods, int department)
{
    return m_fixture
        ->value(QStringLiteral("SELECT COALESCE(SUM(ATLIKUMS), 0) FROM O_TEKATLIK WHERE ISPRECE = "
                               "%1 AND ISNODALA = %2")
                    .arg(goods)
                    .arg(department))
        .toDouble();
}

void TestUnitOfWork::statementsKeepTheirOwnValues()
{
    // A line and its container line: the same statement, other values.
    UnitOfWork unit;
    unit.add(kInsertLine)
        .set(QStringLiteral("ISPRECE"), 1)
        .set(QStringLiteral("ISPAVADZ"), 50)
        .set(QStringLiteral("DAUDZUMS"), 2.5)
        .set(QStringLiteral("CENA"), 1.25);
    unit.add(kInsertLine)
        .set(QStringLiteral("ISPRECE"), 9)
        .set(QStringLiteral("ISPAVADZ"), 50)
        .set(QStringLiteral("DAUDZUMS"), 50.0)
        .set(QStringLiteral("CENA"), 0.1);
    unit.run(update());

    QCOMPARE(m_fixture->value(QStringLiteral(
                 "SELECT DAUDZUMS FROM O_PRECE WHERE ISPAVADZ = 50 AND ISPRECE = 1")),
             QVariant(2.5));
    QCOMPARE(m_fixture->value(QStringLiteral(
                 "SELECT DAUDZUMS FROM O_PRECE WHERE ISPAVADZ = 50 AND ISPRECE = 9")),
             QVariant(50.0));
}

void TestUnitOfWork::keyOfOneStatementFeedsTheNext()
{
    UnitOfWork unit;
    addLineReturningKey(unit, 2, 1.0, 3.0);
    LogOperation(unit, m_fixture->module().clientState(), QStringLiteral("J"), QStringLiteral("50"),
                 QStringLiteral("O_PRECE"), 2, QStringLiteral("Norvalk"),
                 UnitArg::variable(QStringLiteral("L")), QDate(2026, 12, 1));
    unit.run(update());

    const qint32 line = update().fieldByName(QStringLiteral("L")).asInteger();
    QCOMPARE(
        m_fixture->value(QStringLiteral("SELECT ISPRECE FROM O_PRECE WHERE ISN = %1").arg(line)),
        QVariant(2));
    // The log names that very line, with the values of a log entry.
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE ISN_BAZE = %1 AND "
                                  "BAZE = 'O_PRECE' AND TAUSTINS = 'J' AND IEVKODS = 'ANNA' AND "
                                  "NUMURS = '50' AND ISPRECE = 2 AND DATUMS = '01.12.2026'")
                       .arg(line)),
             1);
}

void TestUnitOfWork::failureLeavesNothingStored_data()
{
    QTest::addColumn<QString>("failing");

    // Refused by the database halfway, after a line, its log entry and its
    // stock move: a value that does not fit its column, a value the stock
    // procedure cannot take.
    QTest::newRow("text too long for the column")
        << "UPDATE O_PAVADZ SET NR_PAVADZ = :NR WHERE ISN = 50";
    QTest::newRow("stock procedure refuses its flag")
        << "EXECUTE PROCEDURE UPDATETEKATLIK(1, 2, 1, 'F', :NR)";
}

void TestUnitOfWork::failureLeavesNothingStored()
{
    QFETCH(QString, failing);
    const int lines = count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE"));
    const int entries = count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS"));
    const double before = stock(1, 2);

    UnitOfWork unit;
    addLineReturningKey(unit, 1, 4.0, 1.0);
    LogOperation(unit, m_fixture->module().clientState(), QStringLiteral("J"), QStringLiteral("50"),
                 QStringLiteral("O_PRECE"), 1, QStringLiteral("Norvalk"),
                 UnitArg::variable(QStringLiteral("L")), QDate::currentDate());
    UpdateStock(unit, 1, 2, 0, QStringLiteral("F"), 4.0);
    unit.add(failing).set(QStringLiteral("NR"), QString(300, QLatin1Char('9')));
    QVERIFY_THROWS_EXCEPTION(RemoteError, unit.run(update()));
    QVERIFY(!update().isActive());

    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE")), lines);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS")), entries);
    QCOMPARE(stock(1, 2), before);
}

void TestUnitOfWork::stockMoveChecksInventoryInside_data()
{
    QTest::addColumn<int>("goods");
    QTest::addColumn<int>("department");
    QTest::addColumn<int>("flag");
    QTest::addColumn<double>("moved");

    QTest::newRow("flag 1, no inventory") << 8 << 2 << 1 << 3.0;
    QTest::newRow("flag 1, listed in today's inventory") << 8 << 3 << 1 << 0.0;
    QTest::newRow("flag 0 moves whatever the inventory") << 8 << 3 << 0 << 3.0;
    QTest::newRow("flag 2 never moves") << 8 << 2 << 2 << 0.0;
}

void TestUnitOfWork::stockMoveChecksInventoryInside()
{
    QFETCH(int, goods);
    QFETCH(int, department);
    QFETCH(int, flag);
    const double before = stock(goods, department);
    UnitOfWork unit;
    UpdateStock(unit, goods, department, flag, QString(), 3.0);
    if (!unit.isEmpty())
        unit.run(update());
    QTEST(stock(goods, department) - before, "moved");

    // The procedure on its own moves the same.
    const double between = stock(goods, department);
    UpdateStock(m_fixture->module(), goods, department, flag, QString(), 3.0);
    QTEST(stock(goods, department) - between, "moved");
}

void TestUnitOfWork::checkEndsTheUnitEarly()
{
    const int lines = count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE"));
    // A check inside the unit refuses with a code; nothing after it runs.
    const auto saveIfStockCovers = [&](double quantity) {
        UnitOfWork unit;
        unit.declare(QStringLiteral("C"), ParamType::Double);
        unit.declareResult(QStringLiteral("RESULT"), ParamType::Integer);
        unit.add(QStringLiteral("RESULT = 0"));
        unit.add(QStringLiteral("SELECT COALESCE(SUM(ATLIKUMS), 0) FROM O_TEKATLIK WHERE "
                                "ISPRECE = :ISPRECE AND ISNODALA = :ISNODALA INTO :C"))
            .set(QStringLiteral("ISPRECE"), 8)
            .set(QStringLiteral("ISNODALA"), 2);
        unit.beginIf(QStringLiteral(":Q > :C")).set(QStringLiteral("Q"), quantity);
        unit.add(QStringLiteral("RESULT = 6"));
        unit.finish();
        unit.endIf();
        unit.add(kInsertLine)
            .set(QStringLiteral("ISPRECE"), 8)
            .set(QStringLiteral("ISPAVADZ"), 50)
            .set(QStringLiteral("DAUDZUMS"), quantity)
            .set(QStringLiteral("CENA"), 1.0);
        unit.run(update());
        return update().fieldByName(QStringLiteral("RESULT")).asInteger();
    };
    const double onHand = stock(8, 2);
    QCOMPARE(saveIfStockCovers(onHand + 0.001), 6);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE")), lines);
    QCOMPARE(saveIfStockCovers(onHand), 0);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE")), lines + 1);
}

void TestUnitOfWork::concurrentMovesOfOneRowAllLand()
{
    // Terminals moving the stock of the same goods at once collide in the
    // database; each colliding unit was rolled back whole and goes again.
    constexpr int kTerminals = 3;
    constexpr int kMoves = 15;
    // Goods 12 has no stock row in department 3 yet: the first moves also
    // race to make it.
    const double before = stock(12, 3);
    const QString host = m_fixture->module().SQLConnection1().hostName();
    const quint16 port = m_fixture->module().SQLConnection1().port();
    QStringList errors;
    QMutex lock;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kTerminals; ++t) {
        threads.emplace_back(QThread::create([&] {
            OwnTerminal terminal(host, port, QStringLiteral("dspUpdate"));
            RemoteDataSet& update = terminal.dataSet;
            try {
                for (int i = 0; i < kMoves; ++i) {
                    UnitOfWork unit;
                    UpdateStock(unit, 12, 3, 0, QStringLiteral("F"), 1.0);
                    // A little more work inside, as a save does, holding the row longer.
                    unit.add(kInsertLine)
                        .set(QStringLiteral("ISPRECE"), 8)
                        .set(QStringLiteral("ISPAVADZ"), 50)
                        .set(QStringLiteral("DAUDZUMS"), 1.0)
                        .set(QStringLiteral("CENA"), 1.0);
                    unit.run(update);
                }
            } catch (const std::exception& error) {
                const QMutexLocker locked(&lock);
                errors << errorText(error);
            }
        }));
    }
    for (auto& thread : threads)
        thread->start();
    for (auto& thread : threads)
        QVERIFY(thread->wait(120000));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('|')));
    QCOMPARE(stock(12, 3) - before, double(kTerminals * kMoves));
}

void TestUnitOfWork::mistakesCaughtBeforeSending()
{
    UnitOfWork missing;
    missing.add(kInsertLine).set(QStringLiteral("ISPRECE"), 1);
    QVERIFY_THROWS_EXCEPTION(ClientError, missing.run(update()));

    UnitOfWork unclosed;
    unclosed.beginIf(QStringLiteral("1 = 1"));
    QVERIFY_THROWS_EXCEPTION(ClientError, unclosed.commandText());
    UnitOfWork unclosedLoop;
    unclosedLoop.beginWhile(QStringLiteral("1 = 0"));
    QVERIFY_THROWS_EXCEPTION(ClientError, unclosedLoop.commandText());
    UnitOfWork notOpened;
    QVERIFY_THROWS_EXCEPTION(ClientError, notOpened.endWhile());

    UnitOfWork tooLong;
    QVERIFY_THROWS_EXCEPTION(ClientError,
                             tooLong.declare(QString(32, QLatin1Char('X')), ParamType::Integer));
}

void TestUnitOfWork::sameShapeSameStatement()
{
    // The server keeps a prepared statement per text: a unit of the same
    // steps must give the same text whatever its values.
    const ClientState state;
    const auto lineUnit = [&state](int goods, const QString& note) {
        auto unit = std::make_unique<UnitOfWork>();
        unit->add(kInsertLine)
            .set(QStringLiteral("ISPRECE"), goods)
            .set(QStringLiteral("ISPAVADZ"), 50)
            .set(QStringLiteral("DAUDZUMS"), 1.0)
            .set(QStringLiteral("CENA"), 1.0);
        LogOperation(*unit, state, QStringLiteral("J"), QStringLiteral("50"),
                     QStringLiteral("O_PRECE"), goods, note, 0, QDate::currentDate());
        return unit;
    };
    const auto first = lineUnit(1, QStringLiteral("Norvalk"));
    const auto second = lineUnit(2, QStringLiteral("Cits teksts"));
    QCOMPARE(first->commandText(), second->commandText());
    QVERIFY(first->params() != second->params());
    // A text past the short width is declared wider, and stored whole.
    UnitOfWork note;
    note.add(QStringLiteral("UPDATE O_PAVADZ SET PICO_NEATRASTIE = :NOTE WHERE ISN = 50"))
        .set(QStringLiteral("NOTE"), QString(3000, QLatin1Char('x')));
    QVERIFY(note.commandText() != first->commandText());
    note.run(update());
    QCOMPARE(count(QStringLiteral("SELECT CHAR_LENGTH(PICO_NEATRASTIE) FROM O_PAVADZ "
                                  "WHERE ISN = 50")),
             3000);
}

void TestUnitOfWork::buildSave(UnitOfWork& unit, double quantity)
{
    addLineReturningKey(unit, 3, quantity, 1.0);
    LogOperation(unit, m_fixture->module().clientState(), QStringLiteral("J"), QStringLiteral("50"),
                 QStringLiteral("O_PRECE"), 3, QStringLiteral("Norvalk"),
                 UnitArg::variable(QStringLiteral("L")), QDate(2026, 12, 1));
    UpdateStock(unit, 3, 2, 0, QStringLiteral("F"), quantity);
}

// A save whose reply was lost is sent again with the same identity: the
// second send finds the first one's log entry, writes nothing and names the
// line the first stored; a save of its own identity is stored anew.
void TestUnitOfWork::unitSentAgainIsAppliedOnce()
{
    TClientDataModule& module = m_fixture->module();
    const UnitIdentity identity = NewUnitIdentity(module);
    // The first identity of the connection reads the log's newest key.
    const QString newestLogKey = QStringLiteral("SELECT GEN_ID(O_OPERACIJASGEN, 0) FROM N_ISI");
    QCOMPARE(identity.logFloor, count(newestLogKey));
    const double stockBefore = stock(3, 2);
    const int linesBefore = count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISPRECE = 3"));

    UnitOfWork first(identity);
    buildSave(first, 4.0);
    first.run(update());
    QVERIFY(!UnitOfWork::ranBefore(update()));
    const qint32 line = update().fieldByName(QStringLiteral("L")).asInteger();
    QVERIFY(line > 0);
    // The reply carries the key of the log entry the unit wrote.
    QCOMPARE(module.SQLConnection1().logFloor(),
             count(QStringLiteral("SELECT ISN FROM O_OPERACIJAS WHERE PIEZIMES2 = '%1'")
                       .arg(identity.text)));

    for (int again = 0; again < 2; ++again) {
        UnitOfWork resent(identity);
        buildSave(resent, 4.0);
        resent.run(update());
        QVERIFY(UnitOfWork::ranBefore(update()));
        QCOMPARE(UnitOfWork::earlierKey(update()), line);
    }
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISPRECE = 3")),
             linesBefore + 1);
    QCOMPARE(stock(3, 2), stockBefore + 4.0);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE PIEZIMES2 = '%1' AND "
                                  "ISN_BAZE = %2 AND PIEZIMES = 'Norvalk'")
                       .arg(identity.text)
                       .arg(line)),
             1);

    UnitOfWork other(NewUnitIdentity(module));
    buildSave(other, 4.0);
    other.run(update());
    QVERIFY(!UnitOfWork::ranBefore(update()));
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISPRECE = 3")),
             linesBefore + 2);
}

void TestUnitOfWork::identityAndFloorChecked()
{
    // Without a log entry there is nothing to find the earlier send by.
    UnitOfWork unstamped(NewUnitIdentity(m_fixture->module()));
    addLineReturningKey(unstamped, 3, 1.0, 1.0);
    QVERIFY_THROWS_EXCEPTION(ClientError, unstamped.commandText());
    QVERIFY_THROWS_EXCEPTION(ClientError, UnitOfWork(UnitIdentity{QString(), 0}));

    // The floor only narrows the search: an entry above it is found, one at
    // or below it is not (the floor is never above a unit's own entries).
    const UnitIdentity identity = NewUnitIdentity(m_fixture->module());
    UnitOfWork first(identity);
    buildSave(first, 1.0);
    first.run(update());
    const int entry = count(
        QStringLiteral("SELECT ISN FROM O_OPERACIJAS WHERE PIEZIMES2 = '%1'").arg(identity.text));
    UnitOfWork below(UnitIdentity{identity.text, entry - 1});
    buildSave(below, 1.0);
    below.run(update());
    QVERIFY(UnitOfWork::ranBefore(update()));
    UnitOfWork at(UnitIdentity{identity.text, entry});
    buildSave(at, 1.0);
    at.run(update());
    QVERIFY(!UnitOfWork::ranBefore(update()));
}

QTEST_GUILESS_MAIN(TestUnitOfWork)
#include "tst_unitofwork.moc"
