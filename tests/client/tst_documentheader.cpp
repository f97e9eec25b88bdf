// The document header's data work on the demo installation: the checks of a
// save, one header row per number, department, counterparty and date, the
// header's log entry naming its own row even when terminals save at once,
// the client's terms, the new-number proposals and their counters, the
// counterparty search, and the period list with a picked document.

#include "client/core/clientformat.h"
#include "client/core/documentheader.h"
#include "common/remoteerror.h"
#include "tests/client/serverfixture.h"

#include <QSet>
#include <QTest>
#include <QThread>

#include <memory>

class TestDocumentHeader final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void checks_data();
    void checks();
    void sameHeaderOrANewOne_data();
    void sameHeaderOrANewOne();
    void clientTermsOfOrdersAndWriteOuts();
    void goodsInMemoryTouchNothing();
    void failureIsReportedAndNothingStored();
    void numberProposals_data();
    void numberProposals();
    void countersNeverGiveOneNumberTwice();
    void counterpartySearch_data();
    void counterpartySearch();
    void listAndPick();

private:
    int department(const QString& name) const;
    int count(const QString& sql) { return m_fixture->value(sql).toInt(); }
    DocumentHeader::Input input(DocumentKind kind, const QString& number, const QString& client);

    std::unique_ptr<ServerFixture> m_fixture;
    std::unique_ptr<DocumentHeader> m_header;
};

namespace {

const QString kRiga = QStringLiteral("Veikals \"Centrs\" Rīgā");
const QString kJelgava = QStringLiteral("Veikals Jelgavā");
const QString kOgre = QStringLiteral("Noliktava Ogrē");
const QString kLiepaja = QStringLiteral("Veikals Liepājā");

QString today()
{
    return ClientFormat::dateToText(QDate::currentDate());
}

} // namespace

void TestDocumentHeader::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>(TestDatabase::Content::Demo);
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    m_fixture->module().clientState().CurrentUser = QStringLiteral("ANNA");
    m_header = std::make_unique<DocumentHeader>(m_fixture->module());
    QVERIFY(m_header->LoadDepartments().size() > 0);
    // Made before any save: the server keeps its prepared statements, and one
    // prepared before a trigger existed does not run it.
    m_fixture->run({"CREATE EXCEPTION TEST_NO_LOG 'the log is closed'",
                    "CREATE TRIGGER TEST_NO_LOG FOR O_OPERACIJAS BEFORE INSERT AS BEGIN "
                    "IF (NEW.NUMURS = 'NO-LOG') THEN EXCEPTION TEST_NO_LOG; END"});
}

void TestDocumentHeader::init()
{
    m_fixture->messages().clear();
}

void TestDocumentHeader::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    m_header.reset();
    m_fixture.reset();
}

int TestDocumentHeader::department(const QString& name) const
{
    return int(m_header->departments().names.indexOf(name));
}

DocumentHeader::Input TestDocumentHeader::input(DocumentKind kind, const QString& number,
                                                const QString& client)
{
    DocumentHeader::Input in;
    in.kind = kind;
    in.number = number;
    in.dateText = today();
    in.departmentIndex = department(kRiga);
    if (kind == DocumentKind::Transfer) {
        m_header->SearchCounterparties(kind, QString(), true);
        in.counterpartyIndex = int(m_header->counterparties().names.indexOf(client));
    } else if (!client.isEmpty()) {
        m_header->SearchCounterparties(kind, client, true);
        in.counterpartyIndex = m_header->counterparties().size() > 0 ? 0 : -1;
    }
    return in;
}

void TestDocumentHeader::checks_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("department");
    QTest::addColumn<bool>("counterparty");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");

    const int receiving = int(DocumentKind::Receiving);
    QTest::newRow("no number") << receiving << "" << today() << true << true
                               << "Nav ievadīts numurs !!!"
                               << "edPZ_Numurs";
    QTest::newRow("no date") << receiving << "1"
                             << "" << true << true << "Nav ievadīts datums !!!"
                             << "edDatums";
    QTest::newRow("not a date") << receiving << "1"
                                << "31.02.2026" << true << true
                                << "Datums nav atpazīstamā formātā. Jābūt dd.mm.yyyy"
                                << "edDatums";
    QTest::newRow("no department")
        << receiving << "1" << today() << false << true << "Nav izvēlēta nodaļa !!!"
        << "cmbNodala";
    QTest::newRow("no client") << receiving << "1" << today() << true << false
                               << "Nav izvēlēts klients !!!"
                               << "cmbKlients";
    QTest::newRow("no destination") << int(DocumentKind::Transfer) << "1" << today() << true
                                    << false << "Nav izvēlēta nodaļa UZ !!!"
                                    << "cmbKlients";
    QTest::newRow("goods in memory need only the department")
        << int(DocumentKind::GoodsInMemory) << ""
        << "" << false << false << "Nav izvēlēta nodaļa !!!"
        << "cmbNodala";
}

