#include "client/core/findgoods.h"

#include "client/core/commonprocedures.h"
#include "client/core/owndataset.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QDateTime>

#include <functional>
#include <optional>

namespace {

const QString kGoodsSelect = QStringLiteral(
    "SELECT N_KLPREC.ISN, N_KLPREC.NODOKLIS, N_KLPREC.GNOS PRECES_NOS, N_KLPREC.ISSERTIF1, "
    "PARDCENA1, PARDCENA2, PARDCENA3, PARDCENA4, PARDCENA5, PARDCENA6, PARDCENA7, PARDCENA8, "
    "PARDCENA9, PARDCENA10, PARDCENA11, PARDCENA12, PARDCENA13, PARDCENA14, PARDCENA15, "
    "PARDCENA16, N_KLPREC.PAKALPOJ, N_KLPREC.PASTAVIGATLAID, N_KLPREC.ISPRGRUPA, "
    "N_KLPREC.ISPRKLIENT, N_KLPREC.NEAKTIVA, N_KLPREC.MERVIENIBA, N_PRGRUP.GNOS GRUPAS_NOS "
    "FROM N_KLPREC, N_PRGRUP WHERE N_KLPREC.ISPRGRUPA = N_PRGRUP.ISN");

// The scanned code travels as a parameter, so an apostrophe in it is only a
// character to compare. The parameter is widened beyond any code column:
// bound against the column's own width, a longer code would fail the
// statement instead of matching nothing.
constexpr int kMaxCodeLength = 250;
const QString kCodeParam = QStringLiteral("CAST(:ARTIKULS AS VARCHAR(%1))").arg(kMaxCodeLength);
const QString kByArticle =
    QStringLiteral(
        " AND (ARTIKULS=%1 OR ARTIKULS2=%1 OR ARTIKULS3=%1 OR ARTIKULS4=%1 OR ARTIKULS5=%1 "
        "OR ARTIKULS6=%1) ")
        .arg(kCodeParam);
const QString kByIsn = QStringLiteral(" AND N_KLPREC.ISN=:ISN");

// Among the dated prices the higher FLAG wins, then the higher ISN.
const QString kDatedSpecialPrice = QStringLiteral(
    "SELECT ISN, CENA_1, ATLAIDE, FLAG FROM O_SPECCENAS WHERE ISPRECE=:ISPRECE "
    "AND (O_SPECCENAS.KLIENTNODALAFLAG = 1 OR O_SPECCENAS.KLIENTNODALAFLAG IS NULL) "
    "AND ISKLIENT = :ISKLIENT AND DAT_NO<=:DATUMS AND DAT_LIDZ>=:DATUMS "
    "AND DAT_NO!='01.01.1900' AND DAT_LIDZ!='31.12.3000' ORDER BY FLAG DESC, ISN DESC");

const QString kUnlimitedSpecialPrice =
    QStringLiteral("SELECT ISN, CENA_1, ATLAIDE, FLAG FROM O_SPECCENAS WHERE ISPRECE=:ISPRECE "
                   "AND (O_SPECCENAS.KLIENTNODALAFLAG = 1 OR O_SPECCENAS.KLIENTNODALAFLAG IS NULL) "
                   "AND ISKLIENT = :ISKLIENT AND ((DAT_NO='01.01.1900' AND DAT_LIDZ='31.12.3000') "
                   "OR (DAT_NO IS NULL AND DAT_LIDZ IS NULL)) ORDER BY ISN DESC");

const QString kNotFound = QStringLiteral("Nav atrasts artikuls : ");

// The goods row's columns, as the unit form reads them into its results.
struct GoodsColumn
{
    const char* name;
    ParamType type;
};
constexpr GoodsColumn kGoodsColumns[] = {
    {"ISN", ParamType::Integer},       {"NODOKLIS", ParamType::Double},
    {"PRECES_NOS", ParamType::Text},   {"ISSERTIF1", ParamType::Integer},
    {"PARDCENA1", ParamType::Double},  {"PARDCENA2", ParamType::Double},
    {"PARDCENA3", ParamType::Double},  {"PARDCENA4", ParamType::Double},
    {"PARDCENA5", ParamType::Double},  {"PARDCENA6", ParamType::Double},
    {"PARDCENA7", ParamType::Double},  {"PARDCENA8", ParamType::Double},
    {"PARDCENA9", ParamType::Double},  {"PARDCENA10", ParamType::Double},
    {"PARDCENA11", ParamType::Double}, {"PARDCENA12", ParamType::Double},
    {"PARDCENA13", ParamType::Double}, {"PARDCENA14", ParamType::Double},
    {"PARDCENA15", ParamType::Double}, {"PARDCENA16", ParamType::Double},
    {"PAKALPOJ", ParamType::Text},     {"PASTAVIGATLAID", ParamType::Double},
    {"ISPRGRUPA", ParamType::Integer}, {"ISPRKLIENT", ParamType::Integer},
    {"NEAKTIVA", ParamType::Text},     {"MERVIENIBA", ParamType::Text},
    {"GRUPAS_NOS", ParamType::Text},
};
// The partner's special price as the unit form hands it back.
const QString kSpecialIsn = QStringLiteral("SPECIAL_ISN");
const QString kSpecialPrice = QStringLiteral("SPECIAL_PRICE");

double salePrice(const RemoteDataSet& goods, int level)
{
    return goods.fieldByName(QStringLiteral("PARDCENA") + QString::number(level)).asFloat();
}

QDateTime startOfToday()
{
    return QDateTime(QDate::currentDate(), QTime(0, 0));
}

// Opens one special-price statement for the goods and partner; true when it
// found a price.
bool openSpecialPrice(RemoteDataSet& prices, const QString& sql, qint32 goodsIsn, qint32 clientIsn,
                      bool dated)
{
    prices.close();
    prices.setCommandText(sql);
    prices.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
    prices.setIntegerParam(QStringLiteral("ISKLIENT"), clientIsn);
    if (dated)
        prices.setDateTimeParam(QStringLiteral("DATUMS"), startOfToday());
    prices.open();
    return prices.fieldByName(QStringLiteral("ISN")).asInteger() > 0;
}

// The partner's special price: one valid on a dated period today, else an
// unlimited one; none when the partner has neither.
std::optional<double> partnerPrice(TClientDataModule& module, const GoodsInfo& goods)
{
    // Read while the goods row is still needed: a dataset of its own.
    OwnDataSet own(module, module.cdsSpecCenas());
    RemoteDataSet& prices = *own;
    if (openSpecialPrice(prices, kDatedSpecialPrice, goods.Isn, goods.ClientIsn, true) ||
        openSpecialPrice(prices, kUnlimitedSpecialPrice, goods.Isn, goods.ClientIsn, false))
        return prices.fieldByName(QStringLiteral("CENA_1")).asFloat();
    return std::nullopt;
}

// The price that applies: the level's sale price, or the partner's special
// price (asked for only where it can apply), else the first sale price.
void choosePrice(GoodsInfo& goods, const RemoteDataSet& found,
                 const std::function<std::optional<double>()>& special)
{
    goods.HasSpecialPrice = false;
    if (goods.PriceCode >= 2) {
        goods.Price = salePrice(found, goods.PriceCode);
        return;
    }
    const std::optional<double> price = goods.ClientIsn > 0 ? special() : std::nullopt;
    goods.HasSpecialPrice = price.has_value();
    goods.Price = price.value_or(salePrice(found, 1));
}

// The key and VAT of a found row; false when the row names no goods.
bool readGoods(GoodsInfo& goods, const RemoteDataSet& found)
{
    const qint32 isn = found.fieldByName(QStringLiteral("ISN")).asInteger();
    if (isn <= 0)
        return false;
    goods.Isn = isn;
    goods.VatRate = found.fieldByName(QStringLiteral("NODOKLIS")).asFloat();
    if (goods.VatRate < 1 || goods.VatRate > 100)
        goods.VatRate = 0;
    return true;
}

// The rest of the goods, once the price is chosen.
void readGoodsDetails(GoodsInfo& goods, const RemoteDataSet& found)
{
    for (int level = 1; level <= int(goods.SalePrices.size()); ++level)
        goods.SalePrices[level - 1] = salePrice(found, level);
    goods.Name = found.fieldByName(QStringLiteral("PRECES_NOS")).asString();
    goods.GroupName = found.fieldByName(QStringLiteral("GRUPAS_NOS")).asString();
    goods.Unit = found.fieldByName(QStringLiteral("MERVIENIBA")).asString();
    goods.IsService = found.fieldByName(QStringLiteral("PAKALPOJ")).asString() == "T";
    goods.CertificateIsn = found.fieldByName(QStringLiteral("ISSERTIF1")).asInteger();
    goods.GroupIsn = found.fieldByName(QStringLiteral("ISPRGRUPA")).asInteger();
    goods.SupplierIsn = found.fieldByName(QStringLiteral("ISPRKLIENT")).asInteger();
}

// The statement that finds the goods of a code, with its one value; none when
// the code cannot name any goods: a key that is not a number, a code longer
// than a code can be.
std::optional<std::pair<QString, UnitValues>> goodsStatement(const QString& code, bool byIsn)
{
    if (byIsn) {
        bool ok = false;
        const qint32 isn = code.trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
        return std::pair{kGoodsSelect + kByIsn, UnitValues{{QStringLiteral("ISN"), isn}}};
    }
    if (code.size() > kMaxCodeLength)
        return std::nullopt;
    return std::pair{kGoodsSelect + kByArticle, UnitValues{{QStringLiteral("ARTIKULS"), code}}};
}

} // namespace

