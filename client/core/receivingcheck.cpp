#include "client/core/receivingcheck.h"

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/commonrefusals.h"
#include "client/core/remotedataset.h"
#include "client/core/sqlnames.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QDateTime>
#include <QSet>

#include <cmath>
#include <iterator>
#include <vector>

namespace {

using CommonRefusals::ArticleNotFound;
using CommonRefusals::NoArticle;
using CommonRefusals::NoQuantity;

// The statements of one check kind. The lines statement takes the number
// list for %1 and is the base of the check: with the article condition it
// finds the article's lines, without it the documents themselves.
struct KindStatements
{
    QString lines;
    QString article;
    QString lineTable;
    QString documentTable;
};

const KindStatements kReceiving{
    QStringLiteral("SELECT O_PRECE.ISN, O_PRECE.DAUDZUMS, O_PRECE.CENA, O_PRECE.DAUDZUMS_PARB, "
                   "O_PRECE.ISPAVADZ, O_PAVADZ.PICO_NEATRASTIE NEATRASTIE FROM O_PAVADZ, O_PRECE "
                   "WHERE O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PAVADZ.NR_PAVADZ IN (%1) "
                   "AND O_PAVADZ.DAT_PAVADZ BETWEEN :DAT_NO AND :DAT_LIDZ "),
    QStringLiteral(" AND O_PRECE.ISPRECE=:ISPRECE"),
    QStringLiteral("O_PRECE"),
    QStringLiteral("O_PAVADZ"),
};

const KindStatements kTransfer{
    QStringLiteral(
        "SELECT O_PARPRC.ISN, O_PARPRC.DAUDZUMS, O_PARPRC.DAUDZUMS_PARB, "
        "O_PARPRC.ISPARVPAV ISPAVADZ, O_PARPAV.PICO_NEATRASTIE NEATRASTIE FROM O_PARPAV, O_PARPRC "
        "WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND O_PARPAV.NR_PAVADZ IN (%1) "
        "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ "),
    QStringLiteral(" AND O_PARPRC.ISPRECE=:ISPRECE"),
    QStringLiteral("O_PARPRC"),
    QStringLiteral("O_PARPAV"),
};

// The writes of a check, for the line or document table in %1. Each works
// from the row as the database holds it when it runs, never from what the
// check read before: another terminal may have stored its own count of the
// same line since, and a unit run again after a write conflict must add to
// what that terminal stored, not overwrite it.
//
// One line, inside the unit with its variables Q (what is left of the
// count), T (the tolerance) and O: the line takes what it still lacks, at
// most Q, and hands back what it lacked in O. A line filled up holds its
// quantity exactly, not a sum that is off in the last binary digit.
const QString kBookLine = QStringLiteral(
    "UPDATE %1 SET DAUDZUMS_PARB = IIF(DAUDZUMS - COALESCE(DAUDZUMS_PARB, 0) - :Q <= :T, "
    "DAUDZUMS, COALESCE(DAUDZUMS_PARB, 0) + :Q) "
    "WHERE ISN = :ISN AND DAUDZUMS - COALESCE(DAUDZUMS_PARB, 0) > :T "
    "RETURNING OLD.DAUDZUMS - COALESCE(OLD.DAUDZUMS_PARB, 0) INTO :O");
// What is left of the count after all lines, onto the last line visited.
const QString kAddSurplus = QStringLiteral(
    "UPDATE %1 SET DAUDZUMS_PARB = COALESCE(DAUDZUMS_PARB, 0) + :Q WHERE ISN = :LAST");
// The note of goods not found grows in the database: two terminals noting
// at once both keep their entry.
const QString kAppendNote = QStringLiteral("UPDATE %1 SET PICO_NEATRASTIE = "
                                           "COALESCE(PICO_NEATRASTIE, '') || :NEATRASTIE "
                                           "WHERE ISN=:ISPAVADZ");

// Each number is its own parameter, widened beyond any number column: bound
// against the column's width, a long number would fail the statement rather
// than match nothing.
const QString kNumberParam = QStringLiteral("CAST(:NR%1 AS VARCHAR(250))");
// The statement takes the numbers in one of these few counts of markers, the
// unused ones given the first number again (a repeat matches nothing more),
// so that the terminal sends a fixed set of statements whatever is typed. A
// longer list is read in parts of the largest count.
constexpr int kNumberSlots[] = {1, 2, 4, 8, 16};
constexpr int kMostNumbers = kNumberSlots[std::size(kNumberSlots) - 1];

const QString kNoNumbers = QStringLiteral("Nav ievadīti numuri !!!");
const QString kBadNumberOrDate = QStringLiteral("Nav korekts numurs vai datums !!!");
const QString kQuantityDiffers =
    QStringLiteral("Nesakrīt atlasītais ar pavadzīmē uzrādīto daudzumu !!!");
// The log key of a receiving check's booking ("pārbaude"), and the program
// that wrote it.
const QString kCheckLogKey = QStringLiteral("P");
const QString kNorvalk = QStringLiteral("Norvalk");
const QString kBooked = QStringLiteral("Apstiprināšana saglabāta pie preces");
const QString kNoWaybill = QStringLiteral("Nav atrasta pavadzīme !!!");
const QString kNoted = QStringLiteral("Saglabāts neatrastajos artikulos");
const QString kNotedNotice =
    QStringLiteral("Prece nav atrasta atlasītajās pavadzīmēs,\nsaglabā neatrastajos !!!");

const QString kArticleField = QStringLiteral("edArtikuls");

// Quantities are sums and differences of decimal numbers held in binary:
// below this they are taken as equal, so a count of 2.75 against lines of
// 1.5 and 1.25 outstanding neither warns nor leaves a crumb to book.
constexpr double kQuantityTolerance = 1e-9;

struct Line
{
    qint32 isn;
    double quantity; // DAUDZUMS
    double checked;  // DAUDZUMS_PARB
};

const KindStatements& statementsOf(CheckKind kind)
{
    return kind == CheckKind::Transfer ? kTransfer : kReceiving;
}

// The fewest markers of kNumberSlots that take count numbers.
int numberSlots(qsizetype count)
{
    for (const int markerCount : kNumberSlots) {
        if (markerCount >= count)
            return markerCount;
    }
    return kMostNumbers;
}

// The base statement with markerCount number markers and the tail.
QString baseStatement(const KindStatements& statements, int markerCount, const QString& tail)
{
    QStringList markers;
    for (int index = 1; index <= markerCount; ++index)
        markers << kNumberParam.arg(index);
    return statements.lines.arg(markers.join(QStringLiteral(", "))) + tail;
}

// Sets the base statement with at most kMostNumbers numbers and the period.
void setBase(RemoteDataSet& query, const KindStatements& statements, const QStringList& numbers,
             const QDate& from, const QDate& to, const QString& tail)
{
    const int markerCount = numberSlots(numbers.size());
    query.setCommandText(baseStatement(statements, markerCount, tail));
    for (int index = 1; index <= markerCount; ++index)
        query.setTextParam(QStringLiteral("NR%1").arg(index),
                           numbers.at(index <= numbers.size() ? index - 1 : 0));
    query.setDateTimeParam(QStringLiteral("DAT_NO"), QDateTime(from, QTime(0, 0)));
    query.setDateTimeParam(QStringLiteral("DAT_LIDZ"), QDateTime(to, QTime(0, 0)));
}

// Opens the base statement (with the article's condition when goodsIsn is
// above 0) on the numbers and the period. A list longer than one statement
// takes is read in parts, and query then holds their rows together, each
// line once, as one statement over the whole list would give them.
void openBase(RemoteDataSet& query, const KindStatements& statements, const QStringList& numbers,
              const QDate& from, const QDate& to, qint32 goodsIsn)
{
    DataPacket rows;
    QSet<qint64> seen;
    for (qsizetype start = 0; start < numbers.size(); start += kMostNumbers) {
        query.close();
        setBase(query, statements, numbers.mid(start, kMostNumbers), from, to,
                goodsIsn > 0 ? statements.article : QString());
        if (goodsIsn > 0)
            query.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
        query.open();
        if (numbers.size() <= kMostNumbers)
            return;
        const DataPacket& part = query.packet();
        if (rows.columns.isEmpty())
            rows.columns = part.columns;
        const int isn = part.columnIndex(QStringLiteral("ISN"));
        for (const QVariantList& row : part.rows) {
            if (!seen.contains(row.at(isn).toLongLong())) {
                seen.insert(row.at(isn).toLongLong());
                rows.rows.append(row);
            }
        }
    }
    query.holdRows(std::move(rows));
}

std::vector<Line> readLines(RemoteDataSet& query)
{
    std::vector<Line> lines;
    for (query.first(); !query.eof(); query.next())
        lines.push_back({query.fieldByName(QStringLiteral("ISN")).asInteger(),
                         query.fieldByName(QStringLiteral("DAUDZUMS")).asFloat(),
                         query.fieldByName(QStringLiteral("DAUDZUMS_PARB")).asFloat()});
    return lines;
}

// The lines' keys as the unit takes them: one text, each key followed by a
// comma, so that the unit is the same statement however many lines there are.
QString lineList(const QList<qint32>& lines)
{
    QString list;
    for (const qint32 line : lines)
        list += QString::number(line) + QLatin1Char(',');
    return list;
}

// Fills the lines' outstanding quantities in their order and puts what is
// left of the count onto the last line visited, as Q runs out: a line
// already fully checked is passed over but still visited. The database
// takes the keys off the list one by one.
void bookCount(UnitOfWork& unit, const KindStatements& statements, const QList<qint32>& lines,
               double count)
{
    unit.declare(QStringLiteral("Q"), ParamType::Double);
    unit.declare(QStringLiteral("T"), ParamType::Double);
    unit.declare(QStringLiteral("O"), ParamType::Double);
    unit.declare(QStringLiteral("LAST"), ParamType::Integer);
    unit.declare(QStringLiteral("REST"), ParamType::Text);
    unit.declare(QStringLiteral("CUT"), ParamType::Integer);
    unit.declare(QStringLiteral("LINE"), ParamType::Integer);
    unit.add(QStringLiteral("Q = :COUNT")).set(QStringLiteral("COUNT"), count);
    unit.add(QStringLiteral("T = :TOLERANCE")).set(QStringLiteral("TOLERANCE"), kQuantityTolerance);
    unit.add(QStringLiteral("LAST = 0"));
    unit.add(QStringLiteral("REST = :LINES")).set(QStringLiteral("LINES"), lineList(lines));
    unit.beginWhile(QStringLiteral(":Q > :T AND :REST <> ''"));
    unit.add(QStringLiteral("CUT = POSITION(',' IN :REST)"));
    unit.add(QStringLiteral("LINE = CAST(LEFT(:REST, :CUT - 1) AS INTEGER)"));
    unit.add(QStringLiteral("REST = SUBSTRING(:REST FROM :CUT + 1)"));
    unit.add(QStringLiteral("LAST = :LINE"));
    unit.add(QStringLiteral("O = 0"));
    unit.add(FillNames(kBookLine, {statements.lineTable}))
        .set(QStringLiteral("ISN"), UnitArg::variable(QStringLiteral("LINE")));
    unit.add(QStringLiteral("Q = :Q - MINVALUE(:Q, COALESCE(:O, 0))"));
    unit.endWhile();
    unit.beginIf(QStringLiteral(":Q > :T AND :LAST <> 0"));
    unit.add(FillNames(kAddSurplus, {statements.lineTable}));
    unit.endIf();
}

} // namespace

