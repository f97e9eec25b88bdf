#pragma once

#include "common/remoteparam.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

class RemoteDataSet;

// A value for a statement of a unit: a typed value sent with the request, or
// a PSQL expression over the unit's variables (":L", ":Q * :F") worked out
// by the database while the unit runs.
class UnitArg final
{
public:
    UnitArg(qint32 value) : m_type(ParamType::Integer), m_value(value) {}
    UnitArg(double value) : m_type(ParamType::Double), m_value(value) {}
    UnitArg(const QString& text) : m_type(ParamType::Text), m_value(text) {}
    // An invalid date-time is sent as NULL.
    UnitArg(const QDateTime& value) : m_type(ParamType::DateTime), m_value(value) {}

    static UnitArg expression(const QString& psql);
    static UnitArg variable(const QString& name) { return expression(QLatin1Char(':') + name); }

    bool isExpression() const { return m_type == ParamType::Null; }
    ParamType type() const { return m_type; }
    const QVariant& value() const { return m_value; }
    QString psql() const { return m_value.toString(); }
    // The value as a request parameter; an expression has none and throws.
    RemoteParam toParam(const QString& name) const;

private:
    UnitArg() = default;

    ParamType m_type = ParamType::Null; // Null marks an expression
    QVariant m_value;
};

// What makes a unit that changes data apply at most once however often it is
// sent: a text chosen once, when the worker presses the key, and a key of the
// operation log at or below which none of the unit's log entries can lie (so
// the check for an earlier send reads only the newest part of the log).
struct UnitIdentity
{
    QString text;
    qint32 logFloor = 0;
};

// The values of one statement by marker name, for code that sends the same
// statement on its own or in a unit.
using UnitValues = QList<std::pair<QString, UnitArg>>;

// A sequence of statements that must not be half done (a document line with
// its log entry and stock movement), sent as one EXECUTE BLOCK: one request,
// one transaction, and the database applies all of it or, when any statement
// fails, none of it.
//
// Each statement is added as it would run on its own, :NAME markers and all,
// and its values are set on the step that add() returns. The unit gives every
// step's markers names of their own, so two statements may both use :ISPRECE
// with different values, and declares them in the block's header. A marker
// that names a variable of the unit is left to the database. Variables carry
// values from one statement to the next (INSERT ... RETURNING ISN INTO :L,
// then a log entry with ISN_BAZE = :L); results are also handed back.
//
//     UnitOfWork unit;
//     unit.declareResult("L", ParamType::Integer);
//     unit.add(kInsertLine + " RETURNING ISN INTO :L").set("ISPRECE", goodsIsn)...;
//     LogOperation(unit, "J", number, "O_PRECE", goodsIsn, "Norvalk", UnitArg::variable("L"),
//     date); unit.run(module.cdsUpdate()); const qint32 line =
//     module.cdsUpdate().fieldByName("L").asInteger();
//
// Building a unit sends nothing; mistakes in it (a marker with no value, a
// name too long for the database) throw ClientError when it is built or run.
class UnitOfWork final
{
public:
    class Step final
    {
    public:
        // The value of :name in this step's statement.
        Step& set(const QString& name, const UnitArg& value);
        Step& set(const UnitValues& values);

    private:
        friend class UnitOfWork;
        explicit Step(const QString& psql) : m_psql(psql) {}

        QString m_psql;
        QList<std::pair<QString, UnitArg>> m_values;
    };

    UnitOfWork();
    // A unit that runs at most once: it first looks in the operation log for
    // an entry stamped with the identity (an earlier send that was applied
    // though its reply was lost) and, when it finds one, writes nothing and
    // hands back only that entry's ISN_BAZE (see ranBefore()). Its log entries
    // (LogOperation) carry the stamp; a unit that writes none cannot run once.
    explicit UnitOfWork(UnitIdentity identity);
    ~UnitOfWork();
    UnitOfWork(const UnitOfWork&) = delete;
    UnitOfWork& operator=(const UnitOfWork&) = delete;

    // A variable of the unit, NULL until a statement sets it.
    void declare(const QString& name, ParamType type);
    // A variable handed back as a column of the unit's one result row.
    void declareResult(const QString& name, ParamType type);
    bool hasVariable(const QString& name) const;

    // One statement, or a PSQL assignment ("F = 1"); the ";" is added.
    Step& add(const QString& statement);
    // The statements added until the matching endIf() run only when the
    // condition holds.
    Step& beginIf(const QString& condition);
    void endIf();
    // The statements added until the matching endWhile() run again for as
    // long as the condition holds: a unit that works through a list handed
    // to it as one value keeps one text however long the list is.
    Step& beginWhile(const QString& condition);
    void endWhile();
    // Ends the unit here with the results as they stand; what follows it
    // does not run. Meant inside beginIf(), for a check that refuses.
    void finish();
    // The unit's last step: hands back the row of results as they stand, then
    // one row more for each row of select, read into the results named by
    // into; the other results are NULL in those rows. For a unit that brings
    // back a list (the certificates of the goods it looked up) along with
    // its one row of figures.
    Step& suspendEach(const QString& select, const QStringList& into);

    bool runsOnce() const { return m_identity.has_value(); }
    // For LogOperation: the unit's log entry carries the identity.
    void stampLogEntry(Step& logEntry);

    bool isEmpty() const { return m_steps.empty(); }
    QString commandText() const;
    RemoteParams params() const;

    // Sends the unit through dataSet (closed first) as one AS_GetRecords and
    // leaves the dataset open on the result row. Throws what the server
    // throws (RemoteError), and then nothing of the unit is stored.
    //
    // A unit that collides with another terminal's write of the same rows
    // (the same goods' stock, the same counter) is rolled back whole and run
    // again by the server, so it still takes one request.
    //
    // A unit that runs once is sent a second time, with the same identity,
    // when the connection fails before its reply arrives; the server may
    // have applied it, and the second send then finds that out.
    void run(RemoteDataSet& dataSet) const;
    // Sends a unit built earlier (its commandText() and params(), kept while
    // the server could not be reached) as run() sends it.
    static void runBuilt(RemoteDataSet& dataSet, const QString& commandText,
                         const RemoteParams& params);
    // After run(): an earlier send of this unit had been applied, so this one
    // wrote nothing and its only result is the key its log entry names
    // (earlierKey()); the caller reads what it must show afresh.
    static bool ranBefore(const RemoteDataSet& dataSet);
    static qint32 earlierKey(const RemoteDataSet& dataSet);

private:
    struct Variable
    {
        QString name;
        ParamType type;
        bool result;
    };
    struct Built;

    Step& addStep(const QString& psql);
    Built build() const;

    QList<Variable> m_variables;
    std::vector<std::unique_ptr<Step>> m_steps;
    int m_openIfs = 0;           // beginIf() and beginWhile() not yet ended
    bool m_suspendsRows = false; // suspendEach() hands the rows back itself
    std::optional<UnitIdentity> m_identity;
    bool m_stamped = false;
};
