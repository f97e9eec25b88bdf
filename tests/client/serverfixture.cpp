#include "tests/client/serverfixture.h"

#include "client/core/clientformat.h"
#include "client/core/terminalstatements.h"
#include "common/showmessage.h"

#include <QHostAddress>

ServerFixture::ServerFixture(TestDatabase::Content content) : m_database(content)
{
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
    setMessageHandler([this](const QString& text) { m_messages << text; });
}

ServerFixture::~ServerFixture()
{
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
    ServerConnection& connection = m_module->SQLConnection1();
    connection.setHostName(QHostAddress(QHostAddress::LocalHost).toString());
    connection.setPort(m_server.port());
    m_statements.attach(connection.client());
    m_sql.setPort(m_server.port());
    return QString();
}

QString ServerFixture::statementsOutsideCatalogue(const QStringList& ownStatements) const
{
    static const QStringList catalogue = TerminalStatements();
    return m_statements.describeMissing(catalogue + ownStatements);
}

bool ServerFixture::restartServer()
{
    // Same port: terminals keep the address they were given.
    const quint16 port = m_server.port();
    return m_server.start(m_database.path(), {}, port) && m_server.port() == port;
}

void ServerFixture::run(const QStringList& statements)
{
    for (const QString& sql : statements)
        run(sql);
}

OwnTerminal::OwnTerminal(const QString& host, quint16 port, const QString& provider)
    : connection(QStringLiteral("SQLConnection1")),
      proxy(QStringLiteral("prc") + provider.mid(3), &connection),
      dataSet(QStringLiteral("cds") + provider.mid(3), &proxy, provider)
{
    connection.setHostName(host);
    connection.setPort(port);
}
