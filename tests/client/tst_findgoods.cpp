// The goods look-up against a running NorvalkServer: which code columns are
// searched, the VAT range, the price choice and what a failure leaves.

#include "client/core/clienterror.h"
#include "client/core/commonprocedures.h"
#include "client/core/findgoods.h"
#include "client/core/owndataset.h"
#include "client/core/unitofwork.h"
#include "tests/client/serverfixture.h"

#include <QTest>

#include <memory>

namespace {

// A row the test leaves in the module's datasets (the terminal never sends it).
const QString kHeldRow = QStringLiteral("SELECT ISN FROM N_KLPREC WHERE ISN = 24");

} // namespace

class TestFindGoods final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void foundByAnyCodeColumn_data();
    void foundByAnyCodeColumn();
    void fillsTheRecord();
    void foundByKey();
    void vatRange_data();
    void vatRange();
    void priceChoice_data();
    void priceChoice();
    void notFoundKeepsRecord_data();
    void notFoundKeepsRecord();
    void codeWithApostrophe();
    void priceCodeBeyondSixteen();
    void leavesTheModulesDataSetsAlone();
    void rememberedLookUp();

private:
    std::unique_ptr<ServerFixture> m_fixture;
};

namespace {

// Goods with every sale price its own: PARDCENAn = base + n / 100.
QString insertGoods(int isn, const QString& codeColumns, const QString& codes, double vat,
                    int group = 2, double base = 1.0)
{
    QStringList prices;
    for (int level = 1; level <= 16; ++level)
        prices << QString::number(base + level / 100.0, 'f', 2);
    return QStringLiteral("INSERT INTO N_KLPREC (ISN, %1, GNOS, ISPRGRUPA, NODOKLIS, "
                          "PARDCENA1, PARDCENA2, PARDCENA3, PARDCENA4, PARDCENA5, PARDCENA6, "
                          "PARDCENA7, PARDCENA8, PARDCENA9, PARDCENA10, PARDCENA11, PARDCENA12, "
                          "PARDCENA13, PARDCENA14, PARDCENA15, PARDCENA16) "
                          "VALUES (%2, %3, 'Prece %2', %4, %5, %6)")
        .arg(codeColumns)
        .arg(isn)
        .arg(codes)
        .arg(group)
        .arg(vat)
        .arg(prices.join(QStringLiteral(", ")));
}

QString insertSpecialPrice(int isn, int goods, int client, double price, int flag,
                           const QString& from, const QString& to, const QString& applies = "1",
                           int discount = 0)
{
    return QStringLiteral("INSERT INTO O_SPECCENAS (ISN, ISPRECE, ISKLIENT, CENA_1, ATLAIDE, FLAG, "
                          "KLIENTNODALAFLAG, DAT_NO, DAT_LIDZ) VALUES (%1, %2, %3, %4, %9, %5, %6, "
                          "%7, %8)")
        .arg(isn)
        .arg(goods)
        .arg(client)
        .arg(price)
        .arg(flag)
        .arg(applies, from, to)
        .arg(discount);
}

} // namespace

