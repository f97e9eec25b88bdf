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
    m_dataSet.reset();
    m_proxy.reset();
    m_connection.reset();
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
    m_connection = std::make_unique<ServerConnection>(QStringLiteral("FixtureConnection"));
    m_connection->setHostName(QHostAddress(QHostAddress::LocalHost).toString());
    m_connection->setPort(m_server.port());
    m_proxy = std::make_unique<ProviderProxy>(QStringLiteral("prcFixture"), m_connection.get());
    m_dataSet = std::make_unique<RemoteDataSet>(QStringLiteral("cdsFixture"), m_proxy.get(),
                                                QStringLiteral("dspTempQuery"));
    return QString();
}

void ShellFixture::run(const QString& sql, const QMap<QString, QString>& textParams)
{
    m_dataSet->close();
    m_dataSet->setCommandText(sql);
    for (auto it = textParams.cbegin(); it != textParams.cend(); ++it)
        m_dataSet->setTextParam(it.key(), it.value());
    m_dataSet->execute();
}

QVariant ShellFixture::value(const QString& sql)
{
    m_dataSet->close();
    m_dataSet->setCommandText(sql);
    m_dataSet->open();
    const QVariant result =
        m_dataSet->eof() ? QVariant() : m_dataSet->packet().rows.first().value(0);
    m_dataSet->close();
    return result;
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
