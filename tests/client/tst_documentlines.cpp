// The document lines' data work on the demo installation: what each kind
// pre-fills after a look-up, identity labels, the certificate list, every
// check of a save, what a save of each kind writes (VAT, sale price,
// container line, stock), the reset after it, the list and its total, a
// deletion, and a failure half way that leaves nothing stored.

#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/documentlines.h"
#include "client/core/idlabelrule.h"
#include "client/core/remotedataset.h"
#include "client/core/serverconnection.h"
#include "tests/client/serverfixture.h"
#include "tests/support/faultproxy.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestDocumentLines final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void idLabelRule_data();
    void idLabelRule();
    void kindSetup();
    void prefillPerKind_data();
    void prefillPerKind();
    void certificatesListed();
    void chosenCertificateIsStored();
    void checks_data();
    void checks();
    void stockChecksOfOutgoingKinds_data();
    void stockChecksOfOutgoingKinds();
    void whatEachKindStores_data();
    void whatEachKindStores();
    void numbersTypedEitherWay_data();
    void numbersTypedEitherWay();
    void salePriceOfReceipts_data();
    void salePriceOfReceipts();
    void salePriceLevelChangedMeanwhile();
    void containerLines_data();
    void containerLines();
    void writeOutSwitchesAndReset();
    void changedArticleIsLookedUpAgain();
    void failureLeavesNothingStored();
    void requestsOfOneScannedLine();
    void serverRestartedBetweenTwoLines();
    void listOfALongDocument();
    void heldListMatchesAFullRead_data();
    void heldListMatchesAFullRead();
    void deletionReversesStock_data();
    void deletionReversesStock();
    void deletionActsOnTheLocatedLine();
    void lostReplyToASave();
    void saveAgainAfterALostReply();
    void lostReplyToADeletion();
    void linesOfAnOutageSentOnceInOrder();
    void queuedLineRefusedWhenSent();
    void twoTerminalsQueueIntoOneDocument();

private:
    qint32 header(DocumentKind kind, const QString& table, const QString& columns,
                  const QString& values);
    DocumentContext context(DocumentKind kind, qint32 docIsn, qint32 department = 2,
                            qint32 counterparty = 0);
    DocumentContext newDocument(DocumentKind kind);
    // The list the lines hold is what a read of the whole list gives now.
    void compareWithAFullRead(const QString& total);
    DocumentLines::Entry entry(const QString& article, const QString& quantity,
                               const QString& price = QStringLiteral("1"));
    Outcome<DocumentLines::Saved> save(DocumentLines::Entry entry);
    double stock(int goods, int department);
    // The module's connection through a relay that breaks the link on
    // request, until the test ends.
    FaultProxy& throughRelay();
    qint32 receivingOpened();
    int linesOf(qint32 doc);
    QVariant value(const QString& sql) { return m_fixture->value(sql); }
    ClientState& state() { return m_fixture->module().clientState(); }

    std::unique_ptr<ServerFixture> m_fixture;
    GoodsInfo m_goods;
    std::unique_ptr<DocumentLines> m_lines;
    std::unique_ptr<FaultProxy> m_relay;
    int m_nextNumber = 1;
};

void TestDocumentLines::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>(TestDatabase::Content::Demo);
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    m_lines = std::make_unique<DocumentLines>(m_fixture->module(), m_goods);
    // Departments at price levels 0 and 7, goods 40 with plenty of
    // certificates, goods 41 with stock 5 in department 2.
    m_fixture->run({"INSERT INTO N_DEPART (ISN, GNOS, CENKODS) VALUES (20, 'Līmenis 0', 0)",
                    "INSERT INTO N_DEPART (ISN, GNOS, CENKODS) VALUES (21, 'Līmenis 7', 7)",
                    "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, NODOKLIS, PARDCENA1) "
                    "VALUES (40, 'CERT250', 'Ar sertifikātiem', 1, 21, 1)",
                    "INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, NODOKLIS, PARDCENA1) "
                    "VALUES (41, 'STOCK5', 'Pieci gabali', 1, 21, 2)",
                    "INSERT INTO O_TEKATLIK (ISPRECE, ISNODALA, NELEGALIZ, ATLIKUMS) "
                    "VALUES (41, 2, 'F', 5)"});
    m_fixture->run(QStringLiteral(
        "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= 250) DO BEGIN "
        "INSERT INTO N_SERTIF (SERTIF, ISPRECE) VALUES ('S-' || :I, 40); I = I + 1; END END"));
    // Department 22's stock refuses every move. Made before any save: the
    // server keeps its prepared statements, and one prepared before a
    // trigger existed does not run it.
    m_fixture->run({"INSERT INTO N_DEPART (ISN, GNOS, CENKODS) VALUES (22, 'Slēgta', 1)",
                    "CREATE EXCEPTION TEST_STOCK_CLOSED 'stock is closed'",
                    "CREATE TRIGGER TEST_STOCK_CLOSED FOR O_TEKATLIK BEFORE INSERT OR UPDATE AS "
                    "BEGIN IF (NEW.ISNODALA = 22) THEN EXCEPTION TEST_STOCK_CLOSED; END"});
}

void TestDocumentLines::cleanup()
{
    m_fixture->module().closeTerminalStore();
    if (!m_relay)
        return;
    ServerConnection& connection = m_fixture->module().SQLConnection1();
    connection.setConnected(false);
    connection.setPort(m_fixture->server().port());
    m_relay.reset();
}

void TestDocumentLines::init()
{
    m_fixture->messages().clear();
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
    ClientState& s = state();
    s.CurrentUser = QStringLiteral("ANNA");
    s.AgentIsn = 2;
    s.DateSeparator = QStringLiteral(".");
    s.DecimalPointIsDot = false;
    s.UseCertifiedStock = false;
    s.ShowCertifiedStock = true;
    s.IzrDaudzums1 = false;
    s.IzrDzestAtlaidi = false;
    s.IzrPardCenaNoNodalas = false;
    s.HidePurchasePrice = false;
}

void TestDocumentLines::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    m_lines.reset();
    m_fixture.reset();
}

qint32 TestDocumentLines::header(DocumentKind kind, const QString& table, const QString& columns,
                                 const QString& values)
{
    Q_UNUSED(kind);
    const QString number = QStringLiteral("T-%1").arg(m_nextNumber++);
    m_fixture->run(QStringLiteral("INSERT INTO %1 (NR_PAVADZ, %2) VALUES ('%3', %4)")
                       .arg(table, columns, number, values));
    return value(QStringLiteral("SELECT ISN FROM %1 WHERE NR_PAVADZ = '%2'").arg(table, number))
        .toInt();
}

DocumentContext TestDocumentLines::context(DocumentKind kind, qint32 docIsn, qint32 department,
                                           qint32 counterparty)
{
    DocumentContext c;
    c.DocKind = kind;
    c.DocIsn = docIsn;
    c.DocNumber = QStringLiteral("N%1").arg(docIsn);
    c.DocDate = kind == DocumentKind::GoodsInMemory ? QDate() : QDate::currentDate();
    c.DepartmentIsn = department;
    c.CounterpartyIsn = counterparty;
    return c;
}

// A new document of the kind, in the departments and with the partners the
// demo's stock and prices suit.
DocumentContext TestDocumentLines::newDocument(DocumentKind k)
{
    qint32 doc = 0;
    qint32 department = 2;
    qint32 counterparty = 0;
    switch (k) {
    case DocumentKind::Receiving:
        doc = header(k, QStringLiteral("O_PAVADZ"), QStringLiteral("ISNODALA, ISKLIENT"),
                     QStringLiteral("4, 2"));
        department = 4; // the order 12.10 case wants a VAT of 21 below, here 12
        break;
    case DocumentKind::Transfer:
        doc = header(k, QStringLiteral("O_PARPAV"), QStringLiteral("ISNODALANO, ISNODALAUZ"),
                     QStringLiteral("2, 3"));
        counterparty = 3;
        break;
    case DocumentKind::Inventory:
        doc = header(k, QStringLiteral("O_PRATL_PAV"), QStringLiteral("ISNODALA"),
                     QStringLiteral("4"));
        department = 4;
        break;
    case DocumentKind::Orders:
        doc = header(k, QStringLiteral("O_PASPAV"), QStringLiteral("ISNODALA, ISKLIENT"),
                     QStringLiteral("2, 7"));
        counterparty = 7;
        break;
    case DocumentKind::WriteOut:
        doc = header(k, QStringLiteral("O_PAVOUT"), QStringLiteral("ISNODALA, ISKLIENT"),
                     QStringLiteral("2, 7"));
        counterparty = 7;
        break;
    case DocumentKind::GoodsInMemory:
        department = 3;
        break;
    }
    return context(k, doc, department, counterparty);
}

