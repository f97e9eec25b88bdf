#include "bench/results.h"

#include <QStringList>
#include <QTextStream>

#include <optional>

namespace {

constexpr int kManyTerminals = 64;

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

const RunResult* find(const QList<RunResult>& results, const QString& variant, int terminals)
{
    for (const RunResult& r : results) {
        if (r.variant == variant && r.operation == Operation::Lookup && r.terminals == terminals &&
            r.samples > 0)
            return &r;
    }
    return nullptr;
}

QString row(const QStringList& cells)
{
    static const int widths[] = {27, 7, 6, 7, 11, 11, 10, 7};
    QString text;
    for (int i = 0; i < cells.size(); ++i)
        text += i < 3 ? cells[i].leftJustified(widths[i]) : cells[i].rightJustified(widths[i]);
    return text;
}

void printTable(const QList<RunResult>& results, QTextStream& out)
{
    out << row({"variant", "op", "terms", "n", "median us", "p99 us", "per s", "errors"}) << '\n';
    for (const RunResult& r : results) {
        out << row({r.variant, operationName(r.operation), QString::number(r.terminals),
                    QString::number(r.samples), QString::number(r.medianUs, 'f', 1),
                    QString::number(r.p99Us, 'f', 1), QString::number(r.perSecond, 'f', 0),
                    QString::number(r.errors)})
            << '\n';
    }
    for (const RunResult& r : results) {
        if (r.errors > 0)
            out << "first error of " << r.variant << ' ' << operationName(r.operation) << " at "
                << r.terminals << " terminals: " << oneLine(r.firstError) << '\n';
    }
}

void printNotes(QTextStream& out)
{
    out << "\nNotes:\n"
           "  us = microseconds one terminal waits for one operation (median, 99th percentile);\n"
           "  per s = operations per second of all terminals together. Look-ups use random\n"
           "  existing goods codes; every look-up must find exactly one row, else it is an error.\n"
           "  The variants take turns in rounds, so load from outside hits them alike.\n"
           "  qtsql-*: Qt Sql QIBASE on the embedded engine inside the benchmark process.\n"
           "    qtsql-prepare-each (new QSqlQuery per look-up) is the usable way: the floor;\n"
           "    lookup_vs_embedded divides by its median at 1 terminal. qtsql-reused keeps\n"
           "    its first snapshot and never sees goods added later: reference only.\n"
           "  embedded-fbattachment: the server's own FbAttachment in this process on the\n"
           "    embedded engine (statement cache, reads in one long-lived read-only\n"
           "    read-committed transaction, rows encoded for a reply): the database work\n"
           "    of what a NorvalkServer worker does.\n"
           "  remote-*: the Firebird server on 127.0.0.1:3050, ISC API, one attachment per\n"
           "    terminal. remote-prepared-once: prepared once, one read-only read-committed\n"
           "    transaction for the whole run; lookup_vs_remote divides by its median at 1\n"
           "    terminal. remote-prepare-each: prepared per look-up. remote-fbattachment:\n"
           "    the server's own FbAttachment over the network, as a worker uses it.\n"
           "  norvalk-server-wN: NorvalkServer --workers N on the embedded engine, each\n"
           "    terminal a ProviderClient over loopback TCP. norvalk-server-w4-nodb: a\n"
           "    request the server answers without the database (GetParams), counted as a\n"
           "    look-up: what protocol, sockets and the server's threads cost per request.\n"
           "    norvalk-server-w4-metrics: the same with --metrics, scraped every second\n"
           "    as Prometheus would; metrics_cost divides its median at 1 terminal by\n"
           "    norvalk-server-w4's.\n"
           "  insert: one new goods group per operation, committed (forced writes on); through\n"
           "    the server as INSERT ... RETURNING ISN opened with getRecords.\n";
}

// The subject's median at one terminal over the reference's, if both were measured.
std::optional<double> ratio(const QList<RunResult>& results, const QString& reference,
                            const QString& subject = kServerVariant)
{
    const RunResult* server = find(results, subject, 1);
    const RunResult* base = find(results, reference, 1);
    if (!server || !base || base->medianUs <= 0)
        return std::nullopt;
    return server->medianUs / base->medianUs;
}

void printRatio(QTextStream& out, const QList<RunResult>& results, const QString& reference,
                double goal, const QString& subject = kServerVariant)
{
    out << "  " << subject << " / " << reference << ", median at 1 terminal: ";
    const std::optional<double> value = ratio(results, reference, subject);
    if (!value) {
        out << "not measured\n";
        return;
    }
    out << QString::number(find(results, subject, 1)->medianUs, 'f', 1) << " / "
        << QString::number(find(results, reference, 1)->medianUs, 'f', 1) << " = "
        << QString::number(*value, 'f', 2) << " (goal <= " << QString::number(goal, 'f', 2) << ": "
        << (*value <= goal ? "met" : "missed") << ")\n";
}

// The server's 99th percentile at one terminal against twice the reference's.
void printTailGoal(QTextStream& out, const QList<RunResult>& results)
{
    const RunResult* server = find(results, kServerVariant, 1);
    const RunResult* remote = find(results, kRemoteVariant, 1);
    out << "  " << kServerVariant << " p99 at 1 terminal <= 2 x " << kRemoteVariant << " p99: ";
    if (!server || !remote) {
        out << "not measured\n";
        return;
    }
    out << QString::number(server->p99Us, 'f', 1) << " vs 2 x "
        << QString::number(remote->p99Us, 'f', 1) << " ("
        << (server->p99Us <= 2 * remote->p99Us ? "met" : "missed") << ")\n";
}

void printThroughputGoal(QTextStream& out, const QList<RunResult>& results)
{
    const RunResult* server = find(results, kServerVariant, kManyTerminals);
    const RunResult* remote = find(results, kRemoteVariant, kManyTerminals);
    out << "  " << kServerVariant << " look-ups/s at 64 terminals >= " << kRemoteVariant << ": ";
    if (!server || !remote) {
        out << "not measured\n";
        return;
    }
    out << QString::number(server->perSecond, 'f', 0) << " vs "
        << QString::number(remote->perSecond, 'f', 0) << " ("
        << (server->perSecond >= remote->perSecond ? "met" : "missed") << ")\n";
}

void printErrorGoal(QTextStream& out, const QList<RunResult>& results)
{
    qint64 errors = 0;
    QStringList parts;
    for (const RunResult& r : results) {
        if (r.terminals == kManyTerminals &&
            r.variant.startsWith(QLatin1String("norvalk-server"))) {
            errors += r.errors;
            parts << QStringLiteral("%1 %2").arg(r.variant).arg(r.errors);
        }
    }
    out << "  errors through NorvalkServer at 64 terminals: "
        << (parts.isEmpty() ? QStringLiteral("not measured") : parts.join(QStringLiteral(", ")))
        << " (goal 0: "
        << (parts.isEmpty() ? "-"
            : errors == 0   ? "met"
                            : "missed")
        << ")\n";
}

QString ratioText(const std::optional<double>& ratio)
{
    return ratio ? QString::number(*ratio, 'f', 2) : QStringLiteral("nan");
}

} // namespace

