// The common procedures against a running NorvalkServer: user rights, stock
// reads and moves, price history, the operation log and the department list.

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/unitofwork.h"
#include "tests/client/serverfixture.h"

#include <QMap>

#include <QTest>

#include <functional>
#include <memory>

class TestCommonProcedures final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void userHasRight_data();
    void userHasRight();
    void getStock_data();
    void getStock();
    void updateStock_data();
    void updateStock();
    void updateStockKindOfStock();
    void getCertifiedStock();
    void lookupNumber();
    void lookupNumberTakesOnlyNames_data();
    void lookupNumberTakesOnlyNames();
    void getLastPrice_data();
    void getLastPrice();
    void getLastPriceReadsCutOffInClientDateFormat_data();
    void getLastPriceReadsCutOffInClientDateFormat();
    void logOperationCutsTexts();
    void logOperationKeepsShortTexts();
    void departmentList();
    void departmentListTakesOnlyNumbers_data();
    void departmentListTakesOnlyNumbers();
    void leavesTheModulesDataSetsAlone_data();
    void leavesTheModulesDataSetsAlone();

private:
    double stockRow(qint32 goods, qint32 department, const QString& kind);

    std::unique_ptr<ServerFixture> m_fixture;
};

namespace {

// The day the price history is looked at; receipts and transfers lie around it.
const QDate kDay(2024, 6, 15);

} // namespace

