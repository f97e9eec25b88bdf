// The goods-data window on the demo database, driven by keystrokes: a scan
// shows the goods (a scale barcode replaced by its article first), the
// department chosen shows the stock and is remembered, the user's forbidden
// prices are hidden, new goods are made by a user with the right and never
// by one without it, and the promotions tab lists the goods' promotions.

#include "client/app/tnorvalkmain.h"
#include "client/core/goodsinfo.h"
#include "client/core/settingsfile.h"
#include "client/core/tclientdatamodule.h"
#include "client/goods/tprecudati.h"
#include "client/widgets/searchedit.h"
#include "tests/support/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

class TestPrecuDati final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scanShowsTheGoods_data();
    void scanShowsTheGoods();
    void searchButtonLooksUp_data();
    void searchButtonLooksUp();
    void departmentRemembered();
    void sharedGoodsRecord();
    void forbiddenPricesHidden();
    void newGoodsByKeystrokes();
    void newGoodsNeedTheRight();
    void promotionsTab();

private:
    TPrecuDati* open(const QString& user = QStringLiteral("CHIEF"),
                     const QString& password = QStringLiteral("1234"));
    void chooseDepartment(const QString& name);

    WindowFixture m_fixture;
};

namespace {

const QString kRiga = QStringLiteral("Veikals \"Centrs\" Rīgā");

} // namespace

void TestPrecuDati::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestPrecuDati::init()
{
    m_fixture.messages().clear();
    m_fixture.removeSettings();
}

void TestPrecuDati::cleanup()
{
    m_fixture.closeMainWindow();
}

TPrecuDati* TestPrecuDati::open(const QString& user, const QString& password)
{
    TNorvalkMain* main = m_fixture.openMainWindow();
    if (!m_fixture.runMenuCommand(main->btPrecuDati(), user, password))
        qWarning("messages: %s", qPrintable(m_fixture.messages().join('|')));
    TPrecuDati* window = main->precuDati();
    if (window) {
        WindowFixture::activate(window);
        // The focus moves to the article once the opening is done, a timer
        // later: however long a slow machine takes to get there.
        if (!QTest::qWaitFor([window] { return window->edArtikuls()->hasFocus(); }))
            qWarning("the article field did not take the focus");
    }
    return window;
}

void TestPrecuDati::chooseDepartment(const QString& name)
{
    QComboBox* combo = m_fixture.mainWindow()->precuDati()->cmbNodala();
    const int index = combo->findText(name);
    QVERIFY(index >= 0);
    combo->setCurrentIndex(index);
}

void TestPrecuDati::scanShowsTheGoods_data()
{
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("stock");

    QTest::newRow("article code") << "4750000000011"
                                  << "4750000000011"
                                  << "Piens 2,5% 1 l"
                                  << "l"
                                  << "35,000";
    QTest::newRow("scale barcode: its article part") << "2212345012345"
                                                     << "12345"
                                                     << "Siers \"Ķekavas\" svaramais"
                                                     << "kg"
                                                     << "12,500";
}

void TestPrecuDati::scanShowsTheGoods()
{
    QFETCH(QString, scanned);
    TPrecuDati* window = open();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Preču dati"));
    QCOMPARE(window->tabs()->currentWidget(), window->tabDati());
    chooseDepartment(kRiga);
    QVERIFY(window->edArtikuls()->hasFocus());

    WindowFixture::scan(window->edArtikuls(), scanned);
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(window->btOK()->hasFocus());
    QTEST(window->edArtikuls()->text(), "article");
    QTEST(window->lbPrece()->text(), "name");
    QTEST(window->edMervieniba()->text(), "unit");
    QTEST(window->shAtlikums()->text(), "stock");
    const GoodsInfo& goods = m_fixture.mainWindow()->goodsInfo();
    QCOMPARE(window->shGrupa()->text(), goods.GroupName);
    QVERIFY(!goods.GroupName.isEmpty());
    for (int n = 1; n <= 15; ++n)
        QCOMPARE(window->shPardCena(n)->text(),
                 QLocale(QLocale::Latvian).toString(goods.SalePrices.at(n - 1), 'f', 3));

    // "OK" clears the goods but keeps the prices, ready for the next scan.
    QTest::mouseClick(window->btOK(), Qt::LeftButton);
    QVERIFY(window->edArtikuls()->text().isEmpty());
    QVERIFY(window->lbPrece()->text().isEmpty());
    QVERIFY(window->shAtlikums()->text().isEmpty());
    QCOMPARE(window->shPardCena(1)->text(),
             QLocale(QLocale::Latvian).toString(goods.SalePrices.at(0), 'f', 3));
    QVERIFY(window->edArtikuls()->hasFocus());

    // Not found: the message, and the goods shown before stay.
    WindowFixture::scan(window->edArtikuls(), QStringLiteral("4750000000295"));
    QCOMPARE(m_fixture.messages(), QStringList{"Nav atrasts artikuls : 4750000000295"});
}

