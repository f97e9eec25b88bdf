// The document windows driven as a shop worker drives them, against the demo
// database: the menu command and login, a header found or made, goods
// scanned line after line (Return on the quantity saves), the list with its
// total, a wrong line deleted, and what each step leaves in the database.

#include "client/app/tnorvalkmain.h"
#include "client/core/documentkinds.h"
#include "client/documents/tdokievads.h"
#include "client/documents/tdokievadspreces.h"
#include "client/documents/tvaidzestierakstu.h"
#include "client/widgets/datasetlistview.h"
#include "client/widgets/errortone.h"
#include "client/widgets/searchedit.h"
#include "gui/guiapplication.h"
#include "tests/support/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

class TestDocumentWindows final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout();
    void rightsChooseTheKinds_data();
    void rightsChooseTheKinds();
    void pickFromTheList();
    void receivingRoad();
    void scanThroughAnOutage();
    void scaleBarcodeAndMessagesOnce();
    void deleteTheSelectedLine();
    void deleteAfterTheDocumentWasOpenedAgain();
    void failedDeletionKeepsTheQuestion();
    void chosenCertificateSurvivesReopening();
    void goodsInMemoryWritesNoHeader();
    void largeScreenLayout();
    void keyboardFlow_data();
    void keyboardFlow();

private:
    TDokIevads* openHeader();
    TDokIevads* openHeaderAs(const QString& user, const QString& password);
    TDokIevadsPreces* openLines(DocumentKind kind, const QString& number, const QString& department,
                                const QString& client);
    // A receipt from the dairy into the Riga shop.
    TDokIevadsPreces* openReceiving(const QString& number)
    {
        return openLines(DocumentKind::Receiving, number, QStringLiteral("Veikals \"Centrs\" Rīgā"),
                         QStringLiteral("Piena"));
    }
    QVariant value(const QString& sql) { return m_fixture.value(sql); }

    WindowFixture m_fixture;
};

void TestDocumentWindows::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // A line of 13 cannot be deleted. Made before the server prepares any
    // statement on the table: a statement prepared earlier would not see it.
    m_fixture.run(QStringLiteral("CREATE EXCEPTION TEST_LINE_KEPT 'line is kept'"));
    m_fixture.run(
        QStringLiteral("CREATE TRIGGER TEST_LINE_KEPT FOR O_PRECE BEFORE DELETE AS "
                       "BEGIN IF (OLD.DAUDZUMS = 13) THEN EXCEPTION TEST_LINE_KEPT; END"));
}

void TestDocumentWindows::init()
{
    m_fixture.messages().clear();
    m_fixture.setRealMessageBoxes(false);
    m_fixture.removeSettings();
    m_fixture.openMainWindow();
}

void TestDocumentWindows::cleanup()
{
    m_fixture.closeMainWindow();
}

TDokIevads* TestDocumentWindows::openHeader()
{
    return openHeaderAs(QStringLiteral("CHIEF"), QStringLiteral("1234"));
}

TDokIevads* TestDocumentWindows::openHeaderAs(const QString& user, const QString& password)
{
    if (!m_fixture.runMenuCommand(m_fixture.mainWindow()->btDokumenti(), user, password))
        qWarning("%s", qPrintable(m_fixture.messages().join('|')));
    TDokIevads* header = m_fixture.mainWindow()->dokIevads();
    if (header)
        WindowFixture::activate(header);
    return header;
}

TDokIevadsPreces* TestDocumentWindows::openLines(DocumentKind kind, const QString& number,
                                                 const QString& department, const QString& client)
{
    TDokIevads* header = openHeader();
    if (!header)
        return nullptr;
    header->kindButton(kind)->click();
    header->cmbNodala()->setCurrentIndex(header->cmbNodala()->findText(department));
    if (!client.isEmpty()) {
        if (kind == DocumentKind::Transfer) {
            header->cmbKlients()->setCurrentIndex(header->cmbKlients()->findText(client));
        } else {
            header->edKlientuAtlase()->setFocus();
            WindowFixture::scan(header->edKlientuAtlase(), client);
            header->cmbKlients()->hidePopup();
            header->cmbKlients()->setCurrentIndex(0);
        }
    }
    header->edPZ_Numurs()->setText(number);
    QTest::mouseClick(header->btSave(), Qt::LeftButton);
    TDokIevadsPreces* lines = header->dokIevadsPreces();
    if (lines && lines->isVisible())
        WindowFixture::activate(lines);
    return lines;
}