ReceivingCheck::ReceivingCheck(TClientDataModule& module)
    : m_module(module), m_query(module, module.cdsTempQuery()),
      m_update(module, module.cdsUpdate()), m_lookUp(module)
{
}

QStringList ReceivingCheck::WaybillNumbers(const QString& numberList)
{
    return numberList.split(QLatin1Char('-'), Qt::KeepEmptyParts);
}

bool ReceivingCheck::Preview(GoodsInfo& goods, const QString& article)
{
    return !article.isEmpty() && m_lookUp.Find(goods, article);
}

QString ReceivingCheck::PriceText(const GoodsInfo& goods)
{
    return QStringLiteral("Pārd.c.:") +
           ClientFormat::formatFloat(QStringLiteral("0.00"), goods.Price);
}

Outcome<ReceivingCheck::Result> ReceivingCheck::Check(GoodsInfo& goods, CheckKind kind,
                                                      const QString& numberList, const QDate& from,
                                                      const QDate& to, const QString& article,
                                                      const QString& quantityText)
{
    const Outcome<Booking> prepared =
        Prepare(goods, kind, numberList, from, to, article, quantityText);
    if (prepared.refused())
        return prepared.refusal();
    return Store(prepared.result());
}

Outcome<ReceivingCheck::Booking> ReceivingCheck::Prepare(GoodsInfo& goods, CheckKind kind,
                                                         const QString& numberList,
                                                         const QDate& from, const QDate& to,
                                                         const QString& article,
                                                         const QString& quantityText)
{
    using Prepared = Outcome<Booking>;
    if (numberList.isEmpty())
        return Prepared::refuse(kNoNumbers, QStringLiteral("edPZ_Numuri"));
    if (article.isEmpty())
        return Prepared::refuse(NoArticle, kArticleField);
    if (quantityText.isEmpty())
        return Prepared::refuse(NoQuantity, QStringLiteral("edDaudzums"));
    Booking booking;
    booking.kind = kind;
    booking.count = ReadNumberField(m_module.clientState(), quantityText);
    if (!m_lookUp.Recall(goods, article))
        return Refusal{ArticleNotFound, kArticleField, GoodsNotFoundMessage(article)};
    booking.goodsIsn = goods.Isn;

    const KindStatements& statements = statementsOf(kind);
    const QStringList numbers = WaybillNumbers(numberList);
    RemoteDataSet& query = *m_query;
    PrepareDataset(query);
    try {
        openBase(query, statements, numbers, from, to, goods.Isn);
    } catch (const std::exception& error) {
        return Prepared::refuse(kBadNumberOrDate + QLatin1Char('\n') + errorText(error),
                                kArticleField);
    }

    if (query.fieldByName(QStringLiteral("ISN")).asInteger() > 0) {
        // The warning compares with the lines as read: another terminal's
        // check stored meanwhile does not make this count right or wrong.
        double outstanding = 0;
        for (const Line& line : readLines(query)) {
            outstanding += line.quantity - line.checked;
            booking.lines << line.isn;
        }
        if (std::abs(outstanding - booking.count) > kQuantityTolerance)
            booking.result.warning = kQuantityDiffers;
        booking.result.status = kBooked;
        return booking;
    }

    // On none of the documents: noted in the first one's list.
    PrepareDataset(query);
    openBase(query, statements, numbers, from, to, 0);
    booking.noteDocument = query.fieldByName(QStringLiteral("ISPAVADZ")).asInteger();
    if (booking.noteDocument <= 0)
        return Prepared::refuse(kNoWaybill, QString());
    booking.noteEntry =
        QLatin1Char(' ') + article + QLatin1Char(' ') + goods.Name + QStringLiteral(" Daudzums=") +
        ClientFormat::formatFloat(QStringLiteral("0.00"), booking.count) + QLatin1Char('\n');
    booking.result = Result{QString(), kNoted, kNotedNotice};
    return booking;
}

