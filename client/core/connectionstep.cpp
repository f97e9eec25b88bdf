#include "client/core/connectionstep.h"

#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/remotedataset.h"
#include "client/core/settingsfile.h"
#include "client/core/tclientdatamodule.h"

namespace {

const QString kSection = QStringLiteral("SysCon");

const QString kInstallationSettings = QStringLiteral(
    "SELECT DEK_PREFIX, DEK_ART_SAK, DEK_ART_GAR, DEK_DAUDZ_SAK, DEK_DAUDZ_GAR, DEK_DECIMALZ, "
    "ISISERTARATLIK, SHOWSERTATLIK FROM N_ISI2");

const QString kYes = QStringLiteral("T");

} // namespace

QString ConnectionStep::HostNameSetting()
{
    return IniReadString(kSection, QStringLiteral("HostName"), QString());
}

void ConnectionStep::CopyLocalSwitches(ClientState& state)
{
    state.IzrDaudzums1 = IniReadBool(kSection, QStringLiteral("IzrDaudzums1"), false);
    state.IzrDzestAtlaidi = IniReadBool(kSection, QStringLiteral("IzrDzestAtlaidi"), false);
    state.IzrPardCenaNoNodalas =
        IniReadBool(kSection, QStringLiteral("IzrPardCenaNoNodalas"), false);
    state.NeraditEkranaKlaviaturu =
        IniReadBool(kSection, QStringLiteral("NeraditEkranaKlaviaturu"), false);
}

void ConnectionStep::LoadInstallationSettings(TClientDataModule& module)
{
    RemoteDataSet& query = module.cdsTempQuery();
    query.close();
    query.setCommandText(kInstallationSettings);
    query.open();
    ClientState& state = module.clientState();
    state.ScalePrefix = query.fieldByName(QStringLiteral("DEK_PREFIX")).asString();
    state.DekArtSak = query.fieldByName(QStringLiteral("DEK_ART_SAK")).asInteger();
    state.DekArtGar = query.fieldByName(QStringLiteral("DEK_ART_GAR")).asInteger();
    state.DekDaudzSak = query.fieldByName(QStringLiteral("DEK_DAUDZ_SAK")).asInteger();
    state.DekDaudzGar = query.fieldByName(QStringLiteral("DEK_DAUDZ_GAR")).asInteger();
    state.DekDecimalz = query.fieldByName(QStringLiteral("DEK_DECIMALZ")).asInteger();
    state.UseCertifiedStock =
        query.fieldByName(QStringLiteral("ISISERTARATLIK")).asString() == kYes;
    state.ShowCertifiedStock =
        query.fieldByName(QStringLiteral("SHOWSERTATLIK")).asString() == kYes;
}

void ConnectionStep::ProbeDecimalSeparator(ClientState& state)
{
    // Typed numbers are normalised to the separator the client's own number
    // format reads. Reading it off a number the server sent, as terminals
    // once did, concluded "comma" whenever that number was whole, and a
    // typed 1.5 then became 0.
    state.DecimalPointIsDot = ClientFormat::decimalSeparator() == QLatin1String(".");
}
