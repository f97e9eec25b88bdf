#include "client/core/unitofwork.h"

#include "client/core/clienterror.h"
#include "client/core/commonprocedures.h"
#include "client/core/providerproxy.h"
#include "client/core/remotedataset.h"
#include "client/core/serverconnection.h"
#include "common/namedparams.h"
#include "common/remoteerror.h"

namespace {

// Firebird 3 names are at most 31 characters long.
constexpr int kMaxNameLength = 31;
// Texts are declared in two widths only, so that the block's text, by which
// the server keeps its prepared statements, does not change with every value.
constexpr int kShortText = 255;
constexpr int kLongText = 8191; // the longest VARCHAR a UTF8 database takes

QString typeName(ParamType type, qsizetype textLength)
{
    switch (type) {
    case ParamType::Integer:
        return QStringLiteral("INTEGER");
    case ParamType::Double:
        return QStringLiteral("DOUBLE PRECISION");
    case ParamType::DateTime:
        return QStringLiteral("TIMESTAMP");
    case ParamType::Text:
        if (textLength > kLongText)
            throw ClientError(QStringLiteral("Teksts ir garāks par %1 rakstzīmēm").arg(kLongText));
        return QStringLiteral("VARCHAR(%1)").arg(textLength > kShortText ? kLongText : kShortText);
    case ParamType::Null:
        break;
    }
    throw ClientError(QStringLiteral("Parametram nav tipa"));
}

// The block's first steps when it runs once: the newest part of the operation
// log is searched for an entry stamped with the identity, and when there is
// one the block ends at once with that entry's record key. ONCE_LOG is the
// key of the entry the block writes (LogOperation): no entry written after it
// can lie at or below it, so it is the floor of the next identity.
const QString kOnceId = QStringLiteral("ONCE_ID");
const QString kOnceInputs = QStringLiteral("ONCE_ID VARCHAR(255) = :ONCE_ID,\n"
                                           "  ONCE_FLOOR INTEGER = :ONCE_FLOOR");
const QString kOnceResults = QStringLiteral("ONCE_RAN INTEGER, ONCE_KEY INTEGER, ONCE_LOG INTEGER");
const QStringList kOnceCheck = {
    QStringLiteral("ONCE_RAN = 0;"),
    QStringLiteral("SELECT FIRST 1 1, ISN_BAZE FROM O_OPERACIJAS WHERE ISN > :ONCE_FLOOR AND "
                   "PIEZIMES2 = :ONCE_ID INTO :ONCE_RAN, :ONCE_KEY;"),
    QStringLiteral("IF (ONCE_RAN = 1) THEN BEGIN SUSPEND; EXIT; END")};
// Marks the step finish() adds; what it becomes depends on whether the block
// hands back a row, which is known only when it is built.
const QString kFinishStep = QStringLiteral("\x01finish");

void checkName(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength)
        throw ClientError(QStringLiteral("Nederīgs nosaukums datu bāzei: '%1'").arg(name));
}

} // namespace

RemoteParam UnitArg::toParam(const QString& name) const
{
    if (isExpression())
        throw ClientError(QStringLiteral("Parametram '%1' ir izteiksme, nevis vērtība").arg(name));
    if (!m_value.isValid() || (m_type == ParamType::DateTime && !m_value.toDateTime().isValid()))
        return RemoteParam::null(name);
    return RemoteParam{name, m_type, ParamDirection::Input, m_value};
}

UnitArg UnitArg::expression(const QString& psql)
{
    UnitArg arg;
    arg.m_value = psql;
    return arg;
}

UnitOfWork::Step& UnitOfWork::Step::set(const QString& name, const UnitArg& value)
{
    for (auto& [existing, old] : m_values) {
        if (existing.compare(name, Qt::CaseInsensitive) == 0) {
            old = value;
            return *this;
        }
    }
    m_values.append({name, value});
    return *this;
}

UnitOfWork::Step& UnitOfWork::Step::set(const UnitValues& values)
{
    for (const auto& [name, value] : values)
        set(name, value);
    return *this;
}

struct UnitOfWork::Built
{
    QString sql;
    RemoteParams params;
};

UnitOfWork::UnitOfWork() = default;

UnitOfWork::UnitOfWork(UnitIdentity identity) : m_identity(std::move(identity))
{
    if (m_identity->text.isEmpty() || m_identity->text.size() > 99)
        throw ClientError(
            QStringLiteral("Nederīga vienības identitāte: '%1'").arg(m_identity->text));
}

UnitOfWork::~UnitOfWork() = default;