void TestFindGoods::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    const QDate today = QDate::currentDate();
    const QString lastWeek = sqlDate(today.addDays(-7));
    const QString nextWeek = sqlDate(today.addDays(7));
    const QString yesterday = sqlDate(today.addDays(-1));
    const QString openStart = QStringLiteral("'01.01.1900'");
    const QString openEnd = QStringLiteral("'31.12.3000'");
    QStringList statements{
        "INSERT INTO N_PRGRUP (ISN, GNOS) VALUES (2, 'Piena produkti')",
        // Goods 1: the fully described one.
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, MERVIENIBA, NODOKLIS, ISPRKLIENT, "
        "ISSERTIF1, PAKALPOJ, NEAKTIVA, PARDCENA1, PARDCENA3, PARDCENA16) VALUES (1, "
        "'4750000000011', 'Piens 2,5% 1 l', 2, 'l', 12, 5, 7, 'F', 'F', 1.09, 1.19, 1.84)",
        // Goods 2..7: a code in one column only.
        insertGoods(2, "ARTIKULS", "'K1ONLY'", 21),
        insertGoods(3, "ARTIKULS2", "'K2ONLY'", 21),
        insertGoods(4, "ARTIKULS3", "'K3ONLY'", 21),
        insertGoods(5, "ARTIKULS4", "'K4ONLY'", 21),
        insertGoods(6, "ARTIKULS5", "'K5ONLY'", 21),
        insertGoods(7, "ARTIKULS6", "'K6ONLY'", 21),
        // Goods 10..15: VAT rates around the range.
        insertGoods(10, "ARTIKULS", "'VAT0.5'", 0.5),
        insertGoods(11, "ARTIKULS", "'VAT1'", 1),
        insertGoods(12, "ARTIKULS", "'VAT100'", 100),
        insertGoods(13, "ARTIKULS", "'VAT100.5'", 100.5),
        insertGoods(14, "ARTIKULS", "'VAT0'", 0),
        insertGoods(15, "ARTIKULS", "'VAT-5'", -5),
        // Goods 20: a service; 21: inactive; 22: of a group that is missing.
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, PAKALPOJ) "
        "VALUES (20, 'SERVICE', 'Piegāde', 2, 'T')",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, NEAKTIVA) "
        "VALUES (21, 'INACTIVE', 'Vecs', 2, 'T')",
        insertGoods(22, "ARTIKULS", "'NOGROUP'", 21, 99),
        // Goods 23: a code with an apostrophe; 24 one that it must not reach.
        insertGoods(23, "ARTIKULS", "'O''KEEFE'", 21),
        insertGoods(24, "ARTIKULS", "'PLAIN'", 21),
        // Goods 30 with special prices (base 5): partner 6 has a dated and an
        // unlimited one, 7 only an expired one, 8 an unlimited one with NULL
        // dates, 9 two dated ones of different FLAG, 10 one not for partners,
        // 12 one whose partner flag is NULL, 13 two unlimited ones.
        insertGoods(30, "ARTIKULS", "'SPECIAL'", 21, 2, 5.0),
        insertSpecialPrice(1, 30, 6, 4.10, 1, lastWeek, nextWeek),
        insertSpecialPrice(2, 30, 6, 4.20, 1, openStart, openEnd),
        insertSpecialPrice(3, 30, 7, 4.30, 1, lastWeek, yesterday),
        insertSpecialPrice(4, 30, 8, 4.40, 1, "NULL", "NULL"),
        insertSpecialPrice(5, 30, 12, 4.45, 1, openStart, openEnd, "NULL"),
        insertSpecialPrice(6, 30, 9, 4.50, 1, lastWeek, nextWeek),
        insertSpecialPrice(7, 30, 9, 4.60, 2, lastWeek, nextWeek),
        insertSpecialPrice(8, 30, 10, 4.70, 1, lastWeek, nextWeek, "2"),
        insertSpecialPrice(9, 30, 13, 4.80, 1, openStart, openEnd),
        insertSpecialPrice(10, 30, 13, 4.85, 1, openStart, openEnd),
        // Partner 14: dated prices whose FLAG, ATLAIDE and key each pick
        // another one; the FLAG decides.
        insertSpecialPrice(11, 30, 14, 4.91, 3, lastWeek, nextWeek, "1", 0),
        insertSpecialPrice(12, 30, 14, 4.92, 1, lastWeek, nextWeek, "1", 50),
        insertSpecialPrice(13, 30, 14, 4.93, 2, lastWeek, nextWeek, "1", 10),
    };
    m_fixture->run(statements);
}

void TestFindGoods::init()
{
    m_fixture->messages().clear();
}

void TestFindGoods::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue({kHeldRow});
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    m_fixture.reset();
}

void TestFindGoods::foundByAnyCodeColumn_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<qint32>("isn");

    QTest::newRow("ARTIKULS") << "K1ONLY" << 2;
    QTest::newRow("ARTIKULS2") << "K2ONLY" << 3;
    QTest::newRow("ARTIKULS3") << "K3ONLY" << 4;
    QTest::newRow("ARTIKULS4") << "K4ONLY" << 5;
    QTest::newRow("ARTIKULS5") << "K5ONLY" << 6;
    QTest::newRow("ARTIKULS6") << "K6ONLY" << 7;
    QTest::newRow("inactive found like any other") << "INACTIVE" << 21;
}

