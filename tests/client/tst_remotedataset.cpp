// Remote datasets against a running NorvalkServer: reads, navigation, field
// conversions, errors, parameters, keys of inserted rows, and a connection
// that the server drops.

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/datasetmodel.h"
#include "common/remoteerror.h"
#include "tests/client/serverfixture.h"
#include "tests/support/statementrecorder.h"

#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <array>
#include <memory>

class TestRemoteDataSet final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void everyDataSetReachesItsProvider();
    void designCommandTextsGiveListColumns();
    void promotionsWithDesignStatement();
    void rowsAndNavigation();
    void emptyResult();
    void fieldsReadInClientFormat();
    void numbersAsTextFollowLocale();
    void missingFieldRaisesFieldNotFound();
    void failedOpenLeavesDataSetClosed();
    void parametersKeepTheirTypes();
    void locateFindsRow();
    void newCommandTextClosesTheDataSet();
    void viewsFollowTheDataSet();
    void twoDataSetsOnOneProvider();
    void statementsRecordedAsSent();
    void executedStatementVisibleToNextRequest();
    void insertReturnsItsOwnKey();
    void terminalsInsertingAtOnceGetTheirOwnKeys();
    void serverRestartedBetweenRequests();
    void serverGoneForGood();

private:
    RemoteDataSet& query() { return m_fixture->module().cdsTempQuery(); }
    void openQuery(const QString& sql);

    std::unique_ptr<ServerFixture> m_fixture;
};

namespace {

const QString kInsertWaybill =
    QStringLiteral("INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT, DAT_SANEM) "
                   "VALUES (:NR_PAVADZ, 0, 0, CURRENT_DATE) RETURNING ISN");

} // namespace

void TestRemoteDataSet::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    m_fixture->run({
        "INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (10, 'Piena produkti')",
        "INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (11, 'Maize')",
        "INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (12, NULL)",
        "INSERT INTO O_PRATL_PAV (ISN, NR_PAVADZ, ISNODALA, DATUMS) VALUES (1, 'A', 0, "
        "'01.03.2024')",
        "INSERT INTO O_PRATL_PAV (ISN, NR_PAVADZ, ISNODALA, DATUMS) VALUES (2, 'B', 0, "
        "'05.03.2024')",
        "INSERT INTO O_PARCPV (ISN, ISNODALA, PZ_VEIDS, AKCIJA_NO, AKCIJA_LIDZ) "
        "VALUES (1, 2, 1, '01.01.2024', '31.12.2099')",
        "INSERT INTO O_PARCPR (ISN, ISPARCPV, ISPRECE, CENA_UZ) VALUES (1, 1, 3, 1.49)",
    });
}

void TestRemoteDataSet::init()
{
    m_fixture->messages().clear();
}

void TestRemoteDataSet::cleanupTestCase()
{
    m_fixture.reset();
}

void TestRemoteDataSet::openQuery(const QString& sql)
{
    PrepareDataset(query());
    query().setCommandText(sql);
    query().open();
}

void TestRemoteDataSet::everyDataSetReachesItsProvider()
{
    for (RemoteDataSet* dataSet : m_fixture->module().dataSets()) {
        PrepareDataset(*dataSet);
        dataSet->setCommandText(QStringLiteral("SELECT 7 X FROM RDB$DATABASE"));
        dataSet->open();
        QCOMPARE(dataSet->fieldByName(QStringLiteral("X")).asInteger(), 7);
        dataSet->close();
    }
    QVERIFY(m_fixture->messages().isEmpty());
}