void TestCommonProcedures::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QString today = sqlDate(QDate::currentDate());
    const QString yesterday = sqlDate(QDate::currentDate().addDays(-1));
    m_fixture->run({
        // Departments: 2..4 ordinary, 5 a 3D place.
        "INSERT INTO N_DEPART (ISN, GNOS, FLAG_3D, CENKODS) VALUES (2, 'Rīga', NULL, 3)",
        "INSERT INTO N_DEPART (ISN, GNOS, FLAG_3D, CENKODS) VALUES (3, 'Jelgava', '', 1)",
        "INSERT INTO N_DEPART (ISN, GNOS, FLAG_3D, CENKODS) VALUES (4, 'Cēsis', 'F', 16)",
        "INSERT INTO N_DEPART (ISN, GNOS, FLAG_3D, CENKODS) VALUES (5, 'Aa 3D plaukts', 'T', 1)",
        // Users, names in their stored form: ANNA encoded, and LĪGA as the
        // older programs stored her through windows-1257.
        "INSERT INTO O_USERS (ISN, GNOS, IESPEJAS) VALUES (2, 'HWYN', '11_TFT;13_FFT;111_TTT')",
        "INSERT INTO O_USERS (ISN, GNOS, IESPEJAS) VALUES (4, 'S×RN', '17_FTF')",
        // Stock of goods 1 in department 2 of two kinds, and elsewhere.
        "INSERT INTO O_TEKATLIK (ISPRECE, ISNODALA, NELEGALIZ, ATLIKUMS) VALUES (1, 2, 'F', 5)",
        "INSERT INTO O_TEKATLIK (ISPRECE, ISNODALA, NELEGALIZ, ATLIKUMS) VALUES (1, 2, 'T', 2.5)",
        "INSERT INTO O_TEKATLIK (ISPRECE, ISNODALA, NELEGALIZ, ATLIKUMS) VALUES (1, 3, 'F', 100)",
        // Inventories: of department 2 today listing goods 21, of department
        // 2 yesterday listing goods 22, of department 3 today listing goods 23.
        "INSERT INTO O_PRATL_PAV (ISN, NR_PAVADZ, ISNODALA, DATUMS) VALUES (1, '1', 2, " + today +
            ")",
        "INSERT INTO O_PRATL_PAV (ISN, NR_PAVADZ, ISNODALA, DATUMS) VALUES (2, '2', 2, " +
            yesterday + ")",
        "INSERT INTO O_PRATL_PAV (ISN, NR_PAVADZ, ISNODALA, DATUMS) VALUES (3, '3', 3, " + today +
            ")",
        "INSERT INTO O_PRATL_PRC (ISPRATLPAV, ISPRECE) VALUES (1, 21)",
        "INSERT INTO O_PRATL_PRC (ISPRATLPAV, ISPRECE) VALUES (2, 22)",
        "INSERT INTO O_PRATL_PRC (ISPRATLPAV, ISPRECE) VALUES (3, 23)",
        // A certificate of goods 1 valid in 2024 with 6 in department 2.
        "INSERT INTO N_SERTIF (ISN, SERTIF, ISPRECE, DAT_NO, DAT_LIDZ) "
        "VALUES (2, 'S-2', 1, '01.01.2024', '31.12.2024')",
        "INSERT INTO O_SERTATLIK (ISPRECE, ISNODALA, ISSERTIF, ATLIKUMS) VALUES (1, 2, 2, 6)",
        // Price history of goods 30: a receipt ten days before the day, one
        // five days after it, a transfer into department 2 in between, one
        // before the receipt, and one into department 3 two days before.
        "INSERT INTO O_PAVADZ (ISN, ISNODALA, DAT_SANEM) VALUES (100, 2, " +
            sqlDate(kDay.addDays(-10)) + ")",
        "INSERT INTO O_PAVADZ (ISN, ISNODALA, DAT_SANEM) VALUES (101, 2, " +
            sqlDate(kDay.addDays(5)) + ")",
        "INSERT INTO O_PRECE (ISPAVADZ, ISPRECE, NODOKLIS, CENA, PARD_CENA, PARD_APGR) "
        "VALUES (100, 30, 21, 0.5, 1.21, 1.30)",
        "INSERT INTO O_PRECE (ISPAVADZ, ISPRECE, NODOKLIS, CENA, PARD_CENA, PARD_APGR) "
        "VALUES (101, 30, 21, 5, 9.99, 9.99)",
        "INSERT INTO O_PARPAV (ISN, ISNODALANO, ISNODALAUZ, DATUMS) VALUES (200, 4, 2, " +
            sqlDate(kDay.addDays(-5)) + ")",
        "INSERT INTO O_PARPAV (ISN, ISNODALANO, ISNODALAUZ, DATUMS) VALUES (201, 4, 2, " +
            sqlDate(kDay.addDays(-20)) + ")",
        "INSERT INTO O_PARPAV (ISN, ISNODALANO, ISNODALAUZ, DATUMS) VALUES (202, 4, 3, " +
            sqlDate(kDay.addDays(-2)) + ")",
        "INSERT INTO O_PARPRC (ISPARVPAV, ISPRECE, NODOKLIS, CENA, PARD_CENA) VALUES (200, 30, 21, "
        "0.6, 1.5)",
        "INSERT INTO O_PARPRC (ISPARVPAV, ISPRECE, NODOKLIS, CENA, PARD_CENA) VALUES (201, 30, 21, "
        "0.4, 0.8)",
        "INSERT INTO O_PARPRC (ISPARVPAV, ISPRECE, NODOKLIS, CENA, PARD_CENA) VALUES (202, 30, 21, "
        "0.7, 2.0)",
        // Goods 32: never received, two transfers into department 4 on one
        // day; the higher key counts.
        "INSERT INTO O_PARPAV (ISN, ISNODALANO, ISNODALAUZ, DATUMS) VALUES (204, 2, 4, " +
            sqlDate(kDay.addDays(-3)) + ")",
        "INSERT INTO O_PARPAV (ISN, ISNODALANO, ISNODALAUZ, DATUMS) VALUES (203, 2, 4, " +
            sqlDate(kDay.addDays(-3)) + ")",
        "INSERT INTO O_PARPRC (ISPARVPAV, ISPRECE, NODOKLIS, CENA, PARD_CENA) VALUES (204, 32, 21, "
        "1, 3.0)",
        "INSERT INTO O_PARPRC (ISPARVPAV, ISPRECE, NODOKLIS, CENA, PARD_CENA) VALUES (203, 32, 21, "
        "1, 3.1)",
    });
}

void TestCommonProcedures::init()
{
    m_fixture->messages().clear();
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
    ClientState& state = m_fixture->module().clientState();
    state.DateSeparator = QStringLiteral(".");
    state.UserDepartments.clear();
}

void TestCommonProcedures::cleanupTestCase()
{
    QVERIFY(m_fixture->messages().isEmpty());
    m_fixture.reset();
}

double TestCommonProcedures::stockRow(qint32 goods, qint32 department, const QString& kind)
{
    return m_fixture
        ->value(QStringLiteral("SELECT COALESCE(SUM(ATLIKUMS), 0) FROM O_TEKATLIK WHERE "
                               "ISPRECE = %1 AND ISNODALA = %2 AND NELEGALIZ = '%3'")
                    .arg(goods)
                    .arg(department)
                    .arg(kind))
        .toDouble();
}

