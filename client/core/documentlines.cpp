#include "client/core/documentlines.h"

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/commonrefusals.h"
#include "client/core/documentkinds.h"
#include "client/core/findgoods.h"
#include "client/core/idlabelrule.h"
#include "client/core/linesender.h"
#include "client/core/remotedataset.h"
#include "client/core/scalebarcoderule.h"
#include "client/core/sqlnames.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"
#include "common/remoteerror.h"

#include <QDateTime>

#include <algorithm>
#include <iterator>
#include <string_view>

namespace {

using CommonRefusals::ArticleNotFound;
using CommonRefusals::NoArticle;
using CommonRefusals::NoQuantity;

const QString kNoPrice = QStringLiteral("Nav ievadīta cena !!!");
const QString kOverStock = QStringLiteral("Ievadītais daudzums pārsniedz atlikumu !!!");
const QString kOverCertificate =
    QStringLiteral("Atlikumā nav tik daudz dotā sertifikāta. Atlikums ir ");
const QString& kSaveFailed = DocumentLines::SaveFailed;

const QString kNorvalk = QStringLiteral("Norvalk");
const QString kThreeDecimals = QStringLiteral("0.000");
constexpr int kCertificateLimit = 200;
// A receipt's sale price below this leaves the catalogue's price alone.
constexpr double kLeastSalePrice = 0.005;

// The result codes of a save's unit.
constexpr int kStored = 0;
constexpr int kRefusedOverStock = 6;
constexpr int kRefusedOverCertificate = 7;
const QString kSetResult = QStringLiteral("RESULT = :CODE");

const QString kCertificates = QStringLiteral(
    "select * from PRECVALIDSERTLIST(:ISPRECE, :ISNODALA, :ISSERTIF, :ATL_FLAG, :DATUMS)");

// The department's sale price level names the column: levels 0 and 1 are
// PARDCENA1. The level is read in the same unit, so a level changed while
// the window is open is the one written.
const QString kUpdateSalePrice = QStringLiteral(
    "EXECUTE STATEMENT ('UPDATE N_KLPREC SET PARDCENA' || IIF(:SALELEVEL < 2, 1, :SALELEVEL) || "
    "'=? WHERE ISN=?') (:PARDCENA, :ISN)");

// A line of the line table in %1.
const QString kDeleteLine = QStringLiteral("DELETE FROM %1 WHERE ISN=:ISN");

// The list's columns in their order, and the results a save hands them back
// in (named with kSavedPrefix).
struct ListColumn
{
    const char* name;
    ParamType type;
};
constexpr ListColumn kListColumns[] = {
    {"ARTIKULS", ParamType::Text},   {"PRECE", ParamType::Text},
    {"DAUDZUMS", ParamType::Double}, {"CENA", ParamType::Double},
    {"KOPSUMMA", ParamType::Double}, {"ISN", ParamType::Integer},
    {"ISPRECE", ParamType::Integer},
};
constexpr int kTotalColumn = 4;
constexpr int kIsnColumn = 5;
static_assert(std::string_view(kListColumns[kTotalColumn].name) == "KOPSUMMA");
static_assert(std::string_view(kListColumns[kIsnColumn].name) == "ISN");
const QString kSavedPrefix = QStringLiteral("SAVED_");
// The list shows at most this many lines, the first by ISN.
constexpr int kListLimit = 1000;

QString totalText(double total)
{
    return QStringLiteral("Summa : ") + ClientFormat::formatFloat(QStringLiteral("0.00"), total);
}

// The server could not be reached, or its reply never came: the connection
// failed (RemoteError of the transport), or could not be made again before
// sending (ClientError of PrepareDataset).
bool unreachable(const std::exception& error)
{
    const auto* remote = dynamic_cast<const RemoteError*>(&error);
    return !remote || remote->kind() == RemoteError::Kind::Transport;
}

bool sameDocument(const DocumentContext& one, const DocumentContext& other)
{
    // Goods in memory are one list, whatever header was open before.
    return one.DocKind == other.DocKind &&
           (!KindInfo(one.DocKind).hasHeader() || one.DocIsn == other.DocIsn);
}

// The date of a line's log entries. Goods in memory belong to no dated
// document: their entries carry the day they were made, as every other
// entry does, and so show in a report of that day.
QDate logDate(const DocumentContext& document)
{
    return KindInfo(document.DocKind).hasHeader() ? document.DocDate : QDate::currentDate();
}

// The stock moves of a quantity in the document's kind: sign +1 as a line
// is saved, -1 as it is deleted.
void moveStock(UnitOfWork& unit, const DocumentContext& document, const UnitArg& goods,
               const QString& quantity, int sign)
{
    const UnitArg in = UnitArg::expression(sign > 0 ? quantity : QLatin1Char('-') + quantity);
    const UnitArg out = UnitArg::expression(sign > 0 ? QLatin1Char('-') + quantity : quantity);
    const QString notIllegal = QStringLiteral("F");
    switch (KindInfo(document.DocKind).stockMove) {
    case StockMove::IntoDepartment:
        UpdateStock(unit, goods, document.DepartmentIsn, 1, notIllegal, in);
        break;
    case StockMove::DepartmentToDestination:
        UpdateStock(unit, goods, document.DepartmentIsn, 1, notIllegal, out);
        UpdateStock(unit, goods, document.CounterpartyIsn, 1, notIllegal, in);
        break;
    case StockMove::OutOfDepartment:
        UpdateStock(unit, goods, document.DepartmentIsn, 1, notIllegal, out);
        break;
    case StockMove::None:
        break;
    }
}

// What a line stores as its prices, by how its kind keeps them: CENA and
// PARD_CENA.
std::pair<double, double> storedPrices(LinePrices prices, double price, double salePrice,
                                       double vat)
{
    switch (prices) {
    case LinePrices::AsTyped:
        return {price, salePrice};
    case LinePrices::SaleNetOfVat:
        return {price, salePrice / (1 + vat / 100)};
    case LinePrices::SalePriceOnly:
        return {0, price};
    case LinePrices::NetOfVat:
        // Typed with VAT, kept without it.
        return {price / (1 + vat / 100), 0};
    case LinePrices::None:
        break;
    }
    return {0, 0};
}

} // namespace