void TestFindGoods::foundByAnyCodeColumn()
{
    QFETCH(QString, code);
    GoodsInfo goods;
    QVERIFY(FindGoods(m_fixture->module(), goods, code, false));
    QTEST(goods.Isn, "isn");
    QVERIFY(m_fixture->messages().isEmpty());
}

void TestFindGoods::fillsTheRecord()
{
    GoodsInfo goods;
    goods.HasSpecialPrice = true; // cleared by a look-up
    QVERIFY(FindGoods(m_fixture->module(), goods, QStringLiteral("4750000000011"), false));
    QCOMPARE(goods.Isn, 1);
    QCOMPARE(goods.VatRate, 12.0);
    QCOMPARE(goods.Price, 1.09);
    QCOMPARE(goods.SalePrices[0], 1.09);
    QCOMPARE(goods.SalePrices[1], 0.0);
    QCOMPARE(goods.SalePrices[2], 1.19);
    QCOMPARE(goods.SalePrices[15], 1.84);
    QCOMPARE(goods.Name, QStringLiteral("Piens 2,5% 1 l"));
    QCOMPARE(goods.GroupName, QStringLiteral("Piena produkti"));
    QCOMPARE(goods.Unit, QStringLiteral("l"));
    QCOMPARE(goods.CertificateIsn, 7);
    QCOMPARE(goods.GroupIsn, 2);
    QCOMPARE(goods.SupplierIsn, 5);
    QVERIFY(!goods.IsService);
    QVERIFY(!goods.HasSpecialPrice);
    QCOMPARE(goods.PriceCode, 1);
    QCOMPARE(goods.ClientIsn, 0);

    QVERIFY(FindGoods(m_fixture->module(), goods, QStringLiteral("SERVICE"), false));
    QVERIFY(goods.IsService);
    QCOMPARE(goods.Unit, QString()); // NULL
    QCOMPARE(goods.SupplierIsn, 0);
}

void TestFindGoods::foundByKey()
{
    GoodsInfo goods;
    QVERIFY(FindGoods(m_fixture->module(), goods, QStringLiteral("30"), true));
    QCOMPARE(goods.Isn, 30);
    QCOMPARE(goods.Name, QStringLiteral("Prece 30"));
    // A key is not an article code, nor the other way round.
    QVERIFY(!FindGoods(m_fixture->module(), goods, QStringLiteral("4750000000011"), true));
    QVERIFY(!FindGoods(m_fixture->module(), goods, QStringLiteral("30"), false));
    QVERIFY(m_fixture->messages().isEmpty()); // the window says so
}

void TestFindGoods::vatRange_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("vat");

    QTest::newRow("0.5 below the range") << "VAT0.5" << 0.0;
    QTest::newRow("1 lowest kept") << "VAT1" << 1.0;
    QTest::newRow("100 kept") << "VAT100" << 100.0;
    QTest::newRow("100.5 above the range") << "VAT100.5" << 0.0;
    QTest::newRow("0") << "VAT0" << 0.0;
    QTest::newRow("negative") << "VAT-5" << 0.0;
}

void TestFindGoods::vatRange()
{
    QFETCH(QString, code);
    GoodsInfo goods;
    goods.VatRate = 55;
    QVERIFY(FindGoods(m_fixture->module(), goods, code, false));
    QTEST(goods.VatRate, "vat");
}

void TestFindGoods::priceChoice_data()
{
    QTest::addColumn<qint32>("priceCode");
    QTest::addColumn<qint32>("client");
    QTest::addColumn<double>("price");
    QTest::addColumn<bool>("special");

    QTest::newRow("level 1, no partner") << 1 << 0 << 5.01 << false;
    QTest::newRow("level 3 with a partner skips special prices") << 3 << 6 << 5.03 << false;
    QTest::newRow("level 16") << 16 << 0 << 5.16 << false;
    QTest::newRow("dated beats unlimited") << 1 << 6 << 4.10 << true;
    QTest::newRow("expired falls back to PARDCENA1") << 1 << 7 << 5.01 << false;
    QTest::newRow("unlimited with NULL dates") << 1 << 8 << 4.40 << true;
    QTest::newRow("higher FLAG among dated") << 1 << 9 << 4.60 << true;
    QTest::newRow("entry not for partners ignored") << 1 << 10 << 5.01 << false;
    QTest::newRow("partner flag NULL applies") << 1 << 12 << 4.45 << true;
    QTest::newRow("higher key among unlimited") << 1 << 13 << 4.85 << true;
    QTest::newRow("FLAG before discount and key") << 1 << 14 << 4.91 << true;
    QTest::newRow("partner without special prices") << 1 << 11 << 5.01 << false;
    QTest::newRow("level 0 counts as level 1") << 0 << 6 << 4.10 << true;
    QTest::newRow("negative partner means none") << 1 << -6 << 5.01 << false;
}

