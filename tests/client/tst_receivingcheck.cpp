// The receiving and transfer check against a running NorvalkServer: how a
// count is booked onto the lines of the documents named, the warning, the
// note of goods on none of them, the number list and period as parameters,
// and a booking that fails half way leaving every line as it was.

#include "client/core/commonprocedures.h"
#include "client/core/goodsinfo.h"
#include "client/core/receivingcheck.h"
#include "client/core/unitofwork.h"
#include "common/remoteerror.h"
#include "tests/client/serverfixture.h"
#include "tests/support/faultproxy.h"

#include <QScopeGuard>
#include <QTest>

#include <memory>

class TestReceivingCheck final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void booking_data();
    void booking();
    void numberList_data();
    void numberList();
    void notOnTheDocumentsIsNoted_data();
    void notOnTheDocumentsIsNoted();
    void refusals_data();
    void refusals();
    void typedTextNeverBreaksTheQuery_data();
    void typedTextNeverBreaksTheQuery();
    void failedBookingLeavesEveryLine();
    void noDocumentToNote_data();
    void noDocumentToNote();
    void checksStoredAtOnceAddUp_data();
    void checksStoredAtOnceAddUp();
    void notesWrittenAtOnceBothKept_data();
    void notesWrittenAtOnceBothKept();
    void lostRepliesCountOnce();

private:
    // A document of the kind with lines (quantity, checked) of one goods
    // item; returns the lines' keys.
    QList<int> makeDocument(CheckKind kind, int isn, const QString& number, const QDate& date,
                            int goods, const QList<QPair<double, double>>& lines);
    QList<double> checked(CheckKind kind, const QList<int>& lines);
    Outcome<ReceivingCheck::Result> check(CheckKind kind, const QString& numbers,
                                          const QString& article, const QString& quantity);
    // The reads of a check by a terminal of its own, its writes left for later.
    Outcome<ReceivingCheck::Booking> prepared(CheckKind kind, const QString& numbers,
                                              const QString& article, const QString& quantity);
    // Two checks of one document by two terminals: both read, then both store.
    void storeOneAfterTheOther(CheckKind kind, const QString& number, const QString& first,
                               const QString& firstQuantity, const QString& second,
                               const QString& secondQuantity);
    QString note(CheckKind kind, int document);

    std::unique_ptr<ServerFixture> m_fixture;
    GoodsInfo m_goods;
    int m_nextLine = 1000;
};

Q_DECLARE_METATYPE(CheckKind)
using Lines = QList<QPair<double, double>>;
using Quantities = QList<double>;

namespace {

const QDate kPeriodStart(2025, 3, 1);
const QDate kPeriodEnd(2025, 3, 31);
const QDate kInPeriod(2025, 3, 10);

const QString kDiffers = QStringLiteral("Nesakrīt atlasītais ar pavadzīmē uzrādīto daudzumu !!!");
const QString kBooked = QStringLiteral("Apstiprināšana saglabāta pie preces");
const QString kNoWaybill = QStringLiteral("Nav atrasta pavadzīme !!!");

// Goods ISN n has the article "A<n>" and the name "Prece <n>".
QString article(int goods)
{
    return QStringLiteral("A%1").arg(goods);
}

} // namespace

void TestReceivingCheck::initTestCase()
{
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // Typed numbers in the terminal's format: a comma.
    m_fixture->module().clientState().DecimalPointIsDot = false;
    for (int goods = 1; goods <= 40; ++goods)
        m_fixture->run(QStringLiteral("INSERT INTO N_KLPREC (ISN, ARTIKULS, GNOS, ISPRGRUPA, "
                                      "PARDCENA1) VALUES (%1, '%2', 'Prece %1', 1, 1.5)")
                           .arg(goods)
                           .arg(article(goods)));
}

void TestReceivingCheck::init()
{
    m_fixture->messages().clear();
}

void TestReceivingCheck::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    m_fixture.reset();
}

