#include "server/app/serverstartup.h"

#include "common/showmessage.h"
#include "server/app/processlog.h"
#include "server/app/terminationwatcher.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

const char kHeadlessFlag[] = "--headless";

void printLogItems(ProcessLog& log, const QString& text)
{
    for (const QString& item : log.add(text))
        std::printf("%s\n", item.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

void setServerApplicationNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("TOLVEX"));
    QCoreApplication::setApplicationName(QStringLiteral("Norvalk"));
}

bool asksForHeadless(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], kHeadlessFlag) == 0)
            return true;
    }
    return false;
}

ServerCommandLine parseServerCommandLine(const QStringList& arguments, ServerProgram program)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Norvalk application server"));
    parser.addHelpOption();
    // The service takes it too, so that a NorvalkServer --headless command
    // line can be handed to it as it is.
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        program == ServerProgram::Service
            ? QStringLiteral("Accepted for NorvalkServer's command line; this program never "
                             "has a window.")
            : QStringLiteral("Serve without a window; log to stdout."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("TCP port (211)."),
                                  QStringLiteral("N"), QStringLiteral("211"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("Database path, instead of the one in the configuration store."),
        QStringLiteral("PATH"));
    const QCommandLineOption workers(
        QStringLiteral("workers"), QStringLiteral("Database attachments working in parallel (4)."),
        QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption stall(
        QStringLiteral("stall-timeout"),
        QStringLiteral("Milliseconds a half-received request, or a reply the terminal does not "
                       "take, may wait (30000)."),
        QStringLiteral("MS"), QStringLiteral("30000"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Address to listen on (every interface; configuration store: Listen)."),
        QStringLiteral("ADDRESS"));
    const QCommandLineOption allow(
        QStringLiteral("allow"),
        QStringLiteral("Addresses and networks that may connect, comma-separated, e.g. "
                       "192.168.10.0/24,fd00::/8 (everyone; configuration store: Allow)."),
        QStringLiteral("LIST"));
    const QCommandLineOption maxClients(
        QStringLiteral("max-clients"),
        QStringLiteral("Terminals served at once (what the descriptor limit leaves room for)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption grace(
        QStringLiteral("grace"),
        QStringLiteral("Milliseconds a stop lets running statements finish before it cancels "
                       "them (10000)."),
        QStringLiteral("MS"), QStringLiteral("10000"));
    const QCommandLineOption metrics(
        QStringLiteral("metrics"),
        QStringLiteral("Serve Prometheus metrics over HTTP at http://ADDRESS:PORT/metrics, e.g. "
                       "127.0.0.1:9464 (off; configuration store: Metrics)."),
        QStringLiteral("ADDRESS:PORT"));
    const QCommandLineOption certificate(
        QStringLiteral("certificate"),
        QStringLiteral("The server's certificate (PEM): terminals connect over TLS 1.3 "
                       "(plain TCP; configuration store: Certificate)."),
        QStringLiteral("FILE"));
    const QCommandLineOption key(
        QStringLiteral("key"),
        QStringLiteral("The certificate's private key (PEM, unencrypted; configuration store: "
                       "Key)."),
        QStringLiteral("FILE"));
    const QCommandLineOption terminals(
        QStringLiteral("terminals"),
        QStringLiteral("Serve only the terminals this file enrolls, one \"FINGERPRINT name\" a "
                       "line; needs --certificate (everyone; configuration store: Terminals)."),
        QStringLiteral("FILE"));
    const QCommandLineOption statements(
        QStringLiteral("statements"),
        QStringLiteral("Run only the statement texts of this catalogue (JSON), such as "
                       "/usr/share/norvalk/norvalk-statements.json, that the terminals send (off; "
                       "configuration store: Statements)."),
        QStringLiteral("FILE"));
    parser.addOptions({headless, port, database, workers, stall, listen, allow, maxClients, grace,
                       metrics, certificate, key, terminals, statements});
    parser.process(arguments);

    ServerCommandLine line;
    line.headless = program == ServerProgram::Service || parser.isSet(headless);
    bool valid = true;
    const uint portNumber = parser.value(port).toUInt(&valid);
    if (!valid || portNumber > 65535) {
        std::fprintf(stderr, "--port: not a port number\n");
        std::exit(2);
    }
    line.options.port = quint16(portNumber);
    line.options.databaseOverride = parser.value(database);
    line.options.workerCount = qBound(1, parser.value(workers).toInt(), 64);
    line.options.stallTimeoutMs = qMax(100, parser.value(stall).toInt());
    // Given on the command line, these win over the store; else the store decides.
    const auto given = [&parser](const QCommandLineOption& option, std::optional<QString>& value) {
        if (parser.isSet(option))
            value = parser.value(option);
    };
    given(listen, line.options.listenAddress);
    given(allow, line.options.allowList);
    given(metrics, line.options.metricsAddress);
    given(certificate, line.options.certificateFile);
    given(key, line.options.keyFile);
    given(terminals, line.options.terminalsFile);
    given(statements, line.options.statementsFile);
    const int clients = parser.value(maxClients).toInt(&valid);
    if (!valid || clients < 0) {
        std::fprintf(stderr, "--max-clients: not a number of terminals\n");
        std::exit(2);
    }
    line.options.maxClients = clients;
    line.options.stopGraceMs = qMax(0, parser.value(grace).toInt());
    return line;
}

int serveHeadless(QCoreApplication& app, const ServerOptions& options)
{
    ProcessLog log;
    ServerHost host(options);
    // Installed just before the port opens: not before the first attachment,
    // whose handlers would shut the Firebird client down beside this clean
    // stop; not after the port is open, when a stop could already come.
    TerminationWatcher termination;
    QObject::connect(&host, &ServerHost::aboutToListen, &termination, &TerminationWatcher::install);
    QObject::connect(&host, &ServerHost::logLine,
                     [&log](const QString& text) { printLogItems(log, text); });
    QObject::connect(&host, &ServerHost::message, [](const QString& text) { ShowMessage(text); });
    const ServerHost::Startup startup = host.start();
    if (startup == ServerHost::Startup::Ended)
        return 1;
    if (startup == ServerHost::Startup::Serving)
        printLogItems(log, QStringLiteral("IP adrese : ") + ServerHost::ServerIpAddress());
    printLogItems(log,
                  QStringLiteral("Gaidu termināļus TCP portā ") + QString::number(host.port()));

    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &app, [&] {
        const bool stopped = host.shutdown();
        // The disconnects of the stop, still queued, go to the log first.
        QCoreApplication::processEvents();
        printLogItems(log, QStringLiteral("Serveris apturēts"));
        if (!stopped)
            endWithoutCleanup();
        app.quit();
    });
    QObject::connect(&termination, &TerminationWatcher::reloadRequested, &host,
                     &ServerHost::reload);
    return app.exec();
}

void endWithoutCleanup()
{
    std::fflush(nullptr);
    std::_Exit(0);
}