void TestDocumentHeader::checks()
{
    QFETCH(int, kind);
    QFETCH(bool, department);
    QFETCH(bool, counterparty);
    const int headers = count(QStringLiteral("SELECT COUNT(*) FROM O_PAVADZ"));
    DocumentHeader::Input in = input(DocumentKind(kind), QString(), QStringLiteral("Piena"));
    QFETCH(QString, number);
    QFETCH(QString, date);
    in.number = number;
    in.dateText = date;
    if (!department)
        in.departmentIndex = -1;
    if (!counterparty)
        in.counterpartyIndex = -1;
    const Outcome<DocumentContext> saved = m_header->Save(in);
    QVERIFY(saved.refused());
    QTEST(saved.refusal().message, "message");
    QTEST(saved.refusal().field, "field");
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_PAVADZ")), headers);
}

void TestDocumentHeader::sameHeaderOrANewOne_data()
{
    QTest::addColumn<QString>("change");

    QTest::newRow("number") << "number";
    QTest::newRow("department") << "department";
    QTest::newRow("client") << "client";
    QTest::newRow("date") << "date";
}

void TestDocumentHeader::sameHeaderOrANewOne()
{
    QFETCH(QString, change);
    const QString number = QStringLiteral("H-") + change;
    const DocumentHeader::Input first =
        input(DocumentKind::Receiving, number, QStringLiteral("Piena"));
    const Outcome<DocumentContext> made = m_header->Save(first);
    QVERIFY(!made.refused());
    const qint32 isn = made.result().DocIsn;
    QVERIFY(isn > 0);
    // The new header with its log entry naming it.
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE TAUSTINS = 'J' AND "
                                  "BAZE = 'O_PAVADZ' AND ISN_BAZE = %1 AND NUMURS = '%2'")
                       .arg(isn)
                       .arg(number)),
             1);
    QCOMPARE(
        m_fixture->value(QStringLiteral("SELECT ISKLIENT FROM O_PAVADZ WHERE ISN = %1").arg(isn))
            .toInt(),
        2);

    // The same four values reach the same row, and log nothing new.
    const Outcome<DocumentContext> again = m_header->Save(first);
    QCOMPARE(again.result().DocIsn, isn);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE ISN_BAZE = %1 AND "
                                  "BAZE = 'O_PAVADZ'")
                       .arg(isn)),
             1);

    DocumentHeader::Input other = first;
    if (change == QLatin1String("number"))
        other.number += QStringLiteral("b");
    else if (change == QLatin1String("department"))
        other.departmentIndex = department(kJelgava);
    else if (change == QLatin1String("client"))
        other = input(DocumentKind::Receiving, number, QStringLiteral("maiznieks"));
    else
        other.dateText = ClientFormat::dateToText(QDate::currentDate().addDays(-1));
    const Outcome<DocumentContext> changed = m_header->Save(other);
    QVERIFY(!changed.refused());
    QVERIFY(changed.result().DocIsn != isn);
}