DocumentLines::Entry TestDocumentLines::entry(const QString& article, const QString& quantity,
                                              const QString& price)
{
    DocumentLines::Entry e;
    e.article = article;
    e.quantity = quantity;
    e.price = price;
    return e;
}

Outcome<DocumentLines::Saved> TestDocumentLines::save(DocumentLines::Entry e)
{
    QString article;
    return m_lines->Save(std::move(e), article);
}

double TestDocumentLines::stock(int goods, int department)
{
    return value(QStringLiteral("SELECT COALESCE(SUM(ATLIKUMS), 0) FROM O_TEKATLIK WHERE "
                                "ISPRECE = %1 AND ISNODALA = %2")
                     .arg(goods)
                     .arg(department))
        .toDouble();
}

void TestDocumentLines::idLabelRule_data()
{
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("byIsn");

    QTest::newRow("article code") << "4750000000011"
                                  << "4750000000011"
                                  << "4750000000011" << false;
    QTest::newRow("identity label") << "ID:A1234"
                                    << "ID:A1234"
                                    << "1234" << true;
    QTest::newRow("label with a line feed") << "ID:A1234\nPiens 1 l"
                                            << "ID:A1234"
                                            << "1234" << true;
    QTest::newRow("text before the marker") << "NORVALK ID:A77"
                                            << "NORVALK ID:A77"
                                            << "77" << true;
    QTest::newRow("D:A without ID:A") << "D:A1234"
                                      << "D:A1234"
                                      << "1234" << true;
    QTest::newRow("marker and nothing else") << "ID:A"
                                             << "ID:A"
                                             << "" << true;
}

void TestDocumentLines::idLabelRule()
{
    QFETCH(QString, scanned);
    const IdLabel label = IdLabelRule(scanned);
    QTEST(label.article, "article");
    QTEST(label.code, "code");
    QTEST(label.byIsn, "byIsn");
}

void TestDocumentLines::kindSetup()
{
    state().HidePurchasePrice = true;
    state().IzrDaudzums1 = true;
    DocumentContext c = context(DocumentKind::WriteOut, 0);
    c.ClientDiscount = 3.5;
    DocumentLines::KindSetup setup = m_lines->Activate(c);
    QCOMPARE(setup.title, QStringLiteral("Izrakstītās preces"));
    QCOMPARE(setup.priceLabel, QStringLiteral("Cena"));
    QCOMPARE(setup.salePriceLabel, QStringLiteral("Atlik."));
    QVERIFY(!setup.salePriceEnabled);
    QCOMPARE(setup.discountText, std::optional<QString>(QStringLiteral("3,5")));
    QCOMPARE(setup.quantityText, std::optional<QString>(QStringLiteral("1")));
    QCOMPARE(m_lines->LineTable(), QStringLiteral("O_PRCOUT"));

    // Receiving with purchase prices hidden: no price field, no quantity pre-set.
    setup = m_lines->Activate(context(DocumentKind::Receiving, 0));
    QVERIFY(!setup.priceVisible);
    QVERIFY(setup.discountVisible);
    QVERIFY(!setup.quantityText);
    setup = m_lines->Activate(context(DocumentKind::Transfer, 0));
    QVERIFY(!setup.discountVisible);
    setup = m_lines->Activate(context(DocumentKind::GoodsInMemory, 0));
    QVERIFY(!setup.priceVisible && !setup.certificateVisible && !setup.salePriceVisible);
    QCOMPARE(m_lines->LineTable(), QStringLiteral("O_MEMPRECES"));
}

void TestDocumentLines::prefillPerKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("counterparty");
    QTest::addColumn<QString>("salePrice");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<bool>("clearDiscount");

    // Goods 1, department 2 (price level 1): PARDCENA1 1.09, stock 32 + 3.
    QTest::newRow("inventory starts from the stock") << int(DocumentKind::Inventory) << 0 << "1,090"
                                                     << "1,090"
                                                     << "35,000" << false;
    // Into department 4, price level 3.
    QTest::newRow("transfer at the destination's level")
        << int(DocumentKind::Transfer) << 4 << "1,190"
        << "<last>"
        << "" << false;
    QTest::newRow("order shows the stock") << int(DocumentKind::Orders) << 6 << "35,000"
                                           << "1,090"
                                           << "" << false;
    // Buyer 6: its own dated special price 0.79, not discounted again.
    QTest::newRow("write-out with a special price") << int(DocumentKind::WriteOut) << 6 << "35,000"
                                                    << "0,790"
                                                    << "" << true;
    QTest::newRow("write-out without one") << int(DocumentKind::WriteOut) << 7 << "35,000"
                                           << "1,090"
                                           << "" << false;
}

void TestDocumentLines::prefillPerKind()
{
    QFETCH(int, kind);
    QFETCH(int, counterparty);
    QFETCH(QString, price);
    m_lines->Activate(context(DocumentKind(kind), 1, 2, counterparty));
    const DocumentLines::LookedUp found =
        m_lines->LookUp(QStringLiteral("4750000000011"), QString());
    QVERIFY(found.found);
    QCOMPARE(found.name, QStringLiteral("Piens 2,5% 1 l"));
    QTEST(found.salePrice.value_or(QString()), "salePrice");
    // The last purchase price after the receipt's surcharge.
    // Read for reference as the terminal never sends it: unrecorded.
    m_fixture->statements().setRecording(false);
    const QString lastPrice = ClientFormat::formatFloat(
        QStringLiteral("0.000"),
        GetLastPrice(m_fixture->module(), 1, 2, QStringLiteral("CENA*(1+ATLAIDE/100)"),
                     QDate::currentDate(), QStringLiteral("CENA")));
    m_fixture->statements().setRecording(true);
    QCOMPARE(found.price.value_or(QString()), price == QLatin1String("<last>") ? lastPrice : price);
    QTEST(found.prefilledQuantity.value_or(QString()), "quantity");
    QTEST(found.clearDiscount, "clearDiscount");
    QVERIFY(m_fixture->messages().isEmpty());
}

void TestDocumentLines::certificatesListed()
{
    // Certificates without stock are listed too when stock is neither used
    // nor shown.
    state().ShowCertifiedStock = false;
    m_lines->Activate(context(DocumentKind::Receiving, 1));
    DocumentLines::LookedUp found = m_lines->LookUp(QStringLiteral("CERT250"), QString());
    QCOMPARE(found.certificates.size(), 200);
    // Fixed-width columns: the name in 40, the stock right-aligned in 7.
    const DocumentLines::Certificate first = found.certificates.first();
    QCOMPARE(first.text.size(), 48);
    QVERIFY(first.text.startsWith(QStringLiteral("S-250 ")));
    QVERIFY(first.text.endsWith(QStringLiteral("      0")));
    QCOMPARE(first.isn,
             value(QStringLiteral("SELECT ISN FROM N_SERTIF WHERE SERTIF = 'S-250'")).toInt());

    // Goods 1 in department 2: certificate 2 with its stock.
    state().ShowCertifiedStock = true;
    found = m_lines->LookUp(QStringLiteral("4750000000011"), QString());
    QCOMPARE(found.certificates.size(), 1);
    QCOMPARE(found.certificates.first().text,
             QStringLiteral("LV-PIENS 2025/01").leftJustified(40) + QStringLiteral("      25"));
    QCOMPARE(found.certificates.first().isn, 2);

    // A name that looks like a placeholder is shown as it is.
    state().ShowCertifiedStock = false;
    m_fixture->run(
        QStringLiteral("INSERT INTO N_SERTIF (SERTIF, ISPRECE) VALUES ('Nr. %1 / %2', 41)"));
    found = m_lines->LookUp(QStringLiteral("STOCK5"), QString());
    QCOMPARE(found.certificates.size(), 1);
    QCOMPARE(found.certificates.first().text,
             QStringLiteral("Nr. %1 / %2").leftJustified(40) + QStringLiteral("       0"));
}

