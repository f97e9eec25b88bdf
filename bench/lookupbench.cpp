// norvalk-bench: measures the terminals' goods look-up (and a single-row
// insert) straight on the database and through NorvalkServer, at several
// numbers of concurrent terminals. scripts/bench makes the database and runs it.
//
// An embedded attachment locks its database file, so every engine gets its
// own copy of the database: the embedded engine in this process, the Firebird
// server and each NorvalkServer. That lets all of them stay up together and
// the variants take turns in rounds, so that load from outside (other builds
// on a shared machine) hits every variant alike instead of skewing the ratios.

#include "bench/iscterminal.h"
#include "bench/loadmodes.h"
#include "bench/qtsqlterminal.h"
#include "bench/results.h"
#include "bench/serverterminal.h"
#include "server/db/fbattachment.h"
#include "server/db/stockdatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <list>
#include <optional>
#include <stdexcept>

namespace {

struct Options
{
    QString database; // the master copy, never attached
    QString workDir;  // the copies and the servers' logs
    QString serverProgram;
    QString firebirdHost;
    QStringList modes;
    QList<int> terminals;
    int goods = 0;
    int lookups = 0;  // measured look-ups of one variant at one number of terminals
    int rounds = 1;   // the look-ups are split into this many turns
    int warmup = 0;   // unmeasured look-ups of each terminal before each turn
    int warmPass = 0; // unmeasured look-ups of one terminal before anything
    int inserts = 0;  // measured inserts of one variant at one terminal
    int idle = 0;     // idle terminals beside the working ones in the idle mode
    int idleLookups = 0;
};

struct Variant
{
    QString name;
    TerminalFactory factory;
    int minTerminals = 1; // measured only at this many terminals or more
    int maxTerminals = std::numeric_limits<int>::max(); // and this many or fewer
    bool inserts = true;
};

constexpr int kMinPerTerminal = 10;
constexpr unsigned kRoundsPerSeed = 100;

[[noreturn]] void usageError(const QString& text)
{
    std::fprintf(stderr, "norvalk-bench: %s\n", qPrintable(text));
    std::exit(2);
}

void say(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

int numberValue(const QCommandLineParser& parser, const QString& name, int minimum)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < minimum)
        usageError(QStringLiteral("--%1 must be a whole number >= %2").arg(name).arg(minimum));
    return value;
}

QList<int> terminalCounts(const QString& text)
{
    QList<int> counts;
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int count = item.toInt(&ok);
        if (!ok || count < 1 || count > 256)
            usageError(QStringLiteral("--terminals: '%1' is not 1..256").arg(item));
        counts.append(count);
    }
    return counts;
}

void addOptions(QCommandLineParser& parser)
{
    const auto option = [&](const char* name, const char* help, const char* value) {
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help), QStringLiteral("V"),
                          QString::fromLatin1(value)});
    };
    option("database", "The database made by scripts/make-db --goods N (only copied).", "");
    option("goods", "Its number of generated goods; look-ups pick codes of 1..N.", "0");
    option("work-dir", "Folder for the copies; the Firebird server must be able to use it.", "");
    option("modes", "Any of floor, remote, server, idle, memory.", "floor,remote,server,idle");
    option("terminals", "Numbers of concurrent terminals.", "1,8,64");
    option("lookups", "Measured look-ups per variant and number of terminals.", "20000");
    option("rounds", "Turns the variants take, each with its share of the look-ups.", "4");
    option("warmup", "Unmeasured look-ups of each terminal before each turn.", "5");
    option("warm-pass", "Unmeasured look-ups of one terminal per variant at the start.", "2000");
    option("inserts", "Measured inserts per variant at one terminal (0: none).", "500");
    option("idle", "Idle terminals beside 8 working ones (mode idle).", "1000");
    option("idle-lookups", "Measured look-ups on each side of the idle mode.", "8000");
    option("firebird-host", "Where the Firebird server listens.", "127.0.0.1");
    option("server", "The NorvalkServer program.", NORVALK_BINARY_DIR "/bin/NorvalkServer");
    parser.addHelpOption();
}