DocumentLines::DocumentLines(TClientDataModule& module, GoodsInfo& goods)
    : m_module(module), m_query(module, module.cdsTempQuery()),
      m_update(module, module.cdsUpdate()), m_goods(goods), m_lookUp(module)
{
}

DocumentLines::KindSetup DocumentLines::Activate(const DocumentContext& context)
{
    m_context = context;
    m_lineTable = KindInfo(context.DocKind).lineTable;
    m_lookUp.Forget();

    const ClientState& state = m_module.clientState();
    const DocumentKindInfo& info = KindInfo(context.DocKind);
    KindSetup setup;
    setup.title = info.linesTitle;
    setup.priceLabel = info.priceLabel;
    setup.salePriceLabel = info.salePriceLabel;
    setup.priceVisible = info.priceShown && !(info.priceHiddenByUser && state.HidePurchasePrice);
    setup.discountVisible = info.discountShown;
    setup.salePriceVisible = info.salePriceShown;
    setup.salePriceEnabled = info.salePriceEnabled;
    setup.certificateVisible = info.certificatesShown;
    if (info.discountFromClient)
        setup.discountText = ClientFormat::toText(context.ClientDiscount);
    if (info.writeOutSettings && state.IzrDaudzums1)
        setup.quantityText = QStringLiteral("1");
    return setup;
}

// The price level the look-up prices the goods at, read in the unit: the
// level belongs to the document's department or client, and a level changed
// while the window is open is the one used.
void DocumentLines::AddPriceLevel(UnitOfWork& unit)
{
    const QString departments = QStringLiteral("N_DEPART");
    const QString priceCode = QStringLiteral("CENKODS");
    const QString level = QStringLiteral("LEVEL");
    m_goods.ClientIsn = 0;
    unit.declareResult(level, ParamType::Double);
    switch (KindInfo(m_context.DocKind).priceLevel) {
    case PriceLevelFrom::Department:
        LookupNumber(unit, departments, m_context.DepartmentIsn, priceCode, level);
        break;
    case PriceLevelFrom::Destination:
        LookupNumber(unit, departments, m_context.CounterpartyIsn, priceCode, level);
        break;
    case PriceLevelFrom::ClientOrDepartment:
        if (m_module.clientState().IzrPardCenaNoNodalas) {
            LookupNumber(unit, departments, m_context.DepartmentIsn, priceCode, level);
        } else {
            LookupNumber(unit, QStringLiteral("N_KLIENT"), m_context.CounterpartyIsn,
                         QStringLiteral("CENUGRUPA"), level);
            m_goods.ClientIsn = m_context.CounterpartyIsn;
        }
        break;
    case PriceLevelFrom::First:
        unit.add(QStringLiteral("LEVEL = 1"));
        break;
    }
}

DocumentLines::LookedUp DocumentLines::LookUp(const QString& article, const QString& quantity)
{
    LookedUp result;
    result.article = article;
    result.quantity = quantity;
    if (article.isEmpty())
        return result;
    ScaleBarcodeRule::Apply(m_module.clientState(), result.article, &result.quantity);
    const IdLabel label = IdLabelRule(result.article);
    result.article = label.article;
    m_lookUp.Forget();

    UnitOfWork unit;
    if (!BuildLookUp(unit, label.code, label.byIsn)) {
        result.notice = GoodsNotFoundMessage(label.code);
        return result;
    }
    const bool certificates = KindInfo(m_context.DocKind).certificatesShown;
    RemoteDataSet& rows = *m_query;
    try {
        PrepareDataset(rows);
        unit.run(rows);
    } catch (const std::exception& error) {
        if (!m_module.terminalStore() || !unreachable(error))
            throw;
        return LookUpInCopy(label.code, label.byIsn, std::move(result));
    }

    // Cut toward zero, as a price level is read.
    m_goods.PriceCode = qint32(rows.fieldByName(QStringLiteral("LEVEL")).asFloat());
    if (!ReadFoundGoods(rows, m_goods)) {
        result.notice = GoodsNotFoundMessage(label.code);
        return result; // the fields keep their texts
    }
    m_lookUp.Remember(label.code, label.byIsn, m_goods);
    result.found = true;
    result.name = m_goods.Name;
    result.salePrice = ClientFormat::formatFloat(kThreeDecimals, m_goods.Price);
    ReadPrefill(rows, result);
    if (certificates)
        result.certificates = ReadCertificates(rows);
    return result;
}