void TestFindGoods::priceChoice()
{
    QFETCH(qint32, priceCode);
    QFETCH(qint32, client);
    GoodsInfo goods;
    goods.PriceCode = priceCode;
    goods.ClientIsn = client;
    QVERIFY(FindGoods(m_fixture->module(), goods, QStringLiteral("SPECIAL"), false));
    QTEST(goods.Price, "price");
    QTEST(goods.HasSpecialPrice, "special");
    QCOMPARE(goods.PriceCode, priceCode);
    QCOMPARE(goods.ClientIsn, client);

    // The same look-up inside a unit (a window's one-request look-up) finds
    // the same goods at the same price.
    GoodsInfo inUnit;
    inUnit.PriceCode = priceCode;
    inUnit.ClientIsn = client;
    UnitOfWork unit;
    QVERIFY(FindGoods(unit, QStringLiteral("SPECIAL"), false, client));
    OwnDataSet own(m_fixture->module(), m_fixture->module().cdsTempQuery());
    // The unit form alone is no unit the terminal sends: unrecorded.
    m_fixture->statements().setRecording(false);
    unit.run(*own);
    m_fixture->statements().setRecording(true);
    QVERIFY(ReadFoundGoods(*own, inUnit));
    QCOMPARE(inUnit, goods);
}

void TestFindGoods::notFoundKeepsRecord_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("byIsn");

    QTest::newRow("unknown code") << "NAV" << false;
    QTest::newRow("empty code") << "" << false;
    QTest::newRow("group row missing") << "NOGROUP" << false;
    QTest::newRow("longer than the code columns") << QString(40, QLatin1Char('7')) << false;
    QTest::newRow("longer than any code can be") << QString(300, QLatin1Char('7')) << false;
    QTest::newRow("unknown key") << "999" << true;
    QTest::newRow("key not a number") << "12a" << true;
}

void TestFindGoods::notFoundKeepsRecord()
{
    QFETCH(QString, code);
    QFETCH(bool, byIsn);
    GoodsInfo goods;
    QVERIFY(FindGoods(m_fixture->module(), goods, QStringLiteral("4750000000011"), false));
    const GoodsInfo before = goods;
    QVERIFY(!FindGoods(m_fixture->module(), goods, code, byIsn));
    QVERIFY(m_fixture->messages().isEmpty()); // the window says so
    QCOMPARE(GoodsNotFoundMessage(code), QStringLiteral("Nav atrasts artikuls : ") + code);
    QCOMPARE(goods.Isn, before.Isn);
    QCOMPARE(goods.Name, before.Name);
    QCOMPARE(goods.Price, before.Price);
    QCOMPARE(goods.VatRate, before.VatRate);
    QVERIFY(goods.SalePrices == before.SalePrices);
}

void TestFindGoods::codeWithApostrophe()
{
    GoodsInfo goods;
    QVERIFY(FindGoods(m_fixture->module(), goods, QStringLiteral("O'KEEFE"), false));
    QCOMPARE(goods.Isn, 23);
    // Text that would rewrite a pasted statement is only a code to compare.
    for (const QString& code :
         {QStringLiteral("' OR ARTIKULS='PLAIN"), QStringLiteral("X') OR (1=1"),
          QStringLiteral("O''KEEFE"), QStringLiteral("'")}) {
        QVERIFY2(!FindGoods(m_fixture->module(), goods, code, false), qPrintable(code));
        QCOMPARE(goods.Isn, 23);
    }
}