namespace {

// The unit that adds the booking's entry to its document's note.
void buildNote(UnitOfWork& unit, const ClientState& state, const KindStatements& statements,
               const ReceivingCheck::Booking& booking)
{
    unit.add(FillNames(kAppendNote, {statements.documentTable}))
        .set(QStringLiteral("ISPAVADZ"), booking.noteDocument)
        .set(QStringLiteral("NEATRASTIE"), booking.noteEntry);
    LogOperation(unit, state, kCheckLogKey, QString(), statements.documentTable, booking.goodsIsn,
                 kNorvalk, booking.noteDocument, QDate::currentDate());
}

// The unit that books the count onto the booking's lines.
void buildCount(UnitOfWork& unit, const ClientState& state, const KindStatements& statements,
                const ReceivingCheck::Booking& booking)
{
    bookCount(unit, statements, booking.lines, booking.count);
    LogOperation(unit, state, kCheckLogKey, QString(), statements.lineTable, booking.goodsIsn,
                 kNorvalk, booking.lines.value(0), QDate::currentDate());
}

} // namespace

ReceivingCheck::Result ReceivingCheck::Store(const Booking& booking)
{
    const KindStatements& statements = statementsOf(booking.kind);
    RemoteDataSet& update = *m_update;
    // Each write carries an identity and a log entry stamped with it, so a
    // booking whose reply is lost, sent again, is counted once.
    const ClientState& state = m_module.clientState();
    if (booking.noteDocument > 0) {
        UnitOfWork unit(NewUnitIdentity(m_module));
        buildNote(unit, state, statements, booking);
        PrepareDataset(update);
        unit.run(update);
        return booking.result;
    }
    if (booking.count > kQuantityTolerance) {
        UnitOfWork unit(NewUnitIdentity(m_module));
        buildCount(unit, state, statements, booking);
        PrepareDataset(update);
        unit.run(update);
    }
    return booking.result;
}