// Scans an article into the lines window: the look-up, then the quantity.
static bool scanArticle(TDokIevadsPreces* lines, const QString& article)
{
    if (!QTest::qWaitFor([lines] { return lines->edArtikuls()->hasFocus(); }))
        return false;
    WindowFixture::scan(lines->edArtikuls(), article);
    return QTest::qWaitFor([lines] { return lines->edDaudzums()->hasFocus(); });
}

// Taps "Dzēst" on a line of the list; the question, when it opened.
static TVaiDzestIerakstu* tapDelete(TDokIevadsPreces* lines, int row)
{
    DataSetListView* list = lines->lstPreces();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->buttonRect(row).center());
    TVaiDzestIerakstu* confirm = lines->deleteConfirmation();
    return confirm && confirm->isVisible() ? confirm : nullptr;
}

// Opens the list of a one-line document and taps that line's "Dzēst": the
// line's key, empty when the list or the question did not show.
static QString askToDeleteTheOnlyLine(TDokIevadsPreces* lines)
{
    WindowFixture::clickTab(lines->tabLappuses(), lines->tabSaraksts());
    if (lines->lstPreces()->itemCount() != 1)
        return QString();
    const QString line = lines->lstPreces()->itemText(0);
    return tapDelete(lines, 0) ? line : QString();
}

void TestDocumentWindows::layout()
{
    TDokIevads* header = openHeader();
    QVERIFY(header && header->isVisible());
    QCOMPARE(header->windowTitle(), QStringLiteral("Pasūtījumu reģistrācija"));
    QCOMPARE(header->size(), QSize(355, 605));
    QCOMPARE(header->tabs()->currentWidget(), header->tabDati());
    QVERIFY(header->kindButton(DocumentKind::Receiving)->isChecked());
    QCOMPARE(header->btSave()->text(), QStringLiteral("Saglabāt/Preces"));
    // The department list of the master user: every department but the 3D
    // place, the two reserved rows included.
    QCOMPARE(header->cmbNodala()->count(), 7);
    QVERIFY(header->cmbNodala()->findText(QStringLiteral("3D noliktava \"Plaukti\"")) < 0);
    QVERIFY(header->btJaunsNumurs()->isHidden());
    QTRY_VERIFY(header->edPZ_Numurs()->hasFocus());

    header->kindButton(DocumentKind::Transfer)->click();
    QCOMPARE(header->lbTitle()->text(), QStringLiteral("Pārvietošanas pavadzīme"));
    QCOMPARE(header->lbNodalaNo()->text(), QStringLiteral("Nodaļa NO"));
    QCOMPARE(header->lbKlientsNodala()->text(), QStringLiteral("Nodaļa UZ"));
    QVERIFY(header->edKlientuAtlase()->isHidden());
    QVERIFY(!header->btJaunsNumurs()->isHidden());
    // The destination departments are there at once.
    QCOMPARE(header->cmbKlients()->count(), 7);

    header->kindButton(DocumentKind::GoodsInMemory)->click();
    QVERIFY(header->edPZ_Numurs()->isHidden());
    QVERIFY(header->edDatums()->isHidden());
    QVERIFY(header->cmbKlients()->isHidden());
}

void TestDocumentWindows::rightsChooseTheKinds_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>(
        "enabled"); // receiving, transfer, inventory, orders, write-out, memory
    QTest::addColumn<int>("checked");
    QTest::addColumn<int>("departments");

    QTest::newRow("receiving, transfers, inventories")
        << "ANNA"
        << "anna1"
        << "TTTFFT" << int(DocumentKind::Receiving) << 1;
    // No receiving: the first kind the user may use is checked, its layout applied.
    QTest::newRow("orders and write-outs") << "LĪGA"
                                           << "līga7"
                                           << "FFFTTT" << int(DocumentKind::Orders) << 2;
}

void TestDocumentWindows::rightsChooseTheKinds()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, enabled);
    QFETCH(int, checked);
    TDokIevads* header = openHeaderAs(user, password);
    QVERIFY2(header && header->isVisible(), qPrintable(m_fixture.messages().join('|')));
    QString actual;
    for (DocumentKind kind : kAllDocumentKinds)
        actual += header->kindButton(kind)->isEnabled() ? QLatin1Char('T') : QLatin1Char('F');
    QCOMPARE(actual, enabled);
    QCOMPARE(int(header->checkedKind()), checked);
    QCOMPARE(header->lbTitle()->text(), KindInfo(DocumentKind(checked)).headerTitle);
    // Only the user's own departments.
    QTEST(header->cmbNodala()->count(), "departments");
}