void TestDocumentLines::chosenCertificateIsStored()
{
    // Goods 1 in department 2 has certificate 2; none chosen stores 1.
    for (const bool chosen : {true, false}) {
        const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                                  QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 2"));
        m_lines->Activate(context(DocumentKind::Receiving, doc));
        const DocumentLines::LookedUp found =
            m_lines->LookUp(QStringLiteral("4750000000011"), QString());
        QCOMPARE(found.certificates.size(), 1);
        DocumentLines::Entry e = entry(QStringLiteral("4750000000011"), QStringLiteral("1"));
        if (chosen)
            e.certificateIsn = found.certificates.first().isn;
        const Outcome<DocumentLines::Saved> saved = save(e);
        QVERIFY(!saved.refused());
        QCOMPARE(value(QStringLiteral("SELECT ISSERTIF FROM O_PRECE WHERE ISN = %1")
                           .arg(saved.result().lineIsn))
                     .toInt(),
                 chosen ? 2 : 1);
    }
}

void TestDocumentLines::checks_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");

    const int receiving = int(DocumentKind::Receiving);
    QTest::newRow("no article") << receiving << ""
                                << "1"
                                << "1"
                                << "Nav ievadīts artikuls !!!"
                                << "edArtikuls";
    QTest::newRow("unknown article") << receiving << "NAV"
                                     << "1"
                                     << "1"
                                     << "Artikuls nav atrasts !!!"
                                     << "edArtikuls";
    QTest::newRow("no quantity") << receiving << "4750000000011"
                                 << ""
                                 << "1"
                                 << "Nav ievadīts daudzums !!!"
                                 << "edDaudzums";
    QTest::newRow("no price") << receiving << "4750000000011"
                              << "1"
                              << ""
                              << "Nav ievadīta cena !!!"
                              << "edCena";
    QTest::newRow("goods in memory need no price")
        << int(DocumentKind::GoodsInMemory) << "4750000000011"
        << "1"
        << ""
        << ""
        << "";
}

void TestDocumentLines::checks()
{
    QFETCH(int, kind);
    QFETCH(QString, article);
    QFETCH(QString, quantity);
    QFETCH(QString, price);
    QFETCH(QString, message);
    const qint32 doc = header(DocumentKind(kind), QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 2"));
    m_lines->Activate(context(DocumentKind(kind), doc));
    const int lines = value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE")).toInt();
    const Outcome<DocumentLines::Saved> saved = save(entry(article, quantity, price));
    if (message.isEmpty()) {
        QVERIFY(!saved.refused());
        return;
    }
    QVERIFY(saved.refused());
    QCOMPARE(saved.refusal().message, message);
    QTEST(saved.refusal().field, "field");
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE")).toInt(), lines);
    // The look-up's own word comes first, shown by the window like the rest.
    QCOMPARE(saved.refusal().notice, article == QLatin1String("NAV")
                                         ? QStringLiteral("Nav atrasts artikuls : NAV")
                                         : QString());
    QVERIFY(m_fixture->messages().isEmpty());
}

void TestDocumentLines::stockChecksOfOutgoingKinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<bool>("certified");
    QTest::addColumn<QString>("message");

    const int transfer = int(DocumentKind::Transfer);
    const int writeOut = int(DocumentKind::WriteOut);
    QTest::newRow("transfer of the whole stock") << transfer << "STOCK5"
                                                 << "5" << false << "";
    QTest::newRow("transfer of more than the stock")
        << transfer << "STOCK5"
        << "5,001" << false << "Ievadītais daudzums pārsniedz atlikumu !!!";
    QTest::newRow("a service is never short") << writeOut << "PAK001"
                                              << "3" << false << "";
    // Goods 1 and certificate 2, 25 of it in department 2.
    QTest::newRow("certificate covers it") << writeOut << "4750000000011"
                                           << "25" << true << "";
    QTest::newRow("certificate short") << writeOut << "4750000000011"
                                       << "26" << true
                                       << "Atlikumā nav tik daudz dotā sertifikāta. Atlikums ir "
                                          "25,00";
}

void TestDocumentLines::stockChecksOfOutgoingKinds()
{
    QFETCH(int, kind);
    QFETCH(QString, article);
    QFETCH(QString, quantity);
    QFETCH(bool, certified);
    QFETCH(QString, message);
    state().UseCertifiedStock = certified;
    if (certified) // more on hand than the certificate covers
        m_fixture->run(QStringLiteral("UPDATE O_TEKATLIK SET ATLIKUMS = 100 WHERE ISPRECE = 1 AND "
                                      "ISNODALA = 2 AND NELEGALIZ = 'F'"));
    const bool transfer = DocumentKind(kind) == DocumentKind::Transfer;
    const qint32 doc =
        transfer ? header(DocumentKind(kind), QStringLiteral("O_PARPAV"),
                          QStringLiteral("ISNODALANO, ISNODALAUZ"), QStringLiteral("2, 3"))
                 : header(DocumentKind(kind), QStringLiteral("O_PAVOUT"),
                          QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 7"));
    m_lines->Activate(context(DocumentKind(kind), doc, 2, transfer ? 3 : 7));
    const DocumentLines::LookedUp found = m_lines->LookUp(article, QString());
    QVERIFY(found.found);
    DocumentLines::Entry e = entry(article, quantity);
    if (certified) {
        QVERIFY(!found.certificates.isEmpty());
        e.certificateIsn = found.certificates.first().isn;
    }
    const QString table = transfer ? QStringLiteral("O_PARPRC") : QStringLiteral("O_PRCOUT");
    const QString column = transfer ? QStringLiteral("ISPARVPAV") : QStringLiteral("ISPAVOUT");
    const Outcome<DocumentLines::Saved> saved = save(e);
    const int stored =
        value(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = %3").arg(table, column).arg(doc))
            .toInt();
    if (message.isEmpty()) {
        QVERIFY2(!saved.refused(),
                 qPrintable(saved.refused() ? saved.refusal().message : QString()));
        QCOMPARE(stored, 1);
    } else {
        QVERIFY(saved.refused());
        QCOMPARE(saved.refusal().message, message);
        QCOMPARE(saved.refusal().field, QStringLiteral("edDaudzums"));
        QCOMPARE(stored, 0);
    }
}

void TestDocumentLines::whatEachKindStores_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("check"); // a select of the stored line by :L
    QTest::addColumn<QVariant>("expected");

    // Goods 1: VAT 12. A typed price 12.10 (orders and write-outs: with VAT).
    QTest::newRow("receiving keeps both prices as typed")
        << int(DocumentKind::Receiving)
        << "SELECT CAST(CENA * 1000 AS INTEGER) || '/' || CAST(PARD_CENA * 1000 AS INTEGER) "
           "|| '/' || ATLAIDE || '/' || ISSERTIF FROM O_PRECE WHERE ISN = :L"
        << QVariant(QStringLiteral("12100/2240/5.000000000000000/1"));
    QTest::newRow("transfer keeps its sale price net of VAT")
        << int(DocumentKind::Transfer)
        << "SELECT CAST(PARD_CENA * 1000 AS INTEGER) FROM O_PARPRC WHERE ISN = :L"
        << QVariant(2000);
    QTest::newRow("inventory stores the price as sale price, and the agent")
        << int(DocumentKind::Inventory)
        << "SELECT CAST(PARD_CENA * 100 AS INTEGER) || '/' || ISAGENTS FROM O_PRATL_PRC "
           "WHERE ISN = :L"
        << QVariant(QStringLiteral("1210/2"));
    QTest::newRow("order net of VAT, confirmed quantity")
        << int(DocumentKind::Orders)
        << "SELECT CAST(CENA * 1000 AS INTEGER) || '/' || APSTIPRIN_DAUDZ FROM O_PASPRC "
           "WHERE ISN = :L"
        << QVariant(QStringLiteral("10804/3.000000000000000"));
    QTest::newRow("write-out net of VAT, discount as PIECENOJ")
        << int(DocumentKind::WriteOut)
        << "SELECT CAST(CENA * 1000 AS INTEGER) || '/' || PIECENOJ FROM O_PRCOUT WHERE ISN = :L"
        << QVariant(QStringLiteral("10804/5.000000000000000"));
    QTest::newRow("goods in memory under the department")
        << int(DocumentKind::GoodsInMemory)
        << "SELECT ISNODALA || '/' || DAUDZUMS FROM O_MEMPRECES WHERE ISN = :L"
        << QVariant(QStringLiteral("3/3.000000000000000"));
}

void TestDocumentLines::whatEachKindStores()
{
    QFETCH(int, kind);
    QFETCH(QString, check);
    QFETCH(QVariant, expected);
    const DocumentKind k = DocumentKind(kind);
    const DocumentContext document = newDocument(k);
    const qint32 doc = document.DocIsn;
    m_lines->Activate(document);
    QVERIFY(m_lines->LookUp(QStringLiteral("4750000000011"), QString()).found);
    DocumentLines::Entry e =
        entry(QStringLiteral("4750000000011"), QStringLiteral("3"), QStringLiteral("12,10"));
    e.salePrice = QStringLiteral("2,24");
    e.discount = QStringLiteral("5");
    const Outcome<DocumentLines::Saved> saved = save(e);
    QVERIFY2(!saved.refused(), qPrintable(saved.refused() ? saved.refusal().message : QString()));
    const qint32 line = saved.result().lineIsn;
    QVERIFY(line > 0);
    QCOMPARE(value(QString(check).replace(QStringLiteral(":L"), QString::number(line))).toString(),
             expected.toString());
    // The log names that very line; goods in memory are logged without a number, today.
    QCOMPARE(value(QStringLiteral("SELECT COALESCE(NUMURS, '') FROM O_OPERACIJAS WHERE TAUSTINS = "
                                  "'J' AND ISN_BAZE = %1 AND BAZE = '%2' AND ISPRECE = 1 AND "
                                  "DATUMS = CURRENT_DATE")
                       .arg(line)
                       .arg(m_lines->LineTable()))
                 .toString(),
             k == DocumentKind::GoodsInMemory ? QString() : QStringLiteral("N%1").arg(doc));
}

void TestDocumentLines::numbersTypedEitherWay_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("stored");

    const QLocale latvian(QLocale::Latvian, QLocale::Latvia);
    const QLocale english(QLocale::English, QLocale::UnitedKingdom);
    QTest::newRow("comma on a comma client") << latvian << "2,5" << 2.5;
    QTest::newRow("point on a comma client") << latvian << "2.5" << 2.5;
    QTest::newRow("comma on a point client") << english << "2,5" << 2.5;
    QTest::newRow("point on a point client") << english << "2.5" << 2.5;
    QTest::newRow("not a number is 0") << latvian << "abc" << 0.0;
    QTest::newRow("nan is 0") << latvian << "nan" << 0.0;
    QTest::newRow("inf is 0") << english << "inf" << 0.0;
    QTest::newRow("beyond a double is 0") << latvian << "1e400" << 0.0;
    QTest::newRow("hexadecimal is 0") << english << "0x10" << 0.0;
}