void TestRemoteDataSet::designCommandTextsGiveListColumns()
{
    TClientDataModule fresh; // the design state, whatever earlier tests left
    fresh.SQLConnection1().setHostName(m_fixture->module().SQLConnection1().hostName());
    fresh.SQLConnection1().setPort(m_fixture->module().SQLConnection1().port());
    auto columnsOf = [](RemoteDataSet& dataSet) {
        dataSet.open();
        QStringList names;
        for (const ColumnInfo& column : dataSet.packet().columns)
            names << column.name;
        return names;
    };
    QCOMPARE(columnsOf(fresh.cdsPreces()),
             (QStringList{"ARTIKULS", "PRECE", "DAUDZUMS", "CENA", "KOPSUMMA", "ISN", "ISPRECE"}));
    QCOMPARE(columnsOf(fresh.cdsPavadzimes()),
             (QStringList{"ISN", "NR_PAVADZ", "DATUMS", "KLIENTS", "NODALA"}));
}

void TestRemoteDataSet::promotionsWithDesignStatement()
{
    RemoteDataSet& promotions = m_fixture->module().cdsAkcijas();
    PrepareDataset(promotions);
    promotions.setCommandText(QString()); // the provider's own statement, as designed
    promotions.setIntegerParam(QStringLiteral("ISPRECE"), 3);
    promotions.setIntegerParam(QStringLiteral("ISNODALA"), 2);
    promotions.open();
    QCOMPARE(promotions.recordCount(), 1);
    QCOMPARE(promotions.fieldByName(QStringLiteral("AKCIJA_NO")).asDate(), QDate(2024, 1, 1));
    QCOMPARE(promotions.fieldByName(QStringLiteral("CENA_UZ")).asFloat(), 1.49);
    promotions.close();
    promotions.setIntegerParam(QStringLiteral("ISNODALA"), 3); // none there
    promotions.open();
    QVERIFY(promotions.eof());
}

void TestRemoteDataSet::rowsAndNavigation()
{
    openQuery(QStringLiteral("SELECT ISN, GNOS FROM N_PRGRUP WHERE ISN >= 10 ORDER BY ISN"));
    QVERIFY(query().isActive());
    QCOMPARE(query().recordCount(), 3);
    QList<qint32> keys;
    while (!query().eof()) {
        keys << query().fieldByName(QStringLiteral("ISN")).asInteger();
        query().next();
    }
    QCOMPARE(keys, (QList<qint32>{10, 11, 12}));
    // Past the end the last row stays current.
    QCOMPARE(query().fieldByName(QStringLiteral("ISN")).asInteger(), 12);
    query().first();
    QVERIFY(!query().eof());
    QCOMPARE(query().fieldByName(QStringLiteral("GNOS")).asString(),
             QStringLiteral("Piena produkti"));
    query().close();
    QVERIFY(!query().isActive());
    QVERIFY(query().eof());
}

void TestRemoteDataSet::emptyResult()
{
    openQuery(QStringLiteral("SELECT ISN, GNOS FROM N_PRGRUP WHERE ISN < 0"));
    QVERIFY(query().isActive());
    QVERIFY(query().eof());
    QCOMPARE(query().recordCount(), 0);
    QCOMPARE(query().fieldByName(QStringLiteral("ISN")).asInteger(), 0);
    QCOMPARE(query().fieldByName(QStringLiteral("GNOS")).asString(), QString());

    openQuery(QStringLiteral("SELECT SUM(ATLIKUMS) ATLIKUMS FROM O_TEKATLIK WHERE ISPRECE = -1"));
    QCOMPARE(query().recordCount(), 1);
    QVERIFY(query().fieldByName(QStringLiteral("ATLIKUMS")).isNull());
    QCOMPARE(query().fieldByName(QStringLiteral("ATLIKUMS")).asFloat(), 0.0);
    QVERIFY(!query().fieldByName(QStringLiteral("ATLIKUMS")).asDateTime().isValid());
}

