// norvalk-scan-bench: the road of one scanned document line through
// NorvalkServer, as the lines window takes it: the look-up with its
// pre-fills and certificates, then the save (one unit, which also brings back
// the saved lines for the list), for a receiving line with a returnable
// container and a sale-price update. Measures the whole road per line at 1
// and at N terminals (each a process of its own, as terminals are), counts
// the requests one line costs and the bytes it puts on the wire as the 1st
// and as the 1000th line of a document.
//
//     norvalk-scan-bench --server build/bin/NorvalkServer --database PATH
//                        [--lines N] [--terminals 1,8]
//
// The database is written to; make a fresh one with scripts/make-db --demo.
// The last line printed is "scan_road_1=MEDIAN/P99us scan_road_8=...
// scan_road_requests=R scan_road_bytes_1=B1 scan_road_bytes_1000=B1000
// replay_lines_per_s=L" (L: lines a second sent from a queue of 1,000 kept
// while the server could not be reached).

#include "bench/localserver.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/documentlines.h"
#include "client/core/goodsinfo.h"
#include "client/core/remotedataset.h"
#include "client/core/serverconnection.h"
#include "client/core/tclientdatamodule.h"
#include "common/providerclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kWarmLines = 20;

// A terminal's data module on the server at port.
std::unique_ptr<TClientDataModule> terminalModule(quint16 port)
{
    auto module = std::make_unique<TClientDataModule>();
    module->SQLConnection1().setHostName(QStringLiteral("127.0.0.1"));
    module->SQLConnection1().setPort(port);
    ClientState& state = module->clientState();
    state.CurrentUser = QStringLiteral("BENCH");
    state.DateSeparator = QStringLiteral(".");
    return module;
}

// A receiving document of its own in department 2.
DocumentContext newReceiving(TClientDataModule& module)
{
    static int documents = 0;
    RemoteDataSet& update = module.cdsUpdate();
    PrepareDataset(update);
    update.setCommandText(QStringLiteral(
        "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT, DAT_SANEM) VALUES (:NR, 2, 4, "
        "CURRENT_DATE) RETURNING ISN"));
    update.setTextParam(
        QStringLiteral("NR"),
        QStringLiteral("BENCH-%1-%2").arg(QCoreApplication::applicationPid()).arg(++documents));
    DocumentContext document;
    document.DocKind = DocumentKind::Receiving;
    document.DocIsn = InsertReturningIsn(update);
    document.DocNumber = QStringLiteral("BENCH");
    document.DocDate = QDate::currentDate();
    document.DepartmentIsn = 2;
    document.CounterpartyIsn = 4;
    return document;
}

// Goods 8, a box of beer with 20 deposit bottles, scanned as the window
// does: the look-up as the article field is left, then the save.
void scanLine(DocumentLines& road)
{
    const QString article = QStringLiteral("4750000000080");
    road.LookUp(article, QString());
    DocumentLines::Entry entry;
    entry.article = article;
    entry.quantity = QStringLiteral("1");
    entry.price = QStringLiteral("18,50");
    entry.salePrice = QStringLiteral("24,50");
    QString cut;
    const Outcome<DocumentLines::Saved> saved = road.Save(entry, cut);
    if (saved.refused())
        throw std::runtime_error("refused: " + saved.refusal().message.toStdString());
}

// One terminal: its own receiving document, the line scanned again and
// again. Prints the microseconds of each measured line, then "requests=R"
// of the last line.
int runTerminal(quint16 port, int lines)
{
    const std::unique_ptr<TClientDataModule> module = terminalModule(port);
    GoodsInfo goods;
    DocumentLines road(*module, goods);
    road.Activate(newReceiving(*module));
    road.RefreshLines(false); // as the window does when it opens the document
    quint64 requests = 0;
    for (int line = 0; line < kWarmLines + lines; ++line) {
        const quint64 before = module->SQLConnection1().requestCount();
        QElapsedTimer clock;
        clock.start();
        scanLine(road);
        if (line >= kWarmLines)
            std::printf("%.0f\n", double(clock.nsecsElapsed()) / 1000.0);
        requests = module->SQLConnection1().requestCount() - before;
    }
    std::printf("requests=%llu\n", static_cast<unsigned long long>(requests));
    return 0;
}

// The bytes on the wire, both directions, frames whole.
quint64 wireBytes(TClientDataModule& module)
{
    ProviderClient& client = module.SQLConnection1().client();
    return client.bytesSent() + client.bytesReceived();
}