QList<int> TestReceivingCheck::makeDocument(CheckKind kind, int isn, const QString& number,
                                            const QDate& date, int goods, const Lines& lines)
{
    const bool receiving = kind == CheckKind::Receiving;
    m_fixture->run(receiving
                       ? QStringLiteral("INSERT INTO O_PAVADZ (ISN, NR_PAVADZ, ISNODALA, "
                                        "ISKLIENT, DAT_SANEM, DAT_PAVADZ) VALUES (%1, :NR, 0, "
                                        "0, %2, %2)")
                             .arg(isn)
                             .arg(sqlDate(date))
                       : QStringLiteral("INSERT INTO O_PARPAV (ISN, NR_PAVADZ, ISNODALANO, "
                                        "ISNODALAUZ, DATUMS) VALUES (%1, :NR, 0, 0, %2)")
                             .arg(isn)
                             .arg(sqlDate(date)),
                   {{QStringLiteral("NR"), number}});
    QList<int> keys;
    for (const auto& [quantity, done] : lines) {
        const int key = ++m_nextLine;
        m_fixture->run(
            QStringLiteral("INSERT INTO %1 (ISN, %2, ISPRECE, DAUDZUMS, DAUDZUMS_PARB) "
                           "VALUES (%3, %4, %5, %6, %7)")
                .arg(receiving ? QStringLiteral("O_PRECE") : QStringLiteral("O_PARPRC"),
                     receiving ? QStringLiteral("ISPAVADZ") : QStringLiteral("ISPARVPAV"))
                .arg(key)
                .arg(isn)
                .arg(goods)
                .arg(quantity)
                .arg(done));
        keys << key;
    }
    return keys;
}

QList<double> TestReceivingCheck::checked(CheckKind kind, const QList<int>& lines)
{
    QList<double> values;
    for (int line : lines)
        values << m_fixture
                      ->value(QStringLiteral("SELECT DAUDZUMS_PARB FROM %1 WHERE ISN = %2")
                                  .arg(kind == CheckKind::Receiving ? QStringLiteral("O_PRECE")
                                                                    : QStringLiteral("O_PARPRC"))
                                  .arg(line))
                      .toDouble();
    return values;
}

Outcome<ReceivingCheck::Result> TestReceivingCheck::check(CheckKind kind, const QString& numbers,
                                                          const QString& code,
                                                          const QString& quantity)
{
    return ReceivingCheck(m_fixture->module())
        .Check(m_goods, kind, numbers, kPeriodStart, kPeriodEnd, code, quantity);
}

Outcome<ReceivingCheck::Booking> TestReceivingCheck::prepared(CheckKind kind,
                                                              const QString& numbers,
                                                              const QString& code,
                                                              const QString& quantity)
{
    GoodsInfo goods;
    return ReceivingCheck(m_fixture->module())
        .Prepare(goods, kind, numbers, kPeriodStart, kPeriodEnd, code, quantity);
}

void TestReceivingCheck::storeOneAfterTheOther(CheckKind kind, const QString& number,
                                               const QString& first, const QString& firstQuantity,
                                               const QString& second, const QString& secondQuantity)
{
    const Outcome<ReceivingCheck::Booking> one = prepared(kind, number, first, firstQuantity);
    const Outcome<ReceivingCheck::Booking> two = prepared(kind, number, second, secondQuantity);
    QVERIFY(!one.refused() && !two.refused());
    const ReceivingCheck::Result firstStored =
        ReceivingCheck(m_fixture->module()).Store(one.result());
    const ReceivingCheck::Result secondStored =
        ReceivingCheck(m_fixture->module()).Store(two.result());
    QCOMPARE(firstStored.status, one.result().result.status);
    QCOMPARE(secondStored.status, two.result().result.status);
}

QString TestReceivingCheck::note(CheckKind kind, int document)
{
    return m_fixture
        ->value(QStringLiteral("SELECT PICO_NEATRASTIE FROM %1 WHERE ISN = %2")
                    .arg(kind == CheckKind::Receiving ? QStringLiteral("O_PAVADZ")
                                                      : QStringLiteral("O_PARPAV"))
                    .arg(document))
        .toString();
}