void TestDocumentHeader::clientTermsOfOrdersAndWriteOuts()
{
    // SIA "Būvnieks un Ko": supplier and buyer, 10 % off, 45 days, payment kind 3.
    const Outcome<DocumentContext> order = m_header->Save(
        input(DocumentKind::Orders, QStringLiteral("O-1"), QStringLiteral("Būvnieks")));
    QVERIFY(!order.refused());
    QVERIFY(order.result().ClientIsSupplier);
    QCOMPARE(order.result().ClientDiscount, 10.0);
    const QString row = QStringLiteral("SELECT %1 FROM O_PASPAV WHERE ISN = %2");
    const qint32 isn = order.result().DocIsn;
    QCOMPARE(m_fixture->value(row.arg(QStringLiteral("PIEGADPIRCEJS")).arg(isn)).toInt(), 1);
    QCOMPARE(m_fixture->value(row.arg(QStringLiteral("PIECENOJ")).arg(isn)).toDouble(), 10.0);
    QCOMPARE(m_fixture->value(row.arg(QStringLiteral("ISAPMAKSVEIDS")).arg(isn)).toInt(), 3);
    QCOMPARE(m_fixture->value(row.arg(QStringLiteral("APM_LIDZ")).arg(isn)).toDate(),
             QDate::currentDate().addDays(45));

    // Jānis Bērziņš: a buyer only, payment kind 0 raised to 1.
    const Outcome<DocumentContext> writeOut = m_header->Save(
        input(DocumentKind::WriteOut, QStringLiteral("W-1"), QStringLiteral("Bērziņš")));
    QVERIFY(!writeOut.refused());
    QVERIFY(!writeOut.result().ClientIsSupplier); // asked of orders only
    const QString out = QStringLiteral("SELECT %1 FROM O_PAVOUT WHERE ISN = %2");
    QCOMPARE(
        m_fixture->value(out.arg(QStringLiteral("ISAPMAKSVEIDS")).arg(writeOut.result().DocIsn))
            .toInt(),
        1);
    QCOMPARE(m_fixture->value(out.arg(QStringLiteral("DAT_ATKR")).arg(writeOut.result().DocIsn))
                 .toDate(),
             QDate::currentDate());
}

void TestDocumentHeader::goodsInMemoryTouchNothing()
{
    const int entries = count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS"));
    const qint32 previous = m_header->DocIsn();
    DocumentHeader::Input in;
    in.kind = DocumentKind::GoodsInMemory;
    in.departmentIndex = department(kJelgava);
    const Outcome<DocumentContext> saved = m_header->Save(in);
    QVERIFY(!saved.refused());
    QCOMPARE(saved.result().DocKind, DocumentKind::GoodsInMemory);
    QCOMPARE(saved.result().DocIsn, previous);
    QCOMPARE(saved.result().DepartmentIsn, 3);
    QVERIFY(!saved.result().DocDate.isValid());
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS")), entries);
}

void TestDocumentHeader::failureIsReportedAndNothingStored()
{
    // The log refuses this number's entry (the trigger made at the start):
    // the header must not stay behind without it.
    const Outcome<DocumentContext> saved =
        m_header->Save(input(DocumentKind::Inventory, QStringLiteral("NO-LOG"), QString()));
    QVERIFY(saved.refused());
    QVERIFY2(saved.refusal().message.startsWith(QStringLiteral("Saglabāt neizdevās !!!\n")),
             qPrintable(saved.refusal().message));
    QVERIFY(saved.refusal().message.contains(QStringLiteral("the log is closed")));
    QCOMPARE(saved.refusal().field, QStringLiteral("edPZ_Numurs"));
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM O_PRATL_PAV WHERE NR_PAVADZ = 'NO-LOG'")),
             0);
}

void TestDocumentHeader::numberProposals_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("department");
    QTest::addColumn<QString>("counter"); // the counter's text before, "-" for NULL
    QTest::addColumn<QString>("proposal");
    QTest::addColumn<QString>("after"); // the counter's text after, "-" for NULL

    const int orders = int(DocumentKind::Orders);
    const int writeOuts = int(DocumentKind::WriteOut);
    QTest::newRow("order counter 41") << orders << kRiga << "41"
                                      << "41"
                                      << "42";
    QTest::newRow("order counter with blanks") << orders << kRiga << " 7 "
                                               << "7"
                                               << "8";
    // The highest all-digit number, in the text's order: "9" before "10".
    QTest::newRow("empty order counter: the scan, counter untouched") << orders << kJelgava << ""
                                                                      << "10"
                                                                      << "";
    QTest::newRow("NULL order counter") << orders << kOgre << "-"
                                        << "10"
                                        << "-";
    QTest::newRow("counter not a number: the scan") << orders << kLiepaja << "A-5"
                                                    << "10"
                                                    << "A-5";
    QTest::newRow("write-out counter 16") << writeOuts << kRiga << "16"
                                          << "16"
                                          << "17";
    QTest::newRow("empty write-out counter") << writeOuts << kOgre << ""
                                             << "16"
                                             << "";
    // Transfers keep no counter: the next after their own highest.
    QTest::newRow("transfer") << int(DocumentKind::Transfer) << kRiga << "-"
                              << "4"
                              << "-";
    QTest::newRow("receiving proposes nothing") << int(DocumentKind::Receiving) << kRiga << "-"
                                                << ""
                                                << "-";
}