void TestDocumentLines::numbersTypedEitherWay()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    ClientFormat::setLocale(locale);
    state().DecimalPointIsDot = ClientFormat::decimalSeparator() == QLatin1String(".");
    m_lines->Activate(context(DocumentKind::GoodsInMemory, 0, 2));
    const Outcome<DocumentLines::Saved> saved =
        save(entry(QStringLiteral("4750000000011"), typed, QString()));
    QVERIFY(!saved.refused());
    QTEST(value(QStringLiteral("SELECT DAUDZUMS FROM O_MEMPRECES WHERE ISN = %1")
                    .arg(saved.result().lineIsn))
              .toDouble(),
          "stored");
}

void TestDocumentLines::salePriceOfReceipts_data()
{
    QTest::addColumn<int>("department");
    QTest::addColumn<QString>("salePrice");
    QTest::addColumn<QString>("column");
    QTest::addColumn<bool>("updated");

    QTest::newRow("0.004 leaves the catalogue alone") << 2 << "0,004"
                                                      << "PARDCENA1" << false;
    QTest::newRow("0.01 sets level 1") << 2 << "0,01"
                                       << "PARDCENA1" << true;
    QTest::newRow("level 0 sets PARDCENA1") << 20 << "3,33"
                                            << "PARDCENA1" << true;
    QTest::newRow("level 7 sets PARDCENA7") << 21 << "7,77"
                                            << "PARDCENA7" << true;
}

void TestDocumentLines::salePriceOfReceipts()
{
    QFETCH(int, department);
    QFETCH(QString, salePrice);
    QFETCH(QString, column);
    QFETCH(bool, updated);
    m_fixture->run(
        QStringLiteral("UPDATE N_KLPREC SET PARDCENA1 = 2, PARDCENA7 = 2 WHERE ISN = 41"));
    const qint32 doc =
        header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
               QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("%1, 2").arg(department));
    m_lines->Activate(context(DocumentKind::Receiving, doc, department));
    QVERIFY(m_lines->LookUp(QStringLiteral("STOCK5"), QString()).found);
    DocumentLines::Entry e = entry(QStringLiteral("STOCK5"), QStringLiteral("1"));
    e.salePrice = salePrice;
    QVERIFY(!save(e).refused());
    const double now =
        value(QStringLiteral("SELECT %1 FROM N_KLPREC WHERE ISN = 41").arg(column)).toDouble();
    QCOMPARE(now, updated ? ReadNumberField(m_fixture->module().clientState(), salePrice) : 2.0);
}

void TestDocumentLines::salePriceLevelChangedMeanwhile()
{
    // The department moves from level 7 to 5 while the window stays open on
    // its receipt: the next received price goes to the new level.
    const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("21, 2"));
    m_lines->Activate(context(DocumentKind::Receiving, doc, 21));
    QVERIFY(m_lines->LookUp(QStringLiteral("STOCK5"), QString()).found);
    m_fixture->run({"UPDATE N_KLPREC SET PARDCENA5 = 2, PARDCENA7 = 2 WHERE ISN = 41",
                    "UPDATE N_DEPART SET CENKODS = 5 WHERE ISN = 21"});
    DocumentLines::Entry e = entry(QStringLiteral("STOCK5"), QStringLiteral("1"));
    e.salePrice = QStringLiteral("5,55");
    const Outcome<DocumentLines::Saved> saved = save(e);
    m_fixture->run(QStringLiteral("UPDATE N_DEPART SET CENKODS = 7 WHERE ISN = 21"));
    QVERIFY(!saved.refused());
    QCOMPARE(value(QStringLiteral("SELECT PARDCENA5 FROM N_KLPREC WHERE ISN = 41")).toDouble(),
             5.55);
    QCOMPARE(value(QStringLiteral("SELECT PARDCENA7 FROM N_KLPREC WHERE ISN = 41")).toDouble(),
             2.0);
    QCOMPARE(m_goods.PriceCode, 5);
}

void TestDocumentLines::containerLines_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("article");
    QTest::addColumn<int>("container");
    QTest::addColumn<double>("quantity");

    // Goods 7 come with container 9 (0 per unit, counting as 1), goods 8
    // with container 10 (20 per unit).
    QTest::newRow("receiving, factor 0")
        << int(DocumentKind::Receiving) << "4750000000073" << 9 << 3.0;
    QTest::newRow("receiving, factor 20")
        << int(DocumentKind::Receiving) << "4750000000080" << 10 << 60.0;
    QTest::newRow("transfer, factor 20")
        << int(DocumentKind::Transfer) << "4750000000080" << 10 << 60.0;
    QTest::newRow("write-out, factor 0")
        << int(DocumentKind::WriteOut) << "4750000000073" << 9 << 3.0;
    QTest::newRow("inventory, factor 0")
        << int(DocumentKind::Inventory) << "4750000000073" << 9 << 3.0;
}