QString progressLine(const RunResult& r)
{
    return QStringLiteral("%1 %2 x%3: median %4 us, p99 %5 us, %6/s, %7 errors")
        .arg(r.variant, operationName(r.operation))
        .arg(r.terminals)
        .arg(r.medianUs, 0, 'f', 1)
        .arg(r.p99Us, 0, 'f', 1)
        .arg(r.perSecond, 0, 'f', 0)
        .arg(r.errors);
}

void printReport(const QList<RunResult>& results, const QStringList& findings, QTextStream& out)
{
    printTable(results, out);
    printNotes(out);
    for (const QString& finding : findings)
        out << "  " << finding << '\n';
    out << "\nGoals:\n";
    printRatio(out, results, kRemoteVariant, 1.0);
    printTailGoal(out, results);
    printThroughputGoal(out, results);
    printRatio(out, results, kFloorVariant, 1.5);
    // Within the noise of two runs of the same server.
    printRatio(out, results, kServerVariant, 1.05, kServerMetricsVariant);
    printRatio(out, results, kServerVariant, 1.2, kServerTlsVariant);
    printErrorGoal(out, results);
    out.flush();
}

QString ratiosLine(const QList<RunResult>& results, const std::optional<double>& idleRatio,
                   const std::optional<ReconnectFigures>& reconnect)
{
    QString line =
        QStringLiteral("lookup_vs_remote=%1 lookup_vs_embedded=%2 idle1000_throughput=%3 "
                       "metrics_cost=%4 lookup_tls_vs_plain=%5")
            .arg(ratioText(ratio(results, kRemoteVariant)),
                 ratioText(ratio(results, kFloorVariant)), ratioText(idleRatio),
                 ratioText(ratio(results, kServerVariant, kServerMetricsVariant)),
                 ratioText(ratio(results, kServerVariant, kServerTlsVariant)));
    if (reconnect)
        line += QStringLiteral(" tls_reconnect_ms=%1/%2")
                    .arg(reconnect->medianMs, 0, 'f', 1)
                    .arg(reconnect->maxMs, 0, 'f', 1);
    return line;
}
