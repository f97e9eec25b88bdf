#include "server/app/serversettings.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("Bazes");

bool holdsGroup(const QSettings* settings)
{
    return settings && settings->childGroups().contains(kGroup);
}

std::optional<QString> groupValue(const QSettings* settings, const QString& name)
{
    if (!settings)
        return std::nullopt;
    const QString key = kGroup + u'/' + name;
    if (!settings->contains(key))
        return std::nullopt;
    // A list written by QSettings itself comes back as one.
    const QVariant value = settings->value(key);
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                    : value.toString();
}

} // namespace

ServerSettings::ServerSettings()
    // Same key path and value as the Windows registry key of the installation;
    // elsewhere a per-user file of the same organisation and application.
    : m_user(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                         QStringLiteral("TOLVEX"), QStringLiteral("Norvalk")))
{
    // The machine layer is ours, not the XDG system folders QSettings would
    // otherwise also search: two files an administrator can name.
    m_user->setFallbacksEnabled(false);
    const QString systemPath = systemFilePath();
    if (!systemPath.isEmpty() && QFileInfo(systemPath).isFile())
        m_system = std::make_unique<QSettings>(systemPath, QSettings::IniFormat);
}

ServerSettings::~ServerSettings() = default;

QString ServerSettings::systemFilePath()
{
    if (qEnvironmentVariableIsSet("NORVALK_SYSTEM_CONFIG"))
        return qEnvironmentVariable("NORVALK_SYSTEM_CONFIG");
    return QStringLiteral("/etc/norvalk/norvalk.conf");
}

bool ServerSettings::hasGroup() const
{
    return holdsGroup(m_user.get()) || holdsGroup(m_system.get());
}

std::optional<QString> ServerSettings::value(const QString& name) const
{
    if (std::optional<QString> own = groupValue(m_user.get(), name))
        return own;
    return groupValue(m_system.get(), name);
}