void TestFindGoods::priceCodeBeyondSixteen()
{
    GoodsInfo goods;
    goods.Name = QStringLiteral("iepriekšējā");
    goods.HasSpecialPrice = true;
    goods.PriceCode = 17;
    try {
        FindGoods(m_fixture->module(), goods, QStringLiteral("VAT100.5"), false);
        QFAIL("a price level beyond 16 was read");
    } catch (const ClientError& error) {
        QVERIFY2(error.message().contains(QStringLiteral("'PARDCENA17' nav atrasts")),
                 qPrintable(error.message()));
    }
    // What the look-up had set by then, and nothing after.
    QCOMPARE(goods.Isn, 13);
    QCOMPARE(goods.VatRate, 0.0);
    QVERIFY(!goods.HasSpecialPrice);
    QCOMPARE(goods.Name, QStringLiteral("iepriekšējā"));
    QVERIFY(m_fixture->messages().isEmpty());
}

void TestFindGoods::leavesTheModulesDataSetsAlone()
{
    // Rows another caller holds in the module's goods datasets are still
    // there after a look-up with a special price.
    TClientDataModule& module = m_fixture->module();
    const QList<RemoteDataSet*> held{&module.cdsFindN_KLPREC(), &module.cdsSpecCenas()};
    for (RemoteDataSet* dataSet : held) {
        PrepareDataset(*dataSet);
        dataSet->setCommandText(kHeldRow);
        dataSet->open();
    }
    GoodsInfo goods;
    goods.ClientIsn = 6;
    QVERIFY(FindGoods(module, goods, QStringLiteral("SPECIAL"), false));
    QCOMPARE(goods.Isn, 30);
    QVERIFY(goods.HasSpecialPrice);
    for (RemoteDataSet* dataSet : held) {
        QVERIFY2(dataSet->isActive() && dataSet->hasField(QStringLiteral("ISN")),
                 qPrintable(dataSet->name()));
        QCOMPARE(dataSet->fieldByName(QStringLiteral("ISN")).asInteger(), 24);
    }
}

void TestFindGoods::rememberedLookUp()
{
    // The goods renamed on the server between the calls tell whether a call
    // asked it.
    const auto rename = [this](const QString& name) {
        m_fixture->run(QStringLiteral("UPDATE N_KLPREC SET GNOS='%1' WHERE ISN=24").arg(name));
    };
    rename(QStringLiteral("Pirms"));
    GoodsInfo goods;
    RememberedLookUp lookUp(m_fixture->module());
    QVERIFY(lookUp.Find(goods, QStringLiteral("PLAIN")));
    QCOMPARE(goods.Name, QStringLiteral("Pirms"));

    rename(QStringLiteral("Pēc"));
    QVERIFY(lookUp.Recall(goods, QStringLiteral("PLAIN")));
    QCOMPARE(goods.Name, QStringLiteral("Pirms")); // answered from memory
    QVERIFY(lookUp.Find(goods, QStringLiteral("PLAIN")));
    QCOMPARE(goods.Name, QStringLiteral("Pēc")); // Find always asks

    // The shared record filled by someone else in between: asked again.
    rename(QStringLiteral("Trešais"));
    goods.Price = 99;
    QVERIFY(lookUp.Recall(goods, QStringLiteral("PLAIN")));
    QCOMPARE(goods.Name, QStringLiteral("Trešais"));

    // Another code, the same code by key, and a forgotten one: asked again.
    QVERIFY(lookUp.Recall(goods, QStringLiteral("K1ONLY")));
    QCOMPARE(goods.Isn, 2);
    rename(QStringLiteral("Ceturtais"));
    QVERIFY(lookUp.Recall(goods, QStringLiteral("24"), true));
    QCOMPARE(goods.Name, QStringLiteral("Ceturtais"));
    rename(QStringLiteral("Piektais"));
    lookUp.Forget();
    QVERIFY(lookUp.Recall(goods, QStringLiteral("24"), true));
    QCOMPARE(goods.Name, QStringLiteral("Piektais"));

    // Not found: nothing is remembered, and the server is asked each time.
    const quint64 before = m_fixture->module().SQLConnection1().requestCount();
    QVERIFY(!lookUp.Recall(goods, QStringLiteral("NOSUCH")));
    QVERIFY(!lookUp.Recall(goods, QStringLiteral("NOSUCH")));
    QVERIFY(m_fixture->module().SQLConnection1().requestCount() >= before + 2);
}

QTEST_GUILESS_MAIN(TestFindGoods)
#include "tst_findgoods.moc"