void TestPrecuDati::searchButtonLooksUp_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("focusInField");
    QTest::addColumn<QString>("name"); // empty: the form keeps what it showed
    QTest::addColumn<QString>("stock");
    QTest::addColumn<QStringList>("shown");

    const QString milk = QStringLiteral("Piens 2,5% 1 l");
    QTest::newRow("typed, focus in the field")
        << "4750000000011" << true << milk << "35,000" << QStringList();
    QTest::newRow("set while the focus is elsewhere")
        << "4750000000011" << false << milk << "35,000" << QStringList();
    QTest::newRow("scale barcode") << "2212345012345" << true << "Siers \"Ķekavas\" svaramais"
                                   << "12,500" << QStringList();
    // Looked up once, so reported once.
    QTest::newRow("unknown article reported once")
        << "NAV-TADA" << true << QString() << QString()
        << QStringList{QStringLiteral("Nav atrasts artikuls : NAV-TADA")};
    QTest::newRow("unknown article, focus elsewhere")
        << "NAV-TADA" << false << QString() << QString()
        << QStringList{QStringLiteral("Nav atrasts artikuls : NAV-TADA")};
    QTest::newRow("empty field: nothing looked up")
        << "" << true << QString() << QString() << QStringList();
}

void TestPrecuDati::searchButtonLooksUp()
{
    QFETCH(QString, typed);
    QFETCH(bool, focusInField);
    QFETCH(QString, name);
    QFETCH(QString, stock);
    TPrecuDati* window = open();
    QVERIFY(window && window->isVisible());
    chooseDepartment(kRiga);
    QTRY_VERIFY(window->edArtikuls()->hasFocus());
    if (focusInField) {
        QTest::keyClicks(window->edArtikuls(), typed);
    } else {
        window->cmbNodala()->setFocus();
        QTRY_VERIFY(window->cmbNodala()->hasFocus());
        window->edArtikuls()->setText(typed);
    }
    const QString nameBefore = window->lbPrece()->text();
    const QString stockBefore = window->shAtlikums()->text();

    QTest::mouseClick(window->edArtikuls()->searchButton(), Qt::LeftButton);
    QTRY_COMPARE(QApplication::focusWidget(), window->btOK());
    QTest::qWait(30);
    QTEST(m_fixture.messages(), "shown");
    QCOMPARE(window->lbPrece()->text(), name.isEmpty() ? nameBefore : name);
    QCOMPARE(window->shAtlikums()->text(), stock.isEmpty() ? stockBefore : stock);
}

void TestPrecuDati::departmentRemembered()
{
    TPrecuDati* window = open();
    QCOMPARE(window->cmbNodala()->currentIndex(), -1);
    // 3D places are not departments to choose.
    QCOMPARE(window->cmbNodala()->findText(QStringLiteral("3D noliktava \"Plaukti\"")), -1);
    WindowFixture::scan(window->edArtikuls(), QStringLiteral("4750000000011"));
    // No department chosen: no stock shown, and no message.
    QVERIFY(window->shAtlikums()->text().isEmpty());
    chooseDepartment(QStringLiteral("Veikals Jelgavā"));
    const int index = window->cmbNodala()->currentIndex();
    QCOMPARE(window->shAtlikums()->text(), QStringLiteral("7,000"));
    QVERIFY(m_fixture.messages().isEmpty());

    m_fixture.closeMainWindow();
    QCOMPARE(IniReadInteger(QStringLiteral("PrecuDati"), QStringLiteral("Isnodala"), -1), index);
    window = open();
    QCOMPARE(window->cmbNodala()->currentIndex(), index);
}

void TestPrecuDati::sharedGoodsRecord()
{
    TPrecuDati* window = open();
    // Goods found in another window: the department's stock is theirs.
    GoodsInfo& goods = m_fixture.mainWindow()->goodsInfo();
    goods.Isn = 20; // Kartupeļi, 20 + 2 in Jelgava
    chooseDepartment(QStringLiteral("Veikals Jelgavā"));
    QCOMPARE(window->shAtlikums()->text(), QStringLiteral("22,000"));
}

void TestPrecuDati::forbiddenPricesHidden()
{
    // ANNA may not see prices "|2||7|"; the rule itself is tested with the
    // data class.
    TPrecuDati* window = open(QStringLiteral("ANNA"), QStringLiteral("anna1"));
    QVERIFY(window);
    QList<int> hidden;
    for (int n = 1; n <= 15; ++n) {
        QLabel* label = window->findChild<QLabel*>(QStringLiteral("lbPardCena%1").arg(n));
        QCOMPARE(label->isVisibleTo(window), window->shPardCena(n)->isVisibleTo(window));
        if (!window->shPardCena(n)->isVisibleTo(window))
            hidden << n;
    }
    QCOMPARE(hidden, (QList<int>{2, 7}));
}

