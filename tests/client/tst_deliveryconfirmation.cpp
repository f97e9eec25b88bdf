// The delivery confirmation: what a scanned QR code names (its first line,
// the text after "ID:B" as a whole number) and the stamp of the transfer's
// delivery time against a running NorvalkServer, receiving documents of the
// same key untouched.

#include "client/core/deliveryconfirmation.h"
#include "tests/client/serverfixture.h"

#include <QTest>

#include <memory>

class TestDeliveryConfirmation final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void codeNamesTransfer_data();
    void codeNamesTransfer();
    void stampsTheTransferOnly();
    void unknownTransferStampsNothing();

private:
    QDateTime delivered(int isn);

    std::unique_ptr<ServerFixture> m_fixture;
};

namespace {

const QString kNoCode = QStringLiteral("Nav ievadīts QR kods !!!");
const QString kNotAWaybill = QStringLiteral("QR nav atpazīstams kā pavadzīmes saturs !!!");
const QString kNoIdentifier = QStringLiteral("QR kods nesatur pavadzīmes identifikatoru !!!");

} // namespace

void TestDeliveryConfirmation::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    m_fixture->run({
        "INSERT INTO O_PARPAV (ISN, NR_PAVADZ, ISNODALANO, ISNODALAUZ, DATUMS) "
        "VALUES (1234, 'P-77', 2, 3, '01.03.2025')",
        // A receiving document with the same key: not a transfer.
        "INSERT INTO O_PAVADZ (ISN, NR_PAVADZ, ISNODALA, ISKLIENT, DAT_SANEM) "
        "VALUES (1234, 'R-1', 2, 2, '01.03.2025')",
    });
}

void TestDeliveryConfirmation::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    QVERIFY(m_fixture->messages().isEmpty());
    m_fixture.reset();
}

QDateTime TestDeliveryConfirmation::delivered(int isn)
{
    return m_fixture
        ->value(QStringLiteral("SELECT DAT_PIEGADE FROM O_PARPAV WHERE ISN = %1").arg(isn))
        .toDateTime();
}

void TestDeliveryConfirmation::codeNamesTransfer_data()
{
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<int>("isn");
    QTest::addColumn<QString>("message");

    QTest::newRow("marker at the end of the line") << "SIA Piegāde;ID:B1234" << 1234 << "";
    QTest::newRow("further lines do not matter")
        << "Pavadzīme P-77 ID:B1234\nID:B99\nbeigas" << 1234 << "";
    QTest::newRow("the first marker counts") << "ID:B1234ID:B5" << 0 << kNoIdentifier;
    QTest::newRow("leading blanks before the number") << "ID:B  42" << 42 << "";
    QTest::newRow("empty") << "" << 0 << kNoCode;
    QTest::newRow("no marker") << "Pavadzīme 1234" << 0 << kNotAWaybill;
    QTest::newRow("marker only on the second line") << "Pavadzīme\nID:B1234" << 0 << kNotAWaybill;
    QTest::newRow("marker is case-sensitive") << "id:b1234" << 0 << kNotAWaybill;
    QTest::newRow("letters after the marker") << "ID:Babc" << 0 << kNoIdentifier;
    QTest::newRow("nothing after the marker") << "ID:B" << 0 << kNoIdentifier;
    QTest::newRow("zero") << "ID:B0" << 0 << kNoIdentifier;
    QTest::newRow("carriage return before the line feed") << "ID:B1234\r\nx" << 0 << kNoIdentifier;
    QTest::newRow("trailing blank") << "ID:B1234 " << 0 << kNoIdentifier;
    QTest::newRow("beyond a whole number") << "ID:B99999999999" << 0 << kNoIdentifier;
}

void TestDeliveryConfirmation::codeNamesTransfer()
{
    QFETCH(QString, scanned);
    QFETCH(QString, message);
    const Outcome<qint32> isn = DeliveryConfirmation::TransferIsn(scanned);
    QCOMPARE(isn.refused(), !message.isEmpty());
    if (isn.refused()) {
        QCOMPARE(isn.refusal().message, message);
        QCOMPARE(isn.refusal().field, QStringLiteral("edQR_Kods"));
    } else {
        QTEST(isn.result(), "isn");
    }
}

void TestDeliveryConfirmation::stampsTheTransferOnly()
{
    DeliveryConfirmation confirmation(m_fixture->module());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const Outcome<DeliveryConfirmation::Result> first =
        confirmation.Confirm(QStringLiteral("Pavadzīme ID:B1234\nNorvalk"));
    QVERIFY(!first.refused());
    QVERIFY(first.result().found);
    QCOMPARE(first.result().transferIsn, 1234);
    QCOMPARE(first.result().status, QStringLiteral("Piegāde apstiprināta pavadzīmei Nr. P-77"));
    const QDateTime stamped = delivered(1234);
    QVERIFY2(stamped >= before && stamped <= QDateTime::currentDateTime().addSecs(1),
             qPrintable(stamped.toString(Qt::ISODate)));

    // Confirmed again, the later time replaces the earlier.
    m_fixture->run(
        QStringLiteral("UPDATE O_PARPAV SET DAT_PIEGADE = '01.01.2020 10:00' WHERE ISN = 1234"));
    QVERIFY(!confirmation.Confirm(QStringLiteral("ID:B1234")).refused());
    QVERIFY(delivered(1234) >= before);
}

void TestDeliveryConfirmation::unknownTransferStampsNothing()
{
    const Outcome<DeliveryConfirmation::Result> confirmed =
        DeliveryConfirmation(m_fixture->module()).Confirm(QStringLiteral("ID:B4321"));
    QVERIFY(!confirmed.refused());
    QVERIFY(!confirmed.result().found);
    QCOMPARE(confirmed.result().status,
             QStringLiteral("Pārvietošanas pavadzīme (ISN 4321) nav atrasta"));
    QCOMPARE(m_fixture
                 ->value(QStringLiteral("SELECT COUNT(*) FROM O_PARPAV WHERE DAT_PIEGADE "
                                        "IS NOT NULL AND ISN <> 1234"))
                 .toInt(),
             0);
}

QTEST_GUILESS_MAIN(TestDeliveryConfirmation)
#include "tst_deliveryconfirmation.moc"
