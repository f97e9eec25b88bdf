// The 3D operations window on the demo database: the kind chosen names the
// title, the list shows the documents of that kind in the period and shares
// its dataset with the document header window's list, and "Saglabāt" with
// anything typed changes nothing in the database.

#include "client/app/tnorvalkmain.h"
#include "client/core/datasetmodel.h"
#include "client/core/documentlist.h"
#include "client/core/tclientdatamodule.h"
#include "client/goods/toperacijas_3d.h"
#include "client/widgets/datasetlistview.h"
#include "client/widgets/searchedit.h"
#include "tests/support/windowfixture.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

class TestOperacijas3D final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void opensOnReceiving();
    void kindNamesTheTitle_data();
    void kindNamesTheTitle();
    void listOfTheKindInThePeriod_data();
    void listOfTheKindInThePeriod();
    void listSharedWithTheDocumentList();
    void saveChangesNothing();

private:
    void showList();
    QStringList listedNumbers() const;
    QString databaseState();

    WindowFixture m_fixture;
    TOperacijas_3D* m_window = nullptr;
};

void TestOperacijas3D::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    TNorvalkMain* main = m_fixture.openMainWindow();
    QVERIFY(m_fixture.runMenuCommand(main->bt3D_Operacijas()));
    m_window = main->operacijas_3D();
    QVERIFY(m_window && m_window->isVisible());
    WindowFixture::activate(m_window);
}

void TestOperacijas3D::cleanupTestCase()
{
    QVERIFY(m_fixture.messages().isEmpty());
    const QPointer<TOperacijas_3D> window = m_window;
    m_fixture.closeMainWindow();
    QVERIFY(!window);
}

void TestOperacijas3D::showList()
{
    WindowFixture::clickTab(m_window->tabs(), m_window->tabSaraksts());
    QCOMPARE(m_window->tabs()->currentWidget(), m_window->tabSaraksts());
}

QStringList TestOperacijas3D::listedNumbers() const
{
    QStringList numbers;
    DataSetListView* list = m_window->lstPavadzimes();
    for (int row = 0; row < list->itemCount(); ++row)
        numbers << list->dataSetModel()->fieldText(row, QStringLiteral("NR_PAVADZ"));
    return numbers;
}

void TestOperacijas3D::opensOnReceiving()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("3D operācijas"));
    QCOMPARE(m_window->tabs()->currentWidget(), m_window->tabDati());
    QCOMPARE(m_window->lbTitle()->text(), QStringLiteral("Saņemšana"));
    QVERIFY(m_window->rdKind(0)->isChecked());
    QCOMPARE(m_window->dtDatNo()->date(), QDate::currentDate());
    QCOMPARE(m_window->dtDatLidz()->date(), QDate::currentDate());
    QTRY_VERIFY(m_window->edArtikuls()->hasFocus());
    QCOMPARE(m_window->lbNovietot()->text(), QStringLiteral("Vieta "));
}

void TestOperacijas3D::kindNamesTheTitle_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");

    QTest::newRow("transfer") << 1 << "Pārvietošana";
    QTest::newRow("inventory") << 2 << "Inventarizācija";
    QTest::newRow("orders") << 3 << "Pasūtījumi";
    QTest::newRow("write-out") << 4 << "Izrakstīšana";
    QTest::newRow("receiving") << 0 << "Saņemšana";
}

void TestOperacijas3D::kindNamesTheTitle()
{
    QFETCH(int, kind);
    QTest::mouseClick(m_window->rdKind(kind), Qt::LeftButton);
    QTEST(m_window->lbTitle()->text(), "title");
    QCOMPARE(m_window->checkedKind(), TOperacijas_3D::Kinds[kind]);
}

void TestOperacijas3D::listOfTheKindInThePeriod_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QStringList>("numbers");

    const QDate today = QDate::currentDate();
    QTest::newRow("receiving today") << 0 << today << QStringList{"15"};
    QTest::newRow("receiving since May 2024")
        << 0 << QDate(2024, 5, 1) << QStringList{"2", "02.05", "9", "10", "2", "15"};
    QTest::newRow("inventories today") << 2 << today << QStringList{"5"};
    QTest::newRow("write-outs today") << 4 << today << QStringList{"15"};
}

void TestOperacijas3D::listOfTheKindInThePeriod()
{
    QFETCH(int, kind);
    QFETCH(QDate, from);
    m_window->tabs()->setCurrentWidget(m_window->tabDati());
    QTest::mouseClick(m_window->rdKind(kind), Qt::LeftButton);
    // Changing the kind alone does not list anything new.
    showList();
    // Changing a date refreshes the list.
    m_window->dtDatNo()->setDate(from.addDays(-1));
    m_window->dtDatNo()->setDate(from);
    QTEST(listedNumbers(), "numbers");
    if (kind == 2) // inventories name no client: a single blank
        QCOMPARE(m_window->lstPavadzimes()->dataSetModel()->fieldText(0, "KLIENTS"),
                 QStringLiteral(" "));
}

void TestOperacijas3D::listSharedWithTheDocumentList()
{
    m_window->tabs()->setCurrentWidget(m_window->tabDati());
    QTest::mouseClick(m_window->rdKind(1), Qt::LeftButton);
    showList();
    QCOMPARE(listedNumbers(), QStringList{"3"});
    // A list of the document header window on the same dataset shows the
    // same rows, and its refresh replaces what this window lists.
    RemoteDataSet& documents = m_fixture.mainWindow()->dataModule().cdsPavadzimes();
    DataSetListView other(documents, ListItemLayout{}, nullptr);
    QCOMPARE(other.itemCount(), 1);
    OpenDocumentList(documents, DocumentKind::Orders, QDate::currentDate(), QDate::currentDate(),
                     DocumentListView::Header);
    QCOMPARE(listedNumbers(), QStringList{"P-11"});
    QCOMPARE(other.itemCount(), 1);
    QCOMPARE(other.itemText(0), m_window->lstPavadzimes()->itemText(0));
}

QString TestOperacijas3D::databaseState()
{
    QStringList parts;
    for (const char* table : {"O_OPERACIJAS", "O_PRECE", "O_PARPRC", "O_PRATL_PRC", "O_PASPRC",
                              "O_PRCOUT", "O_MEMPRECES", "N_KLPREC"})
        parts << m_fixture.value(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)).toString();
    parts << m_fixture.value("SELECT SUM(ATLIKUMS) FROM O_TEKATLIK").toString();
    parts << m_fixture.value("SELECT SUM(IS3DVIETA) FROM O_PRATL_PRC").toString();
    parts << m_fixture.value("SELECT LIST(COALESCE(DAT_PIEGADE, '-')) FROM O_PARPAV").toString();
    return parts.join(QLatin1Char('|'));
}

void TestOperacijas3D::saveChangesNothing()
{
    m_window->tabs()->setCurrentWidget(m_window->tabDati());
    const QString before = databaseState();
    m_window->edArtikuls()->setFocus();
    WindowFixture::scan(m_window->edArtikuls(), QStringLiteral("4750000000011"));
    m_window->Edit2()->setFocus();
    WindowFixture::scan(m_window->Edit2(), QStringLiteral("A-01-3"));
    QTest::mouseClick(m_window->btSave(), Qt::LeftButton);
    QVERIFY(m_fixture.messages().isEmpty());
    QCOMPARE(databaseState(), before);
    QVERIFY(m_window->isVisible());
}

NORVALK_GUI_TEST_MAIN(TestOperacijas3D)
#include "tst_operacijas_3d.moc"
