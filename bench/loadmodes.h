#pragma once

#include "bench/benchrun.h"

#include <QList>
#include <QString>

class ServerProcess;

// Working terminals with and without a crowd of idle ones on the same server.
struct IdlePlan
{
    int idle = 1000;
    int terminals = 8;
    int lookups = 4000; // measured look-ups of each side, split over the rounds
    int rounds = 4;
    int warmup = 5;
    int goods = 1;
};

struct IdleFigures
{
    double withoutPerSecond = 0;
    double withPerSecond = 0;
    double ratio = 0;      // with / without
    double kibPerIdle = 0; // the server's resident memory per idle terminal, first round
    qint64 errors = 0;
    QString firstError;
};

// Alternates the two sides in rounds, so that outside load hits both alike.
IdleFigures measureIdleTerminals(const ServerProcess& server, const IdlePlan& plan);

// The server's memory while a client misbehaves: one that sends requests and
// never reads the replies, and one that asks for a result over the reply limit.
struct MemoryCase
{
    QString name;
    qint64 startKiB = 0; // resident before the case
    qint64 peakKiB = 0;  // most resident during the server's life
    qint64 afterKiB = 0; // resident once the client has gone
    QString outcome;
};

// startServer starts a fresh server (one per case: the peak is per process).
QList<MemoryCase> measureMemoryCases(const std::function<void(ServerProcess&)>& startServer);