bool DocumentLines::BuildLookUp(UnitOfWork& unit, const QString& code, bool byIsn)
{
    AddPriceLevel(unit);
    if (!FindGoods(unit, code, byIsn, m_goods.ClientIsn))
        return false;
    unit.beginIf(QStringLiteral(":ISN > 0"));
    AddPrefill(unit);
    unit.endIf();
    if (KindInfo(m_context.DocKind).certificatesShown)
        AddCertificates(unit);
    return true;
}

namespace {

// Whether the kind pre-fills the last purchase price, and with VAT.
struct PrefillFacts
{
    bool supplierOrder = false;
    bool lastPrice = false;
    bool stock = false;
};

PrefillFacts prefillFacts(const DocumentKindInfo& info, const DocumentContext& context)
{
    PrefillFacts facts;
    facts.supplierOrder =
        info.priceStart == PriceStart::LastPurchaseForSupplier && context.ClientIsSupplier;
    facts.lastPrice = info.priceStart == PriceStart::LastPurchase || facts.supplierOrder;
    facts.stock = info.stockShown != StockShown::None;
    return facts;
}

} // namespace

// What the kind pre-fills from the price history or the stock, for the goods
// the unit has just found.
void DocumentLines::AddPrefill(UnitOfWork& unit)
{
    const PrefillFacts facts = prefillFacts(KindInfo(m_context.DocKind), m_context);
    const UnitArg goods = UnitArg::variable(QStringLiteral("ISN"));
    if (facts.lastPrice) {
        unit.declareResult(QStringLiteral("LASTPRICE"), ParamType::Double);
        if (facts.supplierOrder)
            GetLastPrice(unit, m_module.clientState(), goods, m_context.DepartmentIsn,
                         QStringLiteral("CENA*(1+ATLAIDE/100)*(1+NODOKLIS/100)"), m_context.DocDate,
                         QStringLiteral("CENA*(1+NODOKLIS/100)"), QStringLiteral("LASTPRICE"));
        else
            GetLastPrice(unit, m_module.clientState(), goods, m_context.DepartmentIsn,
                         QStringLiteral("CENA*(1+ATLAIDE/100)"), m_context.DocDate,
                         QStringLiteral("CENA"), QStringLiteral("LASTPRICE"));
    }
    if (facts.stock) {
        unit.declareResult(QStringLiteral("STOCK"), ParamType::Double);
        GetStock(unit, goods, m_context.DepartmentIsn, QStringLiteral("K"),
                 QStringLiteral("STOCK"));
    }
}

void DocumentLines::ReadPrefill(const RemoteDataSet& row, LookedUp& result)
{
    const DocumentKindInfo& info = KindInfo(m_context.DocKind);
    const PrefillFacts facts = prefillFacts(info, m_context);
    if (info.priceStart == PriceStart::SalePrice ||
        (info.priceStart == PriceStart::LastPurchaseForSupplier && !facts.supplierOrder))
        result.price = ClientFormat::formatFloat(kThreeDecimals, m_goods.Price);
    if (info.specialPriceClearsDiscount && m_goods.HasSpecialPrice)
        result.clearDiscount = true; // a special price is not discounted again
    if (facts.lastPrice)
        result.price = ClientFormat::formatFloat(
            kThreeDecimals, row.fieldByName(QStringLiteral("LASTPRICE")).asFloat());
    if (facts.stock) {
        const QString onHand = ClientFormat::formatFloat(
            kThreeDecimals, row.fieldByName(QStringLiteral("STOCK")).asFloat());
        // An inventory line starts from the stock; orders and write-outs
        // show it where the sale price would be.
        if (info.stockShown == StockShown::InQuantity)
            result.prefilledQuantity = onHand;
        else
            result.salePrice = onHand;
    }
}

// The certificates of the goods with their stock, one row each after the
// unit's row of figures. The results are named apart from the statement's
// own markers (:ISSERTIF is its input).
void DocumentLines::AddCertificates(UnitOfWork& unit)
{
    const ClientState& state = m_module.clientState();
    unit.declareResult(QStringLiteral("CERT_ISN"), ParamType::Integer);
    unit.declareResult(QStringLiteral("CERT_NAME"), ParamType::Text);
    unit.declareResult(QStringLiteral("CERT_STOCK"), ParamType::Double);
    unit.suspendEach(kCertificates, {QStringLiteral("CERT_ISN"), QStringLiteral("CERT_NAME"),
                                     QStringLiteral("CERT_STOCK")})
        .set({{QStringLiteral("ISPRECE"), UnitArg::variable(QStringLiteral("ISN"))},
              {QStringLiteral("ISNODALA"), m_context.DepartmentIsn},
              {QStringLiteral("ISSERTIF"), 0},
              {QStringLiteral("ATL_FLAG"),
               state.UseCertifiedStock || state.ShowCertifiedStock ? 1 : 0},
              {QStringLiteral("DATUMS"), QDateTime(m_context.DocDate, QTime(0, 0))}});
}