void TestDocumentLines::containerLines()
{
    QFETCH(int, kind);
    QFETCH(QString, article);
    QFETCH(int, container);
    QFETCH(double, quantity);
    const DocumentKind k = DocumentKind(kind);
    qint32 doc = 0;
    qint32 counterparty = 0;
    QString table;
    QString column;
    switch (k) {
    case DocumentKind::Receiving:
        doc = header(k, QStringLiteral("O_PAVADZ"), QStringLiteral("ISNODALA, ISKLIENT"),
                     QStringLiteral("2, 4"));
        table = QStringLiteral("O_PRECE");
        column = QStringLiteral("ISPAVADZ");
        break;
    case DocumentKind::Transfer:
        doc = header(k, QStringLiteral("O_PARPAV"), QStringLiteral("ISNODALANO, ISNODALAUZ"),
                     QStringLiteral("2, 3"));
        counterparty = 3;
        table = QStringLiteral("O_PARPRC");
        column = QStringLiteral("ISPARVPAV");
        break;
    case DocumentKind::WriteOut:
        doc = header(k, QStringLiteral("O_PAVOUT"), QStringLiteral("ISNODALA, ISKLIENT"),
                     QStringLiteral("2, 7"));
        counterparty = 7;
        table = QStringLiteral("O_PRCOUT");
        column = QStringLiteral("ISPAVOUT");
        break;
    default:
        doc = header(k, QStringLiteral("O_PRATL_PAV"), QStringLiteral("ISNODALA"),
                     QStringLiteral("2"));
        table = QStringLiteral("O_PRATL_PRC");
        column = QStringLiteral("ISPRATLPAV");
        break;
    }
    const double sourceBefore = stock(container, 2);
    const double destinationBefore = stock(container, 3);
    m_lines->Activate(context(k, doc, 2, counterparty));
    QVERIFY(m_lines->LookUp(article, QString()).found);
    const Outcome<DocumentLines::Saved> saved = save(entry(article, QStringLiteral("3")));
    QVERIFY2(!saved.refused(), qPrintable(saved.refused() ? saved.refusal().message : QString()));

    // The container's line, at the container's own price, with no log entry.
    const QString line = QStringLiteral("SELECT %1 FROM ") + table + QStringLiteral(" WHERE ") +
                         column + QStringLiteral(" = %1 AND ISPRECE = %2").arg(doc).arg(container);
    QCOMPARE(value(line.arg(QStringLiteral("DAUDZUMS"))).toDouble(), quantity);
    if (k != DocumentKind::Inventory)
        QCOMPARE(value(line.arg(QStringLiteral("CAST(CENA * 100 AS INTEGER)"))).toInt(), 10);
    if (k == DocumentKind::WriteOut)
        QCOMPARE(value(line.arg(QStringLiteral("NODOKLIS"))).toDouble(), 0.0);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE ISPRECE = %1 AND "
                                  "TAUSTINS = 'J'")
                       .arg(container))
                 .toInt(),
             0);
    // Its stock moves as the main line's does.
    const double moved = stock(container, 2) - sourceBefore;
    switch (k) {
    case DocumentKind::Receiving:
        QCOMPARE(moved, quantity);
        break;
    case DocumentKind::Transfer:
        QCOMPARE(moved, -quantity);
        QCOMPARE(stock(container, 3) - destinationBefore, quantity);
        break;
    case DocumentKind::WriteOut:
        QCOMPARE(moved, -quantity);
        break;
    default:
        QCOMPARE(moved, 0.0);
        break;
    }
}

void TestDocumentLines::writeOutSwitchesAndReset()
{
    const qint32 doc = header(DocumentKind::WriteOut, QStringLiteral("O_PAVOUT"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 7"));
    for (const bool on : {true, false}) {
        state().IzrDaudzums1 = on;
        state().IzrDzestAtlaidi = on;
        m_lines->Activate(context(DocumentKind::WriteOut, doc, 2, 7));
        QVERIFY(m_lines->LookUp(QStringLiteral("PAK001"), QString()).found);
        const Outcome<DocumentLines::Saved> saved =
            save(entry(QStringLiteral("PAK001"), QStringLiteral("1")));
        QVERIFY(!saved.refused());
        QCOMPARE(saved.result().quantity, on ? QStringLiteral("1") : QString());
        QCOMPARE(saved.result().clearDiscount, on);
    }
    // Other kinds empty the quantity and keep the discount.
    m_lines->Activate(context(DocumentKind::GoodsInMemory, 0, 2));
    const Outcome<DocumentLines::Saved> memory =
        save(entry(QStringLiteral("PAK001"), QStringLiteral("1"), QString()));
    QVERIFY(memory.result().quantity.isEmpty());
    QVERIFY(!memory.result().clearDiscount);
}

void TestDocumentLines::changedArticleIsLookedUpAgain()
{
    // A save need not ask for the goods it has just found, but an article
    // typed over since must not be stored as the goods found before it.
    m_lines->Activate(context(DocumentKind::GoodsInMemory, 0, 2));
    QVERIFY(m_lines->LookUp(QStringLiteral("4750000000011"), QString()).found);
    const Outcome<DocumentLines::Saved> saved =
        save(entry(QStringLiteral("4750000000028"), QStringLiteral("1"), QString()));
    QVERIFY(!saved.refused());
    QCOMPARE(value(QStringLiteral("SELECT ISPRECE FROM O_MEMPRECES WHERE ISN = %1")
                       .arg(saved.result().lineIsn))
                 .toInt(),
             2);
    // Nor the goods another window found in the shared record meanwhile.
    QVERIFY(m_lines->LookUp(QStringLiteral("4750000000011"), QString()).found);
    m_goods.Isn = 3;
    const Outcome<DocumentLines::Saved> again =
        save(entry(QStringLiteral("4750000000011"), QStringLiteral("1"), QString()));
    QCOMPARE(value(QStringLiteral("SELECT ISPRECE FROM O_MEMPRECES WHERE ISN = %1")
                       .arg(again.result().lineIsn))
                 .toInt(),
             1);
}

void TestDocumentLines::failureLeavesNothingStored()
{
    // The stock of department 22 refuses every move (the trigger made at the
    // start): the save fails half way, after its line and its log entry.
    const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("22, 4"));
    const int entries = value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS")).toInt();
    const double price =
        value(QStringLiteral("SELECT PARDCENA1 FROM N_KLPREC WHERE ISN = 8")).toDouble();
    m_lines->Activate(context(DocumentKind::Receiving, doc, 22));
    QVERIFY(m_lines->LookUp(QStringLiteral("4750000000080"), QString()).found);
    DocumentLines::Entry e = entry(QStringLiteral("4750000000080"), QStringLiteral("2"));
    e.salePrice = QStringLiteral("30");
    const Outcome<DocumentLines::Saved> saved = save(e);

    QVERIFY(saved.refused());
    QVERIFY(saved.refusal().message.startsWith(
        QStringLiteral("Preces datus saglabāt neizdevās !!!\n")));
    QVERIFY(saved.refusal().message.contains(QStringLiteral("stock is closed")));
    QCOMPARE(saved.refusal().field, QStringLiteral("edArtikuls"));
    // Neither the line, nor its log entry, nor the container, nor the price.
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISPAVADZ = %1").arg(doc)).toInt(),
        0);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS")).toInt(), entries);
    QCOMPARE(value(QStringLiteral("SELECT PARDCENA1 FROM N_KLPREC WHERE ISN = 8")).toDouble(),
             price);
}

void TestDocumentLines::requestsOfOneScannedLine()
{
    // A receiving line with a container and a sale-price update, from the
    // document's first line on: one request for the look-up with its
    // pre-fills and certificates, one for the save, which also brings the
    // saved lines and the total for the list.
    const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 4"));
    m_lines->Activate(context(DocumentKind::Receiving, doc));
    m_lines->RefreshLines(false);
    const ServerConnection& connection = m_fixture->module().SQLConnection1();
    QString total;
    for (int line = 0; line < 2; ++line) {
        const quint64 start = connection.requestCount();
        QVERIFY(m_lines->LookUp(QStringLiteral("4750000000080"), QString()).found);
        const quint64 lookedUp = connection.requestCount();
        DocumentLines::Entry e = entry(QStringLiteral("4750000000080"), QStringLiteral("1"));
        e.salePrice = QStringLiteral("24,50");
        const Outcome<DocumentLines::Saved> saved = save(e);
        QVERIFY(!saved.refused());
        QCOMPARE(lookedUp - start, quint64(1));
        QCOMPARE(connection.requestCount() - lookedUp, quint64(1));
        total = saved.result().total;
    }
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISPAVADZ = %1").arg(doc)).toInt(),
        4); // two lines, two container lines
    QCOMPARE(m_fixture->module().cdsPreces().recordCount(), 4);
    QCOMPARE(total,
             QStringLiteral("Summa : %1")
                 .arg(ClientFormat::formatFloat(
                     QStringLiteral("0.00"),
                     value(QStringLiteral("SELECT KOPSUMMA FROM O_PAVADZ WHERE ISN = %1").arg(doc))
                         .toDouble())));
}

void TestDocumentLines::serverRestartedBetweenTwoLines()
{
    // The server forgets the statements the terminal has sent it; the next
    // line goes through all the same, once.
    const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 4"));
    m_lines->Activate(context(DocumentKind::Receiving, doc));
    m_lines->RefreshLines(false);
    const QString article = QStringLiteral("4750000000080");
    for (int line = 0; line < 2; ++line) {
        if (line == 1)
            QVERIFY(m_fixture->restartServer());
        QVERIFY(m_lines->LookUp(article, QString()).found);
        const Outcome<DocumentLines::Saved> saved = save(entry(article, QStringLiteral("1")));
        QVERIFY2(!saved.refused(), qPrintable(saved.refused() ? saved.refusal().message : ""));
    }
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISPAVADZ = %1").arg(doc)).toInt(),
        4); // two lines, two container lines
    QCOMPARE(m_fixture->module().cdsPreces().recordCount(), 4);
}