Options parseOptions(const QCommandLineParser& parser)
{
    Options o;
    o.database = QDir(parser.value(QStringLiteral("database"))).absolutePath();
    o.workDir = parser.value(QStringLiteral("work-dir"));
    o.serverProgram = parser.value(QStringLiteral("server"));
    o.firebirdHost = parser.value(QStringLiteral("firebird-host"));
    o.modes = parser.value(QStringLiteral("modes")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    o.terminals = terminalCounts(parser.value(QStringLiteral("terminals")));
    o.goods = numberValue(parser, QStringLiteral("goods"), 1);
    o.lookups = numberValue(parser, QStringLiteral("lookups"), 1);
    o.rounds = numberValue(parser, QStringLiteral("rounds"), 1);
    o.warmup = numberValue(parser, QStringLiteral("warmup"), 0);
    o.warmPass = numberValue(parser, QStringLiteral("warm-pass"), 0);
    o.inserts = numberValue(parser, QStringLiteral("inserts"), 0);
    o.idle = numberValue(parser, QStringLiteral("idle"), 1);
    o.idleLookups = numberValue(parser, QStringLiteral("idle-lookups"), 1);
    if (parser.value(QStringLiteral("database")).isEmpty() || o.workDir.isEmpty())
        usageError(QStringLiteral("--database and --work-dir are needed"));
    return o;
}

// A copy of the master for one engine, writable by the Firebird server's user.
QString copyFor(const Options& o, const QString& name)
{
    const QString path = QDir(o.workDir).absoluteFilePath(name + QStringLiteral(".fdb"));
    QFile::remove(path);
    if (!QFile::copy(o.database, path))
        throw std::runtime_error(("cannot copy " + o.database + " to " + path).toStdString());
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                    QFileDevice::ReadOther | QFileDevice::WriteOther);
    return path;
}

// Owns what has to stay up for the length of the run: the NorvalkServer
// processes, and one idle attachment to each database the terminals attach
// directly. An engine closes a database when its last attachment leaves,
// dropping the page cache and taking about a second; without the idle one that
// would happen between every two runs, while NorvalkServer keeps its own
// attachments (and a warm cache) throughout.
struct Fixtures
{
    std::list<ServerProcess> processes;
    std::list<FbAttachment> keepers;
    std::list<MetricsScraper> scrapers;
    quint16 tlsPort = 0; // the server with TLS, when measured
    QString tlsFingerprint;

    void keepOpen(const QString& database) { openStockDatabase(keepers.emplace_back(), database); }