void TestDocumentHeader::numberProposals()
{
    QFETCH(int, kind);
    QFETCH(QString, department);
    QFETCH(QString, counter);
    const QString column = DocumentKind(kind) == DocumentKind::WriteOut
                               ? QStringLiteral("OUTPZNR_1")
                               : QStringLiteral("PASUTPZNR_1");
    const int isn = m_header->departments().isns.at(this->department(department));
    if (counter != QLatin1String("-") && kind != int(DocumentKind::Transfer) &&
        kind != int(DocumentKind::Receiving))
        m_fixture->run(
            QStringLiteral("UPDATE N_DEPART SET %1 = :V WHERE ISN = %2").arg(column).arg(isn),
            {{QStringLiteral("V"), counter}});
    else if (kind == int(DocumentKind::Orders) || kind == int(DocumentKind::WriteOut))
        m_fixture->run(
            QStringLiteral("UPDATE N_DEPART SET %1 = NULL WHERE ISN = %2").arg(column).arg(isn));

    const Outcome<QString> proposal =
        m_header->ProposeNumber(DocumentKind(kind), this->department(department));
    QVERIFY(!proposal.refused());
    QTEST(proposal.result(), "proposal");
    const QVariant stored = m_fixture->value(
        QStringLiteral("SELECT %1 FROM N_DEPART WHERE ISN = %2").arg(column).arg(isn));
    if (kind == int(DocumentKind::Orders) || kind == int(DocumentKind::WriteOut))
        QTEST(stored.isNull() ? QStringLiteral("-") : stored.toString(), "after");

    // Without a department there is nothing to count from.
    const Outcome<QString> none = m_header->ProposeNumber(DocumentKind(kind), -1);
    if (kind != int(DocumentKind::Receiving)) {
        QVERIFY(none.refused());
        QCOMPARE(none.refusal().message, QStringLiteral("Nav izvēlēta nodaļa !!!"));
    }
}

void TestDocumentHeader::countersNeverGiveOneNumberTwice()
{
    m_fixture->run(QStringLiteral("UPDATE N_DEPART SET PASUTPZNR_1 = '100' WHERE ISN = 2"));
    constexpr int kTerminals = 3;
    constexpr int kEach = 8;
    const QString host = m_fixture->module().SQLConnection1().hostName();
    const quint16 port = m_fixture->module().SQLConnection1().port();
    QList<QStringList> proposals(kTerminals);
    QStringList errors;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kTerminals; ++t) {
        threads.emplace_back(QThread::create([&, t] {
            OwnTerminal terminal(host, port, QStringLiteral("dspTempQuery"));
            RemoteDataSet& query = terminal.dataSet;
            try {
                for (int i = 0; i < kEach; ++i) {
                    for (int attempt = 0;; ++attempt) {
                        query.close();
                        query.setCommandText(
                            QStringLiteral("SELECT PASUTPZNR_1 PZNR FROM N_DEPART WHERE ISN=2"));
                        query.open();
                        const QString stored = query.fieldByName(QStringLiteral("PZNR")).asString();
                        query.close();
                        query.setCommandText(QStringLiteral(
                            "EXECUTE BLOCK (N VARCHAR(20) = :N, OLD VARCHAR(20) = :OLD) RETURNS "
                            "(U INTEGER) AS BEGIN UPDATE N_DEPART SET PASUTPZNR_1=:N WHERE ISN=2 "
                            "AND PASUTPZNR_1=:OLD; U = ROW_COUNT; SUSPEND; END"));
                        query.setTextParam(QStringLiteral("N"),
                                           QString::number(stored.toInt() + 1));
                        query.setTextParam(QStringLiteral("OLD"), stored);
                        try {
                            query.open();
                        } catch (const RemoteError&) {
                            continue; // a concurrent write of the counter: read it again
                        }
                        if (query.fieldByName(QStringLiteral("U")).asInteger() > 0) {
                            proposals[t] << stored;
                            break;
                        }
                        if (attempt > 50)
                            throw std::runtime_error("no progress");
                    }
                }
            } catch (const std::exception& error) {
                errors << QString::fromUtf8(error.what());
            }
        }));
    }
    for (auto& thread : threads)
        thread->start();
    // And this terminal through the window's own procedure meanwhile.
    QStringList mine;
    for (int i = 0; i < kEach; ++i)
        mine << m_header->ProposeNumber(DocumentKind::Orders, department(kRiga)).result();
    for (auto& thread : threads)
        QVERIFY(thread->wait(60000));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('|')));
    QSet<QString> all(mine.cbegin(), mine.cend());
    for (const QStringList& list : proposals)
        for (const QString& number : list)
            all.insert(number);
    QCOMPARE(int(all.size()), (kTerminals + 1) * kEach);
    QCOMPARE(m_fixture->value(QStringLiteral("SELECT PASUTPZNR_1 FROM N_DEPART WHERE ISN = 2")),
             QVariant(QString::number(100 + (kTerminals + 1) * kEach)));
}

