// The terminal's goods copy against a running NorvalkServer on the demo
// database: the copy answers as the online look-up does, and a refresh fetches
// only what changed.

#include "client/core/clienterror.h"
#include "client/core/findgoods.h"
#include "client/core/goodscatalogue.h"
#include "client/core/localdatabase.h"
#include "client/core/owndataset.h"
#include "tests/client/serverfixture.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// The test's own read of the codes (the terminal never sends it).
const QString kGoodsCodes = QStringLiteral("SELECT ISN, ARTIKULS, ARTIKULS2, ARTIKULS3, ARTIKULS4, "
                                           "ARTIKULS5, ARTIKULS6 FROM N_KLPREC ORDER BY ISN");

} // namespace

class TestGoodsCatalogue final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void measureTraffic();
    void answersAsTheOnlineLookUp();
    void specialPricesAreNotKnownOffline();
    void changesReachTheCopy();
    void unchangedRefreshIsOneRequest();
    void survivesReopening();
    void anotherDatabaseStartsAfresh();

private:
    // Looks the code up online and in the copy from the same starting record
    // and compares what both did; the online record is left in online.
    void compareLookUps(const QString& code, bool byIsn, qint32 priceCode, qint32 clientIsn = 0);
    // Every goods key and code of the database, as the server holds them.
    QList<QVariantList> goodsCodes();

    std::unique_ptr<ServerFixture> m_fixture;
    QTemporaryDir m_dir;
    std::unique_ptr<LocalDatabase> m_file;
    std::unique_ptr<GoodsCatalogueCopy> m_copy;
    QString m_path;
};

void TestGoodsCatalogue::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>(TestDatabase::Content::Demo);
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("terminal.sqlite"));

    // Beyond the demo rows: goods far off in a block of their own, a code
    // kept with trailing spaces, goods of a group that does not exist, goods
    // with NULL prices and VAT, VAT out of range.
    m_fixture->run(QStringList{
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, NODOKLIS, PARDCENA1, PARDCENA2) "
        "VALUES (200000, 'FAR', 'Tālā prece', 1, 21, 3.5, 3.25)",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA) VALUES (100001, 'PADDED   ', "
        "'Atstarpes', 1)",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA) VALUES (100002, 'ORPHAN', 'Bez "
        "grupas', 987)",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS5, GNOS, ISPRGRUPA, NODOKLIS, PARDCENA1, PARDCENA3, "
        "PAKALPOJ, MERVIENIBA) VALUES (100003, 'NULLS', NULL, 1, NULL, NULL, NULL, NULL, NULL)",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, NODOKLIS) VALUES (100004, "
        "'VAT100.5', 'PVN', 1, 100.5)",
    });
    m_file = std::make_unique<LocalDatabase>(m_path);
    m_copy = std::make_unique<GoodsCatalogueCopy>(*m_file);
}

void TestGoodsCatalogue::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue({kGoodsCodes});
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    m_copy.reset();
    m_file.reset();
    m_fixture.reset();
}

QList<QVariantList> TestGoodsCatalogue::goodsCodes()
{
    OwnDataSet own(m_fixture->module(), m_fixture->module().cdsTempQuery());
    own->setCommandText(kGoodsCodes);
    own->open();
    return own->packet().rows;
}

void TestGoodsCatalogue::compareLookUps(const QString& code, bool byIsn, qint32 priceCode,
                                        qint32 clientIsn)
{
    // What a failed look-up keeps must be the same too.
    GoodsInfo online;
    online.Name = QStringLiteral("iepriekšējā");
    online.Isn = -7;
    online.PriceCode = priceCode;
    online.ClientIsn = clientIsn;
    GoodsInfo offline = online;
    offline.PriceCode = 99; // find() sets it
    const bool foundOnline = FindGoods(m_fixture->module(), online, code, byIsn);
    const bool foundOffline = m_copy->find(offline, code, byIsn, priceCode);
    const QByteArray where =
        QStringLiteral("code '%1' byIsn %2 level %3").arg(code).arg(byIsn).arg(priceCode).toUtf8();
    QVERIFY2(foundOnline == foundOffline, where.constData());
    if (!foundOnline)
        offline.PriceCode = priceCode;
    QVERIFY2(online == offline, where.constData());
}