QList<DocumentLines::Certificate> DocumentLines::ReadCertificates(RemoteDataSet& rows)
{
    QList<Certificate> items;
    rows.first();
    for (rows.next(); !rows.eof() && items.size() < kCertificateLimit; rows.next()) {
        // The certificate left-aligned in 40 characters, its stock
        // right-aligned in 7; a longer text is not cut.
        const QString name = rows.fieldByName(QStringLiteral("CERT_NAME")).asString();
        const QString stock = rows.fieldByName(QStringLiteral("CERT_STOCK")).asString();
        items.append({name.leftJustified(40) + QLatin1Char(' ') + stock.rightJustified(7),
                      rows.fieldByName(QStringLiteral("CERT_ISN")).asInteger()});
    }
    return items;
}

Outcome<DocumentLines::Saved> DocumentLines::Save(Entry entry, QString& article)
{
    const Outcome<LineValues> read = ReadEntry(entry, article);
    if (read.refused())
        return read.refusal();
    const LineValues& values = read.result();

    UnitOfWork unit(SaveIdentity(values));
    BuildSave(unit, values);

    // Lines kept while the server could not be reached go first.
    TerminalStore* store = m_module.terminalStore();
    if (store && store->queue().waitingCount() > 0)
        return Queue(unit, values, article);
    RemoteDataSet& update = *m_update;
    try {
        PrepareDataset(update);
        unit.run(update);
    } catch (const std::exception& error) {
        // Without a reply the save may have been stored; sent again (from
        // the queue, or by the worker) it goes with the same identity.
        const bool unanswered = unreachable(error);
        if (unanswered && store)
            return Queue(unit, values, article);
        if (!unanswered)
            m_unanswered.reset();
        return Outcome<Saved>::refuse(kSaveFailed + errorText(error), QStringLiteral("edArtikuls"));
    }
    m_unanswered.reset();
    if (UnitOfWork::ranBefore(update))
        return SavedEarlier(UnitOfWork::earlierKey(update));
    return Answer(update, values);
}

void DocumentLines::BuildSave(UnitOfWork& unit, const LineValues& values)
{
    unit.declareResult(QStringLiteral("RESULT"), ParamType::Integer);
    unit.declareResult(QStringLiteral("L"), ParamType::Integer);
    unit.declareResult(QStringLiteral("C"), ParamType::Double);
    unit.declare(QStringLiteral("STOCK"), ParamType::Double);
    unit.declare(QStringLiteral("DEP"), ParamType::Double);
    unit.declare(QStringLiteral("DEPISN"), ParamType::Integer);
    unit.declare(QStringLiteral("F"), ParamType::Double);
    unit.declare(QStringLiteral("CP"), ParamType::Double);
    unit.declare(QStringLiteral("Q"), ParamType::Double);
    unit.declare(QStringLiteral("QF"), ParamType::Double);
    unit.declare(QStringLiteral("L2"), ParamType::Integer);
    if (values.setsSalePrice) {
        unit.declare(QStringLiteral("LEVEL"), ParamType::Double);
        unit.declareResult(QStringLiteral("SALELEVEL"), ParamType::Integer);
    }
    unit.add(kSetResult).set(QStringLiteral("CODE"), kStored);
    unit.add(QStringLiteral("Q = :QUANTITY")).set(QStringLiteral("QUANTITY"), values.quantity);
    // The checks against the stock run first, in the same unit: refused,
    // nothing is written.
    AddStockChecks(unit, values);
    AddLine(unit, values);
    const DocumentKindInfo& info = KindInfo(m_context.DocKind);
    const bool container = !info.insertContainer.isEmpty();
    if (container)
        AddContainerLookUp(unit);
    // Goods in memory belong to no numbered document.
    LogOperation(unit, m_module.clientState(), QStringLiteral("J"),
                 info.hasHeader() ? m_context.DocNumber : QString(), m_lineTable, m_goods.Isn,
                 kNorvalk, UnitArg::variable(QStringLiteral("L")), logDate(m_context));
    moveStock(unit, m_context, m_goods.Isn, QStringLiteral(":Q"), +1);
    if (values.setsSalePrice)
        AddSalePrice(unit, values);
    if (container)
        AddContainerLine(unit);
    AddSavedLines(unit);
}

// Without the server, the goods come from the terminal's copy of the
// catalogue at the department's price level; nothing is pre-filled and no
// certificates are listed (they need the stock as it stands).
DocumentLines::LookedUp DocumentLines::LookUpInCopy(const QString& code, bool byIsn,
                                                    LookedUp result)
{
    const GoodsCatalogueCopy& copy = m_module.terminalStore()->goods();
    const qint32 level =
        copy.departmentPriceCode(m_context.DepartmentIsn).value_or(m_goods.PriceCode);
    if (!copy.find(m_goods, code, byIsn, level)) {
        result.notice = GoodsNotFoundMessage(code);
        return result;
    }
    m_lookUp.Remember(code, byIsn, m_goods);
    result.found = true;
    result.name = m_goods.Name;
    result.salePrice = ClientFormat::formatFloat(kThreeDecimals, m_goods.Price);
    return result;
}

