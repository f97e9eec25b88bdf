#include "bench/loadmodes.h"

#include "bench/serverterminal.h"
#include "common/providerclient.h"
#include "common/providernames.h"
#include "server/net/descriptorlimit.h"
#include "tests/support/loadprobe.h"

#include <QThread>

#include <stdexcept>

namespace {

constexpr int kNoReadRequests = 150;
constexpr int kRowsPerMegabyte = 1000;
constexpr int kOverLimitRows = 288000; // about 288 MB, over the 256 MiB reply limit
constexpr int kSettleSampleMs = 250;
constexpr int kSettledAfterMs = 2000;
constexpr int kSettleLimitMs = 30000;

double perSecond(const Samples& samples)
{
    return samples.wallSeconds > 0 ? double(samples.latenciesUs.size()) / samples.wallSeconds : 0;
}

// Waits until the server's resident memory has stopped growing for a while.
void waitUntilSettled(qint64 pid)
{
    qint64 highest = processMemory(pid).residentKiB;
    int quietMs = 0;
    for (int waited = 0; waited < kSettleLimitMs && quietMs < kSettledAfterMs;
         waited += kSettleSampleMs) {
        QThread::msleep(kSettleSampleMs);
        const qint64 now = processMemory(pid).residentKiB;
        if (now > highest + 1024) {
            highest = now;
            quietMs = 0;
        } else {
            quietMs += kSettleSampleMs;
        }
    }
}

void aim(ProviderClient& client, const ServerProcess& server)
{
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    client.setReplyTimeout(120000);
}

QString servesOthers(const ServerProcess& server)
{
    try {
        ProviderClient client;
        aim(client, server);
        RemoteParams none;
        client.getRecords(QString::fromLatin1(ProviderNames::TempQuery), generatedRowsSql(1), none);
        return QStringLiteral("other terminals served");
    } catch (const RemoteError& error) {
        return QStringLiteral("another terminal failed: ") + error.message();
    }
}

MemoryCase noReadCase(ServerProcess& server)
{
    MemoryCase result;
    result.name = QStringLiteral("no-read");
    result.startKiB = processMemory(server.pid()).residentKiB;
    QByteArray requests;
    for (int i = 0; i < kNoReadRequests; ++i)
        requests += selectFrame(generatedRowsSql(kRowsPerMegabyte), quint32(i + 1));
    {
        RawConnection silent(server.port(), 16384);
        const qint64 sent = silent.sendWithin(requests, 20000);
        waitUntilSettled(server.pid());
        result.peakKiB = processMemory(server.pid()).peakKiB;
        result.outcome = QStringLiteral("%1 of %2 request bytes taken; %3")
                             .arg(sent)
                             .arg(requests.size())
                             .arg(servesOthers(server));
    }
    QThread::msleep(1000);
    result.afterKiB = processMemory(server.pid()).residentKiB;
    return result;
}

MemoryCase overLimitCase(ServerProcess& server)
{
    MemoryCase result;
    result.name = QStringLiteral("large-reply");
    result.startKiB = processMemory(server.pid()).residentKiB;
    try {
        ProviderClient client;
        aim(client, server);
        RemoteParams none;
        const DataPacket rows = client.getRecords(QString::fromLatin1(ProviderNames::TempQuery),
                                                  generatedRowsSql(kOverLimitRows), none);
        result.outcome = QStringLiteral("%1 rows came back").arg(rows.rows.size());
    } catch (const RemoteError& error) {
        result.outcome =
            QStringLiteral("refused (%1): %2")
                .arg(error.kind() == RemoteError::Kind::Server ? QStringLiteral("server error")
                                                               : QStringLiteral("transport error"),
                     error.message());
    }
    waitUntilSettled(server.pid());
    result.peakKiB = processMemory(server.pid()).peakKiB;
    QThread::msleep(1000);
    result.afterKiB = processMemory(server.pid()).residentKiB;
    result.outcome += QStringLiteral("; ") + servesOthers(server);
    return result;
}

} // namespace

IdleFigures measureIdleTerminals(const ServerProcess& server, const IdlePlan& plan)
{
    // A thousand idle terminals need as many descriptors here as in the server.
    raiseDescriptorLimit();
    const TerminalFactory factory = serverTerminals(server.port());
    Samples without;
    Samples with;
    IdleFigures figures;
    for (int round = 0; round < plan.rounds; ++round) {
        RunPlan run;
        run.terminals = plan.terminals;
        run.perTerminal = qMax(10, plan.lookups / plan.rounds / plan.terminals);
        run.warmup = plan.warmup;
        run.goods = plan.goods;
        run.seed = 700 + unsigned(round);
        const bool idleFirst = round % 2 == 1;
        if (!idleFirst)
            without.merge(runBenchmark(factory, run));
        IdleTerminals idle;
        const qint64 before = processMemory(server.pid()).residentKiB;
        idle.open(server.port(), plan.idle);
        if (round == 0)
            figures.kibPerIdle =
                double(processMemory(server.pid()).residentKiB - before) / plan.idle;
        with.merge(runBenchmark(factory, run));
        idle.closeAll();
        // Let the server take the disconnects before the next side is measured.
        QThread::msleep(300);
        if (idleFirst)
            without.merge(runBenchmark(factory, run));
    }
    figures.withoutPerSecond = perSecond(without);
    figures.withPerSecond = perSecond(with);
    figures.ratio =
        figures.withoutPerSecond > 0 ? figures.withPerSecond / figures.withoutPerSecond : 0;
    figures.errors = without.errors + with.errors;
    figures.firstError = without.errors > 0 ? without.firstError : with.firstError;
    return figures;
}

QList<MemoryCase> measureMemoryCases(const std::function<void(ServerProcess&)>& startServer)
{
    QList<MemoryCase> cases;
    for (const auto& runCase : {noReadCase, overLimitCase}) {
        ServerProcess server;
        startServer(server);
        cases.append(runCase(server));
        server.stop();
    }
    return cases;
}