void TestDocumentWindows::pickFromTheList()
{
    TDokIevads* header = openHeader();
    QVERIFY(header);
    // Today's receiving of the demo: number 15 in Rīga from "Piena ceļš".
    WindowFixture::clickTab(header->tabs(), header->tabSaraksts());
    DataSetListView* list = header->lstPavadzimes();
    QCOMPARE(list->itemCount(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->buttonRect(0).center());
    QCOMPARE(header->tabs()->currentWidget(), header->tabDati());
    QCOMPARE(header->edPZ_Numurs()->text(), QStringLiteral("15"));
    QCOMPARE(header->cmbNodala()->currentText(), QStringLiteral("Veikals \"Centrs\" Rīgā"));
    QCOMPARE(header->cmbKlients()->currentText(), QStringLiteral("SIA \"Piena ceļš\""));
    // Saving reaches that document, and its lines are there.
    QTest::mouseClick(header->btSave(), Qt::LeftButton);
    TDokIevadsPreces* lines = header->dokIevadsPreces();
    QVERIFY(lines && lines->isVisible());
    QCOMPARE(lines->data().context().DocIsn, 6);
    QCOMPARE(lines->lstPreces()->itemCount(), 2);
    QVERIFY(m_fixture.messages().isEmpty());
}

void TestDocumentWindows::receivingRoad()
{
    const int before = value(QStringLiteral("SELECT CAST(SUM(ATLIKUMS) AS INTEGER) FROM O_TEKATLIK "
                                            "WHERE ISPRECE = 1 AND ISNODALA = 2"))
                           .toInt();
    TDokIevadsPreces* lines = openReceiving(QStringLiteral("R-100"));
    QVERIFY2(lines && lines->isVisible(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(lines->lbTitle()->text(), QStringLiteral("Saņemtās preces"));
    QTRY_VERIFY(lines->edArtikuls()->hasFocus());

    // Scan, Return: the look-up on leaving the field, then the quantity.
    WindowFixture::scan(lines->edArtikuls(), QStringLiteral("4750000000011"));
    QTRY_VERIFY(lines->edDaudzums()->hasFocus());
    QCOMPARE(lines->lbPrece()->text(), QStringLiteral("Piens 2,5% 1 l"));
    QCOMPARE(lines->edPardCena()->text(), QStringLiteral("1,090"));
    QVERIFY(!lines->edCena()->text().isEmpty());
    QCOMPARE(lines->cmbSertifikats()->count(), 1);
    QCOMPARE(lines->cmbSertifikats()->currentIndex(), -1);

    QTest::keyClicks(lines->edDaudzums(), QStringLiteral("3"));
    QTest::keyClick(lines->edDaudzums(), Qt::Key_Return);
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QTRY_VERIFY(lines->edArtikuls()->hasFocus());
    QVERIFY(lines->edArtikuls()->text().isEmpty());
    QVERIFY(lines->edDaudzums()->text().isEmpty());

    const int header =
        value(QStringLiteral("SELECT ISN FROM O_PAVADZ WHERE NR_PAVADZ = 'R-100'")).toInt();
    QVERIFY(header > 0);
    const int line =
        value(QStringLiteral("SELECT ISN FROM O_PRECE WHERE ISPAVADZ = %1 AND ISPRECE = 1 AND "
                             "DAUDZUMS = 3")
                  .arg(header))
            .toInt();
    QVERIFY(line > 0);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE TAUSTINS = 'J' AND "
                                  "BAZE = 'O_PRECE' AND ISN_BAZE = %1")
                       .arg(line))
                 .toInt(),
             1);
    QCOMPARE(value(QStringLiteral("SELECT CAST(SUM(ATLIKUMS) AS INTEGER) FROM O_TEKATLIK WHERE "
                                  "ISPRECE = 1 AND ISNODALA = 2"))
                 .toInt(),
             before + 3);

    // The list shows the line, the total the header's.
    WindowFixture::clickTab(lines->tabLappuses(), lines->tabSaraksts());
    QCOMPARE(lines->lstPreces()->itemCount(), 1);
    QCOMPARE(lines->lstPreces()->itemText(0), QString::number(line));
    QVERIFY(lines->lbPavadzimesSumma()->text().startsWith(QStringLiteral("Summa : ")));
}

