// norvalk-scan-bench: the road of one scanned document line through
// NorvalkServer, as the lines window takes it: the look-up with its
// pre-fills, the save (one unit) and the refreshed list, for a receiving line
// with a returnable container and a sale-price update. Measures the whole
// road per line at 1 and at N terminals (each a process of its own, as
// terminals are) and counts the requests one line costs.
//
//     norvalk-scan-bench --server build/bin/NorvalkServer --database PATH
//                        [--lines N] [--terminals 1,8]
//
// The database is written to; make a fresh one with scripts/make-db --demo.
// The last line printed is "scan_road_1=MEDIAN/P99us scan_road_8=... requests=R".

#include "bench/localserver.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/documentlines.h"
#include "client/core/goodsinfo.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kWarmLines = 20;

// One terminal: its own receiving document in department 2, goods 8 (a box
// of beer with 20 deposit bottles) scanned line after line. Prints the
// microseconds of each measured line, then "requests=R" of the last line.
int runTerminal(quint16 port, int lines)
{
    TClientDataModule module;
    module.SQLConnection1().setHostName(QStringLiteral("127.0.0.1"));
    module.SQLConnection1().setPort(port);
    ClientState& state = module.clientState();
    state.CurrentUser = QStringLiteral("BENCH");
    state.DateSeparator = QStringLiteral(".");

    RemoteDataSet& update = module.cdsUpdate();
    PrepareDataset(update);
    update.setCommandText(QStringLiteral(
        "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT, DAT_SANEM) VALUES (:NR, 2, 4, "
        "CURRENT_DATE) RETURNING ISN"));
    update.setTextParam(QStringLiteral("NR"),
                        QStringLiteral("BENCH-%1").arg(QCoreApplication::applicationPid()));
    DocumentContext document;
    document.DocKind = DocumentKind::Receiving;
    document.DocIsn = InsertReturningIsn(update);
    document.DocNumber = QStringLiteral("BENCH");
    document.DocDate = QDate::currentDate();
    document.DepartmentIsn = 2;
    document.CounterpartyIsn = 4;

    GoodsInfo goods;
    DocumentLines road(module, goods);
    road.Activate(document);
    road.RefreshLines(false); // as the window does when it opens the document
    const QString article = QStringLiteral("4750000000080");
    quint64 requests = 0;
    for (int line = 0; line < kWarmLines + lines; ++line) {
        const quint64 before = module.SQLConnection1().requestCount();
        QElapsedTimer clock;
        clock.start();
        road.LookUp(article, QString());
        DocumentLines::Entry entry;
        entry.article = article;
        entry.quantity = QStringLiteral("1");
        entry.price = QStringLiteral("18,50");
        entry.salePrice = QStringLiteral("24,50");
        QString cut;
        const Outcome<DocumentLines::Saved> saved = road.Save(entry, cut);
        if (saved.refused()) {
            std::fprintf(stderr, "refused: %s\n", qPrintable(saved.refusal().message));
            return 1;
        }
        if (line >= kWarmLines)
            std::printf("%.0f\n", double(clock.nsecsElapsed()) / 1000.0);
        requests = module.SQLConnection1().requestCount() - before;
    }
    std::printf("requests=%llu\n", static_cast<unsigned long long>(requests));
    return 0;
}

struct Figures
{
    std::vector<double> micros;
    quint64 requests = 0;
};

Figures runTerminals(const QString& self, quint16 port, int terminals, int lines)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int t = 0; t < terminals; ++t) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(self, {QStringLiteral("--terminal"), QString::number(port),
                              QStringLiteral("--lines"), QString::number(lines)});
        processes.push_back(std::move(process));
    }
    Figures figures;
    for (auto& process : processes) {
        process->waitForFinished(-1);
        const QList<QByteArray> output = process->readAllStandardOutput().split('\n');
        for (const QByteArray& line : output) {
            if (line.startsWith("requests="))
                figures.requests = line.mid(9).toULongLong();
            else if (!line.isEmpty())
                figures.micros.push_back(line.toDouble());
        }
        if (process->exitCode() != 0)
            throw std::runtime_error("a terminal failed");
    }
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("server"), QStringLiteral("NorvalkServer"), QStringLiteral("PATH")},
         {QStringLiteral("database"), QStringLiteral("Database (written to)"),
          QStringLiteral("PATH")},
         {QStringLiteral("lines"), QStringLiteral("Lines each terminal scans"), QStringLiteral("N"),
          QStringLiteral("300")},
         {QStringLiteral("terminals"), QStringLiteral("Numbers of terminals"),
          QStringLiteral("LIST"), QStringLiteral("1,8")},
         {QStringLiteral("terminal"), QStringLiteral("(internal) one terminal"),
          QStringLiteral("PORT")}});
    parser.process(application);
    const int lines = std::max(10, parser.value(QStringLiteral("lines")).toInt());
    if (parser.isSet(QStringLiteral("terminal")))
        return runTerminal(quint16(parser.value(QStringLiteral("terminal")).toUInt()), lines);

    LocalServer server;
    if (!server.start(parser.value(QStringLiteral("server")),
                      parser.value(QStringLiteral("database")))) {
        std::fprintf(stderr, "norvalk-scan-bench: the server did not start\n");
        return 1;
    }
    const quint16 port = server.port();
    int status = 0;
    QStringList summary;
    try {
        quint64 requests = 0;
        std::printf("%-28s %9s %9s %11s\n", "scanned line (look-up, save, list)", "median", "p99",
                    "lines/s");
        for (const QString& count : parser.value(QStringLiteral("terminals")).split(',')) {
            const int terminals = std::max(1, count.toInt());
            QElapsedTimer wall;
            wall.start();
            const Figures figures =
                runTerminals(QCoreApplication::applicationFilePath(), port, terminals, lines);
            const double seconds = double(wall.nsecsElapsed()) / 1e9;
            const double median = percentile(figures.micros, 0.5);
            const double p99 = percentile(figures.micros, 0.99);
            std::printf("%2d terminal(s)%14s %7.0fus %7.0fus %11.0f\n", terminals, "", median, p99,
                        double(figures.micros.size()) / seconds);
            summary << QStringLiteral("scan_road_%1=%2/%3us")
                           .arg(terminals)
                           .arg(median, 0, 'f', 0)
                           .arg(p99, 0, 'f', 0);
            if (terminals == 1 || requests == 0)
                requests = figures.requests; // a lone terminal never waits out a conflict
        }
        summary << QStringLiteral("requests=%1").arg(requests);
        std::printf("%s\n", qPrintable(summary.join(QLatin1Char(' '))));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norvalk-scan-bench: %s\n", error.what());
        status = 1;
    }
    return status;
}