void TestDocumentLines::listOfALongDocument()
{
    const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 2"));
    m_fixture->run(QStringLiteral("EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= "
                                  "1200) DO BEGIN INSERT INTO O_PRECE (ISPAVADZ, ISPRECE, "
                                  "DAUDZUMS, CENA) VALUES (%1, 1, 1, 0.5); I = I + 1; END END")
                       .arg(doc));
    m_lines->Activate(context(DocumentKind::Receiving, doc));
    // The first 1000 lines, the total of all 1200.
    QCOMPARE(m_lines->RefreshLines(false), QStringLiteral("Summa : 600,00"));
    RemoteDataSet& lines = m_fixture->module().cdsPreces();
    QCOMPARE(lines.recordCount(), 1000);

    // An inventory lists a blank placeholder until asked for in full.
    const qint32 inventory = header(DocumentKind::Inventory, QStringLiteral("O_PRATL_PAV"),
                                    QStringLiteral("ISNODALA"), QStringLiteral("4"));
    m_fixture->run(QStringLiteral("INSERT INTO O_PRATL_PRC (ISPRATLPAV, ISPRECE, DAUDZUMS) "
                                  "VALUES (%1, 2, 4)")
                       .arg(inventory));
    m_lines->Activate(context(DocumentKind::Inventory, inventory, 4));
    QCOMPARE(m_lines->RefreshLines(false), QStringLiteral("Summa : 0,00"));
    QCOMPARE(lines.recordCount(), 1);
    QVERIFY(!m_lines->LocateLine(QStringLiteral("0"))); // its delete button does nothing
    m_lines->RefreshLines(true);
    QCOMPARE(lines.fieldByName(QStringLiteral("ISPRECE")).asInteger(), 2);

    // Goods in memory of every department.
    m_lines->Activate(context(DocumentKind::GoodsInMemory, 0, 3));
    m_lines->RefreshLines(false);
    QVERIFY(lines.recordCount() >= 3);
}

void TestDocumentLines::compareWithAFullRead(const QString& total)
{
    RemoteDataSet& lines = m_fixture->module().cdsPreces();
    const QList<QVariantList> held = lines.packet().rows;
    QCOMPARE(m_lines->TotalText(), total);
    QCOMPARE(m_lines->RefreshLines(true), total);
    QCOMPARE(held, lines.packet().rows);
}

void TestDocumentLines::heldListMatchesAFullRead_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("article");

    QTest::newRow("receiving, with container lines")
        << int(DocumentKind::Receiving) << QStringLiteral("4750000000080");
    QTest::newRow("transfer") << int(DocumentKind::Transfer) << QStringLiteral("4750000000011");
    QTest::newRow("inventory, its tab opened")
        << int(DocumentKind::Inventory) << QStringLiteral("4750000000011");
    QTest::newRow("order") << int(DocumentKind::Orders) << QStringLiteral("4750000000011");
    QTest::newRow("write-out") << int(DocumentKind::WriteOut) << QStringLiteral("4750000000011");
    QTest::newRow("goods in memory")
        << int(DocumentKind::GoodsInMemory) << QStringLiteral("4750000000011");
}

void TestDocumentLines::heldListMatchesAFullRead()
{
    // Saves and deletions are applied to the list the window holds; after
    // each, it holds what reading the whole list would give.
    QFETCH(int, kind);
    QFETCH(QString, article);
    const DocumentContext document = newDocument(DocumentKind(kind));
    const ServerConnection& connection = m_fixture->module().SQLConnection1();
    RemoteDataSet& lines = m_fixture->module().cdsPreces();
    m_lines->Activate(document);
    m_lines->RefreshLines(false);
    m_lines->ShowList(); // the tab: an inventory's list is read now, the others' held
    QString total;
    for (const char* quantity : {"2", "1,5"}) {
        QVERIFY(m_lines->LookUp(article, QString()).found);
        DocumentLines::Entry e = entry(article, QString::fromLatin1(quantity), "1,25");
        e.salePrice = QStringLiteral("3");
        const Outcome<DocumentLines::Saved> saved = save(e);
        QVERIFY2(!saved.refused(), qPrintable(saved.refused() ? saved.refusal().message : ""));
        total = saved.result().total;
        QVERIFY(lines.locate(QStringLiteral("ISN"), saved.result().lineIsn));
    }
    const quint64 before = connection.requestCount();
    QCOMPARE(m_lines->ShowList(), total); // held: not read again
    QCOMPARE(connection.requestCount(), before);
    compareWithAFullRead(total);

    // The first line deleted: gone from the list, the total with it.
    lines.first();
    const qint32 first = lines.fieldByName(QStringLiteral("ISN")).asInteger();
    const std::optional<DocumentLines::LocatedLine> located =
        m_lines->LocateLine(QString::number(first));
    QVERIFY(located);
    const int count = lines.recordCount();
    m_lines->DeleteLine(*located);
    QCOMPARE(lines.recordCount(), count - 1);
    QVERIFY(!lines.locate(QStringLiteral("ISN"), first));
    compareWithAFullRead(m_lines->TotalText());

    // Another document, then this one again: its own list, read anew.
    const DocumentContext other = newDocument(DocumentKind::Orders);
    m_lines->Activate(other);
    m_lines->RefreshLines(false);
    m_lines->Activate(document);
    const QString reopened = m_lines->RefreshLines(false);
    const QList<QVariantList> expected = lines.packet().rows;
    QCOMPARE(m_lines->ShowList(), reopened);
    if (DocumentKind(kind) == DocumentKind::Inventory)
        QVERIFY(lines.packet().rows != expected); // the placeholder gave way to the lines
    compareWithAFullRead(reopened);
}

void TestDocumentLines::deletionReversesStock_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("counted"); // an inventory of today lists the goods
    QTest::addColumn<double>("source");
    QTest::addColumn<double>("destination");

    QTest::newRow("receiving") << int(DocumentKind::Receiving) << false << -3.0 << 0.0;
    QTest::newRow("transfer back") << int(DocumentKind::Transfer) << false << 3.0 << -3.0;
    QTest::newRow("write-out") << int(DocumentKind::WriteOut) << false << 3.0 << 0.0;
    QTest::newRow("order: no stock") << int(DocumentKind::Orders) << false << 0.0 << 0.0;
    QTest::newRow("inventory: no stock") << int(DocumentKind::Inventory) << false << 0.0 << 0.0;
    QTest::newRow("goods in memory: no stock")
        << int(DocumentKind::GoodsInMemory) << false << 0.0 << 0.0;
    QTest::newRow("receiving of goods being counted: stock left alone")
        << int(DocumentKind::Receiving) << true << 0.0 << 0.0;
}