void TestRemoteDataSet::fieldsReadInClientFormat()
{
    openQuery(QStringLiteral(
        "SELECT CAST(1234.5 AS DOUBLE PRECISION) D, CAST(12 AS INTEGER) I, "
        "CAST(7 AS BIGINT) B, CAST('12,5' AS VARCHAR(10)) T, CAST(' 42 ' AS VARCHAR(10)) TI, "
        "CAST('abc' AS VARCHAR(10)) BAD, CAST('2024-03-05' AS DATE) DT, "
        "CAST('2024-03-05 09:15:30' AS TIMESTAMP) TS, CAST('05.03.2024' AS VARCHAR(10)) TD, "
        "CAST(NULL AS VARCHAR(5)) N FROM RDB$DATABASE"));
    auto field = [this](const char* name) {
        return query().fieldByName(QString::fromLatin1(name));
    };
    QCOMPARE(field("D").asString(), QStringLiteral("1234,5"));
    QCOMPARE(field("D").asInteger(), 1235); // nearest whole number
    QCOMPARE(field("I").asString(), QStringLiteral("12"));
    QCOMPARE(field("I").asFloat(), 12.0);
    QCOMPARE(field("B").asInteger(), 7);
    QCOMPARE(field("T").asFloat(), 12.5);
    QCOMPARE(field("TI").asInteger(), 42);
    QVERIFY_THROWS_EXCEPTION(ClientError, field("BAD").asFloat());
    QVERIFY_THROWS_EXCEPTION(ClientError, field("BAD").asInteger());
    QVERIFY_THROWS_EXCEPTION(ClientError, field("T").asInteger());
    QVERIFY_THROWS_EXCEPTION(ClientError, field("DT").asFloat());
    QCOMPARE(field("DT").asString(), QStringLiteral("05.03.2024"));
    QCOMPARE(field("DT").asDateTime(), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    QCOMPARE(field("TS").asDateTime(), QDateTime(QDate(2024, 3, 5), QTime(9, 15, 30)));
    QCOMPARE(field("TS").asString(), QStringLiteral("05.03.2024 09:15:30"));
    QCOMPARE(field("TD").asDate(), QDate(2024, 3, 5));
    QVERIFY(field("N").isNull());
    QCOMPARE(field("N").asString(), QString());
    QCOMPARE(field("N").asFloat(), 0.0);
    QCOMPARE(field("N").asInteger(), 0);
}

void TestRemoteDataSet::numbersAsTextFollowLocale()
{
    // How the terminal learns its decimal separator: a number of the
    // database read as text. A whole number shows no separator at all.
    const QString probe = QStringLiteral(
        "SELECT CAST(12.35 AS DOUBLE PRECISION) KOPSUMMA, CAST(100 AS DOUBLE PRECISION) VESELS "
        "FROM RDB$DATABASE");
    openQuery(probe);
    QCOMPARE(query().fieldByName(QStringLiteral("KOPSUMMA")).asString(), QStringLiteral("12,35"));
    ClientFormat::setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(query().fieldByName(QStringLiteral("KOPSUMMA")).asString(), QStringLiteral("12.35"));
    QCOMPARE(query().fieldByName(QStringLiteral("VESELS")).asString(), QStringLiteral("100"));
    openQuery(QStringLiteral("SELECT CAST('12,5' AS VARCHAR(10)) T FROM RDB$DATABASE"));
    QVERIFY_THROWS_EXCEPTION(ClientError, query().fieldByName(QStringLiteral("T")).asFloat());
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
}

void TestRemoteDataSet::missingFieldRaisesFieldNotFound()
{
    openQuery(QStringLiteral("SELECT 1 ISN FROM RDB$DATABASE"));
    QVERIFY(query().hasField(QStringLiteral("isn")));
    QCOMPARE(query().fieldByName(QStringLiteral("isn")).asInteger(), 1);
    try {
        query().fieldByName(QStringLiteral("PARDCENA17"));
        QFAIL("a missing field was read");
    } catch (const ClientError& error) {
        QCOMPARE(error.message(), QStringLiteral("cdsTempQuery: lauks 'PARDCENA17' nav atrasts"));
    }
}

void TestRemoteDataSet::failedOpenLeavesDataSetClosed()
{
    PrepareDataset(query());
    query().setCommandText(QStringLiteral("SELECT NAV_TADAS_KOLONNAS FROM N_PRGRUP"));
    try {
        query().open();
        QFAIL("a faulty statement opened");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Server);
        QVERIFY2(error.message().contains(QStringLiteral("NAV_TADAS_KOLONNAS")),
                 qPrintable(error.message()));
    }
    QVERIFY(!query().isActive());
    QVERIFY_THROWS_EXCEPTION(ClientError, query().fieldByName(QStringLiteral("ISN")));
    // The session survives a failed statement.
    openQuery(QStringLiteral("SELECT COUNT(*) N FROM N_PRGRUP WHERE ISN >= 10"));
    QCOMPARE(query().fieldByName(QStringLiteral("N")).asInteger(), 3);
}