void UnitOfWork::stampLogEntry(Step& logEntry)
{
    if (!m_identity)
        return;
    logEntry.set(QStringLiteral("PIEZIMES2"), UnitArg::variable(QStringLiteral("ONCE_ID")));
    m_stamped = true;
}

void UnitOfWork::declare(const QString& name, ParamType type)
{
    checkName(name);
    m_variables.append({name.toUpper(), type, false});
}

void UnitOfWork::declareResult(const QString& name, ParamType type)
{
    checkName(name);
    m_variables.append({name.toUpper(), type, true});
}

bool UnitOfWork::hasVariable(const QString& name) const
{
    const QString upper = name.toUpper();
    // A unit that runs once hands back the key of its log entry (LogOperation).
    if (m_identity && upper == QLatin1String("ONCE_LOG"))
        return true;
    for (const Variable& variable : m_variables) {
        if (variable.name == upper)
            return true;
    }
    return false;
}

UnitOfWork::Step& UnitOfWork::addStep(const QString& psql)
{
    m_steps.push_back(std::unique_ptr<Step>(new Step(psql)));
    return *m_steps.back();
}

UnitOfWork::Step& UnitOfWork::add(const QString& statement)
{
    return addStep(statement + QLatin1Char(';'));
}

UnitOfWork::Step& UnitOfWork::beginIf(const QString& condition)
{
    ++m_openIfs;
    return addStep(QStringLiteral("IF (") + condition + QStringLiteral(") THEN BEGIN"));
}

UnitOfWork::Step& UnitOfWork::beginWhile(const QString& condition)
{
    ++m_openIfs;
    return addStep(QStringLiteral("WHILE (") + condition + QStringLiteral(") DO BEGIN"));
}

// Both blocks end alike; which one is closed is the caller's to keep right.
void UnitOfWork::endIf()
{
    if (m_openIfs == 0)
        throw ClientError(QStringLiteral("endIf bez beginIf"));
    --m_openIfs;
    addStep(QStringLiteral("END"));
}

void UnitOfWork::endWhile()
{
    endIf();
}

void UnitOfWork::finish()
{
    addStep(kFinishStep);
}

UnitOfWork::Step& UnitOfWork::suspendEach(const QString& select, const QStringList& into)
{
    addStep(QStringLiteral("SUSPEND;"));
    // Cleared in the loop, not before it: the select may read them (the key
    // of the goods whose certificates it lists) as it opens.
    QString cleared;
    for (const Variable& variable : m_variables) {
        if (variable.result && !into.contains(variable.name, Qt::CaseInsensitive))
            cleared += variable.name + QStringLiteral(" = NULL; ");
    }
    m_suspendsRows = true;
    return addStep(QStringLiteral("FOR ") + select + QStringLiteral(" INTO :") +
                   into.join(QStringLiteral(", :")) + QStringLiteral(" DO BEGIN ") + cleared +
                   QStringLiteral("SUSPEND; END"));
}

