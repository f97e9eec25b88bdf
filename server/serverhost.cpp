#include "serverhost.h"

#include "databaseerror.h"
#include "fbattachment.h"
#include "sessionserver.h"
#include "stockdatabase.h"
#include "tservermoduledata.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QSettings>

namespace {

const QString kDefaultDatabasePath = QStringLiteral("c:\\PRECES_GDB\\PRECES.GDB");

} // namespace

ServerHost::ServerHost(ServerOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
}

ServerHost::~ServerHost()
{
    shutdown(0);
}

QString ServerHost::configuredDatabasePath(bool* found)
{
    // Same key path and value as the Windows registry key of the installation;
    // elsewhere a per-user file of the same organisation and application.
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("TOLVEX"),
                    QStringLiteral("Norvalk"));
    *found = store.childGroups().contains(QStringLiteral("Bazes"));
    if (!*found)
        return QString();
    store.beginGroup(QStringLiteral("Bazes"));
    return store.value(QStringLiteral("MainDB")).toString();
}

ServerHost::Startup ServerHost::start()
{
    QString path = kDefaultDatabasePath;
    if (!m_options.databaseOverride.isEmpty()) {
        path = m_options.databaseOverride;
    } else {
        bool found = false;
        path = configuredDatabasePath(&found);
        if (!found) {
            emit message(QStringLiteral("Reģistros DB ceļš nav atrasts !!!"));
            return Startup::Ended;
        }
    }
    if (path.isEmpty()) {
        emit message(QStringLiteral("Datora reģistros nav aizpildīts datu bāzes ceļš !!!"));
        return Startup::Ended;
    }

    const bool databaseOpen = openDatabase(path);
    m_DSServer1 =
        std::make_unique<SessionServer>(path, m_options.workerCount, m_options.stallTimeoutMs,
                                        [this] { return DSServerClass1GetClass(); });
    connect(m_DSServer1.get(), &SessionServer::clientConnected, this,
            &ServerHost::DSServer1Connect);
    connect(m_DSServer1.get(), &SessionServer::clientDisconnected, this,
            &ServerHost::DSServer1Disconnect);
    connect(m_DSServer1.get(), &SessionServer::errorOccurred, this, &ServerHost::DSServer1Error);
    if (!m_DSServer1->listen(m_options.port)) {
        emit message(QStringLiteral("Nevaru atvērt TCP portu %1 !!!\n%2")
                         .arg(m_options.port)
                         .arg(m_DSServer1->errorString()));
        return Startup::Ended;
    }
    return databaseOpen ? Startup::Serving : Startup::Degraded;
}

bool ServerHost::openDatabase(const QString& path)
{
    // A trial attachment proves the path, password and character set before
    // the first terminal arrives; the workers open their own.
    FbAttachment probe;
    try {
        openStockDatabase(probe, path);
        probe.close();
        return true;
    } catch (const DatabaseError& error) {
        emit message(QStringLiteral("Nevaru atvērt FireDAC konekciju datu bāzi !!!") +
                     QLatin1Char('\n') + error.message());
        return false;
    }
}

quint16 ServerHost::port() const
{
    return m_DSServer1 ? m_DSServer1->port() : 0;
}

QString ServerHost::ServerIpAddress()
{
    QList<QHostAddress> interfaces;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        if (!interface.flags().testFlag(QNetworkInterface::IsUp))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            interfaces.append(entry.ip());
    }
    return shownAddress(QHostInfo::fromName(QHostInfo::localHostName()).addresses(), interfaces);
}

QString ServerHost::shownAddress(const QList<QHostAddress>& hostName,
                                 const QList<QHostAddress>& interfaces)
{
    // The caption is there for typing the address into a terminal: a stock
    // Debian names itself 127.0.1.1, which no terminal can use, so the
    // machine's own network addresses come before a loopback one.
    const auto isIpv4 = [](const QHostAddress& address) {
        return address.protocol() == QAbstractSocket::IPv4Protocol;
    };
    for (const QList<QHostAddress>* list : {&hostName, &interfaces}) {
        for (const QHostAddress& address : *list) {
            if (isIpv4(address) && !address.isLoopback())
                return address.toString();
        }
    }
    for (const QHostAddress& address : hostName) {
        if (isIpv4(address))
            return address.toString();
    }
    return QStringLiteral("0");
}

std::shared_ptr<TServerModuleData> ServerHost::DSServerClass1GetClass()
{
    // The shared database stays open: closing it here would fail requests that
    // other terminals have in flight.
    return std::make_shared<TServerModuleData>();
}

void ServerHost::DSServer1Connect()
{
    ++m_connectionCount;
    emit connectionCountChanged(m_connectionCount);
    emit logLine(QStringLiteral("Pievienojies. Savienojumu skaits:") +
                 QString::number(m_connectionCount));
}

void ServerHost::DSServer1Disconnect()
{
    --m_connectionCount;
    emit connectionCountChanged(m_connectionCount);
    emit logLine(QStringLiteral("Atvienojies. Savienojumu skaits:") +
                 QString::number(m_connectionCount));
}

void ServerHost::DSServer1Error(const QString& error)
{
    emit logLine(QStringLiteral("Kļūda :") + error);
}

void ServerHost::shutdown(int graceMs)
{
    if (!m_DSServer1)
        return;
    m_DSServer1->shutdown(graceMs);
    m_DSServer1.reset();
}
