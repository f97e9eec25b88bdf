// The goods-data window's data work against a running NorvalkServer: the
// forbidden-price rule, stock and promotions of the shared goods in the
// chosen department, and new goods: the article cut and its duplicate
// check, the VAT text, the right, the log entry and the key of the very row
// made.

#include "client/core/clienterror.h"
#include "client/core/goodsdata.h"
#include "client/core/goodsinfo.h"
#include "client/core/remotedataset.h"
#include "tests/client/serverfixture.h"

#include <QTest>

#include <memory>

class TestGoodsData final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void forbiddenPrices_data();
    void forbiddenPrices();
    void departmentsLoadedOnce();
    void stockInChosenDepartment_data();
    void stockInChosenDepartment();
    void promotions_data();
    void promotions();
    void promotionsOfTwoWindowsApart();
    void newGoods_data();
    void newGoods();
    void newGoodsRefused_data();
    void newGoodsRefused();
    void vatThatIsNoNumberStoresNothing_data();
    void vatThatIsNoNumberStoresNothing();
    void newKeyIsTheRowMade();

private:
    int goodsCount() { return m_fixture->value("SELECT COUNT(*) FROM N_KLPREC").toInt(); }
    int indexOf(GoodsData& data, qint32 department);

    std::unique_ptr<ServerFixture> m_fixture;
};

namespace {

const QString kDuplicate = QStringLiteral("Ar šādu artikulu prece jau ir ievadīta !!!");

} // namespace

void TestGoodsData::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    ClientState& state = m_fixture->module().clientState();
    state.CurrentUser = QStringLiteral("JANIS");
    state.RightNewGoods = true;
    state.DecimalPointIsDot = false;
    m_fixture->run({
        "INSERT INTO N_DEPART (ISN, GNOS) VALUES (2, 'Rīga')",
        "INSERT INTO N_DEPART (ISN, GNOS) VALUES (3, 'Jelgava')",
        "INSERT INTO N_DEPART (ISN, GNOS, FLAG_3D) VALUES (4, '3D plaukti', 'T')",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA) VALUES (1, 'PIENS', 'Piens', 1)",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA) VALUES (2, 'MAIZE', 'Maize', 1)",
        "EXECUTE PROCEDURE UPDATETEKATLIK(1, 2, 30, 'F', 0)",
        "EXECUTE PROCEDURE UPDATETEKATLIK(1, 2, 2.5, 'T', 0)",
        "EXECUTE PROCEDURE UPDATETEKATLIK(1, 3, 7, 'F', 0)",
        "INSERT INTO O_PARCPV (ISN, ISNODALA, PZ_VEIDS, AKCIJA_NO, AKCIJA_LIDZ) "
        "VALUES (1, 2, 1, '01.01.2025', '31.01.2025')",
        "INSERT INTO O_PARCPV (ISN, ISNODALA, PZ_VEIDS, AKCIJA_NO, AKCIJA_LIDZ) "
        "VALUES (2, 2, 1, '01.06.2025', '30.06.2025')",
        "INSERT INTO O_PARCPV (ISN, ISNODALA, PZ_VEIDS, AKCIJA_NO, AKCIJA_LIDZ) "
        "VALUES (3, 2, 2, '01.07.2025', '31.07.2025')",
        "INSERT INTO O_PARCPR (ISPARCPV, ISPRECE, CENA_UZ) VALUES (1, 1, 0.89)",
        "INSERT INTO O_PARCPR (ISPARCPV, ISPRECE, CENA_UZ) VALUES (2, 1, 0.79)",
        "INSERT INTO O_PARCPR (ISPARCPV, ISPRECE, CENA_UZ) VALUES (3, 1, 0.69)",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA) "
        "VALUES (3, '1234567890123456789012345', 'Gara', 1)",
        // New goods get keys past those given here.
        "ALTER SEQUENCE N_KLPRECGEN RESTART WITH 100",
    });
}

