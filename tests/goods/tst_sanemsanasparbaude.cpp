// The receiving and transfer check on the demo database, driven as at the
// goods-in door: the waybill numbers, the period, a scanned article and the
// count typed, each ended with Return; what the database then holds, the
// warning, the note of goods on none of the waybills and the fields cleared
// for the next scan.

#include "client/app/tnorvalkmain.h"
#include "client/goods/tsanemsanasparbaude.h"
#include "client/widgets/searchedit.h"
#include "tests/support/windowfixture.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

class TestSanemsanasParbaude final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void openedForTheFirstNumbers();
    void countBookedByKeystrokes();
    void articleOnNoWaybillNoted();
    void transferKind();

private:
    TSanemsanasParbaude* open();
    void setPeriod(const QDate& from, const QDate& to);
    double checkedOnLine(int line);

    WindowFixture m_fixture;
    TSanemsanasParbaude* m_window = nullptr;
};

namespace {

const QDate kWaybillDate(2024, 5, 2); // waybills "2" and "02.05"

} // namespace

void TestSanemsanasParbaude::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestSanemsanasParbaude::init()
{
    m_fixture.messages().clear();
    m_window = open();
    QVERIFY(m_window && m_window->isVisible());
    // Every message in a real box, as on the terminal: the focus must
    // still end where the next scan goes.
    m_fixture.setRealMessageBoxes(true);
}

void TestSanemsanasParbaude::cleanup()
{
    m_fixture.setRealMessageBoxes(false);
    m_fixture.closeMainWindow();
    m_window = nullptr;
}

TSanemsanasParbaude* TestSanemsanasParbaude::open()
{
    TNorvalkMain* main = m_fixture.openMainWindow();
    m_fixture.runMenuCommand(main->btSanemsanasParbaude());
    TSanemsanasParbaude* window = main->sanemsanasParbaude();
    if (window)
        WindowFixture::activate(window);
    return window;
}

void TestSanemsanasParbaude::setPeriod(const QDate& from, const QDate& to)
{
    m_window->dtDatNo()->setDate(from);
    m_window->dtDatLidz()->setDate(to);
}

double TestSanemsanasParbaude::checkedOnLine(int line)
{
    return m_fixture
        .value(QStringLiteral("SELECT DAUDZUMS_PARB FROM O_PRECE WHERE ISN = %1").arg(line))
        .toDouble();
}

void TestSanemsanasParbaude::openedForTheFirstNumbers()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Saņemšanas pārbaude"));
    QCOMPARE(m_window->lbParbaudesVeids()->text(), QStringLiteral("Saņemšanas pārbaude"));
    QCOMPARE(m_window->edPZ_Numuri()->text(), QStringLiteral("2-02.05"));
    QCOMPARE(m_window->dtDatNo()->date(), QDate::currentDate());
    QCOMPARE(m_window->dtDatLidz()->date(), QDate::currentDate());
    QVERIFY(m_window->rdSanemsana()->isChecked());
    QCOMPARE(m_window->lbPrece()->text(), QStringLiteral("Prece ..."));
    QCOMPARE(m_window->lbPardCena()->text(), QStringLiteral("Pārd.c. :"));
    QVERIFY(m_window->edPZ_Numuri()->hasFocus());
}