void TestCommonProcedures::userHasRight_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("granted");

    QTest::newRow("11_TFT level 0") << "ANNA"
                                    << "11" << 0 << true;
    QTest::newRow("11_TFT level 1") << "ANNA"
                                    << "11" << 1 << false;
    QTest::newRow("11_TFT level 2") << "ANNA"
                                    << "11" << 2 << true;
    QTest::newRow("11_TFT level 5 past the end") << "ANNA"
                                                 << "11" << 5 << false;
    QTest::newRow("second right") << "ANNA"
                                  << "13" << 2 << true;
    QTest::newRow("right not held") << "ANNA"
                                    << "15" << 0 << false;
    QTest::newRow("Latvian letters in the name") << "LĪGA"
                                                 << "17" << 1 << true;
    QTest::newRow("unknown user") << "NEZINĀMS"
                                  << "11" << 0 << false;
    QTest::newRow("CHIEF any code") << "CHIEF"
                                    << "42" << 9 << true;
    QTest::newRow("CHIEF and code 80") << "CHIEF"
                                       << "80" << 0 << false;
}

void TestCommonProcedures::userHasRight()
{
    QFETCH(QString, user);
    QFETCH(QString, code);
    QFETCH(int, level);
    QTEST(UserHasRight(m_fixture->module(), user, code, level), "granted");
}

void TestCommonProcedures::getStock_data()
{
    QTest::addColumn<qint32>("goods");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("stock");

    QTest::newRow("K sums every kind") << 1 << "K" << 7.5;
    QTest::newRow("empty sums every kind") << 1 << "" << 7.5;
    QTest::newRow("F only") << 1 << "F" << 5.0;
    QTest::newRow("T only") << 1 << "T" << 2.5;
    QTest::newRow("kind without rows") << 1 << "X" << 0.0;
    QTest::newRow("goods without stock") << 9 << "K" << 0.0;
}

void TestCommonProcedures::getStock()
{
    QFETCH(qint32, goods);
    QFETCH(QString, kind);
    QTEST(GetStock(m_fixture->module(), goods, 2, kind), "stock");
}

void TestCommonProcedures::updateStock_data()
{
    QTest::addColumn<qint32>("goods");
    QTest::addColumn<qint32>("department");
    QTest::addColumn<int>("flag");
    QTest::addColumn<double>("moved");

    QTest::newRow("flag 0 moves") << 20 << 2 << 0 << 3.0;
    QTest::newRow("flag 1 without inventory moves") << 20 << 3 << 1 << 3.0;
    QTest::newRow("flag 1 blocked by today's inventory") << 21 << 2 << 1 << 0.0;
    QTest::newRow("flag 0 ignores the inventory") << 21 << 2 << 0 << 3.0;
    QTest::newRow("flag 1, inventory was yesterday") << 22 << 2 << 1 << 3.0;
    QTest::newRow("flag 1, inventory of another department") << 23 << 2 << 1 << 3.0;
    QTest::newRow("flag 2 does nothing") << 24 << 2 << 2 << 0.0;
}

void TestCommonProcedures::updateStock()
{
    QFETCH(qint32, goods);
    QFETCH(qint32, department);
    QFETCH(int, flag);
    const double before = stockRow(goods, department, QStringLiteral("F"));
    UpdateStock(m_fixture->module(), goods, department, flag, QStringLiteral("F"), 3.0);
    QTEST(stockRow(goods, department, QStringLiteral("F")) - before, "moved");
}

void TestCommonProcedures::updateStockKindOfStock()
{
    UpdateStock(m_fixture->module(), 25, 2, 0, QString(), 1.5);            // empty counts as F
    UpdateStock(m_fixture->module(), 25, 2, 0, QStringLiteral("TX"), 2.0); // only the first letter
    UpdateStock(m_fixture->module(), 25, 2, 0, QStringLiteral("T"), -0.5); // a signed quantity
    QCOMPARE(stockRow(25, 2, QStringLiteral("F")), 1.5);
    QCOMPARE(stockRow(25, 2, QStringLiteral("T")), 1.5);
    QCOMPARE(GetStock(m_fixture->module(), 25, 2, QStringLiteral("K")), 3.0);
}