Outcome<DocumentLines::Saved> DocumentLines::Queue(const UnitOfWork& unit, const LineValues& values,
                                                   const QString& article)
{
    QueuedLine line;
    line.identity = m_unanswered->identity.text;
    line.logFloor = m_unanswered->identity.logFloor;
    line.documentKind = qint32(m_context.DocKind);
    line.documentIsn = m_context.DocIsn;
    line.documentNumber = m_context.DocNumber;
    line.article = article;
    line.goodsName = m_goods.Name;
    line.quantity = values.quantity;
    try {
        line.unit = EncodeUnit(unit.commandText(), unit.params());
        m_module.terminalStore()->queue().enqueue(line);
    } catch (const std::exception& error) {
        return Outcome<Saved>::refuse(kSaveFailed + errorText(error), QStringLiteral("edArtikuls"));
    }
    m_unanswered.reset(); // the queue sends it, with its identity
    Saved saved;
    saved.queued = true;
    FillAfterSave(saved);
    saved.total = totalText(m_total);
    return saved;
}

int DocumentLines::QueuedCount()
{
    TerminalStore* store = m_module.terminalStore();
    return store ? store->queue().waitingCount() : 0;
}

QList<QueuedLine> DocumentLines::RefusedLines()
{
    TerminalStore* store = m_module.terminalStore();
    return store ? store->queue().refused() : QList<QueuedLine>();
}

void DocumentLines::DropRefused(const QString& identity)
{
    if (TerminalStore* store = m_module.terminalStore())
        store->queue().drop(identity);
}

bool DocumentLines::SendQueued(int count)
{
    TerminalStore* store = m_module.terminalStore();
    if (!store)
        return false;
    const LineSender::Round round = LineSender(m_module, store->queue()).SendWaiting(count);
    // Lines of this document now stored: the list and the total as stored.
    if (round.stored > 0 && HoldsWholeList(m_context))
        RefreshLines(true);
    return round.unreachable;
}

UnitIdentity DocumentLines::SaveIdentity(const LineValues& values)
{
    if (m_unanswered && sameDocument(m_unanswered->document, m_context) &&
        m_unanswered->goodsIsn == m_goods.Isn && m_unanswered->values == values)
        return m_unanswered->identity;
    m_unanswered = UnansweredSave{NewUnitIdentity(m_module), m_context, m_goods.Isn, values};
    return m_unanswered->identity;
}

// An earlier send of the save was stored though its reply was lost: the list
// and the total are read again, as the unit that stored it did not hand them
// to this one.
Outcome<DocumentLines::Saved> DocumentLines::SavedEarlier(qint32 lineIsn)
{
    Saved saved;
    saved.lineIsn = lineIsn;
    FillAfterSave(saved);
    try {
        saved.total = RefreshLines(HoldsWholeList(m_context));
    } catch (const std::exception&) {
        saved.total = totalText(m_total); // stored all the same; the list catches up when read
    }
    return saved;
}

void DocumentLines::FillAfterSave(Saved& saved) const
{
    const ClientState& state = m_module.clientState();
    if (KindInfo(m_context.DocKind).writeOutSettings) {
        saved.quantity = state.IzrDaudzums1 ? QStringLiteral("1") : QString();
        saved.clearDiscount = state.IzrDzestAtlaidi;
    } else {
        saved.clearDiscount = false;
    }
}

Outcome<DocumentLines::LineValues> DocumentLines::ReadEntry(const Entry& entry, QString& article)
{
    using Read = Outcome<LineValues>;
    const DocumentKindInfo& info = KindInfo(m_context.DocKind);
    if (entry.article.isEmpty())
        return Read::refuse(NoArticle, QStringLiteral("edArtikuls"));
    const IdLabel label = IdLabelRule(entry.article);
    article = label.article;
    if (!m_lookUp.Recall(m_goods, label.code, label.byIsn))
        return Refusal{ArticleNotFound, QStringLiteral("edArtikuls"),
                       GoodsNotFoundMessage(label.code)};
    if (entry.quantity.isEmpty())
        return Read::refuse(NoQuantity, QStringLiteral("edDaudzums"));
    const ClientState& state = m_module.clientState();
    LineValues values;
    values.quantity = ReadNumberField(state, entry.quantity);
    values.salePrice = entry.salePrice.isEmpty() ? 0 : ReadNumberField(state, entry.salePrice);
    values.discount = entry.discount.isEmpty() ? 0 : ReadNumberField(state, entry.discount);
    if (info.linePrices != LinePrices::None) {
        if (entry.price.isEmpty())
            return Read::refuse(kNoPrice, QStringLiteral("edCena"));
        values.price = ReadNumberField(state, entry.price);
    }
    values.chosenCertificate = entry.certificateIsn;
    values.setsSalePrice = info.setsCatalogueSalePrice && values.salePrice > kLeastSalePrice;
    return values;
}

void DocumentLines::AddStockChecks(UnitOfWork& unit, const LineValues& values)
{
    if (!KindInfo(m_context.DocKind).checksStock)
        return;
    if (!m_goods.IsService) {
        GetStock(unit, m_goods.Isn, m_context.DepartmentIsn, QStringLiteral("K"),
                 QStringLiteral("STOCK"));
        unit.beginIf(QStringLiteral(":Q > :STOCK"));
        unit.add(kSetResult).set(QStringLiteral("CODE"), kRefusedOverStock);
        unit.finish();
        unit.endIf();
    }
    if (m_module.clientState().UseCertifiedStock && values.quantity > 0 &&
        values.chosenCertificate) {
        GetCertifiedStock(unit, m_goods.Isn, m_context.DepartmentIsn, *values.chosenCertificate,
                          QDate::currentDate(), QStringLiteral("C"));
        unit.beginIf(QStringLiteral(":Q > :C"));
        unit.add(kSetResult).set(QStringLiteral("CODE"), kRefusedOverCertificate);
        unit.finish();
        unit.endIf();
    }
}