bool FindGoods(TClientDataModule& module, GoodsInfo& goods, const QString& code, bool byIsn)
{
    const auto statement = goodsStatement(code, byIsn);
    if (!statement)
        return false;
    OwnDataSet own(module, module.cdsFindN_KLPREC());
    RemoteDataSet& found = *own;
    PrepareDataset(found);
    found.setCommandText(statement->first);
    for (const auto& [name, value] : statement->second)
        found.setParam(value.toParam(name));
    found.open();
    if (!readGoods(goods, found))
        return false;
    choosePrice(goods, found, [&] { return partnerPrice(module, goods); });
    readGoodsDetails(goods, found);
    return true;
}

bool FindGoods(UnitOfWork& unit, const QString& code, bool byIsn, qint32 clientIsn)
{
    const auto statement = goodsStatement(code, byIsn);
    if (!statement)
        return false;
    QStringList into;
    for (const GoodsColumn& column : kGoodsColumns) {
        unit.declareResult(QLatin1String(column.name), column.type);
        into << QLatin1Char(':') + QLatin1String(column.name);
    }
    // FOR ... DO LEAVE takes the first row, as the one-request look-up does.
    unit.add(QStringLiteral("FOR ") + statement->first + QStringLiteral(" INTO ") +
             into.join(QStringLiteral(", ")) + QStringLiteral(" DO LEAVE"))
        .set(statement->second);
    if (clientIsn <= 0)
        return true;
    unit.declareResult(kSpecialIsn, ParamType::Integer);
    unit.declareResult(kSpecialPrice, ParamType::Double);
    unit.declare(QStringLiteral("SPECIAL_ATLAIDE"), ParamType::Double);
    unit.declare(QStringLiteral("SPECIAL_FLAG"), ParamType::Integer);
    const QString intoSpecial = QStringLiteral(
        " INTO :SPECIAL_ISN, :SPECIAL_PRICE, :SPECIAL_ATLAIDE, :SPECIAL_FLAG DO LEAVE");
    const UnitValues partner{{QStringLiteral("ISPRECE"), UnitArg::variable(QStringLiteral("ISN"))},
                             {QStringLiteral("ISKLIENT"), clientIsn}};
    unit.beginIf(QStringLiteral(":ISN > 0"));
    unit.add(QStringLiteral("FOR ") + kDatedSpecialPrice + intoSpecial)
        .set(partner)
        .set(QStringLiteral("DATUMS"), startOfToday());
    unit.beginIf(QStringLiteral("COALESCE(:SPECIAL_ISN, 0) <= 0"));
    unit.add(QStringLiteral("FOR ") + kUnlimitedSpecialPrice + intoSpecial).set(partner);
    unit.endIf();
    unit.endIf();
    return true;
}