void TestReceivingCheck::booking_data()
{
    QTest::addColumn<CheckKind>("kind");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QString>("count");
    QTest::addColumn<Quantities>("after");
    QTest::addColumn<bool>("warned");

    const auto receiving = CheckKind::Receiving;
    QTest::newRow("count fills the line")
        << receiving << Lines{{10, 4}} << "6" << Quantities{10} << false;
    QTest::newRow("surplus onto the last visited line")
        << receiving << Lines{{10, 4}} << "8" << Quantities{12} << true;
    QTest::newRow("lines filled in order")
        << receiving << Lines{{5, 0}, {5, 0}} << "7" << Quantities{5, 2} << true;
    QTest::newRow("all fully checked: the last line grows")
        << receiving << Lines{{5, 5}, {3, 3}} << "3" << Quantities{5, 6} << true;
    QTest::newRow("fully checked lines passed over")
        << receiving << Lines{{4, 4}, {6, 1}} << "5" << Quantities{4, 6} << false;
    QTest::newRow("decimal comma")
        << receiving << Lines{{10, 0}} << "2,5" << Quantities{2.5} << true;
    QTest::newRow("decimal point typed")
        << receiving << Lines{{4.25, 1.5}} << "2.75" << Quantities{4.25} << false;
    QTest::newRow("sums of decimals count as equal")
        << receiving << Lines{{0.3, 0.1}, {0.1, 0}} << "0,3" << Quantities{0.3, 0.1} << false;
    QTest::newRow("no number books nothing")
        << receiving << Lines{{10, 4}} << "abc" << Quantities{4} << true;
    QTest::newRow("nan books nothing")
        << receiving << Lines{{10, 4}} << "nan" << Quantities{4} << true;
    QTest::newRow("inf books nothing")
        << receiving << Lines{{10, 4}} << "inf" << Quantities{4} << true;
    QTest::newRow("beyond a double books nothing")
        << receiving << Lines{{10, 4}} << "1e400" << Quantities{4} << true;
    QTest::newRow("hexadecimal books nothing")
        << receiving << Lines{{10, 4}} << "0x10" << Quantities{4} << true;
    QTest::newRow("nothing outstanding, nothing counted")
        << receiving << Lines{{2, 2}} << "0" << Quantities{2} << false;
    QTest::newRow("transfer lines")
        << CheckKind::Transfer << Lines{{4, 1}, {2, 0}} << "4" << Quantities{4, 1} << true;
    QTest::newRow("transfer surplus onto the last visited line")
        << CheckKind::Transfer << Lines{{4, 1}, {2, 0}} << "7" << Quantities{4, 4} << true;
    QTest::newRow("transfer all fully checked: the last line grows")
        << CheckKind::Transfer << Lines{{2, 2}, {3, 3}} << "1,5" << Quantities{2, 4.5} << true;
    // The unit takes the lines' keys as one list, however many there are
    // (here a list longer than the short text width).
    Lines many(70, {1, 0});
    Quantities filled(69, 1);
    QTest::newRow("seventy lines, the last in part")
        << receiving << many << "69,5" << (Quantities(filled) << 0.5) << true;
    Quantities surplus(39, 1);
    QTest::newRow("forty lines, the rest onto the last")
        << receiving << Lines(40, {1, 0}) << "45" << (Quantities(surplus) << 6) << true;
}