void TestGoodsCatalogue::measureTraffic()
{
    // With NORVALK_CATALOGUE_DB naming a database (scripts/make-db PATH
    // --goods 50000), the figures are those of that catalogue, on a server of
    // its own; that database gets one price changed.
    const QString path = qEnvironmentVariable("NORVALK_CATALOGUE_DB");
    TestServer ownServer;
    std::unique_ptr<TClientDataModule> ownModule;
    TestSql sql;
    TClientDataModule* module = &m_fixture->module();
    if (!path.isEmpty()) {
        QVERIFY2(ownServer.start(path), qPrintable(ownServer.standardError()));
        ownModule = std::make_unique<TClientDataModule>();
        ownModule->SQLConnection1().setHostName(QHostAddress(QHostAddress::LocalHost).toString());
        ownModule->SQLConnection1().setPort(ownServer.port());
        sql.setPort(ownServer.port());
        module = ownModule.get();
    }
    const auto change = [&](const QString& statement) {
        if (path.isEmpty())
            m_fixture->run(statement);
        else
            sql.run(statement);
    };
    QTemporaryDir dir;
    LocalDatabase file(dir.filePath(QStringLiteral("measure.sqlite")));
    GoodsCatalogueCopy copy(file);
    QElapsedTimer clock;
    const auto print = [&clock](const char* what, const CatalogueRefresh& r) {
        qInfo("%-18s requests %3d  blocks %4d  rows %6d  sent %7llu  received %9llu  %6lld ms",
              what, r.requests, r.goodsBlocks, r.goodsRows, qulonglong(r.bytesSent),
              qulonglong(r.bytesReceived), qint64(clock.elapsed()));
    };

    clock.start();
    const CatalogueRefresh full = copy.refresh(*module);
    print("full copy", full);
    QCOMPARE(copy.goodsCount(), full.goodsRows);
    QVERIFY(full.groups);
    QVERIFY(full.departments);

    // What a scan costs offline: the last goods item by its first code.
    const QString lastCode = QStringLiteral("SELECT ARTIKULS FROM N_KLPREC WHERE ISN = "
                                            "(SELECT MAX(ISN) FROM N_KLPREC)");
    const QString code =
        (path.isEmpty() ? m_fixture->value(lastCode) : sql.value(lastCode)).toString();
    GoodsInfo goods;
    constexpr int kScans = 1000;
    clock.start();
    for (int i = 0; i < kScans; ++i)
        QVERIFY(copy.find(goods, code, false, 2));
    qInfo("%d offline look-ups of '%s': %lld ms", kScans, qPrintable(code),
          qint64(clock.elapsed()));

    clock.start();
    const CatalogueRefresh unchanged = copy.refresh(*module);
    print("unchanged", unchanged);
    QCOMPARE(unchanged.requests, 1);
    QCOMPARE(unchanged.goodsBlocks, 0);

    change(QStringLiteral("UPDATE N_KLPREC SET PARDCENA2 = COALESCE(PARDCENA2, 0) + 0.01 "
                          "WHERE ISN = (SELECT MIN(ISN) FROM N_KLPREC)"));
    clock.start();
    const CatalogueRefresh onePrice = copy.refresh(*module);
    print("one price changed", onePrice);
    QCOMPARE(onePrice.requests, 3);
    QCOMPARE(onePrice.goodsBlocks, 1);
    QCOMPARE(onePrice.goodsRows, 1);
    QVERIFY(!onePrice.groups);
    QVERIFY(!onePrice.departments);
    QVERIFY(onePrice.bytesReceived < full.bytesReceived || full.goodsBlocks == 1);
}

void TestGoodsCatalogue::answersAsTheOnlineLookUp()
{
    const CatalogueRefresh first = m_copy->refresh(m_fixture->module());
    QVERIFY(first.goodsBlocks >= 2);
    QCOMPARE(m_copy->goodsCount(), m_fixture->value("SELECT COUNT(*) FROM N_KLPREC").toInt());

    // Every code of every goods item, in whichever column it stands, at the
    // first, a middle and the last price level; by key as well.
    const QList<QVariantList> rows = goodsCodes();
    QVERIFY(rows.size() > 30);
    int codes = 0;
    for (const QVariantList& row : rows) {
        for (qint32 level : {1, 3, 16}) {
            compareLookUps(row.at(0).toString(), true, level);
            for (int column = 1; column <= 6; ++column) {
                if (!row.at(column).isValid())
                    continue;
                compareLookUps(row.at(column).toString(), false, level);
                ++codes;
            }
            if (QTest::currentTestFailed())
                return;
        }
    }
    QVERIFY(codes > 3 * rows.size());

    // What finds nothing, or what the server compares loosely.
    for (const QString& code :
         {QStringLiteral("NO SUCH CODE"), QStringLiteral("PADDED"), QStringLiteral("FAR   "),
          QStringLiteral("far"), QStringLiteral("ORPHAN"), QStringLiteral(""),
          QString(300, QLatin1Char('7'))})
        compareLookUps(code, false, 1);
    for (const QString& key : {QStringLiteral(" 200000 "), QStringLiteral("x1"),
                               QStringLiteral("100002"), QStringLiteral("0"), QStringLiteral("-1")})
        compareLookUps(key, true, 2);
    // Level 0 reads as level 1, as online.
    compareLookUps(QStringLiteral("FAR"), false, 0);

    // A level beyond sixteen fails alike.
    GoodsInfo online;
    online.PriceCode = 17;
    GoodsInfo offline = online;
    QVERIFY_THROWS_EXCEPTION(ClientError, FindGoods(m_fixture->module(), online, "FAR", false));
    QVERIFY_THROWS_EXCEPTION(ClientError, m_copy->find(offline, "FAR", false, 17));
    QCOMPARE(offline.Isn, online.Isn);
    QCOMPARE(offline.VatRate, online.VatRate);

    // The departments' price levels.
    for (qint32 department : {1, 4, 7}) {
        QCOMPARE(
            m_copy->departmentPriceCode(department),
            m_fixture
                ->value(
                    QStringLiteral("SELECT CENKODS FROM N_DEPART WHERE ISN = %1").arg(department))
                .toInt());
    }
    QCOMPARE(m_copy->departmentPriceCode(4242), std::nullopt);
}