void TestPrecuDati::newGoodsByKeystrokes()
{
    TPrecuDati* window = open(QStringLiteral("JANIS"), QStringLiteral("parole"));
    WindowFixture::clickTab(window->tabs(), window->tabJaunaPrece());
    QVERIFY(window->btNewSave()->isEnabled());
    m_fixture.setRealMessageBoxes(true);
    window->edNewArtikuls()->setFocus();

    // A code that goods already have: said when the field is left.
    WindowFixture::scan(window->edNewArtikuls(), QStringLiteral("4750000000011"));
    QTRY_VERIFY(window->edNewGnos()->hasFocus());
    QCOMPARE(m_fixture.messages(), QStringList{"Ar šādu artikulu prece jau ir ievadīta !!!"});
    m_fixture.messages().clear();

    window->edNewArtikuls()->setFocus();
    WindowFixture::scan(window->edNewArtikuls(), QStringLiteral("4751234567890123456789012345"));
    QTRY_VERIFY(window->edNewGnos()->hasFocus());
    WindowFixture::scan(window->edNewGnos(), QStringLiteral("Zemenes 250 g"));
    QTRY_VERIFY(window->edNewPVN()->hasFocus());
    WindowFixture::scan(window->edNewPVN(), QStringLiteral("12,5"));
    QTRY_VERIFY(window->edNewArtikuls()->hasFocus());
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(window->edNewArtikuls()->text().isEmpty());
    QVERIFY(window->edNewGnos()->text().isEmpty());
    QCOMPARE(window->edNewPVN()->text(), QStringLiteral("12,5"));

    const int isn = m_fixture
                        .value("SELECT ISN FROM N_KLPREC WHERE ARTIKULS = "
                               "'4751234567890123456789012' AND GNOS = 'Zemenes 250 g' AND "
                               "NODOKLIS = 12.5 AND ISPRGRUPA = 1")
                        .toInt();
    QVERIFY(isn > 0);
    QCOMPARE(m_fixture
                 .value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE BAZE = 'N_KLPREC' "
                                       "AND ISN_BAZE = %1 AND IEVKODS = 'JANIS'")
                            .arg(isn))
                 .toInt(),
             1);
    m_fixture.setRealMessageBoxes(false);
}

void TestPrecuDati::newGoodsNeedTheRight()
{
    TPrecuDati* window = open(QStringLiteral("ANNA"), QStringLiteral("anna1"));
    WindowFixture::clickTab(window->tabs(), window->tabJaunaPrece());
    QVERIFY(!window->btNewSave()->isEnabled());
    const int goods = m_fixture.value("SELECT COUNT(*) FROM N_KLPREC").toInt();
    window->edNewArtikuls()->setFocus();
    WindowFixture::scan(window->edNewArtikuls(), QStringLiteral("ANNAS-1"));
    QTRY_VERIFY(window->edNewGnos()->hasFocus());
    WindowFixture::scan(window->edNewGnos(), QStringLiteral("Annas prece"));
    QTRY_VERIFY(window->edNewPVN()->hasFocus());
    // Return in the VAT field is the other way to save.
    WindowFixture::scan(window->edNewPVN(), QStringLiteral("21"));
    QCOMPARE(m_fixture.messages(), QStringList{"Jums nav tiesību ievadīt jaunas preces !!!"});
    QCOMPARE(m_fixture.value("SELECT COUNT(*) FROM N_KLPREC").toInt(), goods);
}

void TestPrecuDati::promotionsTab()
{
    TPrecuDati* window = open();
    chooseDepartment(kRiga);
    WindowFixture::scan(window->edArtikuls(), QStringLiteral("4750000000035"));
    WindowFixture::clickTab(window->tabs(), window->tabAkcijas());
    QTableView* grid = window->grdAkcijas();
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->model()->index(0, 2).data().toString(), QStringLiteral("1,49"));
    QCOMPARE(grid->model()->index(1, 2).data().toString(), QStringLiteral("1,59"));
    QCOMPARE(grid->columnWidth(0), 100);
    QCOMPARE(grid->columnWidth(1), 100);
    QCOMPARE(grid->columnWidth(2), 80);

    // Another department without promotions of these goods: none listed.
    WindowFixture::clickTab(window->tabs(), window->tabDati());
    chooseDepartment(QStringLiteral("Veikals Jelgavā"));
    WindowFixture::clickTab(window->tabs(), window->tabAkcijas());
    QCOMPARE(grid->model()->rowCount(), 0);
    QVERIFY(m_fixture.messages().isEmpty());
}

NORVALK_GUI_TEST_MAIN(TestPrecuDati)
#include "tst_precudati.moc"