void TestRemoteDataSet::parametersKeepTheirTypes()
{
    PrepareDataset(query());
    query().setCommandText(QStringLiteral(
        "SELECT CAST(:T AS VARCHAR(20)) T, CAST(:D AS DOUBLE PRECISION) D, "
        "COALESCE(CAST(:N AS INTEGER), -1) N, CAST(:I AS INTEGER) I FROM RDB$DATABASE"));
    query().setTextParam(QStringLiteral("T"), QStringLiteral("Ķēniņš"));
    query().setDoubleParam(QStringLiteral("D"), 2.5);
    query().setNullParam(QStringLiteral("N"));
    query().setIntegerParam(QStringLiteral("I"), -7);
    query().open();
    QCOMPARE(query().fieldByName(QStringLiteral("T")).asString(), QStringLiteral("Ķēniņš"));
    QCOMPARE(query().fieldByName(QStringLiteral("D")).asFloat(), 2.5);
    QCOMPARE(query().fieldByName(QStringLiteral("N")).asInteger(), -1);
    QCOMPARE(query().fieldByName(QStringLiteral("I")).asInteger(), -7);

    // A date-time parameter against a DATE column.
    PrepareDataset(query());
    query().setCommandText(
        QStringLiteral("SELECT NR_PAVADZ FROM O_PRATL_PAV WHERE DATUMS >= :DATUMS ORDER BY ISN"));
    query().setDateTimeParam(QStringLiteral("DATUMS"), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    query().open();
    QCOMPARE(query().recordCount(), 1);
    QCOMPARE(query().fieldByName(QStringLiteral("NR_PAVADZ")).asString(), QStringLiteral("B"));
}

void TestRemoteDataSet::locateFindsRow()
{
    openQuery(QStringLiteral("SELECT ISN, GNOS FROM N_PRGRUP WHERE ISN >= 10 ORDER BY ISN"));
    QVERIFY(query().locate(QStringLiteral("GNOS"), QStringLiteral("Maize")));
    QCOMPARE(query().fieldByName(QStringLiteral("ISN")).asInteger(), 11);
    QVERIFY(query().locate(QStringLiteral("ISN"), 10));
    QCOMPARE(query().fieldByName(QStringLiteral("GNOS")).asString(),
             QStringLiteral("Piena produkti"));
    QVERIFY(query().locate(QStringLiteral("GNOS"), QVariant()));
    QCOMPARE(query().fieldByName(QStringLiteral("ISN")).asInteger(), 12);
    QVERIFY(!query().locate(QStringLiteral("GNOS"), QStringLiteral("maize"))); // exact case
    QCOMPARE(query().fieldByName(QStringLiteral("ISN")).asInteger(), 12);
    QVERIFY(query().locate(QStringLiteral("ISN"), QStringLiteral("11")));
    QVERIFY_THROWS_EXCEPTION(ClientError, query().locate(QStringLiteral("NAV"), 1));

    openQuery(QStringLiteral("SELECT ISN, DATUMS FROM O_PRATL_PAV ORDER BY ISN"));
    QVERIFY(query().locate(QStringLiteral("DATUMS"), QDate(2024, 3, 5)));
    QCOMPARE(query().fieldByName(QStringLiteral("ISN")).asInteger(), 2);
}

void TestRemoteDataSet::newCommandTextClosesTheDataSet()
{
    openQuery(QStringLiteral("SELECT 1 A FROM RDB$DATABASE"));
    QVERIFY(query().isActive());
    // Opening after a new statement must run it, not hand back the old rows.
    query().setCommandText(QStringLiteral("SELECT 2 A FROM RDB$DATABASE"));
    QVERIFY(!query().isActive());
    query().open();
    QCOMPARE(query().fieldByName(QStringLiteral("A")).asInteger(), 2);
}

void TestRemoteDataSet::viewsFollowTheDataSet()
{
    // Two lists on one dataset, as the document list and the 3D list are.
    RemoteDataSet& documents = m_fixture->module().cdsPavadzimes();
    DataSetModel first(documents);
    DataSetModel second(documents);
    QSignalSpy resets(&first, &DataSetModel::modelReset);

    PrepareDataset(documents);
    documents.setCommandText(QStringLiteral(
        "SELECT ISN, NR_PAVADZ, CAST(1.5 AS DOUBLE PRECISION) DAUDZUMS FROM O_PAVADZ "
        "WHERE NR_PAVADZ STARTING WITH 'V-' ORDER BY ISN"));
    QCOMPARE(first.rowCount(), 0);
    m_fixture->run(QStringLiteral(
        "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT) VALUES ('V-1', 0, 0)"));
    m_fixture->run(QStringLiteral(
        "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT) VALUES ('V-2', 0, 0)"));
    documents.open();
    QCOMPARE(first.rowCount(), 2);
    QCOMPARE(second.rowCount(), 2);
    QCOMPARE(first.columnCount(), 3);
    QCOMPARE(first.fieldText(1, QStringLiteral("NR_PAVADZ")), QStringLiteral("V-2"));
    // Numbers as the client writes them.
    QCOMPARE(first.fieldText(0, QStringLiteral("DAUDZUMS")), QStringLiteral("1,5"));
    QCOMPARE(first.fieldText(5, QStringLiteral("NR_PAVADZ")), QString());
    QCOMPARE(first.fieldText(0, QStringLiteral("NAV")), QString());

    // Reopened with fewer rows: both follow; closed: both empty.
    PrepareDataset(documents);
    QCOMPARE(second.rowCount(), 0);
    documents.setCommandText(
        QStringLiteral("SELECT ISN, NR_PAVADZ FROM O_PAVADZ WHERE NR_PAVADZ = 'V-1'"));
    documents.open();
    QCOMPARE(first.rowCount(), 1);
    QCOMPARE(second.rowCount(), 1);
    QCOMPARE(second.columnCount(), 2);
    QCOMPARE(resets.size(), 3);
    documents.close();
    documents.close(); // closing a closed dataset tells nobody
    QCOMPARE(first.rowCount(), 0);
    QCOMPARE(resets.size(), 4);
}

void TestRemoteDataSet::twoDataSetsOnOneProvider()
{
    RemoteDataSet& goods = m_fixture->module().cdsFindN_KLPREC();
    RemoteDataSet& prices = m_fixture->module().cdsSpecCenas();
    QCOMPARE(goods.providerName(), prices.providerName());
    PrepareDataset(goods);
    goods.setCommandText(QStringLiteral("SELECT ISN FROM N_PRGRUP WHERE ISN = 10"));
    goods.open();
    PrepareDataset(prices);
    prices.setCommandText(QStringLiteral("SELECT GNOS FROM N_PRGRUP WHERE ISN = 11"));
    prices.open();
    QCOMPARE(goods.fieldByName(QStringLiteral("ISN")).asInteger(), 10);
    QCOMPARE(prices.fieldByName(QStringLiteral("GNOS")).asString(), QStringLiteral("Maize"));
}

void TestRemoteDataSet::executedStatementVisibleToNextRequest()
{
    RemoteDataSet& update = m_fixture->module().cdsUpdate();
    PrepareDataset(update);
    update.setCommandText(QStringLiteral("INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (:ISN, :GNOS)"));
    update.setIntegerParam(QStringLiteral("ISN"), 20);
    update.setTextParam(QStringLiteral("GNOS"), QStringLiteral("Dzērieni"));
    update.execute();
    QVERIFY(!update.isActive());
    openQuery(QStringLiteral("SELECT GNOS FROM N_PRGRUP WHERE ISN = 20"));
    QCOMPARE(query().fieldByName(QStringLiteral("GNOS")).asString(), QStringLiteral("Dzērieni"));
}

void TestRemoteDataSet::insertReturnsItsOwnKey()
{
    RemoteDataSet& update = m_fixture->module().cdsUpdate();
    PrepareDataset(update);
    update.setCommandText(kInsertWaybill);
    update.setTextParam(QStringLiteral("NR_PAVADZ"), QStringLiteral("R-1"));
    const qint32 isn = InsertReturningIsn(update);
    QVERIFY(isn > 0);
    QCOMPARE(
        m_fixture->value(QStringLiteral("SELECT NR_PAVADZ FROM O_PAVADZ WHERE ISN = %1").arg(isn)),
        QVariant(QStringLiteral("R-1")));

    // The generator afterwards names the last row of anyone, here another
    // terminal's: why the key must come back with the insert.
    m_fixture->run(QStringLiteral(
        "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT) VALUES ('OTHER', 0, 0)"));
    openQuery(QStringLiteral("SELECT GEN_ID(O_PAVADZGEN,0) ISN FROM N_ISI"));
    QVERIFY(query().fieldByName(QStringLiteral("ISN")).asInteger() != isn);

    // Without RETURNING no key comes back, and the caller hears of it.
    PrepareDataset(update);
    update.setCommandText(QStringLiteral(
        "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT) VALUES ('NO-KEY', 0, 0)"));
    QVERIFY_THROWS_EXCEPTION(ClientError, InsertReturningIsn(update));
}

void TestRemoteDataSet::terminalsInsertingAtOnceGetTheirOwnKeys()
{
    constexpr int kTerminals = 2;
    constexpr int kInserts = 25;
    struct Terminal
    {
        QString marker;
        QList<qint32> keys;
        QString error;
    };
    std::array<Terminal, kTerminals> terminals;
    const QString host = m_fixture->module().SQLConnection1().hostName();
    const quint16 port = m_fixture->module().SQLConnection1().port();

    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kTerminals; ++t) {
        Terminal& terminal = terminals[t];
        terminal.marker = QStringLiteral("T%1-").arg(t);
        threads.emplace_back(QThread::create([&terminal, host, port] {
            OwnTerminal own(host, port, QStringLiteral("dspUpdate"));
            RemoteDataSet& update = own.dataSet;
            try {
                for (int i = 0; i < kInserts; ++i) {
                    update.close();
                    update.setCommandText(kInsertWaybill);
                    update.setTextParam(QStringLiteral("NR_PAVADZ"),
                                        terminal.marker + QString::number(i));
                    terminal.keys << InsertReturningIsn(update);
                }
            } catch (const std::exception& error) {
                terminal.error = errorText(error);
            }
        }));
    }
    for (auto& thread : threads)
        thread->start();
    for (auto& thread : threads)
        QVERIFY(thread->wait(60000));

    QSet<qint32> allKeys;
    for (const Terminal& terminal : terminals) {
        QVERIFY2(terminal.error.isEmpty(), qPrintable(terminal.error));
        QCOMPARE(terminal.keys.size(), kInserts);
        for (int i = 0; i < kInserts; ++i) {
            allKeys.insert(terminal.keys[i]);
            QCOMPARE(
                m_fixture->value(QStringLiteral("SELECT NR_PAVADZ FROM O_PAVADZ WHERE ISN = %1")
                                     .arg(terminal.keys[i])),
                QVariant(terminal.marker + QString::number(i)));
        }
    }
    QCOMPARE(allKeys.size(), kTerminals * kInserts);
}

