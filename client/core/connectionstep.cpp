#include "client/core/connectionstep.h"

#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/owndataset.h"
#include "client/core/remotedataset.h"
#include "client/core/serverconnection.h"
#include "client/core/systemsettings.h"
#include "client/core/tclientdatamodule.h"

namespace {

const QString kInstallationSettings = QStringLiteral(
    "SELECT DEK_PREFIX, DEK_ART_SAK, DEK_ART_GAR, DEK_DAUDZ_SAK, DEK_DAUDZ_GAR, DEK_DECIMALZ, "
    "ISISERTARATLIK, SHOWSERTATLIK FROM N_ISI2");

const QString kYes = QStringLiteral("T");

const QString kNoAddress =
    QStringLiteral("Nav iestatīta servera IP adrese, pieslēgšanās nenotiks !!!");
const QString kTryingAddress = QStringLiteral("Mēģinu pieslēgties pie servera adreses ");
const QString kTrying = QStringLiteral("Mēģinu pieslēgties pie servera ...");
const QString kConnected = QStringLiteral("Pieslēgšanās pie servera veikmīga");

} // namespace

Outcome<> ConnectionStep::Connect(TClientDataModule& module, quint16 port,
                                  const std::function<void(const QString&)>& status)
{
    ServerConnection& connection = module.SQLConnection1();
    try {
        ClientState& state = module.clientState();
        CopyLocalSwitches(state);
        if (state.NeraditEkranaKlaviaturu)
            SetKeyboardSuppression(module, true);

        // Every command connects anew, so a changed address takes effect.
        connection.setConnected(false);
        connection.setHostName(HostNameSetting());
        connection.setPort(port);
        // Encrypted once a server certificate has been accepted.
        connection.setServerCertificate(SystemSettings::ServerCertificate());
        if (connection.hostName().isEmpty())
            return Outcome<>::refuse(kNoAddress, QString());

        status(kTryingAddress + connection.hostName());
        status(kTrying);
        connection.setConnected(true);
        status(kConnected);

        LoadInstallationSettings(module);
        ProbeDecimalSeparator(state);
        return Done{};
    } catch (const std::exception&) {
        // A half-made connection is no connection: the command goes no further.
        try {
            connection.setConnected(false);
        } catch (const std::exception&) {
        }
        throw;
    }
}

QStringList ConnectionStep::Statements()
{
    return {kInstallationSettings};
}

QString ConnectionStep::HostNameSetting()
{
    return SystemSettings::Read(QString()).HostName;
}

void ConnectionStep::CopyLocalSwitches(ClientState& state)
{
    const SystemSettings settings = SystemSettings::Read(QString());
    state.IzrDaudzums1 = settings.IzrDaudzums1;
    state.IzrDzestAtlaidi = settings.IzrDzestAtlaidi;
    state.IzrPardCenaNoNodalas = settings.IzrPardCenaNoNodalas;
    state.NeraditEkranaKlaviaturu = settings.NeraditEkranaKlaviaturu;
}

void ConnectionStep::LoadInstallationSettings(TClientDataModule& module)
{
    OwnDataSet own(module, module.cdsTempQuery());
    RemoteDataSet& query = *own;
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