void TestCommonProcedures::getCertifiedStock()
{
    QCOMPARE(GetCertifiedStock(m_fixture->module(), 1, 2, 2, QDate(2024, 6, 1)), 6.0);
    QCOMPARE(GetCertifiedStock(m_fixture->module(), 1, 2, 2, QDate(2025, 6, 1)), 0.0); // expired
    QCOMPARE(GetCertifiedStock(m_fixture->module(), 1, 3, 2, QDate(2024, 6, 1)), 0.0);
}

void TestCommonProcedures::lookupNumber()
{
    QCOMPARE(
        LookupNumber(m_fixture->module(), QStringLiteral("N_DEPART"), 2, QStringLiteral("CENKODS")),
        3.0);
    QCOMPARE(
        LookupNumber(m_fixture->module(), QStringLiteral("N_DEPART"), 4, QStringLiteral("CENKODS")),
        16.0);
    QCOMPARE(LookupNumber(m_fixture->module(), QStringLiteral("N_DEPART"), 99,
                          QStringLiteral("CENKODS")),
             0.0);
}

// Table and column are names, never text to run: a name that is anything
// else is refused before a request is made, in one request and in a unit.
void TestCommonProcedures::lookupNumberTakesOnlyNames_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::newRow("comment cuts the key")
        << QStringLiteral("N_DEPART WHERE ISN = 4 --") << QStringLiteral("CENKODS");
    QTest::newRow("second statement")
        << QStringLiteral("N_DEPART; DELETE FROM N_DEPART") << QStringLiteral("CENKODS");
    QTest::newRow("quote in column") << QStringLiteral("N_DEPART") << QStringLiteral("CENKODS'");
    QTest::newRow("expression as column")
        << QStringLiteral("N_DEPART") << QStringLiteral("CENKODS + 1");
}

void TestCommonProcedures::lookupNumberTakesOnlyNames()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QVERIFY_THROWS_EXCEPTION(ClientError, LookupNumber(m_fixture->module(), table, 2, column));
    UnitOfWork unit;
    unit.declare(QStringLiteral("X"), ParamType::Double);
    QVERIFY_THROWS_EXCEPTION(ClientError,
                             LookupNumber(unit, table, 2, column, QStringLiteral("X")));
    QCOMPARE(
        LookupNumber(m_fixture->module(), QStringLiteral("N_DEPART"), 4, QStringLiteral("CENKODS")),
        16.0);
}

void TestCommonProcedures::getLastPrice_data()
{
    QTest::addColumn<qint32>("goods");
    QTest::addColumn<qint32>("department");
    QTest::addColumn<QString>("receipt");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<double>("price");

    QTest::newRow("no history") << 31 << 2 << "PARD_APGR" << kDay << "PARD_CENA" << 0.0;
    QTest::newRow("receipt, sale price") << 30 << 2 << "PARD_APGR" << kDay << "" << 1.21;
    QTest::newRow("receipt, without VAT") << 30 << 2 << "PARD_CENA" << kDay << "" << 1.0;
    QTest::newRow("receipt, other column") << 30 << 2 << "CENA" << kDay << "" << 0.5;
    QTest::newRow("receipt before the date")
        << 30 << 2 << "PARD_APGR" << kDay.addDays(-12) << "" << 0.0;
    QTest::newRow("later transfer wins") << 30 << 2 << "PARD_APGR" << kDay << "PARD_CENA" << 1.5;
    QTest::newRow("transfer with VAT")
        << 30 << 2 << "PARD_APGR" << kDay << "PARD_APGR" << 1.5 * 1.21;
    QTest::newRow("transfer purchase price")
        << 30 << 2 << "CENA" << kDay << "CENA*(1+ATLAIDE/100)" << 0.6;
    QTest::newRow("future receipt counts once due")
        << 30 << 2 << "PARD_APGR" << kDay.addDays(6) << "PARD_CENA" << 9.99;
    QTest::newRow("only transfers into the department")
        << 30 << 3 << "PARD_APGR" << kDay << "PARD_CENA" << 2.0;
    QTest::newRow("any department") << 30 << 0 << "PARD_APGR" << kDay << "PARD_CENA" << 2.0;
    QTest::newRow("transfer without receipt")
        << 32 << 4 << "PARD_APGR" << kDay << "PARD_CENA" << 3.0;
}

void TestCommonProcedures::getLastPrice()
{
    QFETCH(qint32, goods);
    QFETCH(qint32, department);
    QFETCH(QString, receipt);
    QFETCH(QDate, date);
    QFETCH(QString, transfer);
    QFETCH(double, price);
    QCOMPARE(GetLastPrice(m_fixture->module(), goods, department, receipt, date, transfer), price);
}