void TestRemoteDataSet::serverRestartedBetweenRequests()
{
    openQuery(QStringLiteral("SELECT 1 X FROM RDB$DATABASE"));
    QVERIFY(m_fixture->module().SQLConnection1().connected());
    m_fixture->stopServer();
    QVERIFY(m_fixture->restartServer());

    // Straight away: the next request finds the old connection closed and
    // opens a new one.
    openQuery(QStringLiteral("SELECT 2 X FROM RDB$DATABASE"));
    QCOMPARE(query().fieldByName(QStringLiteral("X")).asInteger(), 2);

    // After the event loop has seen the drop: the connection reads as down,
    // and PrepareDataset brings it up again.
    m_fixture->stopServer();
    QTRY_VERIFY(!m_fixture->module().SQLConnection1().connected());
    QVERIFY(m_fixture->restartServer());
    openQuery(QStringLiteral("SELECT 3 X FROM RDB$DATABASE"));
    QCOMPARE(query().fieldByName(QStringLiteral("X")).asInteger(), 3);
    QVERIFY(m_fixture->messages().isEmpty());
}

void TestRemoteDataSet::serverGoneForGood()
{
    openQuery(QStringLiteral("SELECT 1 X FROM RDB$DATABASE"));
    m_fixture->stopServer();
    QTRY_VERIFY(!m_fixture->module().SQLConnection1().connected());

    try {
        PrepareDataset(query());
        QFAIL("a connection that cannot be restored went unreported");
    } catch (const ClientError& error) {
        QVERIFY2(
            error.message().startsWith(QStringLiteral("Kļūda atjaunojot savienojumu ar serveri ")),
            qPrintable(error.message()));
    }
    QVERIFY(m_fixture->messages().isEmpty());
    QVERIFY(!query().isActive());

    query().setCommandText(QStringLiteral("SELECT 1 X FROM RDB$DATABASE"));
    try {
        query().open();
        QFAIL("a request succeeded without a server");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Transport);
    }
    QVERIFY(!query().isActive());
}