void TestReceivingCheck::booking()
{
    QFETCH(CheckKind, kind);
    QFETCH(Lines, lines);
    QFETCH(QString, count);
    static int document = 100;
    const int goods = document - 99;
    const QString number = QStringLiteral("B%1").arg(++document);
    const QList<int> keys = makeDocument(kind, document, number, kInPeriod, goods, lines);

    const Outcome<ReceivingCheck::Result> outcome = check(kind, number, article(goods), count);
    QVERIFY(!outcome.refused());
    QCOMPARE(outcome.result().status, kBooked);
    QTEST(!outcome.result().warning.isEmpty(), "warned");
    if (!outcome.result().warning.isEmpty())
        QCOMPARE(outcome.result().warning, kDiffers);
    QFETCH(Quantities, after);
    const QList<double> stored = checked(kind, keys);
    QCOMPARE(stored.size(), after.size());
    for (qsizetype i = 0; i < after.size(); ++i)
        QVERIFY2(qAbs(stored.at(i) - after.at(i)) < 1e-12,
                 qPrintable(QStringLiteral("line %1: %2").arg(i).arg(stored.at(i))));
    QVERIFY(m_fixture->messages().isEmpty());
}

void TestReceivingCheck::numberList_data()
{
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<Quantities>("after");

    // Documents "12" and "13" in the period, "14" outside it: 5 each.
    QTest::newRow("two documents") << "12-13" << Quantities{5, 5, 0};
    QTest::newRow("one document") << "13" << Quantities{0, 10, 0};
    QTest::newRow("outside the period is not named") << "14-12" << Quantities{10, 0, 0};
    QTest::newRow("numbers taken literally") << "12- 13" << Quantities{10, 0, 0};
    // More numbers than one statement takes are read in parts, each line
    // once however often its number is named.
    QStringList others;
    for (int i = 1; i <= 16; ++i)
        others << QStringLiteral("X%1").arg(i);
    QTest::newRow("three numbers") << "12-X1-13" << Quantities{5, 5, 0};
    QTest::newRow("eighteen numbers, in two parts")
        << QStringLiteral("12-%1-13").arg(others.join(QLatin1Char('-'))) << Quantities{5, 5, 0};
    QTest::newRow("a number in both parts")
        << QStringLiteral("12-%1-12-13").arg(others.join(QLatin1Char('-'))) << Quantities{5, 5, 0};
}

void TestReceivingCheck::numberList()
{
    QFETCH(QString, numbers);
    static int round = 0;
    const int goods = 20 + round++;
    const int base = 200 + round * 10;
    QList<int> lines;
    lines << makeDocument(CheckKind::Receiving, base + 1, "12", kInPeriod, goods, {{5, 0}});
    lines << makeDocument(CheckKind::Receiving, base + 2, "13", kInPeriod, goods, {{5, 0}});
    lines << makeDocument(CheckKind::Receiving, base + 3, "14", QDate(2025, 4, 1), goods, {{5, 0}});
    // Documents of earlier rounds with the same numbers have other goods.
    const Outcome<ReceivingCheck::Result> outcome =
        check(CheckKind::Receiving, numbers, article(goods), "10");
    QVERIFY(!outcome.refused());
    QTEST(checked(CheckKind::Receiving, lines), "after");
}

void TestReceivingCheck::notOnTheDocumentsIsNoted_data()
{
    QTest::addColumn<CheckKind>("kind");
    QTest::addColumn<QString>("noteBefore");

    QTest::newRow("receiving, empty note") << CheckKind::Receiving << QString();
    QTest::newRow("receiving, note kept") << CheckKind::Receiving << " A1 Prece 1 Daudzums=1,00\n";
    QTest::newRow("transfer") << CheckKind::Transfer << QString();
}