void TestSanemsanasParbaude::countBookedByKeystrokes()
{
    setPeriod(kWaybillDate, kWaybillDate);
    // Waybill "2", line 1: 10 of goods 1, 4 checked so far.
    WindowFixture::scan(m_window->edPZ_Numuri(), QStringLiteral("2-02.05"));
    QVERIFY(m_window->edArtikuls()->hasFocus());
    WindowFixture::scan(m_window->edArtikuls(), QStringLiteral("4750000000011"));
    QVERIFY(m_window->edDaudzums()->hasFocus());
    QCOMPARE(m_window->lbPrece()->text(), QStringLiteral("Piens 2,5% 1 l"));
    QCOMPARE(m_window->lbPardCena()->text(), QStringLiteral("Pārd.c.:1,09"));
    WindowFixture::scan(m_window->edDaudzums(), QStringLiteral("6"));
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(checkedOnLine(1), 10.0);
    QCOMPARE(m_window->lbStatusBar()->text(),
             QStringLiteral("Apstiprināšana saglabāta pie preces"));
    QVERIFY(m_window->edArtikuls()->text().isEmpty());
    QVERIFY(m_window->edDaudzums()->text().isEmpty());
    QVERIFY(m_window->lbPrece()->text().isEmpty());
    QTRY_VERIFY(m_window->edArtikuls()->hasFocus());
    QCOMPARE(m_window->edPZ_Numuri()->text(), QStringLiteral("2-02.05"));

    // Goods 4 on two lines of "02.05" (5 and 5): 7 fills the first, 2 the
    // second, with the warning, since 10 were expected.
    WindowFixture::scan(m_window->edArtikuls(), QStringLiteral("4750000000042"));
    WindowFixture::scan(m_window->edDaudzums(), QStringLiteral("7"));
    QCOMPARE(m_fixture.messages(),
             QStringList{"Nesakrīt atlasītais ar pavadzīmē uzrādīto daudzumu !!!"});
    QCOMPARE(checkedOnLine(3), 5.0);
    QCOMPARE(checkedOnLine(4), 2.0);
    QTRY_VERIFY(m_window->edArtikuls()->hasFocus());
}

void TestSanemsanasParbaude::articleOnNoWaybillNoted()
{
    // Today's waybill "15" has goods 32 and 13; goods 1 is on neither line.
    m_window->edPZ_Numuri()->setText(QStringLiteral("15"));
    m_window->edArtikuls()->setFocus();
    WindowFixture::scan(m_window->edArtikuls(), QStringLiteral("4750000000011"));
    WindowFixture::scan(m_window->edDaudzums(), QStringLiteral("2,5"));
    QCOMPARE(m_fixture.messages(),
             QStringList{"Prece nav atrasta atlasītajās pavadzīmēs,\nsaglabā neatrastajos !!!"});
    QCOMPARE(m_window->lbStatusBar()->text(), QStringLiteral("Saglabāts neatrastajos artikulos"));
    QCOMPARE(m_fixture.value("SELECT PICO_NEATRASTIE FROM O_PAVADZ WHERE ISN = 6").toString(),
             QStringLiteral(" 4750000000011 Piens 2,5% 1 l Daudzums=2,50\n"));
    QVERIFY(m_window->edArtikuls()->text().isEmpty());
    QTRY_VERIFY(m_window->edArtikuls()->hasFocus());

    // A number no document has: said so, and the fields stay to correct.
    m_window->edPZ_Numuri()->setText(QStringLiteral("15'"));
    WindowFixture::scan(m_window->edArtikuls(), QStringLiteral("4750000000011"));
    m_fixture.messages().clear();
    WindowFixture::scan(m_window->edDaudzums(), QStringLiteral("1"));
    QCOMPARE(m_fixture.messages(), QStringList{"Nav atrasta pavadzīme !!!"});
    QCOMPARE(m_window->edArtikuls()->text(), QStringLiteral("4750000000011"));
}

void TestSanemsanasParbaude::transferKind()
{
    QTest::mouseClick(m_window->rdParvietosana(), Qt::LeftButton);
    QCOMPARE(m_window->lbParbaudesVeids()->text(), QStringLiteral("Pārvietošanas pārbaude"));
    // Today's transfer "3": 10 of goods 23.
    m_window->edPZ_Numuri()->setText(QStringLiteral("3"));
    m_window->edArtikuls()->setFocus();
    WindowFixture::scan(m_window->edArtikuls(), QStringLiteral("4750000000233"));
    WindowFixture::scan(m_window->edDaudzums(), QStringLiteral("10"));
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(m_fixture.value("SELECT DAUDZUMS_PARB FROM O_PARPRC WHERE ISN = 5").toDouble(), 10.0);
    QTest::mouseClick(m_window->rdSanemsana(), Qt::LeftButton);
    QCOMPARE(m_window->lbParbaudesVeids()->text(), QStringLiteral("Saņemšanas pārbaude"));
}

NORVALK_GUI_TEST_MAIN(TestSanemsanasParbaude)
#include "tst_sanemsanasparbaude.moc"