void TestDocumentWindows::scaleBarcodeAndMessagesOnce()
{
    TDokIevadsPreces* lines = openLines(DocumentKind::Inventory, QStringLiteral("I-1"),
                                        QStringLiteral("Veikals \"Centrs\" Rīgā"), QString());
    QVERIFY2(lines && lines->isVisible(), qPrintable(m_fixture.messages().join('|')));
    QTRY_VERIFY(lines->edArtikuls()->hasFocus());
    // A weighing scale's label: the article and the quantity in one code.
    WindowFixture::scan(lines->edArtikuls(), QStringLiteral("2212345012345"));
    QTRY_VERIFY(lines->edDaudzums()->hasFocus());
    QCOMPARE(lines->edArtikuls()->text(), QStringLiteral("12345"));
    QCOMPARE(lines->lbPrece()->text(), QStringLiteral("Siers \"Ķekavas\" svaramais"));
    // An inventory line starts from the stock.
    QCOMPARE(lines->edDaudzums()->text(), QStringLiteral("12,500"));

    // A code nobody knows, with real boxes: one look-up, one message.
    m_fixture.setRealMessageBoxes(true);
    lines->edArtikuls()->setFocus();
    lines->edArtikuls()->clear();
    QTest::keyClicks(lines->edArtikuls(), QStringLiteral("NAV-TADA"));
    QTest::mouseClick(lines->edArtikuls()->searchButton(), Qt::LeftButton);
    QTRY_VERIFY(lines->edDaudzums()->hasFocus());
    QTest::qWait(50);
    QCOMPARE(m_fixture.messages().join('|'), QStringLiteral("Nav atrasts artikuls : NAV-TADA"));
}

void TestDocumentWindows::deleteTheSelectedLine()
{
    TDokIevadsPreces* lines = openReceiving(QStringLiteral("R-DEL"));
    QVERIFY(lines && lines->isVisible());
    for (const QString& code : {QStringLiteral("4750000000011"), QStringLiteral("4750000000028"),
                                QStringLiteral("4750000000042")}) {
        QVERIFY(scanArticle(lines, code));
        WindowFixture::scan(lines->edDaudzums(), QStringLiteral("2"));
    }
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    WindowFixture::clickTab(lines->tabLappuses(), lines->tabSaraksts());
    DataSetListView* list = lines->lstPreces();
    QCOMPARE(list->itemCount(), 3);
    const QString second = list->itemText(1);
    const int stockBefore = value(QStringLiteral("SELECT CAST(SUM(ATLIKUMS) AS INTEGER) FROM "
                                                 "O_TEKATLIK WHERE ISPRECE = 2 AND ISNODALA = 2"))
                                .toInt();

    // The second line's "Dzēst"; the list is opened again (its first row
    // current) before "Dzēst ierakstu".
    TVaiDzestIerakstu* confirm = tapDelete(lines, 1);
    QVERIFY(confirm);
    WindowFixture::clickTab(lines->tabLappuses(), lines->tabDati());
    WindowFixture::clickTab(lines->tabLappuses(), lines->tabSaraksts());
    QTest::mouseClick(confirm->btDelete(), Qt::LeftButton);
    QVERIFY(!confirm->isVisible());
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));

    QCOMPARE(list->itemCount(), 2);
    QVERIFY(list->itemText(0) != second && list->itemText(1) != second);
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISN = %1").arg(second)).toInt(),
        0);
    QCOMPARE(value(QStringLiteral("SELECT CAST(SUM(ATLIKUMS) AS INTEGER) FROM O_TEKATLIK WHERE "
                                  "ISPRECE = 2 AND ISNODALA = 2"))
                 .toInt(),
             stockBefore - 2);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE TAUSTINS = 'D' AND "
                                  "ISN_BAZE = %1")
                       .arg(second))
                 .toInt(),
             1);
}

