// norvalk-queue-bench: what the terminal's queue of lines costs on this
// machine's disk. Enqueues N lines one transaction each (as the terminal
// does, each synced before the call returns), then N in one transaction, then
// walks the first queue as a sender would (next, sending, done: three synced
// writes and a read per line). Prints the total and the median and p99 of
// one call for each.
//
//     norvalk-queue-bench [--lines N] [--dir FOLDER]
//
// The file goes into a fresh folder under FOLDER (the current one by
// default: a folder in memory would measure no sync at all) and is removed.

#include "client/core/linequeue.h"
#include "client/core/localdatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QueuedLine benchLine(int i)
{
    QueuedLine line;
    line.identity = QStringLiteral("bench-%1").arg(i);
    line.documentKind = 3;
    line.documentIsn = 1;
    line.documentNumber = QStringLiteral("P-1");
    line.article = QString::number(400000 + i);
    line.goodsName = QStringLiteral("Ābolu sula 1 l");
    line.quantity = 1;
    // About the size of a receiving line's unit: its block and a dozen values.
    RemoteParams params;
    for (int p = 0; p < 12; ++p)
        params.append(RemoteParam::number(QStringLiteral("P%1_V").arg(p), p + i));
    line.unit = EncodeUnit(QString(1500, QLatin1Char('x')), params);
    return line;
}

void report(const char* what, std::vector<qint64>& nanoseconds, qint64 totalNs)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    const auto at = [&](double share) {
        return nanoseconds[std::min(nanoseconds.size() - 1, size_t(share * nanoseconds.size()))];
    };
    std::printf("%-42s total %8.1f ms  median %7.0f us  p99 %7.0f us\n", what, totalNs / 1e6,
                at(0.5) / 1e3, at(0.99) / 1e3);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("lines"), QStringLiteral("Lines per pass."),
                      QStringLiteral("N"), QStringLiteral("1000")});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("Folder for the file."),
                      QStringLiteral("FOLDER"), QDir::currentPath()});
    parser.process(app);
    const int lines = std::max(1, parser.value(QStringLiteral("lines")).toInt());
    QTemporaryDir dir(parser.value(QStringLiteral("dir")) + QStringLiteral("/queue-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a folder in %s\n",
                     qPrintable(parser.value(QStringLiteral("dir"))));
        return 1;
    }

    try {
        std::vector<QueuedLine> made;
        for (int i = 0; i < lines; ++i)
            made.push_back(benchLine(i));

        LocalDatabase database(dir.filePath(QStringLiteral("Norvalk-local.sqlite")));
        LineQueue queue(database);
        std::vector<qint64> times;
        QElapsedTimer total;
        QElapsedTimer one;

        total.start();
        for (const QueuedLine& line : made) {
            one.start();
            queue.enqueue(line);
            times.push_back(one.nsecsElapsed());
        }
        const qint64 enqueueNs = total.nsecsElapsed();
        report("enqueue, one transaction each", times, enqueueNs);

        LocalDatabase batchDatabase(dir.filePath(QStringLiteral("batch.sqlite")));
        LineQueue batchQueue(batchDatabase);
        QList<QueuedLine> batch(made.begin(), made.end());
        total.start();
        batchQueue.enqueueAll(batch);
        std::vector<qint64> batchTime{total.nsecsElapsed()};
        report("enqueueAll, one transaction", batchTime, batchTime.front());

        times.clear();
        total.start();
        while (const std::optional<QueuedLine> next = queue.nextToSend()) {
            one.start();
            queue.markSending(next->identity);
            queue.markDone(next->identity, QByteArray("\x80", 1));
            times.push_back(one.nsecsElapsed());
        }
        report("send walk (sending, done; next in total)", times, total.nsecsElapsed());
        std::printf("queue_enqueue_%d_ms=%.1f\n", lines, enqueueNs / 1e6);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