void DocumentLines::AddLine(UnitOfWork& unit, const LineValues& values)
{
    const DocumentKindInfo& info = KindInfo(m_context.DocKind);
    const double vat = m_goods.VatRate;
    const auto [price, salePrice] =
        storedPrices(info.linePrices, values.price, values.salePrice, vat);
    // Each kind's statement takes the values it names; goods in memory
    // belong to their department instead of a header.
    UnitOfWork::Step& line =
        unit.add(info.insertLine + QStringLiteral(" RETURNING ISN INTO :L"))
            .set({{QStringLiteral("ISPRECE"), m_goods.Isn},
                  {QStringLiteral("DAUDZUMS"), values.quantity},
                  {QStringLiteral("ISNODALA"), m_context.DepartmentIsn},
                  {QStringLiteral("ISSERTIF"), std::max(1, values.chosenCertificate.value_or(1))},
                  {QStringLiteral("NODOKLIS"), vat},
                  {QStringLiteral("CENA"), price},
                  {QStringLiteral("PARD_CENA"), salePrice},
                  {QStringLiteral("ATLAIDE"), values.discount},
                  {QStringLiteral("ISAGENTS"), m_module.clientState().AgentIsn}});
    if (info.hasHeader())
        line.set(info.headerColumn, m_context.DocIsn);
}

// The received goods set the sale price of the department's level.
void DocumentLines::AddSalePrice(UnitOfWork& unit, const LineValues& values)
{
    LookupNumber(unit, QStringLiteral("N_DEPART"), m_context.DepartmentIsn,
                 QStringLiteral("CENKODS"), QStringLiteral("LEVEL"));
    unit.add(QStringLiteral("SALELEVEL = TRUNC(:LEVEL)"));
    unit.add(kUpdateSalePrice)
        .set(QStringLiteral("PARDCENA"), values.salePrice)
        .set(QStringLiteral("ISN"), m_goods.Isn);
}

// The returnable container that comes with the goods, if any: DEPISN its
// goods (above 1 when there is one), QF its quantity, CP its price.
void DocumentLines::AddContainerLookUp(UnitOfWork& unit)
{
    const UnitArg depot = UnitArg::variable(QStringLiteral("DEPISN"));
    LookupNumber(unit, QStringLiteral("N_KLPREC"), m_goods.Isn, QStringLiteral("ISDEPOZITATARA"),
                 QStringLiteral("DEP"));
    unit.add(QStringLiteral("DEPISN = TRUNC(:DEP)"));
    unit.beginIf(QStringLiteral(":DEPISN > 1"));
    LookupNumber(unit, QStringLiteral("N_KLPREC"), depot, QStringLiteral("DEPOZITATARADAUDZUMS"),
                 QStringLiteral("F"));
    unit.add(QStringLiteral("IF (:F < 1) THEN F = 1"));
    LookupNumber(unit, QStringLiteral("N_KLPREC"), depot, QStringLiteral("PARDCENA1"),
                 QStringLiteral("CP"));
    unit.add(QStringLiteral("QF = :Q * :F"));
    unit.endIf();
}

void DocumentLines::AddContainerLine(UnitOfWork& unit)
{
    const DocumentKindInfo& info = KindInfo(m_context.DocKind);
    const UnitArg depot = UnitArg::variable(QStringLiteral("DEPISN"));
    unit.beginIf(QStringLiteral(":DEPISN > 1"));
    unit.add(info.insertContainer + QStringLiteral(" RETURNING ISN INTO :L2"))
        .set({{QStringLiteral("ISPRECE"), depot},
              {info.headerColumn, m_context.DocIsn},
              {QStringLiteral("DAUDZUMS"), UnitArg::variable(QStringLiteral("QF"))},
              {QStringLiteral("CENA"), UnitArg::variable(QStringLiteral("CP"))},
              {QStringLiteral("PARD_CENA"), UnitArg::variable(QStringLiteral("CP"))},
              {QStringLiteral("ISAGENTS"), m_module.clientState().AgentIsn},
              {QStringLiteral("NODOKLIS"), 0.0}});
    moveStock(unit, m_context, depot, QStringLiteral(":QF"), +1);
    unit.endIf();
}

const QString DocumentLines::SaveFailed = QStringLiteral("Preces datus saglabāt neizdevās !!!\n");

std::optional<Refusal> DocumentLines::SaveRefusal(const RemoteDataSet& update)
{
    switch (update.fieldByName(QStringLiteral("RESULT")).asInteger()) {
    case kRefusedOverStock:
        return Refusal{kOverStock, QStringLiteral("edDaudzums")};
    case kRefusedOverCertificate:
        return Refusal{kOverCertificate + ClientFormat::formatFloat(
                                              QStringLiteral("0.00"),
                                              update.fieldByName(QStringLiteral("C")).asFloat()),
                       QStringLiteral("edDaudzums")};
    default:
        return std::nullopt;
    }
}

