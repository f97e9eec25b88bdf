#include "serverfixture.h"

#include "clientformat.h"
#include "showmessage.h"

#include <QHostAddress>

ServerFixture::ServerFixture()
{
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
    setMessageHandler([this](const QString& text) { m_messages << text; });
}

ServerFixture::~ServerFixture()
{
    m_dataSet.reset();
    m_proxy.reset();
    m_module.reset();
    m_server.stop();
    setMessageHandler({});
    ClientFormat::useSystemLocale();
}

QString ServerFixture::start()
{
    if (!m_database.isValid())
        return QStringLiteral("database: ") + m_database.error();
    if (!m_server.start(m_database.path()))
        return QStringLiteral("server: ") + m_server.standardError() + m_server.standardOutput();
    m_module = std::make_unique<TClientDataModule>();
    if (ClientDataModule != m_module.get())
        return QStringLiteral("another data module is still alive");
    ServerConnection& connection = m_module->SQLConnection1();
    connection.setHostName(QHostAddress(QHostAddress::LocalHost).toString());
    connection.setPort(m_server.port());
    m_proxy = std::make_unique<ProviderProxy>(QStringLiteral("prcFixture"), &connection);
    m_dataSet = std::make_unique<RemoteDataSet>(QStringLiteral("cdsFixture"), m_proxy.get(),
                                                QStringLiteral("dspTempQuery"));
    return QString();
}

bool ServerFixture::restartServer()
{
    // Same port: terminals keep the address they were given.
    const quint16 port = m_server.port();
    return m_server.start(m_database.path(), {}, port) && m_server.port() == port;
}

void ServerFixture::run(const QString& sql)
{
    m_dataSet->close();
    m_dataSet->setCommandText(sql);
    m_dataSet->execute();
}

void ServerFixture::run(const QStringList& statements)
{
    for (const QString& sql : statements)
        run(sql);
}

QVariant ServerFixture::value(const QString& sql)
{
    m_dataSet->close();
    m_dataSet->setCommandText(sql);
    m_dataSet->open();
    const QVariant result =
        m_dataSet->eof() ? QVariant() : m_dataSet->packet().rows.first().value(0);
    m_dataSet->close();
    return result;
}