void TestDocumentWindows::deleteAfterTheDocumentWasOpenedAgain()
{
    // An inventory's line is to be deleted; meanwhile the header window opens
    // the document again, and its list shows only the blank item.
    TDokIevadsPreces* lines = openLines(DocumentKind::Inventory, QStringLiteral("I-DEL"),
                                        QStringLiteral("Veikals \"Centrs\" Rīgā"), QString());
    QVERIFY2(lines && lines->isVisible(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(scanArticle(lines, QStringLiteral("4750000000028")));
    lines->edDaudzums()->clear();
    WindowFixture::scan(lines->edDaudzums(), QStringLiteral("6"));
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    const QString line = askToDeleteTheOnlyLine(lines);
    QVERIFY(!line.isEmpty());
    TVaiDzestIerakstu* confirm = lines->deleteConfirmation();

    QTest::mouseClick(m_fixture.mainWindow()->dokIevads()->btSave(), Qt::LeftButton);
    QCOMPARE(lines->lstPreces()->itemText(0), QStringLiteral("0"));
    QTest::mouseClick(confirm->btDelete(), Qt::LeftButton);
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM O_PRATL_PRC WHERE ISN = %1").arg(line)).toInt(),
        0);
    QCOMPARE(value(QStringLiteral("SELECT LIST(ISN_BAZE) FROM O_OPERACIJAS WHERE TAUSTINS = 'D' "
                                  "AND BAZE = 'O_PRATL_PRC' AND (ISN_BAZE = %1 OR ISN_BAZE = 0)")
                       .arg(line))
                 .toString(),
             line);
}

void TestDocumentWindows::failedDeletionKeepsTheQuestion()
{
    // The database refuses to delete a line of 13: the question stays, with
    // the error, and nothing of the deletion is stored.
    TDokIevadsPreces* lines = openReceiving(QStringLiteral("R-KEPT"));
    QVERIFY(lines && lines->isVisible());
    QVERIFY(scanArticle(lines, QStringLiteral("4750000000011")));
    WindowFixture::scan(lines->edDaudzums(), QStringLiteral("13"));
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    const QString stock = QStringLiteral("SELECT CAST(SUM(ATLIKUMS) AS INTEGER) FROM O_TEKATLIK "
                                         "WHERE ISPRECE = 1 AND ISNODALA = 2");
    const int stockBefore = value(stock).toInt();
    const int entries = value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS")).toInt();
    const QString line = askToDeleteTheOnlyLine(lines);
    QVERIFY(!line.isEmpty());
    TVaiDzestIerakstu* confirm = lines->deleteConfirmation();

    QTest::mouseClick(confirm->btDelete(), Qt::LeftButton);
    QVERIFY(confirm->isVisible());
    QCOMPARE(m_fixture.messages().size(), 1);
    QVERIFY2(m_fixture.messages().first().contains(QStringLiteral("line is kept")),
             qPrintable(m_fixture.messages().first()));
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISN = %1").arg(line)).toInt(),
             1);
    QCOMPARE(value(stock).toInt(), stockBefore);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS")).toInt(), entries);
    QTest::mouseClick(confirm->btClose(), Qt::LeftButton);
    QVERIFY(!confirm->isVisible());
}

void TestDocumentWindows::chosenCertificateSurvivesReopening()
{
    // A certificate is chosen; the header window opens the same document
    // again before the line is saved. The line keeps that certificate.
    TDokIevadsPreces* lines = openReceiving(QStringLiteral("R-CERT"));
    QVERIFY(lines && lines->isVisible());
    QVERIFY(scanArticle(lines, QStringLiteral("4750000000011")));
    QCOMPARE(lines->cmbSertifikats()->count(), 1);
    lines->cmbSertifikats()->setCurrentIndex(0);
    QTest::keyClicks(lines->edDaudzums(), QStringLiteral("2"));

    QTest::mouseClick(m_fixture.mainWindow()->dokIevads()->btSave(), Qt::LeftButton);
    WindowFixture::activate(lines);
    QCOMPARE(lines->cmbSertifikats()->currentIndex(), 0);
    QTest::mouseClick(lines->btSave(), Qt::LeftButton);
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    const int header =
        value(QStringLiteral("SELECT ISN FROM O_PAVADZ WHERE NR_PAVADZ = 'R-CERT'")).toInt();
    QCOMPARE(
        value(QStringLiteral("SELECT LIST(ISSERTIF) FROM O_PRECE WHERE ISPAVADZ = %1").arg(header))
            .toString(),
        QStringLiteral("2"));
}