// The wire bytes of the scanned line as the 1st and as the 1000th line of a
// document, on a connection that has scanned before (its statements known
// to the server). The 998 lines between are written straight into the
// document, and the window opens it again, as a worker coming back to it.
std::pair<quint64, quint64> lineBytes(quint16 port)
{
    const std::unique_ptr<TClientDataModule> module = terminalModule(port);
    GoodsInfo goods;
    DocumentLines road(*module, goods);
    road.Activate(newReceiving(*module));
    road.RefreshLines(false);
    scanLine(road); // the connection's first line, which carries the statement texts

    const DocumentContext document = newReceiving(*module);
    road.Activate(document);
    road.RefreshLines(false);
    quint64 before = wireBytes(*module);
    scanLine(road);
    const quint64 first = wireBytes(*module) - before;

    RemoteDataSet& update = module->cdsUpdate();
    PrepareDataset(update);
    update.setCommandText(QStringLiteral(
        "EXECUTE BLOCK (DOC INTEGER = :DOC) AS DECLARE I INTEGER = 0; BEGIN WHILE (I < 998) DO "
        "BEGIN INSERT INTO O_PRECE (ISPAVADZ, ISPRECE, DAUDZUMS, CENA, ISSERTIF) VALUES (:DOC, 1, "
        "1, 1, 1); I = I + 1; END END"));
    update.setIntegerParam(QStringLiteral("DOC"), document.DocIsn);
    update.execute();
    road.Activate(document);
    road.RefreshLines(false);
    before = wireBytes(*module);
    scanLine(road);
    return {first, wireBytes(*module) - before};
}

// Lines a second sent from the terminal's queue: count receiving lines saved
// while the server could not be reached (the connection pointed at a port
// nothing listens on), then sent in order once it answers again. The queue's
// file is in the temporary folder.
double replayRate(quint16 port, int count)
{
    QTemporaryDir folder;
    const std::unique_ptr<TClientDataModule> module = terminalModule(port);
    module->openTerminalStore(folder.filePath(QStringLiteral("replay.sqlite")));
    GoodsInfo goods;
    DocumentLines road(*module, goods);
    road.Activate(newReceiving(*module));
    road.RefreshLines(false);
    scanLine(road); // online: the goods remembered, the log's newest key known

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 nowhere = closed.serverPort();
    closed.close();
    ServerConnection& connection = module->SQLConnection1();
    connection.setConnected(false);
    connection.setPort(nowhere);
    DocumentLines::Entry entry;
    entry.article = QStringLiteral("4750000000080");
    entry.quantity = QStringLiteral("1");
    entry.price = QStringLiteral("18,50");
    for (int line = 0; line < count; ++line) {
        QString cut;
        const Outcome<DocumentLines::Saved> saved = road.Save(entry, cut);
        if (saved.refused() || !saved.result().queued)
            throw std::runtime_error("a line saved without the server was not queued");
    }

    connection.setConnected(false);
    connection.setPort(port);
    QElapsedTimer clock;
    clock.start();
    while (road.QueuedCount() > 0) {
        if (road.SendQueued(100))
            throw std::runtime_error("the server did not answer the queue");
    }
    return count / (double(clock.nsecsElapsed()) / 1e9);
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
        std::printf("%-28s %9s %9s %11s\n", "scanned line (look-up, save)", "median", "p99",
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
        const auto [bytes1, bytes1000] = lineBytes(port);
        std::printf("wire bytes of the line, both directions: %llu as line 1, %llu as line "
                    "1000\n",
                    static_cast<unsigned long long>(bytes1),
                    static_cast<unsigned long long>(bytes1000));
        const int queued = 1000;
        const double replayed = replayRate(port, queued);
        std::printf("lines sent from a queue of %d: %.0f a second\n", queued, replayed);
        summary << QStringLiteral("scan_road_requests=%1").arg(requests)
                << QStringLiteral("scan_road_bytes_1=%1").arg(bytes1)
                << QStringLiteral("scan_road_bytes_1000=%1").arg(bytes1000)
                << QStringLiteral("replay_lines_per_s=%1").arg(replayed, 0, 'f', 0);
        std::printf("%s\n", qPrintable(summary.join(QLatin1Char(' '))));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norvalk-scan-bench: %s\n", error.what());
        status = 1;
    }
    return status;
}