void TestReceivingCheck::notOnTheDocumentsIsNoted()
{
    QFETCH(CheckKind, kind);
    QFETCH(QString, noteBefore);
    static int document = 300;
    ++document;
    const QString number = QStringLiteral("N%1").arg(document);
    const QString table =
        kind == CheckKind::Receiving ? QStringLiteral("O_PAVADZ") : QStringLiteral("O_PARPAV");
    makeDocument(kind, document, number, kInPeriod, 30, {{3, 0}});
    m_fixture->run(QStringLiteral("UPDATE %1 SET PICO_NEATRASTIE = :NOTE WHERE ISN = %2")
                       .arg(table)
                       .arg(document),
                   {{QStringLiteral("NOTE"), noteBefore}});

    const Outcome<ReceivingCheck::Result> outcome = check(kind, number, article(31), "2,5");
    QVERIFY(!outcome.refused());
    QCOMPARE(outcome.result().status, QStringLiteral("Saglabāts neatrastajos artikulos"));
    QCOMPARE(outcome.result().notice,
             QStringLiteral("Prece nav atrasta atlasītajās pavadzīmēs,\nsaglabā neatrastajos !!!"));
    QVERIFY(outcome.result().warning.isEmpty());
    QCOMPARE(m_fixture
                 ->value(QStringLiteral("SELECT PICO_NEATRASTIE FROM %1 WHERE ISN = %2")
                             .arg(table)
                             .arg(document))
                 .toString(),
             noteBefore + QStringLiteral(" A31 Prece 31 Daudzums=2,50\n"));
}

void TestReceivingCheck::refusals_data()
{
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("notice"); // the look-up's own word, shown first

    QTest::newRow("no numbers") << ""
                                << "A1"
                                << "1"
                                << "Nav ievadīti numuri !!!"
                                << "edPZ_Numuri" << QString();
    QTest::newRow("no article") << "1"
                                << ""
                                << "1"
                                << "Nav ievadīts artikuls !!!"
                                << "edArtikuls" << QString();
    QTest::newRow("no quantity") << "1"
                                 << "A1"
                                 << ""
                                 << "Nav ievadīts daudzums !!!"
                                 << "edDaudzums" << QString();
    QTest::newRow("unknown article")
        << "1"
        << "NAV"
        << "1"
        << "Artikuls nav atrasts !!!"
        << "edArtikuls" << QStringLiteral("Nav atrasts artikuls : NAV");
    QTest::newRow("no such document") << "NEKAS"
                                      << "A1"
                                      << "1" << kNoWaybill << "" << QString();
}

void TestReceivingCheck::refusals()
{
    QFETCH(QString, numbers);
    QFETCH(QString, code);
    QFETCH(QString, quantity);
    const Outcome<ReceivingCheck::Result> outcome =
        check(CheckKind::Receiving, numbers, code, quantity);
    QVERIFY(outcome.refused());
    QTEST(outcome.refusal().message, "message");
    QTEST(outcome.refusal().field, "field");
    QTEST(outcome.refusal().notice, "notice");
    QVERIFY(m_fixture->messages().isEmpty()); // the window shows them
}

void TestReceivingCheck::typedTextNeverBreaksTheQuery_data()
{
    QTest::addColumn<QString>("numbers");
    QTest::addColumn<bool>("refusedAsBadNumber");

    // Apostrophes and SQL are only characters of a number that no document has.
    QTest::newRow("apostrophe") << "X12'-X13" << false;
    QTest::newRow("crafted text") << "x') OR ('1'='1" << false;
    QTest::newRow("crafted text in the second number") << "500-x' OR NR_PAVADZ<>'" << false;
    // Longer than any number can be: said to be no correct number.
    QTest::newRow("number beyond any column") << QString(300, QLatin1Char('7')) << true;
}

void TestReceivingCheck::typedTextNeverBreaksTheQuery()
{
    QFETCH(QString, numbers);
    QFETCH(bool, refusedAsBadNumber);
    // A document "500" in the period with the goods: a crafted text that ran
    // as SQL would find it or all documents.
    static bool made = false;
    if (!made)
        makeDocument(CheckKind::Receiving, 500, "x", kInPeriod, 35, {{2, 0}});
    made = true;
    const double before =
        m_fixture->value("SELECT SUM(DAUDZUMS_PARB) FROM O_PRECE WHERE ISPRECE = 35").toDouble();

    const Outcome<ReceivingCheck::Result> outcome =
        check(CheckKind::Receiving, numbers, article(35), "1");
    QVERIFY(outcome.refused());
    if (refusedAsBadNumber) {
        QVERIFY2(outcome.refusal().message.startsWith(
                     QStringLiteral("Nav korekts numurs vai datums !!!\n")),
                 qPrintable(outcome.refusal().message));
        QCOMPARE(outcome.refusal().field, QStringLiteral("edArtikuls"));
    } else {
        QCOMPARE(outcome.refusal().message, kNoWaybill);
    }
    QCOMPARE(
        m_fixture->value("SELECT SUM(DAUDZUMS_PARB) FROM O_PRECE WHERE ISPRECE = 35").toDouble(),
        before);
}