void TestGoodsData::init()
{
    m_fixture->messages().clear();
}

void TestGoodsData::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    m_fixture.reset();
}

int TestGoodsData::indexOf(GoodsData& data, qint32 department)
{
    return int(data.LoadDepartments().isns.indexOf(department));
}

void TestGoodsData::forbiddenPrices_data()
{
    QTest::addColumn<QString>("forbidden");
    QTest::addColumn<QList<int>>("hidden");

    QTest::newRow("none") << "" << QList<int>{};
    QTest::newRow("2 and 7") << "|2||7|" << QList<int>{2, 7};
    QTest::newRow("1 does not hide 11") << "|1|" << QList<int>{1};
    QTest::newRow("11 does not hide 1") << "|11|" << QList<int>{11};
    QTest::newRow("the last shown price") << "|15||16|" << QList<int>{15};
    QTest::newRow("numbers without bars") << "2,7" << QList<int>{};
}

void TestGoodsData::forbiddenPrices()
{
    QFETCH(QString, forbidden);
    QList<int> hidden;
    for (int level = 1; level <= GoodsData::ShownPrices; ++level) {
        if (GoodsData::PriceForbidden(forbidden, level))
            hidden << level;
    }
    QTEST(hidden, "hidden");
}

void TestGoodsData::departmentsLoadedOnce()
{
    GoodsData data(m_fixture->module());
    const QStringList names = data.LoadDepartments().names;
    QVERIFY2(names.contains("Jelgava") && names.contains("Rīga") && !names.contains("3D plaukti"),
             qPrintable(names.join('|')));
    // Loaded once: a department added later is not in the list.
    m_fixture->run("INSERT INTO N_DEPART (ISN, GNOS) VALUES (9, 'Aizkraukle')");
    QCOMPARE(data.LoadDepartments().names, names);
    m_fixture->run("DELETE FROM N_DEPART WHERE ISN = 9");
}

void TestGoodsData::stockInChosenDepartment_data()
{
    QTest::addColumn<int>("goods");
    QTest::addColumn<int>("department"); // 0: none chosen
    QTest::addColumn<QString>("stock");  // empty: nothing shown

    QTest::newRow("every kind summed") << 1 << 2 << "32.5";
    QTest::newRow("another department") << 1 << 3 << "7";
    QTest::newRow("no stock") << 2 << 2 << "0";
    QTest::newRow("no department chosen") << 1 << 0 << "";
}

void TestGoodsData::stockInChosenDepartment()
{
    QFETCH(int, goods);
    QFETCH(int, department);
    GoodsData data(m_fixture->module());
    GoodsInfo shared;
    shared.Isn = goods; // found in another window
    const std::optional<double> stock = data.Stock(shared, indexOf(data, department));
    QTEST(stock ? QString::number(*stock) : QString(), "stock");
}

void TestGoodsData::promotions_data()
{
    QTest::addColumn<int>("department");
    QTest::addColumn<QStringList>("prices");

    QTest::newRow("latest ending first, price changes left out")
        << 2 << QStringList{"0,79", "0,89"};
    QTest::newRow("none in the department") << 3 << QStringList{};
    QTest::newRow("no department chosen") << 0 << QStringList{};
}

void TestGoodsData::promotions()
{
    QFETCH(int, department);
    GoodsData data(m_fixture->module());
    GoodsInfo shared;
    shared.Isn = 1;
    RemoteDataSet& grid = data.promotions();
    QCOMPARE(data.OpenPromotions(shared, indexOf(data, department)), department != 0);
    QCOMPARE(grid.isActive(), department != 0);
    QStringList prices;
    if (grid.isActive()) {
        QCOMPARE(grid.packet().columns.size(), 3);
        for (grid.first(); !grid.eof(); grid.next())
            prices << grid.fieldByName(QStringLiteral("CENA_UZ")).asString();
    }
    QTEST(prices, "prices");
}