Outcome<DocumentLines::Saved> DocumentLines::Answer(RemoteDataSet& update, const LineValues& values)
{
    if (std::optional<Refusal> refusal = SaveRefusal(update))
        return *refusal;
    if (values.setsSalePrice)
        m_goods.PriceCode = update.fieldByName(QStringLiteral("SALELEVEL")).asInteger();

    Saved saved;
    saved.lineIsn = update.fieldByName(QStringLiteral("L")).asInteger();
    FillAfterSave(saved);
    // The rows after the first are the saved lines as the list shows them,
    // each with the header's total as the unit left it.
    update.next();
    if (!update.eof())
        m_total = update.fieldByName(kSavedPrefix + QStringLiteral("KOPSUMMA")).asFloat();
    ApplyToList(update, m_total);
    saved.total = totalText(m_total);
    return saved;
}

// The line and its container line as the list would read them, after
// everything else the unit writes (the total includes both).
void DocumentLines::AddSavedLines(UnitOfWork& unit)
{
    QStringList into;
    for (const ListColumn& column : kListColumns) {
        into << kSavedPrefix + QLatin1String(column.name);
        unit.declareResult(into.last(), column.type);
    }
    unit.suspendEach(KindInfo(m_context.DocKind).linesByIsn(), into)
        .set({{QStringLiteral("ISPAVADZ"), m_context.DocIsn},
              {QStringLiteral("LINE"), UnitArg::variable(QStringLiteral("L"))},
              {QStringLiteral("CONTAINER"), UnitArg::variable(QStringLiteral("L2"))}});
}

bool DocumentLines::HoldsWholeList(const DocumentContext& document) const
{
    const RemoteDataSet& lines = m_module.cdsPreces();
    return m_listed && sameDocument(*m_listed, document) && lines.isActive() &&
           lines.packet().columns.size() == qsizetype(std::size(kListColumns));
}

// Adds the saved rows (savedRows from its current row on) to the list held,
// in the order of their ISN and within the list's limit, as a read of the
// whole list would now give it.
void DocumentLines::ApplyToList(RemoteDataSet& savedRows, double total)
{
    if (!HoldsWholeList(m_context))
        return;
    DataPacket held = m_module.cdsPreces().packet();
    for (; !savedRows.eof(); savedRows.next()) {
        QVariantList row;
        for (const ListColumn& column : kListColumns)
            row << savedRows.fieldByName(kSavedPrefix + QLatin1String(column.name)).value();
        const qint64 isn = row[kIsnColumn].toLongLong();
        const auto at = std::lower_bound(held.rows.begin(), held.rows.end(), isn,
                                         [](const QVariantList& listed, qint64 key) {
                                             return listed[kIsnColumn].toLongLong() < key;
                                         });
        held.rows.insert(at, row);
    }
    if (held.rows.size() > kListLimit)
        held.rows.resize(kListLimit);
    HoldList(std::move(held), total);
}

// The rows as the list now holds them, each with the document's total.
void DocumentLines::HoldList(DataPacket rows, double total)
{
    for (QVariantList& row : rows.rows)
        row[kTotalColumn] = total;
    m_module.cdsPreces().holdRows(std::move(rows));
}

void DocumentLines::RemoveFromList(qint32 lineIsn, double total)
{
    DataPacket held = m_module.cdsPreces().packet();
    if (held.rows.size() >= kListLimit) {
        // A line past the limit moves up into the list: only a read knows which.
        RefreshLines(true);
        return;
    }
    held.rows.removeIf(
        [&](const QVariantList& row) { return row[kIsnColumn].toLongLong() == lineIsn; });
    HoldList(std::move(held), total);
}

QString DocumentLines::RefreshLines(bool full)
{
    RemoteDataSet& lines = m_module.cdsPreces();
    PrepareDataset(lines);
    m_listed.reset();
    const DocumentKindInfo& info = KindInfo(m_context.DocKind);
    const bool placeholder = !info.linesPlaceholder.isEmpty() && !full;
    lines.setCommandText(placeholder ? info.linesPlaceholder : info.lines);
    if (info.hasHeader())
        lines.setIntegerParam(QStringLiteral("ISPAVADZ"), m_context.DocIsn);
    lines.open();
    if (!placeholder)
        m_listed = m_context;
    m_total = lines.eof() ? 0 : lines.fieldByName(QStringLiteral("KOPSUMMA")).asFloat();
    return totalText(m_total);
}

QString DocumentLines::ShowList()
{
    return HoldsWholeList(m_context) ? totalText(m_total) : RefreshLines(true);
}

QString DocumentLines::TotalText() const
{
    return totalText(m_total);
}

std::optional<DocumentLines::LocatedLine> DocumentLines::LocateLine(const QString& itemText)
{
    bool isNumber = false;
    const qint32 isn = itemText.trimmed().toInt(&isNumber);
    RemoteDataSet& lines = m_module.cdsPreces();
    if (!isNumber || isn <= 0 || !lines.isActive() || !lines.locate(QStringLiteral("ISN"), isn))
        return std::nullopt;
    LocatedLine line;
    line.document = m_context;
    line.lineTable = m_lineTable;
    line.isn = isn;
    line.goodsIsn = lines.fieldByName(QStringLiteral("ISPRECE")).asInteger();
    line.quantity = lines.fieldByName(QStringLiteral("DAUDZUMS")).asFloat();
    return line;
}