void TestRemoteDataSet::statementsRecordedAsSent()
{
    StatementRecorder& recorder = m_fixture->statements();
    recorder.clear();
    // With its text the first time, by its handle after: one text each.
    const QString read = QStringLiteral("SELECT ISN FROM N_PRGRUP WHERE ISN = :ISN");
    for (const qint32 isn : {1, 2, 3}) {
        PrepareDataset(query());
        query().setCommandText(read);
        query().setIntegerParam(QStringLiteral("ISN"), isn);
        query().open();
    }
    const QString write = QStringLiteral("UPDATE N_PRGRUP SET GNOS = GNOS WHERE ISN = :ISN");
    for (int i = 0; i < 2; ++i) {
        query().setCommandText(write);
        query().setIntegerParam(QStringLiteral("ISN"), -1);
        query().execute();
    }
    // The provider's own statement is no text of the terminal's.
    RemoteDataSet& promotions = m_fixture->module().cdsAkcijas();
    PrepareDataset(promotions);
    promotions.setCommandText(QString());
    promotions.setIntegerParam(QStringLiteral("ISPRECE"), 3);
    promotions.setIntegerParam(QStringLiteral("ISNODALA"), 2);
    promotions.open();
    // Nor is what goes while recording is off.
    recorder.setRecording(false);
    openQuery(QStringLiteral("SELECT 1 X FROM N_ISI"));
    recorder.setRecording(true);

    QCOMPARE(recorder.texts(), (QStringList{read, write}));
    QCOMPARE(recorder.missing({write, QStringLiteral("SELECT 2 X FROM N_ISI")}), QStringList{read});
    QVERIFY(recorder.missing({read, write}).isEmpty());
    QVERIFY(recorder.describeMissing({read}).contains(write));
    recorder.clear();
    QVERIFY(recorder.texts().isEmpty());
}

QTEST_GUILESS_MAIN(TestRemoteDataSet)
#include "tst_remotedataset.moc"
