// norvalk-unit-bench: what a document line's save costs a terminal when its
// statements go one request each, and when they go as one unit (one EXECUTE
// BLOCK). The save is the receiving line's core: the line, its log entry and
// its stock move behind the inventory check. Prints the median and p99 of
// each way and the requests each takes.
//
//     norvalk-unit-bench --server build/bin/NorvalkServer --database PATH [--saves N]
//
// The database is written to; make a fresh one with scripts/make-db --demo.

#include "bench/localserver.h"
#include "client/core/commonprocedures.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QString kInsertLine = QStringLiteral(
    "INSERT INTO O_PRECE (ISPRECE, NODOKLIS, ISPAVADZ, ISSERTIF, CENA, PARD_CENA, DAUDZUMS, "
    "ATLAIDE, VALUTA, VAL_KURSS) VALUES (:ISPRECE, :NODOKLIS, :ISPAVADZ, :ISSERTIF, :CENA, "
    ":PARD_CENA, :DAUDZUMS, :ATLAIDE, '', 1)");

constexpr qint32 kWaybill = 1;
constexpr qint32 kDepartment = 2;
constexpr qint32 kGoods = 1;

UnitValues lineValues()
{
    return {{QStringLiteral("ISPRECE"), kGoods},    {QStringLiteral("NODOKLIS"), 21.0},
            {QStringLiteral("ISPAVADZ"), kWaybill}, {QStringLiteral("ISSERTIF"), 1},
            {QStringLiteral("CENA"), 1.5},          {QStringLiteral("PARD_CENA"), 2.5},
            {QStringLiteral("DAUDZUMS"), 1.0},      {QStringLiteral("ATLAIDE"), 0.0}};
}

void setValues(RemoteDataSet& dataSet, const UnitValues& values)
{
    for (const auto& [name, value] : values)
        dataSet.setParam(value.toParam(name));
}

// The statements one request each, the key read back from the generator.
void saveStepByStep(TClientDataModule& module)
{
    RemoteDataSet& update = module.cdsUpdate();
    PrepareDataset(update);
    update.setCommandText(kInsertLine);
    setValues(update, lineValues());
    update.execute();
    update.close();
    update.setCommandText(QStringLiteral("SELECT GEN_ID(O_PRECEGEN,0) ISN FROM N_ISI"));
    update.open();
    const qint32 line = update.fieldByName(QStringLiteral("ISN")).asInteger();
    LogOperation(module, QStringLiteral("J"), QStringLiteral("1"), QStringLiteral("O_PRECE"),
                 kGoods, QStringLiteral("Norvalk"), line, QDate::currentDate());
    UpdateStock(module, kGoods, kDepartment, 1, QStringLiteral("F"), 1.0);
}

// The same statements, the key from RETURNING, one request each.
void saveReturningKey(TClientDataModule& module)
{
    RemoteDataSet& update = module.cdsUpdate();
    PrepareDataset(update);
    update.setCommandText(kInsertLine + QStringLiteral(" RETURNING ISN"));
    setValues(update, lineValues());
    const qint32 line = InsertReturningIsn(update);
    LogOperation(module, QStringLiteral("J"), QStringLiteral("1"), QStringLiteral("O_PRECE"),
                 kGoods, QStringLiteral("Norvalk"), line, QDate::currentDate());
    UpdateStock(module, kGoods, kDepartment, 1, QStringLiteral("F"), 1.0);
}

// One unit: one request, all or nothing.
void saveAsUnit(TClientDataModule& module)
{
    UnitOfWork unit;
    unit.declareResult(QStringLiteral("L"), ParamType::Integer);
    unit.add(kInsertLine + QStringLiteral(" RETURNING ISN INTO :L")).set(lineValues());
    LogOperation(unit, module.clientState(), QStringLiteral("J"), QStringLiteral("1"),
                 QStringLiteral("O_PRECE"), kGoods, QStringLiteral("Norvalk"),
                 UnitArg::variable(QStringLiteral("L")), QDate::currentDate());
    UpdateStock(unit, kGoods, kDepartment, 1, QStringLiteral("F"), 1.0);
    RemoteDataSet& update = module.cdsUpdate();
    PrepareDataset(update);
    unit.run(update);
}

struct Way
{
    const char* name;
    int requests;
    std::function<void(TClientDataModule&)> save;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("server"), QStringLiteral("NorvalkServer"), QStringLiteral("PATH")},
         {QStringLiteral("database"), QStringLiteral("Database (written to)"),
          QStringLiteral("PATH")},
         {QStringLiteral("saves"), QStringLiteral("Saves of each way"), QStringLiteral("N"),
          QStringLiteral("2000")}});
    parser.process(application);
    const int saves = std::max(10, parser.value(QStringLiteral("saves")).toInt());

    LocalServer server;
    if (!server.start(parser.value(QStringLiteral("server")),
                      parser.value(QStringLiteral("database")))) {
        std::fprintf(stderr, "norvalk-unit-bench: the server did not start\n");
        return 1;
    }
    const quint16 port = server.port();

    TClientDataModule module;
    module.SQLConnection1().setHostName(QStringLiteral("127.0.0.1"));
    module.SQLConnection1().setPort(port);
    module.clientState().CurrentUser = QStringLiteral("BENCH");

    const std::vector<Way> ways{{"step by step, generator read", 5, saveStepByStep},
                                {"step by step, RETURNING", 4, saveReturningKey},
                                {"one unit", 1, saveAsUnit}};
    int status = 0;
    try {
        // Every statement prepared once on every worker before the clock runs.
        for (const Way& way : ways)
            for (int i = 0; i < 40; ++i)
                way.save(module);
        std::vector<std::vector<double>> times(ways.size());
        // Interleaved, so that load from outside hits every way alike.
        for (int i = 0; i < saves; ++i) {
            for (size_t w = 0; w < ways.size(); ++w) {
                QElapsedTimer clock;
                clock.start();
                ways[w].save(module);
                times[w].push_back(double(clock.nsecsElapsed()) / 1000.0);
            }
        }
        std::printf("%-30s %9s %9s %9s\n", "save of one line", "requests", "median", "p99");
        for (size_t w = 0; w < ways.size(); ++w)
            std::printf("%-30s %9d %7.0fus %7.0fus\n", ways[w].name, ways[w].requests,
                        percentile(times[w], 0.5), percentile(times[w], 0.99));
        std::printf("unit_vs_step_by_step=%.2f\n",
                    percentile(times[2], 0.5) / percentile(times[0], 0.5));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norvalk-unit-bench: %s\n", error.what());
        status = 1;
    }
    module.SQLConnection1().setConnected(false);
    return status;
}