UnitOfWork::Built UnitOfWork::build() const
{
    if (m_openIfs != 0)
        throw ClientError(QStringLiteral("beginIf bez endIf"));
    if (m_identity && !m_stamped)
        throw ClientError(QStringLiteral("Vienībai, kas izpildāma vienreiz, nav žurnāla ieraksta"));
    Built built;
    QStringList inputs;
    QStringList body;
    QStringList results;
    if (m_identity) {
        inputs << kOnceInputs;
        built.params << RemoteParam{kOnceId, ParamType::Text, ParamDirection::Input,
                                    m_identity->text}
                     << RemoteParam{QStringLiteral("ONCE_FLOOR"), ParamType::Integer,
                                    ParamDirection::Input, m_identity->logFloor};
        results << kOnceResults;
        body << kOnceCheck;
    }
    bool hasResults = m_identity.has_value();
    for (const Variable& variable : m_variables)
        hasResults = hasResults || variable.result;
    for (size_t index = 0; index < m_steps.size(); ++index) {
        const Step& step = *m_steps[index];
        if (step.m_psql == kFinishStep) {
            // A block with results hands its row over at SUSPEND; EXIT alone
            // would end it without one.
            body << (hasResults ? QStringLiteral("SUSPEND; EXIT;") : QStringLiteral("EXIT;"));
            continue;
        }
        const QString prefix = QStringLiteral("P%1_").arg(index + 1);
        body << renameMarkers(step.m_psql, [&](const QString& marker) -> QString {
            for (const auto& [name, value] : step.m_values) {
                if (name.compare(marker, Qt::CaseInsensitive) != 0)
                    continue;
                if (value.isExpression())
                    return QLatin1Char('(') + value.psql() + QLatin1Char(')');
                const QString input = prefix + marker.toUpper();
                checkName(input);
                if (!findParam(built.params, input)) {
                    inputs << input + QLatin1Char(' ') +
                                  typeName(value.type(), value.value().toString().size()) +
                                  QStringLiteral(" = :") + input;
                    built.params.append(value.toParam(input));
                }
                return QLatin1Char(':') + input;
            }
            if (hasVariable(marker))
                return QLatin1Char(':') + marker;
            throw ClientError(QStringLiteral("Vienības solim %1 nav parametra '%2' vērtības: %3")
                                  .arg(index + 1)
                                  .arg(marker, step.m_psql));
        });
    }

    QStringList locals;
    for (const Variable& variable : m_variables) {
        const QString declaration =
            variable.name + QLatin1Char(' ') +
            typeName(variable.type, variable.type == ParamType::Text ? kLongText : 0);
        if (variable.result)
            results << declaration;
        else
            locals << QStringLiteral("DECLARE VARIABLE ") + declaration + QLatin1Char(';');
    }

    QString& sql = built.sql;
    sql = QStringLiteral("EXECUTE BLOCK");
    if (!inputs.isEmpty())
        sql +=
            QStringLiteral(" (\n  ") + inputs.join(QStringLiteral(",\n  ")) + QStringLiteral(")");
    if (!results.isEmpty())
        sql += QStringLiteral("\nRETURNS (") + results.join(QStringLiteral(", ")) +
               QStringLiteral(")");
    sql += QStringLiteral("\nAS\n");
    for (const QString& local : locals)
        sql += local + QLatin1Char('\n');
    sql += QStringLiteral("BEGIN\n");
    for (const QString& line : body)
        sql += QStringLiteral("  ") + line + QLatin1Char('\n');
    // Firebird hands the results of a block back as a row only at SUSPEND.
    if (!results.isEmpty() && !m_suspendsRows)
        sql += QStringLiteral("  SUSPEND;\n");
    sql += QStringLiteral("END");
    return built;
}

QString UnitOfWork::commandText() const
{
    return build().sql;
}

RemoteParams UnitOfWork::params() const
{
    return build().params;
}

namespace {

void send(RemoteDataSet& dataSet, const QString& sql, const RemoteParams& params)
{
    dataSet.close();
    dataSet.setCommandText(sql);
    for (const RemoteParam& param : params)
        dataSet.setParam(param);
    dataSet.open();
}

ServerConnection* connectionOf(const RemoteDataSet& dataSet)
{
    return dataSet.remoteServer() ? dataSet.remoteServer()->sqlConnection() : nullptr;
}

} // namespace

void UnitOfWork::run(RemoteDataSet& dataSet) const
{
    const Built built = build();
    runBuilt(dataSet, built.sql, built.params);
}

// The reply of a unit that runs once may be lost with the connection after
// the server applied it; sent again, the unit finds its own log entry and
// says so. One more send only: a connection that cannot be had again now is
// the caller's to report (or queue), with the same identity.
void UnitOfWork::runBuilt(RemoteDataSet& dataSet, const QString& commandText,
                          const RemoteParams& params)
{
    if (!findParam(params, kOnceId)) {
        send(dataSet, commandText, params);
        return;
    }
    try {
        send(dataSet, commandText, params);
    } catch (const RemoteError& error) {
        if (error.kind() != RemoteError::Kind::Transport)
            throw;
        try {
            // The lost reply took the connection offline; this one send is
            // worth a live connect at once rather than the background's pause.
            if (ServerConnection* connection = connectionOf(dataSet))
                connection->setConnected(false);
            PrepareDataset(dataSet);
        } catch (const std::exception&) {
            throw error; // what the worker must know: the reply never came
        }
        send(dataSet, commandText, params);
    }
    ServerConnection* connection = connectionOf(dataSet);
    const DataSetField log = dataSet.fieldByName(QStringLiteral("ONCE_LOG"));
    if (connection && !log.isNull())
        connection->noteLogFloor(log.asInteger());
}

bool UnitOfWork::ranBefore(const RemoteDataSet& dataSet)
{
    return dataSet.fieldByName(QStringLiteral("ONCE_RAN")).asInteger() == 1;
}

qint32 UnitOfWork::earlierKey(const RemoteDataSet& dataSet)
{
    return dataSet.fieldByName(QStringLiteral("ONCE_KEY")).asInteger();
}
