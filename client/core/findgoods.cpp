#include "client/core/findgoods.h"

#include "client/core/commonprocedures.h"
#include "client/core/owndataset.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"

#include <QDateTime>

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

double salePrice(const RemoteDataSet& goods, int level)
{
    return goods.fieldByName(QStringLiteral("PARDCENA") + QString::number(level)).asFloat();
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
        prices.setDateTimeParam(QStringLiteral("DATUMS"),
                                QDateTime(QDate::currentDate(), QTime(0, 0)));
    prices.open();
    return prices.fieldByName(QStringLiteral("ISN")).asInteger() > 0;
}

// The partner's special price: one valid on a dated period today, else an
// unlimited one. Sets HasSpecialPrice when there is one.
void choosePartnerPrice(TClientDataModule& module, GoodsInfo& goods, const RemoteDataSet& found)
{
    // Read while the goods row is still needed: a dataset of its own.
    OwnDataSet own(module, module.cdsSpecCenas());
    RemoteDataSet& prices = *own;
    const bool special =
        openSpecialPrice(prices, kDatedSpecialPrice, goods.Isn, goods.ClientIsn, true) ||
        openSpecialPrice(prices, kUnlimitedSpecialPrice, goods.Isn, goods.ClientIsn, false);
    if (special) {
        goods.Price = prices.fieldByName(QStringLiteral("CENA_1")).asFloat();
        goods.HasSpecialPrice = true;
    } else {
        goods.Price = salePrice(found, 1);
    }
}

void choosePrice(TClientDataModule& module, GoodsInfo& goods, const RemoteDataSet& found)
{
    if (goods.PriceCode >= 2)
        goods.Price = salePrice(found, goods.PriceCode);
    else if (goods.ClientIsn <= 0)
        goods.Price = salePrice(found, 1);
    else
        choosePartnerPrice(module, goods, found);
}

// Opens the goods statement for the code; false when the code cannot name
// any goods: a key that is not a number, a code longer than a code can be.
bool openGoods(RemoteDataSet& found, const QString& code, bool byIsn)
{
    if (byIsn) {
        bool ok = false;
        const qint32 isn = code.trimmed().toInt(&ok);
        if (!ok)
            return false;
        found.setCommandText(kGoodsSelect + kByIsn);
        found.setIntegerParam(QStringLiteral("ISN"), isn);
    } else {
        if (code.size() > kMaxCodeLength)
            return false;
        found.setCommandText(kGoodsSelect + kByArticle);
        found.setTextParam(QStringLiteral("ARTIKULS"), code);
    }
    found.open();
    return true;
}

} // namespace

bool FindGoods(TClientDataModule& module, GoodsInfo& goods, const QString& code, bool byIsn)
{
    OwnDataSet own(module, module.cdsFindN_KLPREC());
    RemoteDataSet& found = *own;
    PrepareDataset(found);
    const qint32 isn =
        openGoods(found, code, byIsn) ? found.fieldByName(QStringLiteral("ISN")).asInteger() : 0;
    if (isn <= 0)
        return false;

    goods.Isn = isn;
    goods.VatRate = found.fieldByName(QStringLiteral("NODOKLIS")).asFloat();
    if (goods.VatRate < 1 || goods.VatRate > 100)
        goods.VatRate = 0;
    goods.HasSpecialPrice = false;
    choosePrice(module, goods, found);

    for (int level = 1; level <= int(goods.SalePrices.size()); ++level)
        goods.SalePrices[level - 1] = salePrice(found, level);
    goods.Name = found.fieldByName(QStringLiteral("PRECES_NOS")).asString();
    goods.GroupName = found.fieldByName(QStringLiteral("GRUPAS_NOS")).asString();
    goods.Unit = found.fieldByName(QStringLiteral("MERVIENIBA")).asString();
    goods.IsService = found.fieldByName(QStringLiteral("PAKALPOJ")).asString() == "T";
    goods.CertificateIsn = found.fieldByName(QStringLiteral("ISSERTIF1")).asInteger();
    goods.GroupIsn = found.fieldByName(QStringLiteral("ISPRGRUPA")).asInteger();
    goods.SupplierIsn = found.fieldByName(QStringLiteral("ISPRKLIENT")).asInteger();
    return true;
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