QStringList ReceivingCheck::Statements()
{
    QStringList list;
    // The note's entry holds the typed article and the goods' name, and the
    // list of lines grows with them: each text short and long, as the unit
    // declares it in one of two widths.
    const QStringList entries{QStringLiteral("1"), QString(300, QLatin1Char('1'))};
    for (const KindStatements* statements : {&kReceiving, &kTransfer}) {
        for (const int markerCount : kNumberSlots) {
            list << baseStatement(*statements, markerCount, statements->article)
                 << baseStatement(*statements, markerCount, QString());
        }
        for (const QString& entry : entries) {
            Booking note;
            note.noteDocument = 1;
            note.noteEntry = entry;
            UnitOfWork noteUnit(UnitIdentity{QStringLiteral("NV:catalogue"), 0});
            buildNote(noteUnit, ClientState(), *statements, note);
            list << noteUnit.commandText();

            // One line, and as many as make the list of their keys as long.
            Booking count;
            count.count = 1;
            count.lines = QList<qint32>(entry.size() / 2 + 1, 1);
            UnitOfWork countUnit(UnitIdentity{QStringLiteral("NV:catalogue"), 0});
            buildCount(countUnit, ClientState(), *statements, count);
            list << countUnit.commandText();
        }
    }
    return list;
}
