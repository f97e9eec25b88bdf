// The table of document kinds: every window and data class takes its
// per-kind facts from it, so a row that contradicts itself (a header column
// the line statement does not name, a kind that moves stock out unchecked)
// would only show as a failed save at a terminal. And the one way a
// statement takes a table or column name, which must let nothing else in.

#include "client/core/clienterror.h"
#include "client/core/clientstate.h"
#include "client/core/documentkinds.h"
#include "client/core/sqlnames.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

class TestDocumentKinds final : public QObject
{
    Q_OBJECT

private slots:
    void rowsInKindOrder();
    void captionsUnique_data();
    void captionsUnique();
    void statementsNameTheirTables_data();
    void statementsNameTheirTables();
    void kindsWithoutHeaderTouchNoHeader();
    void rightsOnePerKind();
    void fieldsAgreeWithSaving_data();
    void fieldsAgreeWithSaving();
    void fillNames_data();
    void fillNames();
};

namespace {

QString kindName(DocumentKind kind)
{
    return KindInfo(kind).radioButton;
}

// The :NAME markers of a statement.
QSet<QString> markers(const QString& sql)
{
    static const QRegularExpression marker(QStringLiteral(":([A-Za-z_][A-Za-z0-9_]*)"));
    QSet<QString> names;
    for (const QRegularExpressionMatch& match : marker.globalMatch(sql))
        names.insert(match.captured(1));
    return names;
}

} // namespace

void TestDocumentKinds::rowsInKindOrder()
{
    // Windows look a kind up by its code: the row must be that kind's.
    for (DocumentKind kind : kAllDocumentKinds)
        QCOMPARE(int(KindInfo(kind).kind), int(kind));
    QCOMPARE(std::size(kAllDocumentKinds), size_t(6));
}

void TestDocumentKinds::captionsUnique_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("radio button") << 0;
    QTest::newRow("caption") << 1;
    QTest::newRow("3D caption") << 2;
    QTest::newRow("header title") << 3;
    QTest::newRow("lines title") << 4;
    QTest::newRow("line table") << 5;
}

void TestDocumentKinds::captionsUnique()
{
    QFETCH(int, column);
    QSet<QString> seen;
    for (DocumentKind kind : kAllDocumentKinds) {
        const DocumentKindInfo& info = KindInfo(kind);
        const QString texts[] = {info.radioButton, info.caption,    info.operationsCaption,
                                 info.headerTitle, info.linesTitle, info.lineTable};
        const QString& text = texts[column];
        if (column == 2 && text.isEmpty())
            continue; // not offered by the 3D window
        QVERIFY2(!text.isEmpty(), qPrintable(kindName(kind)));
        QVERIFY2(!seen.contains(text), qPrintable(text));
        seen.insert(text);
    }
}

void TestDocumentKinds::statementsNameTheirTables_data()
{
    QTest::addColumn<DocumentKind>("kind");
    for (DocumentKind kind : kAllDocumentKinds)
        QTest::newRow(qPrintable(kindName(kind))) << kind;
}

void TestDocumentKinds::statementsNameTheirTables()
{
    QFETCH(DocumentKind, kind);
    const DocumentKindInfo& info = KindInfo(kind);
    QVERIFY(IsSqlName(info.lineTable));
    QVERIFY(info.insertLine.startsWith(QStringLiteral("INSERT INTO ") + info.lineTable +
                                       QStringLiteral(" (")));
    QVERIFY(info.lines.contains(info.lineTable + QStringLiteral(".ISN")));
    if (!info.insertContainer.isEmpty())
        QVERIFY(info.insertContainer.startsWith(QStringLiteral("INSERT INTO ") + info.lineTable +
                                                QStringLiteral(" (")));
    if (!info.hasHeader())
        return;

    QVERIFY(IsSqlName(info.headerTable));
    QVERIFY(IsSqlName(info.headerColumn));
    // A line points at its header through the header column, and the list
    // of a document's lines is read through it.
    QVERIFY(markers(info.insertLine).contains(info.headerColumn));
    QVERIFY(!info.insertContainer.isEmpty());
    QVERIFY(markers(info.insertContainer).contains(info.headerColumn));
    QVERIFY(info.lines.contains(info.lineTable + QLatin1Char('.') + info.headerColumn +
                                QStringLiteral(" = :ISPAVADZ")));
    QCOMPARE(markers(info.lines), (QSet<QString>{QStringLiteral("ISPAVADZ")}));
    if (!info.linesPlaceholder.isEmpty())
        QCOMPARE(markers(info.linesPlaceholder), (QSet<QString>{QStringLiteral("ISPAVADZ")}));

    // The header is found by its number, department and date, in its own table.
    QVERIFY(info.findHeader.startsWith(QStringLiteral("SELECT ") + info.headerTable +
                                       QStringLiteral(".ISN FROM ") + info.headerTable +
                                       QLatin1Char(' ')));
    const QSet<QString> find = markers(info.findHeader);
    QVERIFY(find.contains(QStringLiteral("NR_PAVADZ")));
    QVERIFY(find.contains(QStringLiteral("DATUMS")) || find.contains(QStringLiteral("DAT_SANEM")));
    QVERIFY(markers(info.insertHeader).contains(QStringLiteral("NR_PAVADZ")));
    QVERIFY(info.insertHeader.startsWith(QStringLiteral("INSERT INTO ") + info.headerTable +
                                         QStringLiteral(" (")));
    // A counterparty chosen is a counterparty looked for and stored.
    if (info.counterparty != Counterparty::None) {
        QVERIFY(markers(info.insertHeader).contains(QStringLiteral("ISKLIENT")));
        QVERIFY(!info.noCounterparty.isEmpty());
        QVERIFY(!info.counterpartyCaption.isEmpty());
    }
    for (const QString& list : {info.headerList, info.operationsList}) {
        QVERIFY(list.contains(QStringLiteral(" FROM ") + info.headerTable));
        QCOMPARE(markers(list),
                 (QSet<QString>{QStringLiteral("DAT_NO"), QStringLiteral("DAT_LIDZ")}));
    }
    if (!info.numberCounter.isEmpty()) {
        QVERIFY(info.proposesNumber);
        QVERIFY(IsSqlName(info.numberCounter));
    }
}

