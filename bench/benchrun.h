#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// One scanner terminal's own connection in one way of reaching the database.
// Every call throws std::exception on failure.
class Terminal
{
public:
    virtual ~Terminal() = default;
    // Looks the goods item up by code and returns the number of rows found.
    virtual int lookUp(const QString& code) = 0;
    // Adds one goods group of that name, committed before it returns.
    virtual void insertGroup(const QString& name) = 0;
};

// Called on the thread that will use the terminal: Qt Sql connections and
// sockets belong to the thread that made them.
using TerminalFactory = std::function<std::unique_ptr<Terminal>()>;

enum class Operation
{
    Lookup,
    Insert
};

struct RunPlan
{
    Operation operation = Operation::Lookup;
    int terminals = 1;
    int perTerminal = 1000; // measured operations of each terminal
    int warmup = 50;        // operations of each terminal before the clock starts
    int goods = 0;          // look-ups pick codes of goods 1..goods
    unsigned seed = 1;
};

// What the terminals of one or more runs measured.
struct Samples
{
    std::vector<double> latenciesUs; // of the operations that succeeded
    double wallSeconds = 0;          // from the common start to the last terminal's end
    qint64 errors = 0;               // failed connections and operations, warm-up included
    QString firstError;

    void merge(const Samples& other);
};

// Runs plan.terminals threads, each with its own terminal, all starting the
// measured stretch together. Errors are counted, never fatal.
Samples runBenchmark(const TerminalFactory& factory, const RunPlan& plan);

// The figures of one variant, operation and number of terminals.
struct RunResult
{
    QString variant;
    Operation operation = Operation::Lookup;
    int terminals = 0;
    qint64 samples = 0;
    double medianUs = 0;
    double p99Us = 0;
    double perSecond = 0; // all terminals together
    qint64 errors = 0;
    QString firstError;
};

RunResult summarize(const QString& variant, Operation operation, int terminals, Samples samples);

QString operationName(Operation operation);