void TestDocumentLines::deletionReversesStock()
{
    QFETCH(int, kind);
    QFETCH(bool, counted);
    const DocumentKind k = DocumentKind(kind);
    const struct
    {
        QString table;
        QString columns;
        QString values;
        QString lines;
        QString column;
    } kinds[] = {
        {"O_PAVADZ", "ISNODALA, ISKLIENT", "2, 2", "O_PRECE", "ISPAVADZ"},
        {"O_PARPAV", "ISNODALANO, ISNODALAUZ", "2, 3", "O_PARPRC", "ISPARVPAV"},
        {"O_PRATL_PAV", "ISNODALA, DATUMS", "2, DATEADD(-1 DAY TO CURRENT_DATE)", "O_PRATL_PRC",
         "ISPRATLPAV"},
        {"O_PASPAV", "ISNODALA, ISKLIENT", "2, 7", "O_PASPRC", "ISPASPAV"},
        {"O_PAVOUT", "ISNODALA, ISKLIENT", "2, 7", "O_PRCOUT", "ISPAVOUT"},
        {"O_PAVADZ", "ISNODALA", "2", "O_MEMPRECES", "ISNODALA"},
    };
    const auto& rows = kinds[kind];
    const qint32 doc =
        k == DocumentKind::GoodsInMemory ? 2 : header(k, rows.table, rows.columns, rows.values);
    qint32 inventory = 0;
    const auto dropInventory = qScopeGuard([&] {
        if (inventory > 0)
            m_fixture->run(
                {QStringLiteral("DELETE FROM O_PRATL_PRC WHERE ISPRATLPAV = %1").arg(inventory),
                 QStringLiteral("DELETE FROM O_PRATL_PAV WHERE ISN = %1").arg(inventory)});
    });
    if (counted) {
        inventory = header(DocumentKind::Inventory, QStringLiteral("O_PRATL_PAV"),
                           QStringLiteral("ISNODALA, DATUMS"), QStringLiteral("2, CURRENT_DATE"));
        m_fixture->run(QStringLiteral("INSERT INTO O_PRATL_PRC (ISPRATLPAV, ISPRECE, DAUDZUMS) "
                                      "VALUES (%1, 3, 7)")
                           .arg(inventory));
    }
    const int linesBefore = value(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = %3")
                                      .arg(rows.lines, rows.column)
                                      .arg(doc))
                                .toInt();
    // Three lines; the second is the one deleted.
    for (const char* goods : {"INSERT INTO %1 (%2, ISPRECE, DAUDZUMS) VALUES (%3, 2, 1)",
                              "INSERT INTO %1 (%2, ISPRECE, DAUDZUMS) VALUES (%3, 3, 3)",
                              "INSERT INTO %1 (%2, ISPRECE, DAUDZUMS) VALUES (%3, 4, 1)"})
        m_fixture->run(QString::fromLatin1(goods).arg(rows.lines, rows.column).arg(doc));
    const double sourceBefore = stock(3, 2);
    const double destinationBefore = stock(3, 3);
    m_lines->Activate(context(k, doc, 2, k == DocumentKind::Transfer ? 3 : 7));
    const qint32 second =
        value(QStringLiteral("SELECT ISN FROM %1 WHERE %2 = %3 AND ISPRECE = 3 ORDER BY ISN DESC")
                  .arg(rows.lines, rows.column)
                  .arg(doc))
            .toInt();
    m_lines->RefreshLines(true);
    const std::optional<DocumentLines::LocatedLine> located =
        m_lines->LocateLine(QString::number(second));
    QVERIFY(located);
    m_lines->DeleteLine(*located);

    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = %3")
                       .arg(rows.lines, rows.column)
                       .arg(doc))
                 .toInt(),
             linesBefore + 2);
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE ISN = %2").arg(rows.lines).arg(second))
            .toInt(),
        0);
    QTEST(stock(3, 2) - sourceBefore, "source");
    QTEST(stock(3, 3) - destinationBefore, "destination");
    // Logged with a date; goods in memory, whose document has none, today.
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE TAUSTINS = 'D' AND "
                                  "ISN_BAZE = %1 AND BAZE = '%2' AND ISPRECE = 3 AND "
                                  "DATUMS = CURRENT_DATE")
                       .arg(second)
                       .arg(rows.lines))
                 .toInt(),
             1);
}

void TestDocumentLines::deletionActsOnTheLocatedLine()
{
    // The question is asked about the second line; before it is answered the
    // list is read again (its first row current) and the window is given
    // another document. The second line of the first document goes.
    const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 2"));
    const qint32 other = header(DocumentKind::Orders, QStringLiteral("O_PASPAV"),
                                QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("3, 7"));
    for (int goods : {2, 3})
        m_fixture->run(QStringLiteral("INSERT INTO O_PRECE (ISPAVADZ, ISPRECE, DAUDZUMS) VALUES "
                                      "(%1, %2, 4)")
                           .arg(doc)
                           .arg(goods));
    const QString lines = QStringLiteral("SELECT LIST(ISPRECE) FROM O_PRECE WHERE ISPAVADZ = %1");
    const double stockBefore = stock(3, 2);
    m_lines->Activate(context(DocumentKind::Receiving, doc));
    m_lines->RefreshLines(true);
    const qint32 second =
        value(
            QStringLiteral("SELECT ISN FROM O_PRECE WHERE ISPAVADZ = %1 AND ISPRECE = 3").arg(doc))
            .toInt();
    const std::optional<DocumentLines::LocatedLine> located =
        m_lines->LocateLine(QString::number(second));
    QVERIFY(located);
    m_lines->RefreshLines(true);
    m_lines->Activate(context(DocumentKind::Orders, other, 3, 7));
    m_lines->RefreshLines(false);

    m_lines->DeleteLine(*located);
    QCOMPARE(value(lines.arg(doc)).toString(), QStringLiteral("2"));
    QCOMPARE(stock(3, 2), stockBefore - 4);
    QCOMPARE(value(QStringLiteral("SELECT NUMURS || '/' || BAZE FROM O_OPERACIJAS WHERE "
                                  "TAUSTINS = 'D' AND ISN_BAZE = %1")
                       .arg(second))
                 .toString(),
             QStringLiteral("N%1/O_PRECE").arg(doc));
}

FaultProxy& TestDocumentLines::throughRelay()
{
    m_relay = std::make_unique<FaultProxy>(m_fixture->server().port());
    ServerConnection& connection = m_fixture->module().SQLConnection1();
    connection.setConnected(false);
    connection.setPort(m_relay->port());
    return *m_relay;
}

