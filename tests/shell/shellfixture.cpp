#include "shellfixture.h"

#include "clientformat.h"
#include "settingsfile.h"
#include "showmessage.h"

#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>

ShellFixture::ShellFixture()
{
    // The documents folder follows HOME and the XDG user folders.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral(".config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
    setMessageHandler([this](const QString& text) { m_messages << text; });
}

ShellFixture::~ShellFixture()
{
    m_server.stop();
    setMessageHandler({});
    ClientFormat::useSystemLocale();
}

QString ShellFixture::startServer()
{
    if (!m_home.isValid())
        return QStringLiteral("no temporary home folder");
    if (!m_database)
        m_database = std::make_unique<TestDatabase>(TestDatabase::Content::Demo);
    if (!m_database->isValid())
        return QStringLiteral("database: ") + m_database->error();
    if (!m_server.start(m_database->path()))
        return QStringLiteral("server: ") + m_server.standardError() + m_server.standardOutput();
    m_sql.setPort(m_server.port());
    return QString();
}

QString ShellFixture::settingsPath() const
{
    return SettingsFilePath();
}

QString ShellFixture::settingsText() const
{
    QFile file(settingsPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void ShellFixture::removeSettings() const
{
    QFile::remove(settingsPath());
}

void ShellFixture::pointSettingsAtServer() const
{
    IniWriteString(QStringLiteral("SysCon"), QStringLiteral("HostName"),
                   QHostAddress(QHostAddress::LocalHost).toString());
}
