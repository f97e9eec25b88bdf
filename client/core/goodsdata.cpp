#include "client/core/goodsdata.h"

#include "client/core/clienterror.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/commonrefusals.h"
#include "client/core/findgoods.h"
#include "client/core/goodsinfo.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QDate>

namespace {

using CommonRefusals::NoArticle;

const QString kArticleTaken = QStringLiteral("SELECT ISN FROM N_KLPREC WHERE ARTIKULS=:ARTIKULS");

// The key comes back from the insert itself: a generator read afterwards
// could hand this terminal the goods another terminal has just made.
const QString kInsertGoods =
    QStringLiteral("INSERT INTO N_KLPREC (ARTIKULS, GNOS, ISPRGRUPA, NODOKLIS) "
                   "VALUES (:ARTIKULS, :GNOS, 1, :PVN)");
const QString kReturningKey = QStringLiteral(" RETURNING ISN INTO :L");

const QString kNoName = QStringLiteral("Nav ievadīts preces nosaukums !!!");
const QString kDuplicate = QStringLiteral("Ar šādu artikulu prece jau ir ievadīta !!!");
const QString kNoRight = QStringLiteral("Jums nav tiesību ievadīt jaunas preces !!!");

const QString kStockAllKinds = QStringLiteral("K");

// The new goods with their log entry; the result L is their key.
void buildNewGoods(UnitOfWork& unit, const ClientState& state, const QString& article,
                   const QString& name, double rate)
{
    unit.declareResult(QStringLiteral("L"), ParamType::Integer);
    unit.add(kInsertGoods + kReturningKey)
        .set(QStringLiteral("ARTIKULS"), article)
        .set(QStringLiteral("GNOS"), name)
        .set(QStringLiteral("PVN"), rate);
    const UnitArg goodsIsn = UnitArg::variable(QStringLiteral("L"));
    LogOperation(unit, state, QStringLiteral("J"), name, QStringLiteral("N_KLPREC"), goodsIsn,
                 QStringLiteral("Norvalk"), goodsIsn, QDate::currentDate());
}

} // namespace

QStringList GoodsData::Statements()
{
    // The look-up, the stock and the departments are the common procedures';
    // the promotions are the provider's own statement.
    QStringList statements{kArticleTaken};
    // The typed name is declared in one of two widths, as long as it is.
    for (const QString& name : {QStringLiteral("1"), QString(300, QLatin1Char('1'))}) {
        UnitOfWork unit(UnitIdentity{QStringLiteral("NV:catalogue"), 0});
        buildNewGoods(unit, ClientState(), QStringLiteral("1"), name, 0);
        statements << unit.commandText();
    }
    return statements;
}

const KeyedList& GoodsData::LoadDepartments()
{
    if (m_departments.size() == 0)
        m_departments = LoadDepartmentList(m_module);
    return m_departments;
}

GoodsData::GoodsData(TClientDataModule& module)
    : m_module(module), m_promotions(module, module.cdsAkcijas()),
      m_update(module, module.cdsUpdate())
{
}

bool GoodsData::PriceForbidden(const QString& forbiddenPrices, int level)
{
    const QString entry = QLatin1Char('|') + QString::number(level) + QLatin1Char('|');
    return forbiddenPrices.contains(entry);
}

bool GoodsData::LookUp(GoodsInfo& goods, const QString& article)
{
    if (article.isEmpty())
        return false;
    return FindGoods(m_module, goods, article, false);
}

std::optional<double> GoodsData::Stock(const GoodsInfo& goods, int departmentIndex)
{
    const qint32 department = departmentIsn(departmentIndex);
    if (department == 0)
        return std::nullopt;
    return GetStock(m_module, goods.Isn, department, kStockAllKinds);
}

bool GoodsData::OpenPromotions(const GoodsInfo& goods, int departmentIndex)
{
    RemoteDataSet& promotions = *m_promotions;
    PrepareDataset(promotions);
    const qint32 department = departmentIsn(departmentIndex);
    if (department == 0)
        return false;
    // No command text: the provider's own statement lists the promotions.
    promotions.setIntegerParam(QStringLiteral("ISPRECE"), goods.Isn);
    promotions.setIntegerParam(QStringLiteral("ISNODALA"), department);
    promotions.open();
    return true;
}

bool GoodsData::articleTaken(const QString& article)
{
    RemoteDataSet& query = *m_update;
    PrepareDataset(query);
    query.setCommandText(kArticleTaken);
    query.setTextParam(QStringLiteral("ARTIKULS"), StoredArticle(article));
    query.open();
    return query.fieldByName(QStringLiteral("ISN")).asInteger() > 0;
}

Outcome<> GoodsData::CheckNewArticle(const QString& article)
{
    if (!article.isEmpty() && articleTaken(article))
        return Outcome<>::refuse(kDuplicate, QString());
    return Done{};
}

Outcome<qint32> GoodsData::SaveNewGoods(const QString& article, const QString& name,
                                        const QString& vatText)
{
    // The disabled button is not the only way to save (Return in the VAT
    // field is another): the right is checked where the goods are made.
    if (!m_module.clientState().RightNewGoods)
        return Outcome<qint32>::refuse(kNoRight, QString());
    if (article.isEmpty())
        return Outcome<qint32>::refuse(NoArticle, QStringLiteral("edNewArtikuls"));
    if (name.isEmpty())
        return Outcome<qint32>::refuse(kNoName, QStringLiteral("edNewGnos"));
    if (articleTaken(article))
        return Outcome<qint32>::refuse(kDuplicate, QStringLiteral("edNewArtikuls"));

    const QString vat = vatText.isEmpty() ? QStringLiteral("0") : vatText;
    bool ok = false;
    const double rate = ReadNumberField(m_module.clientState(), vat, &ok);
    if (!ok)
        throw ClientError(QStringLiteral("PVN: '%1' nav skaitlis").arg(vat));

    // Sent again after a lost reply, the goods are not made twice.
    UnitOfWork unit(NewUnitIdentity(m_module));
    buildNewGoods(unit, m_module.clientState(), StoredArticle(article), name, rate);
    RemoteDataSet& update = *m_update;
    unit.run(update);
    if (UnitOfWork::ranBefore(update))
        return UnitOfWork::earlierKey(update);
    return ReturnedKey(update, QStringLiteral("L"));
}