void TestGoodsData::promotionsOfTwoWindowsApart()
{
    // Two goods-data windows on one module: the second's list replaces
    // nothing the first one shows.
    GoodsData first(m_fixture->module());
    GoodsData second(m_fixture->module());
    GoodsInfo shared;
    shared.Isn = 1;
    QVERIFY(first.OpenPromotions(shared, indexOf(first, 2)));
    QCOMPARE(first.promotions().recordCount(), 2);
    QVERIFY(second.OpenPromotions(shared, indexOf(second, 3)));
    QCOMPARE(second.promotions().recordCount(), 0);
    QVERIFY(first.promotions().isActive());
    QCOMPARE(first.promotions().recordCount(), 2);
}

void TestGoodsData::newGoods_data()
{
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("vat");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("rate");

    QTest::newRow("as typed") << "NEW-1"
                              << "21"
                              << "NEW-1" << 21.0;
    QTest::newRow("cut to 25 characters") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"
                                          << "12"
                                          << "ABCDEFGHIJKLMNOPQRSTUVWXY" << 12.0;
    QTest::newRow("decimal comma") << "NEW-2"
                                   << "12,5"
                                   << "NEW-2" << 12.5;
    QTest::newRow("decimal point typed") << "NEW-3"
                                         << "5.5"
                                         << "NEW-3" << 5.5;
    QTest::newRow("no VAT is 0") << "NEW-4"
                                 << ""
                                 << "NEW-4" << 0.0;
}

void TestGoodsData::newGoods()
{
    QFETCH(QString, article);
    QFETCH(QString, vat);
    QFETCH(QString, stored);
    GoodsData data(m_fixture->module());
    QVERIFY(!data.CheckNewArticle(article).refused());
    const Outcome<qint32> saved = data.SaveNewGoods(article, QStringLiteral("Jauna prece"), vat);
    QVERIFY(!saved.refused());
    const int isn = saved.result();
    QCOMPARE(
        m_fixture->value(QStringLiteral("SELECT ARTIKULS FROM N_KLPREC WHERE ISN = %1").arg(isn))
            .toString(),
        stored);
    QTEST(m_fixture->value(QStringLiteral("SELECT NODOKLIS FROM N_KLPREC WHERE ISN = %1").arg(isn))
              .toDouble(),
          "rate");
    QCOMPARE(
        m_fixture->value(QStringLiteral("SELECT ISPRGRUPA FROM N_KLPREC WHERE ISN = %1").arg(isn))
            .toInt(),
        1);
    QCOMPARE(m_fixture
                 ->value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE TAUSTINS = 'J' "
                                        "AND BAZE = 'N_KLPREC' AND ISN_BAZE = %1 AND ISPRECE = %1 "
                                        "AND NUMURS = 'Jauna prece' AND IEVKODS = 'JANIS' "
                                        "AND PIEZIMES = 'Norvalk'")
                             .arg(isn))
                 .toInt(),
             1);

    // The same article again, also when only what is stored is the same.
    const int before = goodsCount();
    QCOMPARE(data.CheckNewArticle(article).refusal().message, kDuplicate);
    QCOMPARE(data.CheckNewArticle(article + QStringLiteral("XYZ")).refused(), article.size() >= 25);
    const Outcome<qint32> again = data.SaveNewGoods(article, QStringLiteral("Cita"), vat);
    QVERIFY(again.refused());
    QCOMPARE(again.refusal().message, kDuplicate);
    QCOMPARE(again.refusal().field, QStringLiteral("edNewArtikuls"));
    QCOMPARE(goodsCount(), before);
}

void TestGoodsData::newGoodsRefused_data()
{
    QTest::addColumn<bool>("right");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");

    QTest::newRow("without the right") << false << "R-1"
                                       << "Prece"
                                       << "Jums nav tiesību ievadīt jaunas preces !!!"
                                       << "";
    QTest::newRow("no article") << true << ""
                                << "Prece"
                                << "Nav ievadīts artikuls !!!"
                                << "edNewArtikuls";
    QTest::newRow("no name") << true << "R-2"
                             << ""
                             << "Nav ievadīts preces nosaukums !!!"
                             << "edNewGnos";
    QTest::newRow("long article whose first 25 are taken")
        << true << "1234567890123456789012345-X"
        << "Prece" << kDuplicate << "edNewArtikuls";
}