void DocumentLines::DeleteLine(const LocatedLine& line)
{
    // The row gone, the log entry and the stock put back: all or nothing.
    // The row goes first, and the rest only when it was there: a deletion
    // sent again after its reply was lost (or pressed again meanwhile) puts
    // the stock back once.
    UnitOfWork unit(NewUnitIdentity(m_module));
    BuildDelete(unit, line);
    RemoteDataSet& query = *m_query;
    PrepareDataset(query);
    unit.run(query);
    if (!sameDocument(line.document, m_context))
        return;
    if (UnitOfWork::ranBefore(query)) {
        RefreshLines(HoldsWholeList(m_context)); // the total came with the lost reply
        return;
    }
    m_total = query.fieldByName(QStringLiteral("TOTAL")).asFloat();
    if (HoldsWholeList(m_context))
        RemoveFromList(line.isn, m_total);
}

void DocumentLines::BuildDelete(UnitOfWork& unit, const LocatedLine& line)
{
    unit.declare(QStringLiteral("Q"), ParamType::Double);
    unit.declare(QStringLiteral("GONE"), ParamType::Integer);
    unit.add(FillNames(kDeleteLine, {line.lineTable})).set(QStringLiteral("ISN"), line.isn);
    unit.add(QStringLiteral("GONE = ROW_COUNT"));
    unit.beginIf(QStringLiteral("GONE > 0"));
    LogOperation(unit, m_module.clientState(), QStringLiteral("D"), line.document.DocNumber,
                 line.lineTable, line.goodsIsn, kNorvalk, line.isn, logDate(line.document));
    unit.add(QStringLiteral("Q = :QUANTITY")).set(QStringLiteral("QUANTITY"), line.quantity);
    moveStock(unit, line.document, line.goodsIsn, QStringLiteral(":Q"), -1);
    unit.endIf();
    // The total the list shows once the line is gone (none left: 0).
    unit.declareResult(QStringLiteral("TOTAL"), ParamType::Double);
    unit.add(QStringLiteral("TOTAL = 0"));
    unit.add(QStringLiteral("FOR ") + KindInfo(line.document.DocKind).linesTotal() +
             QStringLiteral(" INTO :TOTAL DO LEAVE"))
        .set(QStringLiteral("ISPAVADZ"), line.document.DocIsn);
}

QStringList DocumentLines::Statements(TClientDataModule& module)
{
    QStringList statements;
    GoodsInfo goods;
    DocumentLines lines(module, goods);
    ClientState& state = module.clientState();
    // Every setting, document fact and goods fact a unit's text depends on,
    // each both ways; a combination no window makes only adds a text the
    // terminal could build.
    enum Fact : unsigned
    {
        Supplier = 1 << 0,            // the order's client also supplies
        PriceFromDepartment = 1 << 1, // IzrPardCenaNoNodalas
        CertifiedStock = 1 << 2,      // UseCertifiedStock
        Service = 1 << 3,             // the goods are a service
        NoDepartment = 1 << 4,
        NoCounterparty = 1 << 5,
        AllFacts = 1 << 6,
    };
    for (const DocumentKind kind : kAllDocumentKinds) {
        const DocumentKindInfo& info = KindInfo(kind);
        statements << info.lines;
        if (!info.linesPlaceholder.isEmpty())
            statements << info.linesPlaceholder;
        for (unsigned facts = 0; facts < AllFacts; ++facts) {
            DocumentContext context;
            context.DocKind = kind;
            context.DocIsn = 1;
            context.DocNumber = QStringLiteral("1");
            context.DocDate = QDate(2000, 1, 1);
            context.DepartmentIsn = (facts & NoDepartment) ? 0 : 2;
            context.CounterpartyIsn = (facts & NoCounterparty) ? 0 : 3;
            context.ClientIsSupplier = (facts & Supplier) != 0;
            state.IzrPardCenaNoNodalas = (facts & PriceFromDepartment) != 0;
            state.UseCertifiedStock = (facts & CertifiedStock) != 0;
            lines.Activate(context);
            goods = GoodsInfo();
            goods.Isn = 1;
            goods.IsService = (facts & Service) != 0;

            for (const bool byIsn : {false, true}) {
                UnitOfWork lookUp;
                if (lines.BuildLookUp(lookUp, QStringLiteral("1"), byIsn))
                    statements << lookUp.commandText();
            }
            for (const double quantity : {0.0, 1.0}) {
                for (const std::optional<qint32> certificate : {std::optional<qint32>(), {2}}) {
                    for (const bool setsSalePrice : {false, true}) {
                        LineValues values;
                        values.quantity = quantity;
                        values.chosenCertificate = certificate;
                        values.setsSalePrice = setsSalePrice && info.setsCatalogueSalePrice;
                        UnitOfWork save(UnitIdentity{QStringLiteral("NV:catalogue"), 0});
                        lines.BuildSave(save, values);
                        statements << save.commandText();
                    }
                }
            }
            LocatedLine line;
            line.document = context;
            line.lineTable = info.lineTable;
            line.isn = 1;
            line.goodsIsn = 1;
            line.quantity = 1;
            UnitOfWork deletion(UnitIdentity{QStringLiteral("NV:catalogue"), 0});
            lines.BuildDelete(deletion, line);
            statements << deletion.commandText();
        }
    }
    state = ClientState();
    return statements;
}
