#include "server/app/serverhost.h"

#include "server/app/serversettings.h"
#include "server/db/databaseerror.h"
#include "server/db/fbattachment.h"
#include "server/db/logsafetext.h"
#include "server/db/statementcatalogue.h"
#include "server/db/stockdatabase.h"
#include "server/db/tservermoduledata.h"
#include "server/net/allowlist.h"
#include "server/net/descriptorlimit.h"
#include "server/net/servermetrics.h"
#include "server/net/servertls.h"
#include "server/net/sessionserver.h"
#include "server/net/terminallist.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkInterface>

namespace {

const QString kDefaultDatabasePath = QStringLiteral("c:\\PRECES_GDB\\PRECES.GDB");

QString wrongAllowEntryText(const QString& wrongEntry)
{
    return QStringLiteral("Atļauto adrešu sarakstā '%1' nav ne adrese, ne tīkls "
                          "(piemēram, 192.168.10.0/24) !!!")
        .arg(wrongEntry.left(64));
}

QString wrongTerminalsText(const QString& path, const QString& error)
{
    return QStringLiteral("Termināļu sarakstā '%1': %2 !!!").arg(path, error);
}

QString terminalsCountText(const QString& path, qsizetype count)
{
    return QStringLiteral("Reģistrēto termināļu saraksts '%1': %2 termināļi").arg(path).arg(count);
}

} // namespace

ServerHost::ServerHost(ServerOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    m_logRelay->host = this;
}

ServerHost::~ServerHost()
{
    shutdown(0);
    // A worker left running after a stop that failed may still report.
    const std::lock_guard lock(m_logRelay->lock);
    m_logRelay->host = nullptr;
}

QString ServerHost::configuredDatabasePath(bool* found)
{
    const ServerSettings settings;
    *found = settings.hasGroup();
    return *found ? settings.value(QStringLiteral("MainDB")).value_or(QString()) : QString();
}

std::optional<QString> ServerHost::configuredValue(const QString& name)
{
    return ServerSettings().value(name);
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

    // Before the database: a wrong file is found at once, not after its timeouts.
    if (!loadTls())
        return Startup::Ended;
    QString statementsError;
    if (!loadStatements(&statementsError)) {
        emit message(statementsError);
        return Startup::Ended;
    }
    if (!m_statements)
        emit logLine(QStringLiteral("Termināļi drīkst sūtīt jebkuru vaicājumu (to ierobežo "
                                    "--statements vai Bazes/Statements)"));
    const bool databaseOpen = openDatabase(path);
    if (!startMetrics())
        return Startup::Ended;
    emit aboutToListen();
    if (!startSessionServer(path))
        return Startup::Ended;
    return databaseOpen ? Startup::Serving : Startup::Degraded;
}

QString ServerHost::listenText() const
{
    return m_options.listenAddress.value_or(configuredValue(QStringLiteral("Listen")).value_or(""))
        .trimmed();
}

QString ServerHost::metricsText() const
{
    return m_options.metricsAddress
        .value_or(configuredValue(QStringLiteral("Metrics")).value_or(""))
        .trimmed();
}

bool ServerHost::startMetrics()
{
    const QString text = metricsText();
    if (text.isEmpty())
        return true;
    const std::optional<MetricsEndpoint> endpoint = ServerMetrics::parseEndpoint(text);
    if (!endpoint) {
        emit message(QStringLiteral("Metriku adrese '%1' nav IPv4 adrese ar portu (piemēram, "
                                    "127.0.0.1:9464) !!!")
                         .arg(text.left(64)));
        return false;
    }
    try {
        m_metrics = std::make_unique<ServerMetrics>(*endpoint);
    } catch (const std::exception& error) {
        emit message(QStringLiteral("Nevaru atvērt metriku adresi %1 !!!\n%2")
                         .arg(text.left(64), QString::fromLocal8Bit(error.what())));
        return false;
    }
    m_metricsText = text;
    emit logLine(QStringLiteral("Metrikas: http://%1:%2/metrics")
                     .arg(endpoint->address.toString())
                     .arg(m_metrics->port()));
    return true;
}

QString ServerHost::configuredText(const std::optional<QString>& given, const QString& name) const
{
    return given.value_or(configuredValue(name).value_or("")).trimmed();
}

