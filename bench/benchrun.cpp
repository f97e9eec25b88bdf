#include "bench/benchrun.h"

#include "bench/articlecodes.h"

#include <QStringList>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome
{
    std::vector<double> latenciesUs;
    qint64 errors = 0;
    QString firstError;
    Clock::time_point start;
    Clock::time_point end;
    bool measured = false;

    void fail(const QString& message)
    {
        if (errors++ == 0)
            firstError = message;
    }
};

QString describe(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

// The inputs of one terminal: codes to look up or names of groups to add.
QStringList inputsFor(const RunPlan& plan, int index)
{
    const int count = plan.warmup + plan.perTerminal;
    if (plan.operation == Operation::Lookup)
        return randomArticleCodes(plan.goods, count, plan.seed * 1000 + unsigned(index));
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("bench %1 %2-%3").arg(plan.seed).arg(index).arg(i));
    return names;
}

void perform(Terminal& terminal, Operation operation, const QString& input)
{
    if (operation == Operation::Insert) {
        terminal.insertGroup(input);
        return;
    }
    const int rows = terminal.lookUp(input);
    if (rows != 1)
        throw std::runtime_error(
            QStringLiteral("%1 rows for code %2").arg(rows).arg(input).toStdString());
}

// Opens the terminal and warms it up; a terminal that fails here sits out.
std::unique_ptr<Terminal> prepareTerminal(const TerminalFactory& factory, const RunPlan& plan,
                                          const QStringList& inputs, Outcome& outcome)
{
    std::unique_ptr<Terminal> terminal;
    try {
        terminal = factory();
    } catch (...) {
        outcome.fail(QStringLiteral("connect: ") + describe(std::current_exception()));
        return nullptr;
    }
    for (int i = 0; i < plan.warmup; ++i) {
        try {
            perform(*terminal, plan.operation, inputs.at(i));
        } catch (...) {
            outcome.fail(describe(std::current_exception()));
        }
    }
    return terminal;
}

void measure(Terminal& terminal, const RunPlan& plan, const QStringList& inputs, Outcome& outcome)
{
    outcome.latenciesUs.reserve(size_t(plan.perTerminal));
    outcome.measured = true;
    outcome.start = Clock::now();
    for (int i = plan.warmup; i < inputs.size(); ++i) {
        const Clock::time_point before = Clock::now();
        try {
            perform(terminal, plan.operation, inputs.at(i));
        } catch (...) {
            outcome.fail(describe(std::current_exception()));
            continue;
        }
        const std::chrono::duration<double, std::micro> took = Clock::now() - before;
        outcome.latenciesUs.push_back(took.count());
    }
    outcome.end = Clock::now();
}

// Nearest rank: the value below which the given share of the sorted samples lie.
double percentile(const std::vector<double>& sorted, double share)
{
    if (sorted.empty())
        return 0;
    const size_t rank = size_t(std::ceil(share * double(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

Samples collect(const std::vector<Outcome>& outcomes)
{
    Samples samples;
    Clock::time_point first = Clock::time_point::max();
    Clock::time_point last = Clock::time_point::min();
    for (const Outcome& outcome : outcomes) {
        samples.latenciesUs.insert(samples.latenciesUs.end(), outcome.latenciesUs.begin(),
                                   outcome.latenciesUs.end());
        if (outcome.errors > 0 && samples.firstError.isEmpty())
            samples.firstError = outcome.firstError;
        samples.errors += outcome.errors;
        if (outcome.measured) {
            first = std::min(first, outcome.start);
            last = std::max(last, outcome.end);
        }
    }
    if (first < last)
        samples.wallSeconds = std::chrono::duration<double>(last - first).count();
    return samples;
}

} // namespace

Samples runBenchmark(const TerminalFactory& factory, const RunPlan& plan)
{
    std::vector<Outcome> outcomes(size_t(plan.terminals));
    // Every terminal is connected and warm before the clock starts, and stays
    // connected until all are done, so the measured stretch sees plan.terminals
    // open connections throughout.
    std::barrier ready(plan.terminals);
    std::barrier done(plan.terminals);
    std::vector<std::thread> threads;
    threads.reserve(size_t(plan.terminals));
    for (int index = 0; index < plan.terminals; ++index) {
        threads.emplace_back([&, index] {
            Outcome& outcome = outcomes[size_t(index)];
            const QStringList inputs = inputsFor(plan, index);
            std::unique_ptr<Terminal> terminal = prepareTerminal(factory, plan, inputs, outcome);
            ready.arrive_and_wait();
            if (terminal)
                measure(*terminal, plan, inputs, outcome);
            done.arrive_and_wait();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    return collect(outcomes);
}

void Samples::merge(const Samples& other)
{
    latenciesUs.insert(latenciesUs.end(), other.latenciesUs.begin(), other.latenciesUs.end());
    wallSeconds += other.wallSeconds;
    if (errors == 0)
        firstError = other.firstError;
    errors += other.errors;
}

RunResult summarize(const QString& variant, Operation operation, int terminals, Samples samples)
{
    RunResult result;
    result.variant = variant;
    result.operation = operation;
    result.terminals = terminals;
    std::vector<double>& all = samples.latenciesUs;
    std::sort(all.begin(), all.end());
    result.samples = qint64(all.size());
    result.medianUs = percentile(all, 0.50);
    result.p99Us = percentile(all, 0.99);
    if (samples.wallSeconds > 0)
        result.perSecond = double(all.size()) / samples.wallSeconds;
    result.errors = samples.errors;
    result.firstError = samples.firstError;
    return result;
}

QString operationName(Operation operation)
{
    return operation == Operation::Lookup ? QStringLiteral("lookup") : QStringLiteral("insert");
}