qint32 TestDocumentLines::receivingOpened()
{
    const qint32 doc = header(DocumentKind::Receiving, QStringLiteral("O_PAVADZ"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 4"));
    m_lines->Activate(context(DocumentKind::Receiving, doc));
    m_lines->RefreshLines(false);
    return doc;
}

int TestDocumentLines::linesOf(qint32 doc)
{
    return value(QStringLiteral("SELECT COUNT(*) FROM O_PRECE WHERE ISPAVADZ = %1").arg(doc))
        .toInt();
}

// The server stores the line and its reply is lost with the connection: the
// terminal sends the save again at once, which finds it stored, and the
// worker sees the line saved, once, in the list and the total.
void TestDocumentLines::lostReplyToASave()
{
    FaultProxy& relay = throughRelay();
    const qint32 doc = receivingOpened();
    const QString article = QStringLiteral("4750000000080"); // with a container line
    QVERIFY(m_lines->LookUp(article, QString()).found);
    QVERIFY(!save(entry(article, QStringLiteral("1"))).refused()); // the first line goes well
    const double stockBefore = stock(8, 2);

    relay.swallowNextReply();
    const Outcome<DocumentLines::Saved> saved = save(entry(article, QStringLiteral("2")));
    QVERIFY2(!saved.refused(), qPrintable(saved.refused() ? saved.refusal().message : ""));
    QCOMPARE(relay.repliesSwallowed(), 1);
    QCOMPARE(linesOf(doc), 4); // each line with its container line
    QCOMPARE(stock(8, 2), stockBefore + 2);
    QCOMPARE(
        saved.result().lineIsn,
        value(
            QStringLiteral(
                "SELECT MAX(ISN) FROM O_PRECE WHERE ISPAVADZ = %1 AND ISPRECE = 8 AND DAUDZUMS = 2")
                .arg(doc))
            .toInt());
    compareWithAFullRead(saved.result().total);
}

// The reply is lost and the server cannot be reached at once: the save is
// refused with its message. Saved again with the same figures once the
// link is back, it is stored once; with other figures, it is a line of its
// own.
void TestDocumentLines::saveAgainAfterALostReply()
{
    FaultProxy& relay = throughRelay();
    const qint32 doc = receivingOpened();
    const QString article = QStringLiteral("4750000000080");
    QVERIFY(m_lines->LookUp(article, QString()).found);
    const double stockBefore = stock(8, 2);

    NewUnitIdentity(m_fixture->module()); // the connection has read the log's newest key

    relay.refuse(true);
    relay.swallowNextReply();
    const Outcome<DocumentLines::Saved> failed = save(entry(article, QStringLiteral("3")));
    QVERIFY(failed.refused());
    QVERIFY(failed.refusal().message.startsWith(QStringLiteral("Preces datus saglabāt")));
    QCOMPARE(linesOf(doc), 2); // stored all the same

    relay.refuse(false);
    QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->module().SQLConnection1().isOffline(), 20000);
    const Outcome<DocumentLines::Saved> again = save(entry(article, QStringLiteral("3")));
    QVERIFY2(!again.refused(), qPrintable(again.refused() ? again.refusal().message : ""));
    QCOMPARE(linesOf(doc), 2);
    QCOMPARE(stock(8, 2), stockBefore + 3);
    compareWithAFullRead(again.result().total);

    const Outcome<DocumentLines::Saved> another = save(entry(article, QStringLiteral("3")));
    QVERIFY(!another.refused());
    QCOMPARE(linesOf(doc), 4);
    QCOMPARE(stock(8, 2), stockBefore + 6);
}

// A deletion whose reply is lost puts the stock back once, and the list
// and total are as a read gives them.
void TestDocumentLines::lostReplyToADeletion()
{
    FaultProxy& relay = throughRelay();
    const qint32 doc = receivingOpened();
    m_fixture->run(
        QStringLiteral("INSERT INTO O_PRECE (ISPAVADZ, ISPRECE, DAUDZUMS) VALUES (%1, 3, 4)")
            .arg(doc));
    const qint32 line =
        value(QStringLiteral("SELECT ISN FROM O_PRECE WHERE ISPAVADZ = %1").arg(doc)).toInt();
    m_lines->RefreshLines(true);
    const std::optional<DocumentLines::LocatedLine> located =
        m_lines->LocateLine(QString::number(line));
    QVERIFY(located);
    const double stockBefore = stock(3, 2);

    NewUnitIdentity(m_fixture->module()); // the connection has read the log's newest key

    relay.swallowNextReply();
    m_lines->DeleteLine(*located);
    QCOMPARE(relay.repliesSwallowed(), 1);
    QCOMPARE(linesOf(doc), 0);
    QCOMPARE(stock(3, 2), stockBefore - 4);
    // Deleted again from a list that still showed it: nothing more moves.
    m_lines->DeleteLine(*located);
    QCOMPARE(stock(3, 2), stockBefore - 4);
    compareWithAFullRead(m_lines->TotalText());
}

// The server cannot be reached for a while: the lines saved meanwhile are
// kept on the terminal, survive the program's restart, and once the server
// answers go to it in order, each stored once, though a reply is lost on
// the way.
void TestDocumentLines::linesOfAnOutageSentOnceInOrder()
{
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("local.sqlite"));
    TClientDataModule& module = m_fixture->module();
    module.openTerminalStore(file);
    FaultProxy& relay = throughRelay();
    const qint32 doc = receivingOpened();
    const QString article = QStringLiteral("4750000000080");
    QVERIFY(m_lines->LookUp(article, QString()).found);
    QVERIFY(!save(entry(article, QStringLiteral("1"))).refused());
    const QString totalBefore = m_lines->TotalText();
    const double stockBefore = stock(8, 2);

    module.terminalStore()->goods().refresh(module);

    relay.refuse(true);
    relay.cutAll();
    // Looked up in the terminal's copy of the catalogue meanwhile.
    const DocumentLines::LookedUp found = m_lines->LookUp(article, QString());
    QVERIFY(found.found);
    QCOMPARE(found.name,
             value(QStringLiteral("SELECT GNOS FROM N_KLPREC WHERE ISN = 8")).toString());
    QVERIFY(!found.prefilledQuantity);
    for (const char* quantity : {"2", "3", "4"}) {
        const Outcome<DocumentLines::Saved> saved = save(entry(article, quantity));
        QVERIFY2(!saved.refused(), qPrintable(saved.refused() ? saved.refusal().message : ""));
        QVERIFY(saved.result().queued);
        QCOMPARE(saved.result().total, totalBefore);
    }
    QCOMPARE(m_lines->QueuedCount(), 3);
    QVERIFY(m_lines->SendQueued(10)); // still down: nothing sent
    QCOMPARE(linesOf(doc), 2);

    // The program restarts with the lines kept.
    module.closeTerminalStore();
    module.openTerminalStore(file);
    QCOMPARE(m_lines->QueuedCount(), 3);

    relay.refuse(false);
    QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->module().SQLConnection1().isOffline(), 20000);
    relay.swallowNextReply();
    QVERIFY(!m_lines->SendQueued(10));
    QCOMPARE(relay.repliesSwallowed(), 1);
    QCOMPARE(m_lines->QueuedCount(), 0);
    QCOMPARE(stock(8, 2), stockBefore + 9);
    // Each once, in the order they were scanned.
    QCOMPARE(
        value(QStringLiteral(
                  "SELECT LIST(CAST(DAUDZUMS AS INTEGER), ',') FROM (SELECT DAUDZUMS FROM O_PRECE "
                  "WHERE ISPAVADZ = %1 AND ISPRECE = 8 ORDER BY ISN)")
                  .arg(doc))
            .toString(),
        QStringLiteral("1,2,3,4"));
    compareWithAFullRead(m_lines->TotalText());
}

// A line kept while the server could not be reached is refused when it is
// finally sent (more than the stock): it stays in the queue with the
// refusal's message, and nothing of it is stored.
void TestDocumentLines::queuedLineRefusedWhenSent()
{
    QTemporaryDir folder;
    m_fixture->module().openTerminalStore(folder.filePath(QStringLiteral("local.sqlite")));
    FaultProxy& relay = throughRelay();
    const qint32 doc = header(DocumentKind::WriteOut, QStringLiteral("O_PAVOUT"),
                              QStringLiteral("ISNODALA, ISKLIENT"), QStringLiteral("2, 7"));
    m_lines->Activate(context(DocumentKind::WriteOut, doc, 2, 7));
    m_lines->RefreshLines(false);
    QVERIFY(m_lines->LookUp(QStringLiteral("STOCK5"), QString()).found);

    relay.refuse(true);
    relay.cutAll();
    QVERIFY(save(entry(QStringLiteral("STOCK5"), QStringLiteral("9"))).result().queued);
    relay.refuse(false);
    QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->module().SQLConnection1().isOffline(), 20000);
    QVERIFY(!m_lines->SendQueued(10));

    QCOMPARE(m_lines->QueuedCount(), 0);
    const QList<QueuedLine> refused = m_fixture->module().terminalStore()->queue().refused();
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused[0].article, QStringLiteral("STOCK5"));
    QCOMPARE(refused[0].quantity, 9.0);
    QCOMPARE(refused[0].message, QStringLiteral("Ievadītais daudzums pārsniedz atlikumu !!!"));
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM O_PRCOUT WHERE ISPAVOUT = %1").arg(doc)).toInt(),
        0);
}

// Two terminals lose the server while scanning into the same document and
// keep their lines; back, each sends its own in its own order, and the
// document holds every line once, with the total as stored.
void TestDocumentLines::twoTerminalsQueueIntoOneDocument()
{
    QTemporaryDir folder;
    TClientDataModule& first = m_fixture->module();
    first.openTerminalStore(folder.filePath(QStringLiteral("first.sqlite")));
    FaultProxy& relay = throughRelay();
    const qint32 doc = receivingOpened();

    TClientDataModule second;
    second.SQLConnection1().setHostName(QStringLiteral("127.0.0.1"));
    second.SQLConnection1().setPort(relay.port());
    second.clientState() = first.clientState();
    second.openTerminalStore(folder.filePath(QStringLiteral("second.sqlite")));
    GoodsInfo secondGoods;
    DocumentLines secondLines(second, secondGoods);
    secondLines.Activate(context(DocumentKind::Receiving, doc));
    secondLines.RefreshLines(false);

    const QString article = QStringLiteral("4750000000080");
    QVERIFY(m_lines->LookUp(article, QString()).found);
    QVERIFY(secondLines.LookUp(article, QString()).found);
    const double stockBefore = stock(8, 2);
    relay.refuse(true);
    relay.cutAll();
    QString cut;
    for (int q = 1; q <= 2; ++q) {
        QVERIFY(save(entry(article, QString::number(q))).result().queued);
        QVERIFY(secondLines.Save(entry(article, QString::number(10 + q)), cut).result().queued);
    }

    relay.refuse(false);
    QTRY_VERIFY_WITH_TIMEOUT(!first.SQLConnection1().isOffline(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!second.SQLConnection1().isOffline(), 20000);
    QVERIFY(!secondLines.SendQueued(10));
    QVERIFY(!m_lines->SendQueued(10));
    QCOMPARE(m_lines->QueuedCount() + secondLines.QueuedCount(), 0);
    QCOMPARE(value(QStringLiteral("SELECT LIST(CAST(DAUDZUMS AS INTEGER), ',') FROM (SELECT "
                                  "DAUDZUMS FROM O_PRECE WHERE ISPAVADZ = %1 AND ISPRECE = 8 "
                                  "ORDER BY ISN)")
                       .arg(doc))
                 .toString(),
             QStringLiteral("11,12,1,2"));
    QCOMPARE(stock(8, 2), stockBefore + 26);
    compareWithAFullRead(m_lines->TotalText());
}

QTEST_GUILESS_MAIN(TestDocumentLines)
#include "tst_documentlines.moc"