bool ServerHost::loadTls()
{
    const QString certificate = configuredText(m_options.certificateFile, "Certificate");
    const QString key = configuredText(m_options.keyFile, "Key");
    const QString terminals = configuredText(m_options.terminalsFile, "Terminals");
    m_tlsText = certificate + u'\n' + key;
    if (certificate.isEmpty() != key.isEmpty()) {
        emit message(certificate.isEmpty()
                         ? QStringLiteral("TLS savienojumam bez sertifikāta nepietiek ar atslēgu: "
                                          "norādiet arī --certificate (Bazes/Certificate) !!!")
                         : QStringLiteral("TLS savienojumam bez atslēgas nepietiek ar sertifikātu: "
                                          "norādiet arī --key (Bazes/Key) !!!"));
        return false;
    }
    if (certificate.isEmpty()) {
        if (terminals.isEmpty())
            return true;
        emit message(QStringLiteral("Reģistrētos termināļus (--terminals, Bazes/Terminals) var "
                                    "pārbaudīt tikai TLS savienojumā: norādiet arī --certificate "
                                    "un --key !!!"));
        return false;
    }
    QString error;
    std::optional<TerminalList> list;
    if (!terminals.isEmpty()) {
        list = TerminalList::read(terminals, &error);
        if (!list) {
            emit message(wrongTerminalsText(terminals, error));
            return false;
        }
    }
    const qsizetype enrolled = list ? list->size() : 0;
    m_tls = ServerTls::load(certificate, key, std::move(list), &error);
    if (!m_tls) {
        emit message(error);
        return false;
    }
    emit logLine(
        QStringLiteral("Termināļi pieslēdzas ar TLS 1.3; servera sertifikāta nospiedums ") +
        m_tls->fingerprint());
    if (m_tls->enrolment())
        emit logLine(terminalsCountText(terminals, enrolled));
    return true;
}

void ServerHost::reloadTerminals()
{
    const QString tls = configuredText(m_options.certificateFile, "Certificate") + u'\n' +
                        configuredText(m_options.keyFile, "Key");
    if (tls != m_tlsText)
        emit logLine(QStringLiteral("Jaunais sertifikāts vai atslēga stāsies spēkā pēc servera "
                                    "restartēšanas"));
    const QString path = configuredText(m_options.terminalsFile, "Terminals");
    if (!m_tls || !m_tls->enrolment() || path.isEmpty()) {
        // Asking the terminals for certificates is settled when the server starts.
        if (!path.isEmpty() || (m_tls && m_tls->enrolment()))
            emit logLine(QStringLiteral("Termināļu saraksta ieslēgšana vai izslēgšana stāsies "
                                        "spēkā pēc servera restartēšanas"));
        return;
    }
    QString error;
    if (std::optional<TerminalList> list = TerminalList::read(path, &error)) {
        const qsizetype count = list->size();
        m_tls->setTerminals(std::move(*list));
        emit logLine(terminalsCountText(path, count));
    } else {
        // As with the allow list: a typing error must not lock the shop's terminals out.
        emit logLine(QStringLiteral("Kļūda :") + wrongTerminalsText(path, error));
        emit logLine(QStringLiteral("Paliek spēkā iepriekšējais termināļu saraksts"));
    }
}

QString ServerHost::statementsPath() const
{
    return m_options.statementsFile
        .value_or(configuredValue(QStringLiteral("Statements")).value_or(""))
        .trimmed();
}

bool ServerHost::loadStatements(QString* error)
{
    const QString path = statementsPath();
    if (path.isEmpty())
        return !m_statements;
    std::shared_ptr<const StatementCatalogue> statements = StatementCatalogue::load(path, error);
    if (!statements)
        return false;
    const qsizetype count = statements->size();
    {
        const std::lock_guard lock(m_statementsLock);
        m_statements = std::move(statements);
    }
    emit logLine(QStringLiteral("Termināļi drīkst sūtīt tikai %1 vaicājumus no saraksta %2")
                     .arg(count)
                     .arg(path));
    return true;
}

std::optional<AllowList> ServerHost::allowList(QString* wrongEntry) const
{
    return AllowList::parse(
        m_options.allowList.value_or(configuredValue(QStringLiteral("Allow")).value_or("")),
        wrongEntry);
}

bool ServerHost::startSessionServer(const QString& path)
{
    const QString listenText = this->listenText();
    const QHostAddress listenAddress(listenText);
    if (!listenText.isEmpty() && listenAddress.isNull()) {
        emit message(
            QStringLiteral("Klausīšanās adrese '%1' nav IP adrese !!!").arg(listenText.left(64)));
        return false;
    }
    QString wrongEntry;
    const std::optional<AllowList> allow = allowList(&wrongEntry);
    if (!allow) {
        emit message(wrongAllowEntryText(wrongEntry));
        return false;
    }

    SessionServerOptions options;
    options.workerCount = m_options.workerCount;
    options.session.stallTimeoutMs = m_options.stallTimeoutMs;
    options.allow = *allow;
    options.metrics = m_metrics.get();
    options.session.tls = m_tls;
    options.maxClients = m_options.maxClients > 0
                             ? m_options.maxClients
                             : defaultMaxClients(raiseDescriptorLimit(), m_options.workerCount);
    m_DSServer1 =
        std::make_unique<SessionServer>(path, options, [this] { return DSServerClass1GetClass(); });
    connect(m_DSServer1.get(), &SessionServer::clientConnected, this,
            &ServerHost::DSServer1Connect);
    connect(m_DSServer1.get(), &SessionServer::clientDisconnected, this,
            &ServerHost::DSServer1Disconnect);
    connect(m_DSServer1.get(), &SessionServer::errorOccurred, this, &ServerHost::DSServer1Error);
    if (!m_DSServer1->listen(listenText.isEmpty() ? QHostAddress() : listenAddress,
                             m_options.port)) {
        emit message(QStringLiteral("Nevaru atvērt TCP portu %1 !!!\n%2")
                         .arg(m_options.port)
                         .arg(m_DSServer1->errorString()));
        m_DSServer1.reset();
        return false;
    }
    m_databasePath = path;
    m_listenText = listenText;
    logAllowList(*allow);
    emit logLine(
        QStringLiteral("Vienlaikus var pieslēgties līdz %1 termināļiem").arg(options.maxClients));
    return true;
}

