#pragma once

#include "bench/benchrun.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QTextStream;

// The variants the summary compares.
inline const QString kServerVariant = QStringLiteral("norvalk-server-w4");
inline const QString kRemoteVariant = QStringLiteral("remote-prepared-once");
inline const QString kFloorVariant = QStringLiteral("qtsql-prepare-each");
inline const QString kServerRoundTripVariant = QStringLiteral("norvalk-server-w4-nodb");
// The same server with --metrics, scraped every second while it is measured.
inline const QString kServerMetricsVariant = QStringLiteral("norvalk-server-w4-metrics");
// The same server with --certificate and --key, the terminal pinning it over TLS 1.3.
inline const QString kServerTlsVariant = QStringLiteral("norvalk-server-w4-tls");

// One line as printed while running.
QString progressLine(const RunResult& result);

// Prints the table, the notes (with the findings of the run) and the goals.
void printReport(const QList<RunResult>& results, const QStringList& findings, QTextStream& out);

// "lookup_vs_remote=R lookup_vs_embedded=E idle1000_throughput=I metrics_cost=M", nan for a
// figure not measured; I is the idle mode's ratio.
// The time of a reconnect over TLS: a new connection, its handshake and a
// first reply, as a terminal does when its link comes back.
struct ReconnectFigures
{
    double medianMs = 0;
    double maxMs = 0;
};

QString ratiosLine(const QList<RunResult>& results, const std::optional<double>& idleRatio,
                   const std::optional<ReconnectFigures>& reconnect = std::nullopt);