void TestCommonProcedures::getLastPriceReadsCutOffInClientDateFormat_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("separator");

    QTest::newRow("Latvian") << QLocale(QLocale::Latvian, QLocale::Latvia) << ".";
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "/";
    QTest::newRow("separator not yet known") << QLocale(QLocale::Latvian, QLocale::Latvia) << "";
    QTest::newRow("separator of another format")
        << QLocale(QLocale::English, QLocale::UnitedStates) << ".";
}

void TestCommonProcedures::getLastPriceReadsCutOffInClientDateFormat()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, separator);
    ClientFormat::setLocale(locale);
    m_fixture->module().clientState().DateSeparator = separator;
    // Without a receipt, every transfer since 1900 counts.
    QCOMPARE(GetLastPrice(m_fixture->module(), 32, 4, QStringLiteral("PARD_APGR"), kDay,
                          QStringLiteral("PARD_CENA")),
             3.0);
}

void TestCommonProcedures::logOperationCutsTexts()
{
    m_fixture->module().clientState().CurrentUser = QStringLiteral("LIETOTĀJS_AR_ĻOTI_GARU_VĀRDU");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    LogOperation(m_fixture->module(), QStringLiteral("DZĒST_RINDU_1"),
                 QStringLiteral("NUMURS-12345678901"), QStringLiteral("O_PRECE_UN_VĒL_KAUT_KAS"),
                 30, QString(120, QChar(u'ž')), 77, QDate(2024, 5, 2));
    RemoteDataSet& log = m_fixture->module().cdsTempQuery();
    PrepareDataset(log);
    log.setCommandText(QStringLiteral("SELECT * FROM O_OPERACIJAS WHERE ISN_BAZE = 77"));
    log.open();
    QCOMPARE(log.recordCount(), 1);
    auto field = [&log](const char* name) { return log.fieldByName(QString::fromLatin1(name)); };
    QCOMPARE(field("TAUSTINS").asString(), QStringLiteral("DZĒST_RIN"));
    QCOMPARE(field("IEVKODS").asString(), QStringLiteral("LIETOTĀJS_AR_ĻOTI_G"));
    QCOMPARE(field("NUMURS").asString(), QStringLiteral("NUMURS-1234567"));
    QCOMPARE(field("BAZE").asString(), QStringLiteral("O_PRECE_UN_VĒL_KAUT"));
    QCOMPARE(field("PIEZIMES").asString(), QString(99, QChar(u'ž')));
    QCOMPARE(field("ISPRECE").asInteger(), 30);
    QCOMPARE(field("DATUMS").asDate(), QDate(2024, 5, 2));
    const QDateTime entered = field("IEVDAT").asDateTime();
    QVERIFY2(entered >= before && entered <= QDateTime::currentDateTime().addSecs(1),
             qPrintable(entered.toString(Qt::ISODate)));
}

void TestCommonProcedures::logOperationKeepsShortTexts()
{
    m_fixture->module().clientState().CurrentUser = QStringLiteral("ANNA");
    LogOperation(m_fixture->module(), QStringLiteral("D"), QStringLiteral("15"),
                 QStringLiteral("O_PAVADZ"), 0, QStringLiteral("Norvalk"), 78, QDate(2025, 1, 10));
    QCOMPARE(m_fixture->value(QStringLiteral("SELECT TAUSTINS || '|' || IEVKODS || '|' || NUMURS "
                                             "|| '|' || BAZE || '|' || PIEZIMES FROM O_OPERACIJAS "
                                             "WHERE ISN_BAZE = 78")),
             QVariant(QStringLiteral("D|ANNA|15|O_PAVADZ|Norvalk")));
}

void TestCommonProcedures::departmentList()
{
    RemoteDataSet& departments = m_fixture->module().cdsN_DEPART();
    const ClientState& state = m_fixture->module().clientState();
    auto names = [&departments, &state] {
        PrepareDataset(departments);
        SetDepartmentList(state, departments, QStringLiteral("NODALA"));
        departments.open();
        QStringList result;
        for (; !departments.eof(); departments.next())
            result << departments.fieldByName(QStringLiteral("NODALA")).asString();
        return result;
    };
    // Reserved rows 0 and 1 are ordinary here; the 3D place never appears.
    QCOMPARE(names(),
             (QStringList{"- nav nodaļas -", "- visas nodaļas -", "Cēsis", "Jelgava", "Rīga"}));
    m_fixture->module().clientState().UserDepartments = QStringLiteral("2,4,5");
    QCOMPARE(names(), (QStringList{"Cēsis", "Rīga"}));
}

