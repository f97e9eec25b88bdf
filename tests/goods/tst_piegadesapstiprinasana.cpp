// The delivery confirmation on the demo database: a transfer's QR code
// scanned into the field stamps its delivery time, the field is emptied for
// the next scan, and a code that names no document keeps its text with the
// message, the focus staying in the field.

#include "client/app/tnorvalkmain.h"
#include "client/goods/tpiegadesapstiprinasana.h"
#include "tests/support/windowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestPiegadesApstiprinasana final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void layout();
    void scanStampsTheTransfer();
    void codeNamingNoDocumentKept();

private:
    WindowFixture m_fixture;
    TPiegadesApstiprinasana* m_window = nullptr;
};

void TestPiegadesApstiprinasana::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    TNorvalkMain* main = m_fixture.openMainWindow();
    QVERIFY(m_fixture.runMenuCommand(main->btPiegadesApstiprin()));
    m_window = main->piegadesApstiprinasana();
    QVERIFY(m_window && m_window->isVisible());
    WindowFixture::activate(m_window);
    m_fixture.setRealMessageBoxes(true);
}

void TestPiegadesApstiprinasana::cleanupTestCase()
{
    const QPointer<TPiegadesApstiprinasana> window = m_window;
    m_fixture.closeMainWindow();
    QVERIFY(!window);
}

void TestPiegadesApstiprinasana::layout()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Saņemšanas pārbaude"));
    QCOMPARE(m_window->lbTitle()->text(), QStringLiteral("Piegādes apstiprinājums"));
    QCOMPARE(m_window->btSave()->text(), QStringLiteral("Saglabāt"));
    QCOMPARE(m_window->btClose()->text(), QStringLiteral("Aizvērt"));
    QVERIFY(m_window->edQR_Kods()->hasFocus());
}

void TestPiegadesApstiprinasana::scanStampsTheTransfer()
{
    // Transfer 1 has never been delivered; receiving 1 is no transfer.
    QVERIFY(m_fixture.value("SELECT DAT_PIEGADE FROM O_PARPAV WHERE ISN = 1").isNull());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    WindowFixture::scan(m_window->edQR_Kods(), QStringLiteral("PARVIETOSANA Nr. 1 ID:B1"));
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(m_fixture.value("SELECT DAT_PIEGADE FROM O_PARPAV WHERE ISN = 1").toDateTime() >=
            before);
    QCOMPARE(m_window->lbStatusBar()->text(),
             QStringLiteral("Piegāde apstiprināta pavadzīmei Nr. 1"));
    QVERIFY(m_window->edQR_Kods()->text().isEmpty());
    QVERIFY(m_window->edQR_Kods()->hasFocus());

    // A key no transfer has: nothing is stamped, and the status says so.
    WindowFixture::scan(m_window->edQR_Kods(), QStringLiteral("ID:B999"));
    QVERIFY(m_fixture.messages().isEmpty());
    QCOMPARE(m_window->lbStatusBar()->text(),
             QStringLiteral("Pārvietošanas pavadzīme (ISN 999) nav atrasta"));
    QVERIFY(m_window->edQR_Kods()->text().isEmpty());
}

void TestPiegadesApstiprinasana::codeNamingNoDocumentKept()
{
    const QString scanned = QStringLiteral("PAVADZIME 3");
    m_fixture.messages().clear();
    const QString stamps =
        m_fixture.value("SELECT LIST(COALESCE(DAT_PIEGADE, '-')) FROM O_PARPAV").toString();
    WindowFixture::scan(m_window->edQR_Kods(), scanned);
    QCOMPARE(m_fixture.messages(), QStringList{"QR nav atpazīstams kā pavadzīmes saturs !!!"});
    // The text stays for correcting, with the focus back in the field.
    QCOMPARE(m_window->edQR_Kods()->text(), scanned);
    QTRY_VERIFY(m_window->edQR_Kods()->hasFocus());
    QCOMPARE(m_fixture.value("SELECT LIST(COALESCE(DAT_PIEGADE, '-')) FROM O_PARPAV").toString(),
             stamps);
}

NORVALK_GUI_TEST_MAIN(TestPiegadesApstiprinasana)
#include "tst_piegadesapstiprinasana.moc"