void TestGoodsData::newGoodsRefused()
{
    QFETCH(bool, right);
    QFETCH(QString, article);
    QFETCH(QString, name);
    ClientState& state = m_fixture->module().clientState();
    state.RightNewGoods = right;
    const int before = goodsCount();
    const Outcome<qint32> saved = GoodsData(m_fixture->module()).SaveNewGoods(article, name, "21");
    state.RightNewGoods = true;
    QVERIFY(saved.refused());
    QTEST(saved.refusal().message, "message");
    QTEST(saved.refusal().field, "field");
    QCOMPARE(goodsCount(), before);
}

void TestGoodsData::vatThatIsNoNumberStoresNothing_data()
{
    QTest::addColumn<QString>("vat");

    QTest::newRow("percent sign") << "21%";
    QTest::newRow("nan") << "nan";
    QTest::newRow("inf") << "inf";
    QTest::newRow("beyond a double") << "1e400";
    QTest::newRow("hexadecimal") << "0x10";
}

void TestGoodsData::vatThatIsNoNumberStoresNothing()
{
    QFETCH(QString, vat);
    const int before = goodsCount();
    const int entries = m_fixture->value("SELECT COUNT(*) FROM O_OPERACIJAS").toInt();
    QVERIFY_THROWS_EXCEPTION(
        ClientError,
        GoodsData(m_fixture->module())
            .SaveNewGoods(QStringLiteral("V-%1").arg(QTest::currentDataTag()), "Prece", vat));
    QCOMPARE(goodsCount(), before);
    QCOMPARE(m_fixture->value("SELECT COUNT(*) FROM O_OPERACIJAS").toInt(), entries);
}

void TestGoodsData::newKeyIsTheRowMade()
{
    // Another terminal's goods made right after ours, within our insert:
    // the generator has moved on past our row, as it does when two
    // terminals save at once. The key must still be that of our row.
    m_fixture->run(
        QStringLiteral("CREATE TRIGGER TST_OTHER_TERMINAL FOR N_KLPREC AFTER INSERT AS "
                       "DECLARE VARIABLE K INTEGER; BEGIN IF (NEW.ARTIKULS = 'MINE') THEN "
                       "K = GEN_ID(N_KLPRECGEN, 1); END"));
    // The server keeps its statements prepared, with the triggers of then.
    m_fixture->stopServer();
    QVERIFY(m_fixture->restartServer());
    const Outcome<qint32> saved =
        GoodsData(m_fixture->module()).SaveNewGoods("MINE", "Mana prece", "21");
    m_fixture->run(QStringLiteral("DROP TRIGGER TST_OTHER_TERMINAL"));
    QVERIFY(!saved.refused());
    QCOMPARE(m_fixture->value(QStringLiteral("SELECT ISN FROM N_KLPREC WHERE ARTIKULS = 'MINE'")),
             QVariant(saved.result()));
    const int generator =
        m_fixture->value(QStringLiteral("SELECT GEN_ID(N_KLPRECGEN, 0) FROM N_ISI")).toInt();
    QVERIFY2(generator > saved.result(),
             qPrintable(QStringLiteral("%1 %2").arg(generator).arg(saved.result())));
    QCOMPARE(m_fixture
                 ->value(QStringLiteral("SELECT ISN_BAZE FROM O_OPERACIJAS WHERE BAZE = "
                                        "'N_KLPREC' AND NUMURS = 'Mana prece'"))
                 .toInt(),
             saved.result());
}

QTEST_GUILESS_MAIN(TestGoodsData)
#include "tst_goodsdata.moc"
