#include "client/core/systemsettings.h"

#include "client/core/settingsfile.h"

namespace {

const QString kSection = QStringLiteral("SysCon");
const QString kHostName = QStringLiteral("HostName");
const QString kIzrDaudzums1 = QStringLiteral("IzrDaudzums1");
const QString kIzrDzestAtlaidi = QStringLiteral("IzrDzestAtlaidi");
const QString kIzrPardCenaNoNodalas = QStringLiteral("IzrPardCenaNoNodalas");
const QString kNeraditEkranaKlaviaturu = QStringLiteral("NeraditEkranaKlaviaturu");
const QString kServerCertificate = QStringLiteral("ServerCertificate");

} // namespace

SystemSettings SystemSettings::Read(const QString& defaultHostName)
{
    SystemSettings settings;
    settings.HostName = IniReadString(kSection, kHostName, defaultHostName);
    settings.IzrDaudzums1 = IniReadBool(kSection, kIzrDaudzums1, false);
    settings.IzrDzestAtlaidi = IniReadBool(kSection, kIzrDzestAtlaidi, false);
    settings.IzrPardCenaNoNodalas = IniReadBool(kSection, kIzrPardCenaNoNodalas, false);
    settings.NeraditEkranaKlaviaturu = IniReadBool(kSection, kNeraditEkranaKlaviaturu, false);
    return settings;
}

void SystemSettings::Write() const
{
    IniWriteString(kSection, kHostName, HostName);
    IniWriteBool(kSection, kIzrDaudzums1, IzrDaudzums1);
    IniWriteBool(kSection, kIzrDzestAtlaidi, IzrDzestAtlaidi);
    IniWriteBool(kSection, kIzrPardCenaNoNodalas, IzrPardCenaNoNodalas);
    IniWriteBool(kSection, kNeraditEkranaKlaviaturu, NeraditEkranaKlaviaturu);
}

QString SystemSettings::ServerCertificate()
{
    return IniReadString(kSection, kServerCertificate, QString()).trimmed();
}

void SystemSettings::SetServerCertificate(const QString& fingerprint)
{
    IniWriteString(kSection, kServerCertificate, fingerprint);
}