void TestDocumentWindows::goodsInMemoryWritesNoHeader()
{
    const int headers = value(QStringLiteral("SELECT COUNT(*) FROM O_PAVADZ")).toInt();
    TDokIevadsPreces* lines = openLines(DocumentKind::GoodsInMemory, QString(),
                                        QStringLiteral("Veikals Jelgavā"), QString());
    QVERIFY2(lines && lines->isVisible(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(lines->lbTitle()->text(), QStringLiteral("Preces atmiņā"));
    QVERIFY(lines->edCena()->isHidden());
    QVERIFY(lines->cmbSertifikats()->isHidden());
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_PAVADZ")).toInt(), headers);
    // The list holds the goods in memory of every department.
    QCOMPARE(lines->lstPreces()->itemCount(), 3);
}

void TestDocumentWindows::largeScreenLayout()
{
    TDokIevadsPreces* lines = openReceiving(QStringLiteral("R-L"));
    QVERIFY(lines);
    TNorvalkMain* main = m_fixture.mainWindow();
    TDokIevadsPreces large(main->dataModule(), main->goodsInfo(), nullptr,
                           TDokIevadsPreces::Layout::Large);
    QVERIFY(large.isLargeLayout());
    QCOMPARE(large.size(), QSize(1080, 1920));
    QCOMPARE(large.lstPreces()->size(), QSize(1080, 1806));
    QCOMPARE(large.edArtikuls()->objectName(), lines->edArtikuls()->objectName());
    QVERIFY(large.edArtikuls()->font().pixelSize() > lines->edArtikuls()->font().pixelSize() * 2);
}

void TestDocumentWindows::keyboardFlow_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("next"); // the field that gets the focus, or "save"

    const int receiving = int(DocumentKind::Receiving);
    const int transfer = int(DocumentKind::Transfer);
    const int inventory = int(DocumentKind::Inventory);
    const int orders = int(DocumentKind::Orders);
    const int writeOut = int(DocumentKind::WriteOut);
    const int ret = Qt::Key_Return;
    const int down = Qt::Key_Down;
    const QString save = QStringLiteral("save");

    QTest::newRow("article, Return") << receiving << "edArtikuls" << ret << "edDaudzums";
    QTest::newRow("article, Down") << receiving << "edArtikuls" << down << "edDaudzums";
    QTest::newRow("quantity, Return saves") << receiving << "edDaudzums" << ret << save;
    QTest::newRow("quantity, Return saves an order") << orders << "edDaudzums" << ret << save;
    QTest::newRow("quantity, Down: discount shown")
        << receiving << "edDaudzums" << down << "edAtlaide";
    QTest::newRow("quantity, Down: discount shown in a write-out")
        << writeOut << "edDaudzums" << down << "edAtlaide";
    QTest::newRow("quantity, Down: transfer has no discount")
        << transfer << "edDaudzums" << down << "edCena";
    QTest::newRow("quantity, Down: inventory has no discount")
        << inventory << "edDaudzums" << down << "edCena";
    QTest::newRow("discount, Return") << receiving << "edAtlaide" << ret << "edCena";
    QTest::newRow("discount, Down") << orders << "edAtlaide" << down << "edCena";
    QTest::newRow("price, Return: sale price open") << receiving << "edCena" << ret << "edPardCena";
    QTest::newRow("price, Down: sale price open") << transfer << "edCena" << down << "edPardCena";
    QTest::newRow("price, Return: sale price hidden saves") << inventory << "edCena" << ret << save;
    QTest::newRow("price, Down: sale price hidden saves") << inventory << "edCena" << down << save;
    QTest::newRow("price, Return: sale price disabled saves") << orders << "edCena" << ret << save;
    QTest::newRow("price, Down: sale price disabled saves") << writeOut << "edCena" << down << save;
    QTest::newRow("sale price, Return saves") << receiving << "edPardCena" << ret << save;
    QTest::newRow("sale price, Down saves") << transfer << "edPardCena" << down << save;
}

void TestDocumentWindows::keyboardFlow()
{
    QFETCH(int, kind);
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(QString, next);
    static int document = 0;
    const auto documentKind = DocumentKind(kind);
    const QString client = documentKind == DocumentKind::Transfer
                               ? QStringLiteral("Veikals Jelgavā")
                           : documentKind == DocumentKind::Inventory ? QString()
                                                                     : QStringLiteral("nieks un");
    TDokIevadsPreces* lines = openLines(documentKind, QStringLiteral("K-%1").arg(++document),
                                        QStringLiteral("Veikals \"Centrs\" Rīgā"), client);
    QVERIFY2(lines && lines->isVisible(), qPrintable(m_fixture.messages().join('|')));
    QTRY_VERIFY(lines->edArtikuls()->hasFocus());
    auto* from = lines->findChild<QLineEdit*>(field);
    QVERIFY(from && from->isVisible() && from->isEnabled());
    from->setFocus();
    QTRY_VERIFY(from->hasFocus());
    m_fixture.messages().clear();

    QTest::keyClick(from, Qt::Key(key));
    if (next == QLatin1String("save")) {
        // With no article the save refuses at its first check: that it came
        // is what shows the key saved.
        QTRY_COMPARE(m_fixture.messages(),
                     QStringList{QStringLiteral("Nav ievadīts artikuls !!!")});
        QTRY_COMPARE(QApplication::focusWidget(), lines->edArtikuls());
    } else {
        QTRY_COMPARE(QApplication::focusWidget(), lines->findChild<QWidget*>(next));
        QTest::qWait(20);
        QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    }
}

// The server goes away while the worker scans: the goods still show (from
// the terminal's copy), each line is taken without a message, the window
// says how many wait and sounds the tone once; when the server is back the
// lines go by themselves, each stored once, and the window says so.
void TestDocumentWindows::scanThroughAnOutage()
{
    TDokIevadsPreces* lines = openReceiving(QStringLiteral("R-OUT"));
    QVERIFY2(lines && lines->isVisible(), qPrintable(m_fixture.messages().join('|')));
    QTRY_VERIFY(lines->edArtikuls()->hasFocus());
    // Without the server nothing is pre-filled: the worker types the price.
    QString shown; // the goods' name the look-up showed
    const auto scanLine = [&](const QString& article, const QString& quantity,
                              const QString& price) {
        WindowFixture::scan(lines->edArtikuls(), article);
        QTRY_VERIFY(lines->edDaudzums()->hasFocus());
        shown = lines->lbPrece()->text();
        if (!price.isEmpty())
            lines->edCena()->setText(price);
        QTest::keyClicks(lines->edDaudzums(), quantity);
        QTest::keyClick(lines->edDaudzums(), Qt::Key_Return);
        QTRY_VERIFY2(lines->edArtikuls()->hasFocus(), qPrintable(m_fixture.messages().join('|')));
    };
    scanLine(QStringLiteral("4750000000011"), QStringLiteral("1"), QString());
    QCOMPARE(lines->lbSavienojums()->text(), QStringLiteral("Savienots ar serveri"));
    const int header =
        value(QStringLiteral("SELECT ISN FROM O_PAVADZ WHERE NR_PAVADZ = 'R-OUT'")).toInt();

    m_fixture.stopServer();
    const int tones = ErrorTone::timesPlayed();
    scanLine(QStringLiteral("4750000000028"), QStringLiteral("2"), QStringLiteral("0,80"));
    QCOMPARE(shown, QStringLiteral("Kefīrs 2% 1 l")); // from the terminal's copy
    scanLine(QStringLiteral("4750000000011"), QStringLiteral("3"), QStringLiteral("0,70"));
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(lines->lbSavienojums()->text(),
             QStringLiteral("Nav savienojuma ar serveri; gaida: 2"));
    QCOMPARE(ErrorTone::timesPlayed(), tones + 1);

    QVERIFY(m_fixture.restartServer());
    QTRY_COMPARE_WITH_TIMEOUT(lines->lbSavienojums()->text(),
                              QStringLiteral("Savienots ar serveri"), 30000);
    QCOMPARE(ErrorTone::timesPlayed(), tones + 2);
    // Each line once, in the order scanned.
    QCOMPARE(value(QStringLiteral("SELECT LIST(CAST(DAUDZUMS AS INTEGER), ',') FROM (SELECT "
                                  "DAUDZUMS FROM O_PRECE WHERE ISPAVADZ = %1 ORDER BY ISN)")
                       .arg(header))
                 .toString(),
             QStringLiteral("1,2,3"));
    QVERIFY(m_fixture.messages().isEmpty());
}

NORVALK_GUI_TEST_MAIN(TestDocumentWindows)
#include "tst_documentwindows.moc"