void TestGoodsCatalogue::specialPricesAreNotKnownOffline()
{
    // Partner 6 has special prices for goods 1 online; offline the first
    // level's price applies.
    GoodsInfo online;
    online.ClientIsn = 6;
    GoodsInfo offline = online;
    QVERIFY(FindGoods(m_fixture->module(), online, QStringLiteral("1"), true));
    QVERIFY(online.HasSpecialPrice);
    QVERIFY(m_copy->find(offline, QStringLiteral("1"), true, 1));
    QVERIFY(!offline.HasSpecialPrice);
    QCOMPARE(offline.Price, online.SalePrices[0]);
    offline.Price = online.Price;
    offline.HasSpecialPrice = true;
    QCOMPARE(offline, online);
    // From level 2 on no special price applies anywhere.
    compareLookUps(QStringLiteral("1"), true, 2, 6);
}

void TestGoodsCatalogue::changesReachTheCopy()
{
    m_copy->refresh(m_fixture->module());

    // One changed price: one block's hashes, then that row alone.
    m_fixture->run("UPDATE N_KLPREC SET PARDCENA3 = 9.87 WHERE ISN = 5");
    CatalogueRefresh refresh = m_copy->refresh(m_fixture->module());
    QCOMPARE(refresh.goodsBlocks, 1);
    QCOMPARE(refresh.goodsRows, 1);
    QCOMPARE(refresh.requests, 3);
    GoodsInfo goods;
    QVERIFY(m_copy->find(goods, QStringLiteral("5"), true, 3));
    QCOMPARE(goods.Price, 9.87);
    compareLookUps(QStringLiteral("5"), true, 3);

    // A price set to NULL is a change as well.
    m_fixture->run("UPDATE N_KLPREC SET PARDCENA3 = NULL WHERE ISN = 5");
    QCOMPARE(m_copy->refresh(m_fixture->module()).goodsBlocks, 1);
    compareLookUps(QStringLiteral("5"), true, 3);

    // A deleted item (its block then empty) and a new one in a new block.
    m_fixture->run(QStringList{
        "DELETE FROM N_KLPREC WHERE ISN = 200000",
        "INSERT INTO N_KLPREC (ISN, ARTIKULS3, GNOS, ISPRGRUPA, PARDCENA1) "
        "VALUES (7000, 'NEW3', 'Jauna', 2, 4.44)",
    });
    refresh = m_copy->refresh(m_fixture->module());
    QCOMPARE(refresh.goodsBlocks, 1); // the new block; the emptied one costs no request
    QCOMPARE(refresh.requests, 2);
    compareLookUps(QStringLiteral("FAR"), false, 1);
    compareLookUps(QStringLiteral("NEW3"), false, 1);
    QVERIFY(m_copy->find(goods, QStringLiteral("NEW3"), false, 1));
    QCOMPARE(goods.Isn, 7000);
    QVERIFY(!m_copy->find(goods, QStringLiteral("FAR"), false, 1));

    // A deleted item among others of its block: the hashes tell, no row comes.
    m_fixture->run("DELETE FROM N_KLPREC WHERE ISN = 100004");
    refresh = m_copy->refresh(m_fixture->module());
    QCOMPARE(refresh.goodsBlocks, 1);
    QCOMPARE(refresh.goodsRows, 0);
    QCOMPARE(refresh.requests, 2);
    compareLookUps(QStringLiteral("VAT100.5"), false, 1);
    QVERIFY(!m_copy->find(goods, QStringLiteral("VAT100.5"), false, 1));
    QCOMPARE(m_copy->goodsCount(), m_fixture->value("SELECT COUNT(*) FROM N_KLPREC").toInt());

    // A code moved from one goods item to another in the same block.
    m_fixture->run(QStringList{"UPDATE N_KLPREC SET ARTIKULS2 = NULL WHERE ISN = 3",
                               "UPDATE N_KLPREC SET ARTIKULS6 = '0035' WHERE ISN = 4"});
    refresh = m_copy->refresh(m_fixture->module());
    QCOMPARE(refresh.goodsBlocks, 1);
    QCOMPARE(refresh.goodsRows, 2);
    compareLookUps(QStringLiteral("0035"), false, 1);

    // A renamed group and a department's new level: no goods block.
    m_fixture->run(QStringList{"UPDATE N_PRGRUP SET GNOS = 'Pārdēvēta' WHERE ISN = 2",
                               "UPDATE N_DEPART SET CENKODS = 9 WHERE ISN = 4"});
    refresh = m_copy->refresh(m_fixture->module());
    QCOMPARE(refresh.goodsBlocks, 0);
    QVERIFY(refresh.groups);
    QVERIFY(refresh.departments);
    QCOMPARE(refresh.requests, 3);
    compareLookUps(QStringLiteral("NEW3"), false, 1);
    QCOMPARE(m_copy->departmentPriceCode(4), 9);
}

