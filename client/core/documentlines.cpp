#include "client/core/documentlines.h"

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/commonrefusals.h"
#include "client/core/documentkinds.h"
#include "client/core/findgoods.h"
#include "client/core/idlabelrule.h"
#include "client/core/remotedataset.h"
#include "client/core/scalebarcoderule.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QDateTime>

namespace {

using CommonRefusals::ArticleNotFound;
using CommonRefusals::NoArticle;
using CommonRefusals::NoQuantity;

const QString kNoPrice = QStringLiteral("Nav ievadīta cena !!!");
const QString kOverStock = QStringLiteral("Ievadītais daudzums pārsniedz atlikumu !!!");
const QString kOverCertificate =
    QStringLiteral("Atlikumā nav tik daudz dotā sertifikāta. Atlikums ir ");
const QString kSaveFailed = QStringLiteral("Preces datus saglabāt neizdevās !!!\n");

const QString kNorvalk = QStringLiteral("Norvalk");
const QString kThreeDecimals = QStringLiteral("0.000");
constexpr int kCertificateLimit = 200;
// A receipt's sale price below this leaves the catalogue's price alone.
constexpr double kLeastSalePrice = 0.005;

// The result codes of a save's unit.
constexpr int kStored = 0;
constexpr int kRefusedOverStock = 6;
constexpr int kRefusedOverCertificate = 7;

const QString kCertificates = QStringLiteral(
    "select * from PRECVALIDSERTLIST(:ISPRECE, :ISNODALA, :ISSERTIF, :ATL_FLAG, :DATUMS)");

// One line of each kind (5: goods in memory, under its department).
const QString kInsertLine[] = {
    QStringLiteral("INSERT INTO O_PRECE (ISPRECE, NODOKLIS, ISPAVADZ, ISSERTIF, CENA, PARD_CENA, "
                   "DAUDZUMS, ATLAIDE, VALUTA, VAL_KURSS) VALUES (:ISPRECE, :NODOKLIS, :ISPAVADZ, "
                   ":ISSERTIF, :CENA, :PARD_CENA, :DAUDZUMS, :ATLAIDE, '', 1)"),
    QStringLiteral("INSERT INTO O_PARPRC (ISPRECE, NODOKLIS, ISPARVPAV, ISSERTIF, CENA, PARD_CENA, "
                   "DAUDZUMS) VALUES (:ISPRECE, :NODOKLIS, :ISPARVPAV, :ISSERTIF, :CENA, "
                   ":PARD_CENA, :DAUDZUMS)"),
    QStringLiteral("INSERT INTO O_PRATL_PRC (ISPRECE, ISSERTIF, ISPRATLPAV, PARD_CENA, IEP_CENA, "
                   "DAUDZUMS, IS3DVIETA, ISAGENTS) VALUES (:ISPRECE, :ISSERTIF, :ISPRATLPAV, "
                   ":PARD_CENA, 0, :DAUDZUMS, 0, :ISAGENTS)"),
    QStringLiteral("INSERT INTO O_PASPRC (ISPRECE, NODOKLIS, ISPASPAV, ISSERTIF, CENA, DAUDZUMS, "
                   "ATLAIDE, APSTIPRIN_DAUDZ, ATKR_DAUDZ) VALUES (:ISPRECE, :NODOKLIS, :ISPASPAV, "
                   ":ISSERTIF, :CENA, :DAUDZUMS, :ATLAIDE, :DAUDZUMS, 0)"),
    QStringLiteral("INSERT INTO O_PRCOUT (ISPRECE, NODOKLIS, ISPAVOUT, CENA, DAUDZUMS, PIECENOJ, "
                   "ISSERTIF) VALUES (:ISPRECE, :NODOKLIS, :ISPAVOUT, :CENA, :DAUDZUMS, :ATLAIDE, "
                   ":ISSERTIF)"),
    QStringLiteral("INSERT INTO O_MEMPRECES (ISPRECE, ISNODALA, DAUDZUMS) VALUES (:ISPRECE, "
                   ":ISNODALA, :DAUDZUMS)"),
};

// The returnable container's line of each kind but goods in memory.
const QString kInsertContainer[] = {
    QStringLiteral("INSERT INTO O_PRECE (ISPRECE, NODOKLIS, ISPAVADZ, ISSERTIF, CENA, PARD_CENA, "
                   "DAUDZUMS, ATLAIDE, VALUTA, VAL_KURSS) VALUES (:ISPRECE, 0, :ISPAVADZ, 1, "
                   ":CENA, :PARD_CENA, :DAUDZUMS, 0, '', 1)"),
    QStringLiteral("INSERT INTO O_PARPRC (ISPRECE, NODOKLIS, ISPARVPAV, ISSERTIF, CENA, PARD_CENA, "
                   "DAUDZUMS) VALUES (:ISPRECE, 0, :ISPARVPAV, 1, :CENA, :PARD_CENA, :DAUDZUMS)"),
    QStringLiteral("INSERT INTO O_PRATL_PRC (ISPRECE, ISSERTIF, ISPRATLPAV, PARD_CENA, IEP_CENA, "
                   "DAUDZUMS, IS3DVIETA, ISAGENTS) VALUES (:ISPRECE, 1, :ISPRATLPAV, :PARD_CENA, "
                   "0, :DAUDZUMS, 0, :ISAGENTS)"),
    QStringLiteral("INSERT INTO O_PASPRC (ISPRECE, NODOKLIS, ISPASPAV, ISSERTIF, CENA, DAUDZUMS, "
                   "ATLAIDE, APSTIPRIN_DAUDZ, ATKR_DAUDZ) VALUES (:ISPRECE, 0, :ISPASPAV, 1, "
                   ":CENA, :DAUDZUMS, 0, :DAUDZUMS, 0)"),
    QStringLiteral("INSERT INTO O_PRCOUT (ISPRECE, NODOKLIS, ISPAVOUT, CENA, DAUDZUMS, PIECENOJ, "
                   "ISSERTIF) VALUES (:ISPRECE, :NODOKLIS, :ISPAVOUT, :CENA, :DAUDZUMS, 0, 1)"),
};

// The department's sale price level names the column: levels 0 and 1 are
// PARDCENA1. The level is read in the same unit, so a level changed while
// the window is open is the one written.
const QString kUpdateSalePrice = QStringLiteral(
    "EXECUTE STATEMENT ('UPDATE N_KLPREC SET PARDCENA' || IIF(:SALELEVEL < 2, 1, :SALELEVEL) || "
    "'=? WHERE ISN=?') (:PARDCENA, :ISN)");

// The lines of each kind, the first 1000 in the order they were entered.
const QString kLines[] = {
    QStringLiteral("SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PRECE.DAUDZUMS, "
                   "O_PRECE.CENA, O_PAVADZ.KOPSUMMA, O_PRECE.ISN, O_PRECE.ISPRECE FROM O_PAVADZ, "
                   "O_PRECE, N_KLPREC WHERE O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PRECE.ISPRECE = "
                   "N_KLPREC.ISN AND O_PRECE.ISPAVADZ = :ISPAVADZ ORDER BY O_PRECE.ISN"),
    QStringLiteral("SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PARPRC.DAUDZUMS, "
                   "O_PARPRC.CENA, O_PARPAV.KOPSUMMA, O_PARPRC.ISN, O_PARPRC.ISPRECE FROM "
                   "O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND "
                   "O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPRC.ISPARVPAV = :ISPAVADZ ORDER BY "
                   "O_PARPRC.ISN"),
    QStringLiteral("SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, "
                   "O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.IEP_CENA CENA, CAST(0.00 AS DOUBLE "
                   "PRECISION) KOPSUMMA, O_PRATL_PRC.ISN, O_PRATL_PRC.ISPRECE FROM O_PRATL_PRC, "
                   "N_KLPREC WHERE O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND O_PRATL_PRC.ISPRATLPAV "
                   "= :ISPAVADZ ORDER BY O_PRATL_PRC.ISN"),
    QStringLiteral("SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PASPRC.DAUDZUMS, "
                   "O_PASPRC.CENA, O_PASPAV.KOPSUMMA, O_PASPRC.ISN, O_PASPRC.ISPRECE FROM "
                   "O_PASPAV, O_PASPRC, N_KLPREC WHERE O_PASPAV.ISN = O_PASPRC.ISPASPAV AND "
                   "O_PASPRC.ISPRECE = N_KLPREC.ISN AND O_PASPRC.ISPASPAV = :ISPAVADZ ORDER BY "
                   "O_PASPRC.ISN"),
    QStringLiteral("SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PRCOUT.DAUDZUMS, "
                   "O_PRCOUT.CENA, O_PAVOUT.KOPSUMMA, O_PRCOUT.ISN, O_PRCOUT.ISPRECE FROM "
                   "O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND "
                   "O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PRCOUT.ISPAVOUT = :ISPAVADZ ORDER BY "
                   "O_PRCOUT.ISN"),
    QStringLiteral("SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, "
                   "O_MEMPRECES.DAUDZUMS, N_KLPREC.PARDCENA1 CENA, 0.00 KOPSUMMA, O_MEMPRECES.ISN, "
                   "O_MEMPRECES.ISPRECE FROM O_MEMPRECES, N_KLPREC WHERE O_MEMPRECES.ISPRECE = "
                   "N_KLPREC.ISN ORDER BY O_MEMPRECES.ISN"),
};
// An inventory can be long: until its list is asked for, one blank item.
const QString kInventoryPlaceholder = QStringLiteral(
    "SELECT '   ' ARTIKULS, '   ' PRECE, 0.00 DAUDZUMS, 0.00 CENA, CAST(0.00 AS DOUBLE "
    "PRECISION) KOPSUMMA, 0 ISN, 0 ISPRECE FROM O_PRATL_PAV WHERE O_PRATL_PAV.ISN = :ISPAVADZ");

const QString kDeleteLine = QStringLiteral("DELETE FROM %1 WHERE ISN=:ISN");

QString priceLevelKey(const QString& table, qint32 isn, const QString& column)
{
    return table + QLatin1Char('/') + QString::number(isn) + QLatin1Char('/') + column;
}

int index(DocumentKind kind)
{
    return int(kind);
}

// The date of a line's log entries. Goods in memory belong to no dated
// document: their entries carry the day they were made, as every other
// entry does, and so show in a report of that day.
QDate logDate(const DocumentContext& document)
{
    return document.DocKind == DocumentKind::GoodsInMemory ? QDate::currentDate()
                                                           : document.DocDate;
}

// The stock moves of a quantity in the document's kind: sign +1 as a line
// is saved, -1 as it is deleted.
void moveStock(UnitOfWork& unit, const DocumentContext& document, const UnitArg& goods,
               const QString& quantity, int sign)
{
    const UnitArg in = UnitArg::expression(sign > 0 ? quantity : QLatin1Char('-') + quantity);
    const UnitArg out = UnitArg::expression(sign > 0 ? QLatin1Char('-') + quantity : quantity);
    const QString notIllegal = QStringLiteral("F");
    switch (document.DocKind) {
    case DocumentKind::Receiving:
        UpdateStock(unit, goods, document.DepartmentIsn, 1, notIllegal, in);
        break;
    case DocumentKind::Transfer:
        UpdateStock(unit, goods, document.DepartmentIsn, 1, notIllegal, out);
        UpdateStock(unit, goods, document.CounterpartyIsn, 1, notIllegal, in);
        break;
    case DocumentKind::WriteOut:
        UpdateStock(unit, goods, document.DepartmentIsn, 1, notIllegal, out);
        break;
    case DocumentKind::Inventory:
    case DocumentKind::Orders:
    case DocumentKind::GoodsInMemory:
        break;
    }
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
    m_priceLevels.clear();
    m_lookUp.Forget();

    const ClientState& state = m_module.clientState();
    KindSetup setup;
    setup.title = KindInfo(context.DocKind).linesTitle;
    const QString purchase = QStringLiteral("Iep.cena");
    const QString sale = QStringLiteral("Pārd.cena");
    const QString price = QStringLiteral("Cena");
    const QString stock = QStringLiteral("Atlik.");
    switch (context.DocKind) {
    case DocumentKind::Receiving:
    case DocumentKind::Transfer:
        setup.priceLabel = purchase;
        setup.salePriceLabel = sale;
        setup.discountVisible = context.DocKind == DocumentKind::Receiving;
        setup.priceVisible = !state.HidePurchasePrice;
        break;
    case DocumentKind::Inventory:
        setup.priceLabel = sale;
        setup.salePriceLabel = sale;
        setup.discountVisible = false;
        setup.salePriceVisible = false;
        break;
    case DocumentKind::Orders:
    case DocumentKind::WriteOut:
        // The sale price field shows the stock, read-only.
        setup.priceLabel = price;
        setup.salePriceLabel = stock;
        setup.salePriceEnabled = false;
        setup.discountText = ClientFormat::toText(context.ClientDiscount);
        if (context.DocKind == DocumentKind::WriteOut && state.IzrDaudzums1)
            setup.quantityText = QStringLiteral("1");
        break;
    case DocumentKind::GoodsInMemory:
        setup.priceVisible = false;
        setup.discountVisible = false;
        setup.salePriceVisible = false;
        setup.certificateVisible = false;
        break;
    }
    return setup;
}

qint32 DocumentLines::PriceLevel(const QString& table, qint32 isn, const QString& column)
{
    const QString key = priceLevelKey(table, isn, column);
    const auto known = m_priceLevels.constFind(key);
    if (known != m_priceLevels.cend())
        return *known;
    // Cut toward zero, as a price level is read.
    const qint32 level = qint32(LookupNumber(m_module, table, isn, column));
    m_priceLevels.insert(key, level);
    return level;
}

void DocumentLines::SetPriceInputs()
{
    const QString departments = QStringLiteral("N_DEPART");
    const QString priceCode = QStringLiteral("CENKODS");
    m_goods.ClientIsn = 0;
    switch (m_context.DocKind) {
    case DocumentKind::Receiving:
    case DocumentKind::Inventory:
        m_goods.PriceCode = PriceLevel(departments, m_context.DepartmentIsn, priceCode);
        break;
    case DocumentKind::Transfer:
        m_goods.PriceCode = PriceLevel(departments, m_context.CounterpartyIsn, priceCode);
        break;
    case DocumentKind::WriteOut:
        if (m_module.clientState().IzrPardCenaNoNodalas) {
            m_goods.PriceCode = PriceLevel(departments, m_context.DepartmentIsn, priceCode);
        } else {
            m_goods.PriceCode = PriceLevel(QStringLiteral("N_KLIENT"), m_context.CounterpartyIsn,
                                           QStringLiteral("CENUGRUPA"));
            m_goods.ClientIsn = m_context.CounterpartyIsn;
        }
        break;
    case DocumentKind::Orders:
    case DocumentKind::GoodsInMemory:
        m_goods.PriceCode = 1;
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
    SetPriceInputs();
    ScaleBarcodeRule::Apply(m_module.clientState(), result.article, &result.quantity);
    const IdLabel label = IdLabelRule(result.article);
    result.article = label.article;
    if (!m_lookUp.Find(m_goods, label.code, label.byIsn)) {
        result.notice = GoodsNotFoundMessage(label.code);
        return result; // the fields keep their texts
    }

    result.found = true;
    result.name = m_goods.Name;
    result.salePrice = ClientFormat::formatFloat(kThreeDecimals, m_goods.Price);
    Prefill(result);
    if (m_context.DocKind != DocumentKind::GoodsInMemory)
        result.certificates = LoadCertificates();
    return result;
}

// What the kind pre-fills from the price history or the stock: one request.
void DocumentLines::Prefill(LookedUp& result)
{
    const DocumentKind kind = m_context.DocKind;
    const QString price = ClientFormat::formatFloat(kThreeDecimals, m_goods.Price);
    const bool supplierOrder = kind == DocumentKind::Orders && m_context.ClientIsSupplier;
    const bool lastPrice =
        kind == DocumentKind::Receiving || kind == DocumentKind::Transfer || supplierOrder;
    const bool stock = kind == DocumentKind::Inventory || kind == DocumentKind::Orders ||
                       kind == DocumentKind::WriteOut;
    if (kind == DocumentKind::Inventory || kind == DocumentKind::WriteOut ||
        (kind == DocumentKind::Orders && !supplierOrder))
        result.price = price;
    if (kind == DocumentKind::WriteOut && m_goods.HasSpecialPrice)
        result.clearDiscount = true; // a special price is not discounted again
    if (!lastPrice && !stock)
        return;

    UnitOfWork unit;
    if (lastPrice) {
        unit.declareResult(QStringLiteral("LASTPRICE"), ParamType::Double);
        if (supplierOrder)
            GetLastPrice(unit, m_module.clientState(), m_goods.Isn, m_context.DepartmentIsn,
                         QStringLiteral("CENA*(1+ATLAIDE/100)*(1+NODOKLIS/100)"), m_context.DocDate,
                         QStringLiteral("CENA*(1+NODOKLIS/100)"), QStringLiteral("LASTPRICE"));
        else
            GetLastPrice(unit, m_module.clientState(), m_goods.Isn, m_context.DepartmentIsn,
                         QStringLiteral("CENA*(1+ATLAIDE/100)"), m_context.DocDate,
                         QStringLiteral("CENA"), QStringLiteral("LASTPRICE"));
    }
    if (stock) {
        unit.declareResult(QStringLiteral("STOCK"), ParamType::Double);
        GetStock(unit, m_goods.Isn, m_context.DepartmentIsn, QStringLiteral("K"),
                 QStringLiteral("STOCK"));
    }
    RemoteDataSet& query = *m_query;
    PrepareDataset(query);
    unit.run(query);
    if (lastPrice)
        result.price = ClientFormat::formatFloat(
            kThreeDecimals, query.fieldByName(QStringLiteral("LASTPRICE")).asFloat());
    if (stock) {
        const QString onHand = ClientFormat::formatFloat(
            kThreeDecimals, query.fieldByName(QStringLiteral("STOCK")).asFloat());
        // An inventory line starts from the stock; orders and write-outs
        // show it where the sale price would be.
        if (kind == DocumentKind::Inventory)
            result.prefilledQuantity = onHand;
        else
            result.salePrice = onHand;
    }
}

QList<DocumentLines::Certificate> DocumentLines::LoadCertificates()
{
    const ClientState& state = m_module.clientState();
    RemoteDataSet& query = *m_query;
    query.close();
    query.setCommandText(kCertificates);
    query.setIntegerParam(QStringLiteral("ISPRECE"), m_goods.Isn);
    query.setIntegerParam(QStringLiteral("ISNODALA"), m_context.DepartmentIsn);
    query.setIntegerParam(QStringLiteral("ISSERTIF"), 0);
    query.setIntegerParam(QStringLiteral("ATL_FLAG"),
                          state.UseCertifiedStock || state.ShowCertifiedStock ? 1 : 0);
    query.setDateTimeParam(QStringLiteral("DATUMS"), QDateTime(m_context.DocDate, QTime(0, 0)));
    query.open();
    QList<Certificate> items;
    for (query.first(); !query.eof() && items.size() < kCertificateLimit; query.next()) {
        // The certificate left-aligned in 40 characters, its stock
        // right-aligned in 7; a longer text is not cut.
        const QString name = query.fieldByName(QStringLiteral("SERTIF")).asString();
        const QString stock = query.fieldByName(QStringLiteral("ATLIKUMS")).asString();
        items.append({name.leftJustified(40) + QLatin1Char(' ') + stock.rightJustified(7),
                      query.fieldByName(QStringLiteral("ISSERTIF")).asInteger()});
    }
    return items;
}

Outcome<DocumentLines::Saved> DocumentLines::Save(Entry entry, QString& article)
{
    const Outcome<LineValues> read = ReadEntry(entry, article);
    if (read.refused())
        return read.refusal();
    const LineValues& values = read.result();

    UnitOfWork unit;
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
    if (values.setsSalePrice) {
        unit.declare(QStringLiteral("LEVEL"), ParamType::Double);
        unit.declareResult(QStringLiteral("SALELEVEL"), ParamType::Integer);
    }
    unit.add(QStringLiteral("RESULT = %1").arg(kStored));
    unit.add(QStringLiteral("Q = :QUANTITY")).set(QStringLiteral("QUANTITY"), values.quantity);
    // The checks against the stock run first, in the same unit: refused,
    // nothing is written.
    AddStockChecks(unit, values);
    AddLine(unit, values);
    const bool container = m_context.DocKind != DocumentKind::GoodsInMemory;
    if (container)
        AddContainerLookUp(unit);
    const bool memory = m_context.DocKind == DocumentKind::GoodsInMemory;
    LogOperation(unit, m_module.clientState(), QStringLiteral("J"),
                 memory ? QString() : m_context.DocNumber, m_lineTable, m_goods.Isn, kNorvalk,
                 UnitArg::variable(QStringLiteral("L")), logDate(m_context));
    moveStock(unit, m_context, m_goods.Isn, QStringLiteral(":Q"), +1);
    if (values.setsSalePrice)
        AddSalePrice(unit, values);
    if (container)
        AddContainerLine(unit);

    RemoteDataSet& update = *m_update;
    try {
        PrepareDataset(update);
        unit.run(update);
    } catch (const std::exception& error) {
        return Outcome<Saved>::refuse(kSaveFailed + errorText(error), QStringLiteral("edArtikuls"));
    }
    return Answer(update, values);
}

Outcome<DocumentLines::LineValues> DocumentLines::ReadEntry(const Entry& entry, QString& article)
{
    using Read = Outcome<LineValues>;
    const DocumentKind kind = m_context.DocKind;
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
    if (kind != DocumentKind::GoodsInMemory) {
        if (entry.price.isEmpty())
            return Read::refuse(kNoPrice, QStringLiteral("edCena"));
        values.price = ReadNumberField(state, entry.price);
    }
    values.chosenCertificate = entry.certificateIsn;
    values.setsSalePrice = kind == DocumentKind::Receiving && values.salePrice > kLeastSalePrice;
    return values;
}

void DocumentLines::AddStockChecks(UnitOfWork& unit, const LineValues& values)
{
    const DocumentKind kind = m_context.DocKind;
    if (kind != DocumentKind::Transfer && kind != DocumentKind::WriteOut)
        return;
    if (!m_goods.IsService) {
        GetStock(unit, m_goods.Isn, m_context.DepartmentIsn, QStringLiteral("K"),
                 QStringLiteral("STOCK"));
        unit.beginIf(QStringLiteral(":Q > :STOCK"));
        unit.add(QStringLiteral("RESULT = %1").arg(kRefusedOverStock));
        unit.finish();
        unit.endIf();
    }
    if (m_module.clientState().UseCertifiedStock && values.quantity > 0 &&
        values.chosenCertificate) {
        GetCertifiedStock(unit, m_goods.Isn, m_context.DepartmentIsn, *values.chosenCertificate,
                          QDate::currentDate(), QStringLiteral("C"));
        unit.beginIf(QStringLiteral(":Q > :C"));
        unit.add(QStringLiteral("RESULT = %1").arg(kRefusedOverCertificate));
        unit.finish();
        unit.endIf();
    }
}

void DocumentLines::AddLine(UnitOfWork& unit, const LineValues& values)
{
    const DocumentKind kind = m_context.DocKind;
    const double v = m_goods.VatRate;
    const double p = values.price;
    const double s = values.salePrice;
    const double d = values.discount;
    UnitOfWork::Step& line =
        unit.add(kInsertLine[index(kind)] + QStringLiteral(" RETURNING ISN INTO :L"))
            .set(QStringLiteral("ISPRECE"), m_goods.Isn)
            .set(QStringLiteral("DAUDZUMS"), values.quantity);
    if (kind == DocumentKind::GoodsInMemory)
        line.set(QStringLiteral("ISNODALA"), m_context.DepartmentIsn);
    else
        line.set(KindInfo(kind).headerColumn, m_context.DocIsn)
            .set(QStringLiteral("ISSERTIF"), std::max(1, values.chosenCertificate.value_or(1)));
    switch (kind) {
    case DocumentKind::Receiving:
        line.set({{QStringLiteral("NODOKLIS"), v},
                  {QStringLiteral("CENA"), p},
                  {QStringLiteral("PARD_CENA"), s},
                  {QStringLiteral("ATLAIDE"), d}});
        break;
    case DocumentKind::Transfer:
        // A transfer keeps its sale price net of VAT.
        line.set({{QStringLiteral("NODOKLIS"), v},
                  {QStringLiteral("CENA"), p},
                  {QStringLiteral("PARD_CENA"), s / (1 + v / 100)}});
        break;
    case DocumentKind::Inventory:
        line.set({{QStringLiteral("PARD_CENA"), p},
                  {QStringLiteral("ISAGENTS"), m_module.clientState().AgentIsn}});
        break;
    case DocumentKind::Orders:
    case DocumentKind::WriteOut:
        // Typed with VAT, kept without it.
        line.set({{QStringLiteral("NODOKLIS"), v},
                  {QStringLiteral("CENA"), p / (1 + v / 100)},
                  {QStringLiteral("ATLAIDE"), d}});
        break;
    case DocumentKind::GoodsInMemory:
        break;
    }
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
    const DocumentKind kind = m_context.DocKind;
    const UnitArg depot = UnitArg::variable(QStringLiteral("DEPISN"));
    unit.beginIf(QStringLiteral(":DEPISN > 1"));
    UnitOfWork::Step& containerLine =
        unit.add(kInsertContainer[index(kind)])
            .set(QStringLiteral("ISPRECE"), depot)
            .set(KindInfo(kind).headerColumn, m_context.DocIsn)
            .set(QStringLiteral("DAUDZUMS"), UnitArg::variable(QStringLiteral("QF")))
            .set(QStringLiteral("CENA"), UnitArg::variable(QStringLiteral("CP")))
            .set(QStringLiteral("PARD_CENA"), UnitArg::variable(QStringLiteral("CP")));
    if (kind == DocumentKind::Inventory)
        containerLine.set(QStringLiteral("ISAGENTS"), m_module.clientState().AgentIsn);
    if (kind == DocumentKind::WriteOut)
        containerLine.set(QStringLiteral("NODOKLIS"), 0.0); // as the other kinds store
    moveStock(unit, m_context, depot, QStringLiteral(":QF"), +1);
    unit.endIf();
}

Outcome<DocumentLines::Saved> DocumentLines::Answer(const RemoteDataSet& update,
                                                    const LineValues& values)
{
    switch (update.fieldByName(QStringLiteral("RESULT")).asInteger()) {
    case kRefusedOverStock:
        return Outcome<Saved>::refuse(kOverStock, QStringLiteral("edDaudzums"));
    case kRefusedOverCertificate:
        return Outcome<Saved>::refuse(
            kOverCertificate +
                ClientFormat::formatFloat(QStringLiteral("0.00"),
                                          update.fieldByName(QStringLiteral("C")).asFloat()),
            QStringLiteral("edDaudzums"));
    default:
        break;
    }
    if (values.setsSalePrice) {
        const qint32 level = update.fieldByName(QStringLiteral("SALELEVEL")).asInteger();
        m_goods.PriceCode = level;
        m_priceLevels.insert(priceLevelKey(QStringLiteral("N_DEPART"), m_context.DepartmentIsn,
                                           QStringLiteral("CENKODS")),
                             level);
    }

    const ClientState& state = m_module.clientState();
    Saved saved;
    saved.lineIsn = update.fieldByName(QStringLiteral("L")).asInteger();
    if (m_context.DocKind == DocumentKind::WriteOut) {
        saved.quantity = state.IzrDaudzums1 ? QStringLiteral("1") : QString();
        saved.clearDiscount = state.IzrDzestAtlaidi;
    } else {
        saved.clearDiscount = false;
    }
    return saved;
}

QString DocumentLines::RefreshLines(bool full)
{
    RemoteDataSet& lines = m_module.cdsPreces();
    PrepareDataset(lines);
    const DocumentKind kind = m_context.DocKind;
    const bool placeholder = kind == DocumentKind::Inventory && !full;
    lines.setCommandText(placeholder ? kInventoryPlaceholder : kLines[index(kind)]);
    if (kind != DocumentKind::GoodsInMemory)
        lines.setIntegerParam(QStringLiteral("ISPAVADZ"), m_context.DocIsn);
    lines.open();
    const double total = lines.eof() ? 0 : lines.fieldByName(QStringLiteral("KOPSUMMA")).asFloat();
    return QStringLiteral("Summa : ") + ClientFormat::formatFloat(QStringLiteral("0.00"), total);
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
    // The log entry, the stock put back and the row gone: all or nothing.
    UnitOfWork unit;
    unit.declare(QStringLiteral("Q"), ParamType::Double);
    LogOperation(unit, m_module.clientState(), QStringLiteral("D"), line.document.DocNumber,
                 line.lineTable, line.goodsIsn, kNorvalk, line.isn, logDate(line.document));
    unit.add(QStringLiteral("Q = :QUANTITY")).set(QStringLiteral("QUANTITY"), line.quantity);
    moveStock(unit, line.document, line.goodsIsn, QStringLiteral(":Q"), -1);
    unit.add(kDeleteLine.arg(line.lineTable)).set(QStringLiteral("ISN"), line.isn);
    RemoteDataSet& query = *m_query;
    PrepareDataset(query);
    unit.run(query);
}