void TestReceivingCheck::failedBookingLeavesEveryLine()
{
    // The database refuses the second line's update: the first, booked
    // before it in the same check, must not stay booked.
    const QList<int> lines =
        makeDocument(CheckKind::Receiving, 600, "F600", kInPeriod, 36, {{5, 0}, {5, 0}});
    m_fixture->run(QStringLiteral("CREATE TRIGGER TST_REFUSE_LINE FOR O_PRECE BEFORE UPDATE AS "
                                  "BEGIN IF (NEW.ISN = %1 AND NEW.DAUDZUMS_PARB > 0) THEN "
                                  "NEW.DAUDZUMS_PARB = 1 / 0; END")
                       .arg(lines.at(1)));
    // The server keeps its statements prepared, with the triggers of then.
    m_fixture->stopServer();
    QVERIFY(m_fixture->restartServer());
    QVERIFY_THROWS_EXCEPTION(RemoteError, check(CheckKind::Receiving, "F600", article(36), "7"));
    QCOMPARE(checked(CheckKind::Receiving, lines), (Quantities{0, 0}));
    m_fixture->run(QStringLiteral("DROP TRIGGER TST_REFUSE_LINE"));
    m_fixture->stopServer();
    QVERIFY(m_fixture->restartServer());

    const Outcome<ReceivingCheck::Result> outcome =
        check(CheckKind::Receiving, "F600", article(36), "7");
    QVERIFY(!outcome.refused());
    QCOMPARE(checked(CheckKind::Receiving, lines), (Quantities{5, 2}));
}

void TestReceivingCheck::noDocumentToNote_data()
{
    QTest::addColumn<CheckKind>("kind");
    QTest::addColumn<bool>("documentWithoutLines");

    QTest::newRow("receiving, no such number") << CheckKind::Receiving << false;
    QTest::newRow("receiving, document without lines") << CheckKind::Receiving << true;
    QTest::newRow("transfer, no such number") << CheckKind::Transfer << false;
    QTest::newRow("transfer, document without lines") << CheckKind::Transfer << true;
}

void TestReceivingCheck::noDocumentToNote()
{
    QFETCH(CheckKind, kind);
    QFETCH(bool, documentWithoutLines);
    static int document = 700;
    ++document;
    const QString number = QStringLiteral("E%1").arg(document);
    if (documentWithoutLines)
        makeDocument(kind, document, number, kInPeriod, 37, {});

    const Outcome<ReceivingCheck::Result> outcome = check(kind, number, article(37), "1");
    QVERIFY(outcome.refused());
    QCOMPARE(outcome.refusal().message, kNoWaybill);
    QCOMPARE(outcome.refusal().field, QString());
    QVERIFY(m_fixture->messages().isEmpty());
    if (documentWithoutLines)
        QCOMPARE(note(kind, document), QString());
}

void TestReceivingCheck::checksStoredAtOnceAddUp_data()
{
    QTest::addColumn<CheckKind>("kind");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<Quantities>("after");

    const auto receiving = CheckKind::Receiving;
    QTest::newRow("9 and 2 on a line of 10") << receiving << Lines{{10, 0}} << "9"
                                             << "2" << Quantities{11};
    QTest::newRow("the second fills what the first left")
        << receiving << Lines{{5, 0}, {5, 0}} << "4"
        << "4" << Quantities{5, 3};
    QTest::newRow("both with surplus") << receiving << Lines{{3, 1}} << "4"
                                       << "2" << Quantities{7};
    QTest::newRow("transfer, 9 and 2 on a line of 6") << CheckKind::Transfer << Lines{{6, 0}} << "9"
                                                      << "2" << Quantities{11};
    QTest::newRow("transfer, the second fills what the first left")
        << CheckKind::Transfer << Lines{{2, 0}, {4, 1}} << "3"
        << "2,5" << Quantities{2, 4.5};
}