bool ReadFoundGoods(const RemoteDataSet& row, GoodsInfo& goods)
{
    if (!readGoods(goods, row))
        return false;
    choosePrice(goods, row, [&]() -> std::optional<double> {
        if (!row.hasField(kSpecialIsn) || row.fieldByName(kSpecialIsn).asInteger() <= 0)
            return std::nullopt;
        return row.fieldByName(kSpecialPrice).asFloat();
    });
    readGoodsDetails(goods, row);
    return true;
}

QStringList FindGoodsStatements()
{
    return {goodsStatement(QStringLiteral("1"), false)->first,
            goodsStatement(QStringLiteral("1"), true)->first, kDatedSpecialPrice,
            kUnlimitedSpecialPrice};
}

QString GoodsNotFoundMessage(const QString& code)
{
    return kNotFound + code;
}

bool RememberedLookUp::Find(GoodsInfo& goods, const QString& code, bool byIsn)
{
    m_last.reset();
    if (!FindGoods(m_module, goods, code, byIsn))
        return false;
    m_last = Found{code, byIsn, goods};
    return true;
}

bool RememberedLookUp::Recall(GoodsInfo& goods, const QString& code, bool byIsn)
{
    if (m_last && m_last->code == code && m_last->byIsn == byIsn && m_last->goods == goods)
        return true;
    return Find(goods, code, byIsn);
}