// The user's departments come from the user's row as text: whatever it
// holds is a list of keys, never a part of the statement.
void TestCommonProcedures::departmentListTakesOnlyNumbers_data()
{
    QTest::addColumn<QString>("departments");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("blanks around keys")
        << QStringLiteral(" 2 , 4") << false << QStringList{"Cēsis", "Rīga"};
    QTest::newRow("one key") << QStringLiteral("3") << false << QStringList{"Jelgava"};
    QTest::newRow("closes the list") << QStringLiteral("2) OR (1=1") << true << QStringList();
    QTest::newRow("quote") << QStringLiteral("2,4'") << true << QStringList();
    QTest::newRow("second statement")
        << QStringLiteral("2; DELETE FROM N_DEPART") << true << QStringList();
    QTest::newRow("empty entry") << QStringLiteral("2,,4") << true << QStringList();
}

void TestCommonProcedures::departmentListTakesOnlyNumbers()
{
    QFETCH(QString, departments);
    QFETCH(bool, refused);
    m_fixture->module().clientState().UserDepartments = departments;
    if (refused)
        QVERIFY_THROWS_EXCEPTION(ClientError, LoadDepartmentList(m_fixture->module()));
    else
        QTEST(LoadDepartmentList(m_fixture->module()).names, "names");
    m_fixture->module().clientState().UserDepartments.clear();
    QCOMPARE(LoadDepartmentList(m_fixture->module()).size(), 5); // all still there
}

void TestCommonProcedures::leavesTheModulesDataSetsAlone_data()
{
    QTest::addColumn<QString>("procedure");
    for (const char* name : {"LookupNumber", "GetStock", "GetCertifiedStock", "GetLastPrice",
                             "UpdateStock", "UserHasRight", "LoadDepartmentList", "LogOperation"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestCommonProcedures::leavesTheModulesDataSetsAlone()
{
    // A caller's rows in any of the module's datasets (a list on view, a row
    // still being read) are still there after a procedure has run.
    QFETCH(QString, procedure);
    TClientDataModule& module = m_fixture->module();
    const QMap<QString, std::function<void()>> run{
        {QStringLiteral("LookupNumber"),
         [&] { LookupNumber(module, QStringLiteral("N_DEPART"), 2, QStringLiteral("CENKODS")); }},
        {QStringLiteral("GetStock"), [&] { GetStock(module, 25, 2, QStringLiteral("K")); }},
        {QStringLiteral("GetCertifiedStock"),
         [&] { GetCertifiedStock(module, 1, 2, 2, QDate(2024, 6, 1)); }},
        {QStringLiteral("GetLastPrice"),
         [&] {
             GetLastPrice(module, 1, 2, QStringLiteral("CENA"), QDate(2024, 6, 1),
                          QStringLiteral("CENA"));
         }},
        {QStringLiteral("UpdateStock"),
         [&] { UpdateStock(module, 25, 2, 1, QStringLiteral("F"), 0.0); }},
        {QStringLiteral("UserHasRight"),
         [&] { UserHasRight(module, QStringLiteral("ANNA"), QStringLiteral("11"), 2); }},
        {QStringLiteral("LoadDepartmentList"), [&] { LoadDepartmentList(module); }},
        {QStringLiteral("LogOperation"),
         [&] {
             LogOperation(module, QStringLiteral("J"), QStringLiteral("1"),
                          QStringLiteral("O_PRECE"), 25, QStringLiteral("Norvalk"), 1,
                          QDate::currentDate());
         }},
    };
    for (RemoteDataSet* dataSet : module.dataSets()) {
        PrepareDataset(*dataSet);
        dataSet->setCommandText(QStringLiteral("SELECT ISN FROM N_DEPART WHERE ISN = 4"));
        dataSet->open();
    }
    run.value(procedure)();
    for (RemoteDataSet* dataSet : module.dataSets()) {
        QVERIFY2(dataSet->isActive() && dataSet->hasField(QStringLiteral("ISN")),
                 qPrintable(dataSet->name()));
        QCOMPARE(dataSet->fieldByName(QStringLiteral("ISN")).asInteger(), 4);
    }
}

QTEST_GUILESS_MAIN(TestCommonProcedures)
#include "tst_commonprocedures.moc"