void TestReceivingCheck::checksStoredAtOnceAddUp()
{
    // Two terminals count the same goods: both read the lines before either
    // stores. Each count must add to what the other stored.
    QFETCH(CheckKind, kind);
    QFETCH(Lines, lines);
    QFETCH(QString, first);
    QFETCH(QString, second);
    static int document = 800;
    ++document;
    const int goods = document - 800;
    const QString number = QStringLiteral("R%1").arg(document);
    const QList<int> keys = makeDocument(kind, document, number, kInPeriod, goods, lines);

    storeOneAfterTheOther(kind, number, article(goods), first, article(goods), second);
    QTEST(checked(kind, keys), "after");
}

void TestReceivingCheck::notesWrittenAtOnceBothKept_data()
{
    QTest::addColumn<CheckKind>("kind");

    QTest::newRow("receiving") << CheckKind::Receiving;
    QTest::newRow("transfer") << CheckKind::Transfer;
}

void TestReceivingCheck::notesWrittenAtOnceBothKept()
{
    QFETCH(CheckKind, kind);
    static int document = 900;
    ++document;
    const QString number = QStringLiteral("M%1").arg(document);
    makeDocument(kind, document, number, kInPeriod, 38, {{1, 0}});

    // Two articles on none of the lines, noted by two terminals at once.
    storeOneAfterTheOther(kind, number, article(39), "1", article(40), "2");
    QCOMPARE(note(kind, document),
             QStringLiteral(" A39 Prece 39 Daudzums=1,00\n A40 Prece 40 Daudzums=2,00\n"));
}

// The server stores a booking (and a note) and the reply is lost: sent again
// at once, each is counted once, and logged once.
void TestReceivingCheck::lostRepliesCountOnce()
{
    const QList<int> keys =
        makeDocument(CheckKind::Receiving, 950, QStringLiteral("L950"), kInPeriod, 40, {{10, 0}});
    TClientDataModule& module = m_fixture->module();
    NewUnitIdentity(module); // the connection has read the log's newest key
    FaultProxy relay(m_fixture->server().port());
    module.SQLConnection1().setConnected(false);
    module.SQLConnection1().setPort(relay.port());
    const auto restorePort = qScopeGuard([&] {
        module.SQLConnection1().setConnected(false);
        module.SQLConnection1().setPort(m_fixture->server().port());
    });

    for (const auto& [code, quantity] : {std::pair{article(40), "3"}, {article(39), "2"}}) {
        const Outcome<ReceivingCheck::Booking> booking =
            prepared(CheckKind::Receiving, QStringLiteral("L950"), code, quantity);
        QVERIFY(!booking.refused());
        relay.swallowNextReply(); // the reply to the write
        ReceivingCheck(module).Store(booking.result());
    }
    QCOMPARE(relay.repliesSwallowed(), 2);
    QCOMPARE(checked(CheckKind::Receiving, keys), (Quantities{3}));
    QCOMPARE(note(CheckKind::Receiving, 950), QStringLiteral(" A39 Prece 39 Daudzums=2,00\n"));
    QCOMPARE(m_fixture
                 ->value(QStringLiteral("SELECT COUNT(*) FROM O_OPERACIJAS WHERE TAUSTINS = 'P' "
                                        "AND ((BAZE = 'O_PRECE' AND ISN_BAZE = %1) OR (BAZE = "
                                        "'O_PAVADZ' AND ISN_BAZE = 950))")
                             .arg(keys.value(0)))
                 .toInt(),
             2);
}

QTEST_GUILESS_MAIN(TestReceivingCheck)
#include "tst_receivingcheck.moc"