void TestDocumentKinds::kindsWithoutHeaderTouchNoHeader()
{
    for (DocumentKind kind : kAllDocumentKinds) {
        const DocumentKindInfo& info = KindInfo(kind);
        if (info.hasHeader())
            continue;
        // Nothing to find, number, list or point at: the lines are read
        // without a header key, which nobody would set.
        QVERIFY(info.headerColumn.isEmpty());
        QVERIFY(info.findHeader.isEmpty() && info.insertHeader.isEmpty());
        QVERIFY(info.headerList.isEmpty() && info.operationsList.isEmpty());
        QVERIFY(info.operationsCaption.isEmpty());
        QVERIFY(!info.proposesNumber);
        QCOMPARE(info.counterparty, Counterparty::None);
        QVERIFY(!markers(info.lines).contains(QStringLiteral("ISPAVADZ")));
        QVERIFY(info.linesPlaceholder.isEmpty());
        QCOMPARE(info.stockMove, StockMove::None);
    }
}

void TestDocumentKinds::rightsOnePerKind()
{
    // Each right opens exactly its own kind; goods in memory need none.
    ClientState state;
    for (DocumentKind kind : kAllDocumentKinds)
        QCOMPARE(MayUseKind(state, kind), KindInfo(kind).right == nullptr);
    for (DocumentKind kind : kAllDocumentKinds) {
        const DocumentKindInfo& info = KindInfo(kind);
        QCOMPARE(info.right != nullptr, info.hasHeader());
        if (!info.right)
            continue;
        ClientState one;
        one.*info.right = true;
        for (DocumentKind other : kAllDocumentKinds)
            QCOMPARE(MayUseKind(one, other), other == kind || !KindInfo(other).right);
    }
}

void TestDocumentKinds::fieldsAgreeWithSaving_data()
{
    statementsNameTheirTables_data();
}

void TestDocumentKinds::fieldsAgreeWithSaving()
{
    QFETCH(DocumentKind, kind);
    const DocumentKindInfo& info = KindInfo(kind);
    // A save refuses an empty price where the kind stores one: the field
    // must be there to type it.
    QCOMPARE(info.linePrices != LinePrices::None, info.priceShown);
    // Stock taken out of the department is checked against what it holds.
    const bool takesOut = info.stockMove == StockMove::OutOfDepartment ||
                          info.stockMove == StockMove::DepartmentToDestination;
    QCOMPARE(info.checksStock, takesOut);
    // The stock is shown read-only where the sale price would be.
    if (info.stockShown == StockShown::InSalePrice)
        QVERIFY(info.salePriceShown && !info.salePriceEnabled);
    // A receipt's sale price must be typeable to reach the catalogue.
    if (info.setsCatalogueSalePrice)
        QVERIFY(info.salePriceShown && info.salePriceEnabled);
    // The client's discount needs a client and a discount field.
    if (info.discountFromClient)
        QVERIFY(info.discountShown && info.counterparty == Counterparty::Client &&
                info.readsClientTerms);
    if (info.priceLevel == PriceLevelFrom::Destination)
        QCOMPARE(info.counterparty, Counterparty::Department);
    if (info.priceLevel == PriceLevelFrom::ClientOrDepartment)
        QCOMPARE(info.counterparty, Counterparty::Client);
    if (info.stockMove == StockMove::DepartmentToDestination)
        QCOMPARE(info.counterparty, Counterparty::Department);
    if (info.certificatesShown)
        QVERIFY(markers(info.insertLine).contains(QStringLiteral("ISSERTIF")));
}

void TestDocumentKinds::fillNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("table") << QStringLiteral("O_PAVOUT") << true;
    QTest::newRow("column with digit") << QStringLiteral("PASUTPZNR_1") << true;
    QTest::newRow("system name") << QStringLiteral("RDB$DATABASE") << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("quote") << QStringLiteral("O'Brien") << false;
    QTest::newRow("second statement") << QStringLiteral("1; DROP TABLE N_DEPART") << false;
    QTest::newRow("comment") << QStringLiteral("N_DEPART--") << false;
    QTest::newRow("blank") << QStringLiteral("N_DEPART WHERE 1=1") << false;
    QTest::newRow("slot") << QStringLiteral("%2") << false;
    QTest::newRow("leading digit") << QStringLiteral("1ISN") << false;
    QTest::newRow("too long") << QString(64, QLatin1Char('A')) << false;
}

void TestDocumentKinds::fillNames()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    const QString statement = QStringLiteral("SELECT %1 FROM %2 WHERE ISN=:ISN");
    if (accepted) {
        QCOMPARE(FillNames(statement, {name, QStringLiteral("N_ISI")}),
                 QStringLiteral("SELECT ") + name + QStringLiteral(" FROM N_ISI WHERE ISN=:ISN"));
    } else {
        QVERIFY_THROWS_EXCEPTION(ClientError,
                                 FillNames(statement, {name, QStringLiteral("N_ISI")}));
        QVERIFY_THROWS_EXCEPTION(ClientError, FillNames(statement, {QStringLiteral("ISN"), name}));
    }
}

QTEST_GUILESS_MAIN(TestDocumentKinds)
#include "tst_documentkinds.moc"
