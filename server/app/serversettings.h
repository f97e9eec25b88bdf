#pragma once

#include <QString>

#include <memory>
#include <optional>

class QSettings;

// The server's configuration values (group "Bazes": MainDB, Listen, Allow,
// Metrics, Statements)
// from two layers: the per-user store (organisation "TOLVEX", application
// "Norvalk") and the machine's file /etc/norvalk/norvalk.conf, in the same
// INI form. A value the per-user store holds, even an empty one, wins over
// the machine's; the command line wins over both, in ServerHost.
//
// NORVALK_SYSTEM_CONFIG names another machine file (empty: none), so that
// tests never read the real one. Nothing is ever written.
class ServerSettings final
{
public:
    ServerSettings();
    ~ServerSettings();
    ServerSettings(const ServerSettings&) = delete;
    ServerSettings& operator=(const ServerSettings&) = delete;

    // Whether either layer has the group at all.
    bool hasGroup() const;
    // A value of the group; nothing when neither layer holds it.
    std::optional<QString> value(const QString& name) const;

    static QString systemFilePath();

private:
    std::unique_ptr<QSettings> m_user;
    std::unique_ptr<QSettings> m_system; // null without a machine file
};