void TestDocumentHeader::counterpartySearch_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("suppliers for receiving")
        << int(DocumentKind::Receiving) << "SIA"
        << QStringList{"SIA \"Būvnieks un Ko\"", "SIA \"Dzērienu nams\"", "SIA \"Piena ceļš\"",
                       "SIA \"Ķekavas gaļa\""};
    QTest::newRow("buyers for write-outs")
        << int(DocumentKind::WriteOut) << "SIA"
        << QStringList{"SIA \"Būvnieks un Ko\"", "SIA \"Kafejnīca Ūdensroze\"", "SIA \"Žagars\""};
    QTest::newRow("anyone for orders")
        << int(DocumentKind::Orders) << "Ēnas" << QStringList{"IK \"Ēnas\""};
    // An apostrophe is a character to look for, not the end of the statement.
    QTest::newRow("apostrophe") << int(DocumentKind::Orders) << "O'Brien"
                                << QStringList{"O'Brien & dēli"};
    QTest::newRow("SQL in the text finds nothing")
        << int(DocumentKind::Orders) << "' OR 1=1 OR '" << QStringList{};
}

void TestDocumentHeader::counterpartySearch()
{
    QFETCH(int, kind);
    QFETCH(QString, typed);
    if (count(QStringLiteral("SELECT COUNT(*) FROM N_KLIENT WHERE ISN = 40")) == 0)
        m_fixture->run(QStringLiteral("INSERT INTO N_KLIENT (ISN, GNOS, PIEGADAT, PIRCEJS) VALUES "
                                      "(40, 'O''Brien & dēli', 'F', 'T')"));
    QTEST(m_header->SearchCounterparties(DocumentKind(kind), typed, true).names, "found");
    // Without asking for it nothing is read, and the list is empty.
    QVERIFY(m_header->SearchCounterparties(DocumentKind(kind), typed, false).names.isEmpty());
}

void TestDocumentHeader::listAndPick()
{
    // The demo's transfer 3 of today, 2 -> 3.
    QVERIFY(!m_header
                 ->RefreshDocumentList(DocumentKind::Transfer, QDate::currentDate(),
                                       QDate::currentDate())
                 .refused());
    RemoteDataSet& documents = m_fixture->module().cdsPavadzimes();
    QVERIFY(documents.recordCount() >= 1);
    const std::optional<DocumentHeader::Picked> picked =
        m_header->PickDocument(DocumentKind::Transfer, QStringLiteral("3"));
    QVERIFY(picked);
    QCOMPARE(picked->number, QStringLiteral("3"));
    QCOMPARE(picked->dateText, today());
    QCOMPARE(picked->departmentIndex, department(kRiga));
    QCOMPARE(m_header->counterparties().names.value(picked->counterpartyIndex), kJelgava);
    // The picked document is the one a save reaches.
    DocumentHeader::Input again = input(DocumentKind::Transfer, picked->number, kJelgava);
    QCOMPARE(m_header->Save(again).result().DocIsn, 3);

    QVERIFY(!m_header->PickDocument(DocumentKind::Transfer, QStringLiteral("0")));
    QVERIFY(!m_header->PickDocument(DocumentKind::Transfer, QStringLiteral("999")));
    // Goods in memory have no list: the dataset stays closed.
    QVERIFY(!m_header
                 ->RefreshDocumentList(DocumentKind::GoodsInMemory, QDate::currentDate(),
                                       QDate::currentDate())
                 .refused());
    QVERIFY(!documents.isActive());
}

QTEST_GUILESS_MAIN(TestDocumentHeader)
#include "tst_documentheader.moc"