    ServerProcess& start(const Options& o, int workers, const QString& name)
    {
        ServerProcess& server = processes.emplace_back();
        startServer(o, server, workers, name);
        return server;
    }
    quint16 start(const Options& o, int workers)
    {
        return start(o, workers, QStringLiteral("server-w%1").arg(workers)).port();
    }
    // A server serving its metrics, scraped until the fixtures go.
    quint16 startWithMetrics(const Options& o, int workers)
    {
        const quint16 metricsPort = freePort();
        ServerProcess& server = processes.emplace_back();
        const QString name = QStringLiteral("server-w%1-metrics").arg(workers);
        server.start(
            o.serverProgram, copyFor(o, name), workers, logPath(o, name),
            {QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%1").arg(metricsPort)});
        scrapers.emplace_back(metricsPort, std::chrono::seconds(1));
        return server.port();
    }
    static QString logPath(const Options& o, const QString& name)
    {
        return QDir(o.workDir).absoluteFilePath(name + QStringLiteral(".log"));
    }
    static void startServer(const Options& o, ServerProcess& server, int workers,
                            const QString& name)
    {
        server.start(o.serverProgram, copyFor(o, name), workers, logPath(o, name));
    }
};

QList<Variant> makeVariants(const Options& o, Fixtures& fixtures)
{
    const QString password = stockDatabasePassword();
    QList<Variant> variants;
    if (o.modes.contains(QLatin1String("floor"))) {
        const QString file = copyFor(o, QStringLiteral("floor"));
        fixtures.keepOpen(file);
        variants.append({kFloorVariant, qtSqlTerminals(file, password, QtSqlStyle::PrepareEach)});
        variants.append(
            {QStringLiteral("qtsql-reused"), qtSqlTerminals(file, password, QtSqlStyle::Reused)});
        variants.append({QStringLiteral("embedded-fbattachment"), attachmentTerminals(file)});
    }
    if (o.modes.contains(QLatin1String("remote"))) {
        const QString db = o.firebirdHost + QLatin1Char(':') + copyFor(o, QStringLiteral("remote"));
        fixtures.keepOpen(db);
        variants.append({kRemoteVariant, iscTerminals(db, password, IscStyle::PreparedOnce)});
        variants.append({QStringLiteral("remote-prepare-each"),
                         iscTerminals(db, password, IscStyle::PrepareEach)});
        variants.append({QStringLiteral("remote-fbattachment"), attachmentTerminals(db)});
    }
    if (o.modes.contains(QLatin1String("server"))) {
        const quint16 port = fixtures.start(o, 4);
        variants.append({kServerVariant, serverTerminals(port)});
        // Where the time goes, at one terminal: the same server without the database.
        variants.append({kServerRoundTripVariant, serverRoundTrips(port), 1, 1, false});
        // Whether serving the metrics slows the look-up; taking turns with the one above.
        variants.append({kServerMetricsVariant, serverTerminals(fixtures.startWithMetrics(o, 4)), 1,
                         std::numeric_limits<int>::max(), false});
        // What TLS costs a look-up, at one terminal, taking turns with the plain one.
        QString certificate;
        QString key;
        fixtures.tlsFingerprint = makeCertificate(o.workDir, &certificate, &key);
        ServerProcess& tls = fixtures.processes.emplace_back();
        const QString tlsName = QStringLiteral("server-w4-tls");
        tls.start(o.serverProgram, copyFor(o, tlsName), 4, Fixtures::logPath(o, tlsName),
                  {QStringLiteral("--certificate"), certificate, QStringLiteral("--key"), key},
                  fixtures.tlsFingerprint);
        fixtures.tlsPort = tls.port();
        variants.append({kServerTlsVariant, serverTlsTerminals(tls.port(), fixtures.tlsFingerprint),
                         1, 1, false});
        // One worker only where it can make a difference: several terminals.
        variants.append({QStringLiteral("norvalk-server-w1"), serverTerminals(fixtures.start(o, 1)),
                         2, std::numeric_limits<int>::max(), false});
    }
    if (variants.isEmpty() && !o.modes.contains(QLatin1String("idle")) &&
        !o.modes.contains(QLatin1String("memory")))
        usageError(QStringLiteral("--modes: nothing to measure"));
    return variants;
}

RunPlan lookupPlan(const Options& o, int terminals, int round)
{
    RunPlan plan;
    plan.terminals = terminals;
    const int share = (o.lookups + o.rounds - 1) / o.rounds;
    plan.perTerminal = qMax(kMinPerTerminal, (share + terminals - 1) / terminals);
    plan.warmup = o.warmup;
    plan.goods = o.goods;
    // Every variant looks up the same codes in the same turn.
    plan.seed = unsigned(terminals) * kRoundsPerSeed + unsigned(round) + 1;
    return plan;
}

RunPlan insertPlan(const Options& o, int round)
{
    RunPlan plan;
    plan.operation = Operation::Insert;
    plan.perTerminal = qMax(1, (o.inserts + o.rounds - 1) / o.rounds);
    plan.warmup = qMin(o.warmup, plan.perTerminal);
    plan.seed = unsigned(round) + 1;
    return plan;
}

void warmUp(const Options& o, const QList<Variant>& variants)
{
    RunPlan plan = lookupPlan(o, 1, 0);
    plan.perTerminal = o.warmPass;
    plan.seed = 0; // codes of their own, not those measured later
    plan.warmup = 0;
    for (const Variant& variant : variants) {
        QElapsedTimer clock;
        clock.start();
        const Samples samples = runBenchmark(variant.factory, plan);
        say(QStringLiteral("  warmed %1 up: %2 s, %3 errors")
                .arg(variant.name)
                .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                .arg(samples.errors));
    }
}

// Runs the variants in turns, each turn starting with a different variant.
QList<Samples> takeTurns(const Options& o, const QList<const Variant*>& variants,
                         const std::function<RunPlan(int)>& planOfRound)
{
    QList<Samples> samples(variants.size());
    for (int round = 0; round < o.rounds; ++round) {
        const RunPlan plan = planOfRound(round);
        for (qsizetype i = 0; i < variants.size(); ++i) {
            const qsizetype v = (i + round) % variants.size();
            samples[v].merge(runBenchmark(variants[v]->factory, plan));
        }
    }
    return samples;
}

void measureOperation(const Options& o, const QList<const Variant*>& variants, Operation operation,
                      int terminals, QList<RunResult>& results)
{
    QElapsedTimer clock;
    clock.start();
    const QList<Samples> samples = takeTurns(o, variants, [&](int round) {
        return operation == Operation::Lookup ? lookupPlan(o, terminals, round)
                                              : insertPlan(o, round);
    });
    say(QStringLiteral("  %1 at %2 terminal(s), connecting and warm-up included: %3 s")
            .arg(operationName(operation))
            .arg(terminals)
            .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
    for (qsizetype v = 0; v < variants.size(); ++v) {
        results.append(summarize(variants[v]->name, operation, terminals, samples[v]));
        say(QStringLiteral("  ") + progressLine(results.last()));
    }
}

QList<RunResult> measureAll(const Options& o, const QList<Variant>& variants)
{
    QList<RunResult> results;
    for (int terminals : o.terminals) {
        QList<const Variant*> taking;
        for (const Variant& variant : variants) {
            if (terminals >= variant.minTerminals && terminals <= variant.maxTerminals)
                taking.append(&variant);
        }
        measureOperation(o, taking, Operation::Lookup, terminals, results);
    }
    if (o.inserts > 0) {
        QList<const Variant*> taking;
        for (const Variant& variant : variants) {
            if (variant.inserts)
                taking.append(&variant);
        }
        measureOperation(o, taking, Operation::Insert, 1, results);
    }
    return results;
}

// Variant by variant, in the order they were made, each with its runs in order.
QList<RunResult> byVariant(const QList<Variant>& variants, const QList<RunResult>& results)
{
    QList<RunResult> ordered;
    for (const Variant& variant : variants) {
        for (const RunResult& result : results) {
            if (result.variant == variant.name)
                ordered.append(result);
        }
    }
    return ordered;
}

// Checks what the qtsql-reused note claims, on the floor copy.
QString snapshotFinding(const Options& o)
{
    const QString code = QStringLiteral("BENCH-NEW-GOODS");
    const QString file = QDir(o.workDir).absoluteFilePath(QStringLiteral("floor.fdb"));
    try {
        const auto [fresh, reused] = rowsSeenAfterInsert(file, stockDatabasePassword(), code);
        return QStringLiteral("Checked: after a first look-up, a goods item added by another "
                              "connection is found in %1 row(s) by qtsql-prepare-each, in %2 by "
                              "qtsql-reused.")
            .arg(fresh)
            .arg(reused);
    } catch (const std::exception& error) {
        return QStringLiteral("The snapshot check failed: ") + QString::fromUtf8(error.what());
    }
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

std::optional<double> measureIdle(const Options& o, Fixtures& fixtures)
{
    if (!o.modes.contains(QLatin1String("idle")))
        return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    IdlePlan plan;
    plan.idle = o.idle;
    plan.lookups = o.idleLookups;
    plan.rounds = qMax(4, o.rounds);
    plan.warmup = o.warmup;
    plan.goods = o.goods;
    const IdleFigures figures =
        measureIdleTerminals(fixtures.start(o, 4, QStringLiteral("server-idle")), plan);
    say(QStringLiteral("  lookup x%1 beside %2 idle terminals: %3/s, without them %4/s, ratio "
                       "%5 (goal >= 0.90); server memory per idle terminal %6 KiB (goal <= 16); "
                       "%7 errors; %8 s")
            .arg(plan.terminals)
            .arg(plan.idle)
            .arg(figures.withPerSecond, 0, 'f', 0)
            .arg(figures.withoutPerSecond, 0, 'f', 0)
            .arg(figures.ratio, 0, 'f', 2)
            .arg(figures.kibPerIdle, 0, 'f', 2)
            .arg(figures.errors)
            .arg(clock.elapsed() / 1000.0, 0, 'f', 1));
    if (figures.errors > 0)
        say(QStringLiteral("  first error beside idle terminals: ") + figures.firstError);
    return figures.ratio;
}

std::optional<ReconnectFigures> measureReconnects(const Fixtures& fixtures)
{
    if (fixtures.tlsPort == 0)
        return std::nullopt;
    QList<double> times = tlsReconnects(fixtures.tlsPort, fixtures.tlsFingerprint, 200);
    std::sort(times.begin(), times.end());
    const ReconnectFigures figures{times[times.size() / 2], times.last()};
    say(QStringLiteral("  reconnect over TLS (connect, handshake, one reply), 200 times: median "
                       "%1 ms, slowest %2 ms (goal <= 50)")
            .arg(figures.medianMs, 0, 'f', 2)
            .arg(figures.maxMs, 0, 'f', 2));
    return figures;
}

void measureMemory(const Options& o)
{
    if (!o.modes.contains(QLatin1String("memory")))
        return;
    int serial = 0;
    const QList<MemoryCase> cases = measureMemoryCases([&](ServerProcess& server) {
        Fixtures::startServer(o, server, 4, QStringLiteral("server-memory-%1").arg(++serial));
    });
    for (const MemoryCase& c : cases) {
        say(QStringLiteral("  memory %1: resident %2 MiB before, peak %3 MiB, %4 MiB after; %5")
                .arg(c.name)
                .arg(c.startKiB / 1024.0, 0, 'f', 1)
                .arg(c.peakKiB / 1024.0, 0, 'f', 1)
                .arg(c.afterKiB / 1024.0, 0, 'f', 1)
                .arg(c.outcome));
    }
}

int run(const Options& o)
{
    QElapsedTimer clock;
    clock.start();
    say(QStringLiteral("norvalk-bench: %1 goods, %2 look-ups per variant and number of "
                       "terminals in %3 turns, %4 inserts, %5 CPU cores, load average %6")
            .arg(o.goods)
            .arg(o.lookups)
            .arg(o.rounds)
            .arg(o.inserts)
            .arg(QThread::idealThreadCount())
            .arg(loadAverage()));
    Fixtures fixtures;
    const QList<Variant> variants = makeVariants(o, fixtures);
    warmUp(o, variants);
    const QList<RunResult> results = byVariant(variants, measureAll(o, variants));
    const std::optional<ReconnectFigures> reconnect = measureReconnects(fixtures);
    const std::optional<double> idleRatio = measureIdle(o, fixtures);
    measureMemory(o);
    QStringList findings;
    for (const MetricsScraper& scraper : fixtures.scrapers)
        findings.append(QStringLiteral("%1 scrapes of the metrics during the run, %2 failed.")
                            .arg(scraper.scrapes() + scraper.failures())
                            .arg(scraper.failures()));
    fixtures.scrapers.clear();
    for (ServerProcess& server : fixtures.processes)
        server.stop();
    if (o.modes.contains(QLatin1String("floor")))
        findings.append(snapshotFinding(o));

    QTextStream out(stdout);
    out << '\n';
    printReport(results, findings, out);
    out << "Measured in " << QString::number(clock.elapsed() / 1000.0, 'f', 1)
        << " s; load average at the end " << loadAverage() << '\n'
        << ratiosLine(results, idleRatio, reconnect) << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Norvalk goods look-up benchmark"));
    addOptions(parser);
    parser.process(app);
    try {
        return run(parseOptions(parser));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norvalk-bench: %s\n", error.what());
        return 1;
    }
}
