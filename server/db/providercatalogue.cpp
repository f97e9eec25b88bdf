#include "server/db/providercatalogue.h"

#include <algorithm>

namespace {

const QString kGoodsByCodeSql = QStringLiteral(
    "SELECT ISN, NODOKLIS, GNOS, ISSERTIF1, PARDCENA1, PARDCENA2, PARDCENA3, PARDCENA4, "
    "PARDCENA5, PARDCENA6, PARDCENA7, PARDCENA8, PARDCENA9, PARDCENA10, PARDCENA11, PARDCENA12, "
    "PARDCENA13, PARDCENA14, PARDCENA15, PARDCENA16, PAKALPOJ, PASTAVIGATLAID, ISPRGRUPA, "
    "ISPRKLIENT, NEAKTIVA FROM N_KLPREC WHERE (ARTIKULS=:ARTIKULS OR ARTIKULS2=:ARTIKULS OR "
    "ARTIKULS3=:ARTIKULS OR ARTIKULS4=:ARTIKULS OR ARTIKULS5=:ARTIKULS OR ARTIKULS6=:ARTIKULS)");

const QString kDepartmentsSql = QStringLiteral(
    "SELECT N_DEPART.ISN, N_DEPART.GNOS NODALA FROM N_DEPART WHERE N_DEPART.ISN>1 AND "
    "(FLAG_3D IS NULL OR FLAG_3D='' OR FLAG_3D='F') ORDER BY N_DEPART.GNOS");

const QString kPartnersSql = QStringLiteral(
    "SELECT N_KLIENT.ISN, N_KLIENT.GNOS KLIENTS FROM N_KLIENT WHERE N_KLIENT.ISN>1 ORDER BY "
    "N_KLIENT.GNOS");

const QString kStockSql = QStringLiteral(
    "SELECT SUM(ATLIKUMS) ATLIKUMS FROM O_TEKATLIK WHERE O_TEKATLIK.ISPRECE = :ISPRECE AND "
    "O_TEKATLIK.ISNODALA = :ISNODALA AND O_TEKATLIK.NELEGALIZ = :NELEGALIZ");

const QString kPromotionsSql = QStringLiteral(
    "SELECT O_PARCPV.AKCIJA_NO, O_PARCPV.AKCIJA_LIDZ, O_PARCPR.CENA_UZ FROM O_PARCPV, O_PARCPR "
    "WHERE O_PARCPV.ISN = O_PARCPR.ISPARCPV AND O_PARCPV.PZ_VEIDS = 1 AND "
    "O_PARCPV.ISNODALA=:ISNODALA AND O_PARCPR.ISPRECE=:ISPRECE ORDER BY O_PARCPV.AKCIJA_LIDZ "
    "DESCENDING");

RemoteParam designParam(const QString& name, ParamType type)
{
    return {name, type, ParamDirection::Input, QVariant()};
}

QList<ProviderDefinition> buildCatalogue()
{
    const RemoteParams articleParam{designParam(QStringLiteral("ARTIKULS"), ParamType::Text)};
    const RemoteParams stockParams{designParam(QStringLiteral("ISPRECE"), ParamType::Integer),
                                   designParam(QStringLiteral("ISNODALA"), ParamType::Integer),
                                   designParam(QStringLiteral("NELEGALIZ"), ParamType::Text)};
    const RemoteParams promotionParams{designParam(QStringLiteral("ISNODALA"), ParamType::Integer),
                                       designParam(QStringLiteral("ISPRECE"), ParamType::Integer)};
    return {
        {QStringLiteral("dspFindN_KLPREC"), QStringLiteral("qFindN_KLPREC"), QString(), {}},
        {QStringLiteral("dspTempQuery"), QStringLiteral("qTempQuery"), kGoodsByCodeSql,
         articleParam},
        {QStringLiteral("dspUpdate"), QStringLiteral("qUpdate"), kGoodsByCodeSql, articleParam},
        {QStringLiteral("dspN_DEPART"), QStringLiteral("qN_DEPART"), kDepartmentsSql, {}},
        {QStringLiteral("dspN_KLIENT"), QStringLiteral("qN_KLIENT"), kPartnersSql, {}},
        {QStringLiteral("dspO_OPERACIJAS"), QStringLiteral("qO_OPERACIJAS"), kPartnersSql, {}},
        {QStringLiteral("dspO_USERS"), QStringLiteral("qO_USERS"), kPartnersSql, {}},
        {QStringLiteral("dspO_TEKATLIK"), QStringLiteral("qO_TEKATLIK"), kStockSql, stockParams},
        {QStringLiteral("dspPreces"), QStringLiteral("qPreces"), kStockSql, stockParams},
        {QStringLiteral("dspAkcijas"), QStringLiteral("qAtcijas"), kPromotionsSql, promotionParams},
        {QStringLiteral("dspPavadzimes"), QStringLiteral("qPavadzimes"), kStockSql, stockParams},
    };
}

} // namespace

const QList<ProviderDefinition>& ProviderCatalogue::providers()
{
    static const QList<ProviderDefinition> catalogue = buildCatalogue();
    return catalogue;
}

const ProviderDefinition* ProviderCatalogue::find(const QString& name)
{
    for (const ProviderDefinition& provider : providers()) {
        if (provider.name.compare(name, Qt::CaseInsensitive) == 0)
            return &provider;
    }
    return nullptr;
}

QStringList ProviderCatalogue::names()
{
    QStringList result;
    for (const ProviderDefinition& provider : providers())
        result.append(provider.name);
    return result;
}

bool ProviderCatalogue::isDesignSql(const QString& text)
{
    return std::any_of(
        providers().cbegin(), providers().cend(),
        [&text](const ProviderDefinition& provider) { return provider.designSql == text; });
}