void ServerHost::logAllowList(const AllowList& allow)
{
    emit logLine(allow.allowsEveryone()
                     ? QStringLiteral("Pieslēgties drīkst jebkura adrese (to ierobežo --allow vai "
                                      "Bazes/Allow)")
                     : QStringLiteral("Pieslēgties drīkst: ") + allow.describe());
}

void ServerHost::reload()
{
    if (!m_DSServer1)
        return;
    m_DSServer1->dropPreparedStatements();
    emit logLine(QStringLiteral("Iestatījumi tiek pārlasīti; vaicājumi tiks sagatavoti no jauna"));
    QString statementsError;
    if (!loadStatements(&statementsError)) {
        if (statementsError.isEmpty()) {
            // Opening the server to any statement is not left to a reload.
            emit logLine(QStringLiteral("Vaicājumu saraksta atcelšana stāsies spēkā pēc servera "
                                        "restartēšanas"));
        } else {
            emit logLine(QStringLiteral("Kļūda :") + statementsError);
            emit logLine(QStringLiteral("Paliek spēkā iepriekšējais vaicājumu saraksts"));
        }
    }
    QString wrongEntry;
    if (const std::optional<AllowList> allow = allowList(&wrongEntry)) {
        m_DSServer1->setAllowList(*allow);
        logAllowList(*allow);
    } else {
        // The list in force stays: a typing error must not open or close the shop.
        emit logLine(QStringLiteral("Kļūda :") + wrongAllowEntryText(wrongEntry));
        emit logLine(QStringLiteral("Paliek spēkā iepriekšējais atļauto adrešu saraksts"));
    }
    reloadTerminals();
    const QString listen = listenText();
    if (listen != m_listenText)
        emit logLine(QStringLiteral("Klausīšanās adrese '%1' stāsies spēkā pēc servera "
                                    "restartēšanas")
                         .arg(listen.left(64)));
    const QString metrics = metricsText();
    if (metrics != m_metricsText)
        emit logLine(QStringLiteral("Metriku adrese '%1' stāsies spēkā pēc servera "
                                    "restartēšanas")
                         .arg(metrics.left(64)));
    if (m_options.databaseOverride.isEmpty()) {
        bool found = false;
        const QString path = configuredDatabasePath(&found);
        if (found && path != m_databasePath)
            emit logLine(QStringLiteral("Datu bāzes ceļš '%1' stāsies spēkā pēc servera "
                                        "restartēšanas")
                             .arg(path.left(64)));
    }
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
    std::shared_ptr<const StatementCatalogue> statements;
    {
        const std::lock_guard lock(m_statementsLock);
        statements = m_statements;
    }
    // Called on the session's worker: the line crosses to this thread as the
    // session's own errors do, in the order they happen.
    auto log = [relay = m_logRelay](const QString& line) {
        const std::lock_guard lock(relay->lock);
        if (ServerHost* host = relay->host)
            QMetaObject::invokeMethod(
                host, [host, line] { emit host->logLine(line); }, Qt::QueuedConnection);
    };
    return std::make_shared<TServerModuleData>(m_unitsInFlight, std::move(statements),
                                               std::move(log));
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
    // The session's module has logged its first refused statement with the
    // terminal's name; one line per refused request would only fill the log.
    if (error == TServerModuleData::kRefusedText)
        return;
    emit logLine(QStringLiteral("Kļūda :") + logSafeText(error));
}

bool ServerHost::shutdown(int graceMs)
{
    if (!m_DSServer1)
        return true;
    const bool stopped = m_DSServer1->shutdown(graceMs < 0 ? m_options.stopGraceMs : graceMs);
    m_DSServer1.reset();
    if (!stopped) {
        // A worker left inside the database still reports to it.
        [[maybe_unused]] ServerMetrics* left = m_metrics.release();
    }
    m_metrics.reset();
    return stopped;
}