void TestGoodsCatalogue::unchangedRefreshIsOneRequest()
{
    m_copy->refresh(m_fixture->module());
    const quint64 requests = m_fixture->module().SQLConnection1().requestCount();
    const CatalogueRefresh refresh = m_copy->refresh(m_fixture->module());
    QCOMPARE(m_fixture->module().SQLConnection1().requestCount(), requests + 1);
    QCOMPARE(refresh.requests, 1);
    QCOMPARE(refresh.goodsBlocks, 0);
    QCOMPARE(refresh.goodsRows, 0);
    QVERIFY(!refresh.groups);
    QVERIFY(!refresh.departments);
}

void TestGoodsCatalogue::survivesReopening()
{
    m_copy->refresh(m_fixture->module());
    const int count = m_copy->goodsCount();
    m_copy.reset();
    m_file.reset();

    // Reopened with the server gone: the look-up needs the file only.
    m_fixture->stopServer();
    m_file = std::make_unique<LocalDatabase>(m_path);
    m_copy = std::make_unique<GoodsCatalogueCopy>(*m_file);
    QCOMPARE(m_copy->goodsCount(), count);
    GoodsInfo goods;
    QVERIFY(m_copy->find(goods, QStringLiteral("BRETLINAS-240-RIGA"), false, 1));
    QCOMPARE(goods.Isn, 30);
    QVERIFY_THROWS_EXCEPTION(std::exception, m_copy->refresh(m_fixture->module()));

    // Back online, the reopened copy's checksums still match.
    QVERIFY(m_fixture->restartServer());
    // The connection finds the server again by itself.
    QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->module().SQLConnection1().isOffline(), 20000);
    const CatalogueRefresh refresh = m_copy->refresh(m_fixture->module());
    QCOMPARE(refresh.requests, 1);
    compareLookUps(QStringLiteral("BRETLINAS-240-RIGA"), false, 5);
}

void TestGoodsCatalogue::anotherDatabaseStartsAfresh()
{
    // Row versions of two databases say nothing about each other: pointed at
    // another one, the copy empties itself and fetches everything.
    QTemporaryDir dir;
    LocalDatabase file(dir.filePath(QStringLiteral("moved.sqlite")));
    GoodsCatalogueCopy copy(file);
    QVERIFY(copy.refresh(m_fixture->module()).newSource);
    QVERIFY(!copy.refresh(m_fixture->module()).newSource);
    GoodsInfo goods;
    QVERIFY(copy.find(goods, QStringLiteral("PADDED"), false, 1));

    TestDatabase other(TestDatabase::Content::Demo);
    QVERIFY2(other.isValid(), qPrintable(other.error()));
    TestServer server;
    QVERIFY2(server.start(other.path()), qPrintable(server.standardError()));
    TClientDataModule module;
    module.SQLConnection1().setHostName(QHostAddress(QHostAddress::LocalHost).toString());
    module.SQLConnection1().setPort(server.port());
    const CatalogueRefresh refresh = copy.refresh(module);
    QVERIFY(refresh.newSource);
    QVERIFY(refresh.groups);
    QVERIFY(refresh.departments);
    QCOMPARE(refresh.goodsRows, copy.goodsCount());
    QVERIFY(!copy.find(goods, QStringLiteral("PADDED"), false, 1));
    QVERIFY(copy.find(goods, QStringLiteral("KART2"), false, 1));
}

QTEST_GUILESS_MAIN(TestGoodsCatalogue)
#include "tst_goodscatalogue.moc"
