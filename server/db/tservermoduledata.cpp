#include "server/db/tservermoduledata.h"

#include "common/frame.h"
#include "server/db/databaseerror.h"
#include "server/db/fbattachment.h"
#include "server/db/logsafetext.h"
#include "server/db/providercatalogue.h"
#include "server/db/statementcatalogue.h"
#include "server/db/unitsinflight.h"

#include <algorithm>
#include <optional>

namespace {

// Request parameters by name over the provider's own, so a request that sets
// only some parameters of the provider's SQL still binds the rest (as NULL).
RemoteParams mergedParams(const RemoteParams& design, const RemoteParams& sent)
{
    RemoteParams merged = design;
    for (const RemoteParam& param : sent)
        setParam(merged, param);
    return merged;
}

QString requireSql(const ProviderDefinition& provider, const QString& commandText)
{
    const QString sql = commandText.trimmed().isEmpty() ? provider.designSql : commandText;
    if (sql.trimmed().isEmpty())
        throw DatabaseError(QStringLiteral("Provaiderim %1 nav SQL teksta").arg(provider.name),
                            false);
    return sql;
}

void requireServerClass(const ProviderRequest& request)
{
    if (request.serverClass != QLatin1String(kServerClassName))
        throw DatabaseError(
            QStringLiteral("Servera klase '%1' nav atrasta").arg(request.serverClass.left(64)),
            false);
}

const ProviderDefinition& requireProvider(const QString& name)
{
    const ProviderDefinition* provider = ProviderCatalogue::find(name);
    if (!provider)
        throw DatabaseError(QStringLiteral("Provaiders '%1' nav atrasts").arg(name.left(64)),
                            false);
    return *provider;
}

// A reply to a request with a handle leaves out the parameters the terminal
// already has: only those the statement may give back go with it.
// The identity a unit that runs once carries (client/core/unitofwork.cpp).
const QString kUnitIdentity = QStringLiteral("ONCE_ID");
// Longer than a unit can run: the lock wait and the write conflicts' budget.
constexpr std::chrono::seconds kInFlightWait{30};

RemoteParams returnedParams(RemoteParams params)
{
    params.removeIf(
        [](const RemoteParam& param) { return param.direction == ParamDirection::Input; });
    return params;
}

// Blank: the provider's own SQL runs (see requireSql).
bool isBlank(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

// Enough of a refused text to recognise it by, on one line: its start names
// the statement. Values travel as parameters and never reach the log; one
// written into the text itself is hidden as in error texts.
constexpr qsizetype kLoggedTextLength = 60;

} // namespace

const QString TServerModuleData::kRefusedText =
    QStringLiteral("Serveris šo vaicājumu neizpilda: tā nav termināļa vaicājumu sarakstā !!!");

TServerModuleData::TServerModuleData(std::shared_ptr<UnitsInFlight> unitsInFlight,
                                     std::shared_ptr<const StatementCatalogue> statements, Log log)
    : m_unitsInFlight(std::move(unitsInFlight)), m_statements(std::move(statements)),
      m_log(std::move(log))
{
}

TServerModuleData::~TServerModuleData() = default;

bool TServerModuleData::needsDatabase(ProviderOperation operation)
{
    return operation == ProviderOperation::GetRecords || operation == ProviderOperation::Execute;
}

ProviderAnswer TServerModuleData::handle(const ProviderRequest& request, FbAttachment& database)
{
    ProviderAnswer answer;
    try {
        requireServerClass(request);
        ProviderRequest resolved;
        // A bare handle's text was judged when it was registered.
        const bool carriesText = !request.handle || request.withText;
        if (carriesText && !allows(request.commandText)) {
            // Nor does a handle the terminal meant for it run what it held before.
            if (request.handle)
                m_handles.forget(*request.handle);
            answer = ProviderAnswer::failure(kRefusedText);
        } else if (const ProviderRequest* whole = resolve(request, resolved)) {
            std::optional<UnitsInFlight::Turn> turn;
            const RemoteParam* identity = findParam(whole->params, kUnitIdentity);
            if (m_unitsInFlight && identity && !identity->value.toString().isEmpty()) {
                turn.emplace(m_unitsInFlight->enter(identity->value.toString(), kInFlightWait));
                if (!*turn)
                    throw DatabaseError(QStringLiteral("Šī pati darbība vēl tiek izpildīta; "
                                                       "mēģiniet vēlreiz"),
                                        false);
            }
            answer = runStatement(*whole, database);
            answer.reply.ownerData = request.ownerData;
            if (request.handle)
                answer.reply.params = returnedParams(std::move(answer.reply.params));
        } else {
            answer = ProviderAnswer::failure(
                QStringLiteral("Serveris nepazīst pieprasījuma teksta numuru %1; terminālim tas "
                               "jāsūta vēlreiz ar tekstu")
                    .arg(*request.handle));
            answer.reply.unknownHandle = true;
        }
    } catch (const DatabaseError& error) {
        if (error.connectionLost())
            throw; // the worker opens its attachment again and retries
        answer = ProviderAnswer::failure(error.message());
    } catch (const ResultTooLarge&) {
        answer = ProviderAnswer::failure(
            QStringLiteral("Vaicājuma rezultāts pārsniedz %1 MiB, ko serveris var nosūtīt vienā "
                           "atbildē; sašauriniet vaicājumu !!!")
                .arg(kMaxReplyBody / (1024 * 1024)));
    }
    answer.reply.id = request.id;
    answer.reply.version = request.version;
    return answer;
}

const ProviderRequest* TServerModuleData::resolve(const ProviderRequest& request,
                                                  ProviderRequest& resolved)
{
    if (!request.handle)
        return &request;
    if (request.withText) {
        m_handles.remember(*request.handle, request.commandText, request.params);
        return &request;
    }
    const StatementHandles::Statement* statement = m_handles.find(*request.handle);
    if (!statement)
        return nullptr;
    resolved = request;
    resolved.commandText = statement->text;
    if (request.bareValues) {
        QString error;
        std::optional<RemoteParams> params =
            paramsFromValues(statement->params, request.values, &error);
        if (!params)
            throw DatabaseError(
                QStringLiteral("Nederīgas parametru vērtības pieprasījumā: %1").arg(error), false);
        resolved.params = std::move(*params);
    }
    return &resolved;
}

bool TServerModuleData::allows(const QString& commandText)
{
    if (!m_statements || m_freeSql || m_statements->contains(commandText) || isBlank(commandText) ||
        ProviderCatalogue::isDesignSql(commandText))
        return true;
    if (!m_refusalLogged && m_log) {
        // Once per session: a terminal that keeps sending must not fill the log.
        m_refusalLogged = true;
        m_log(QStringLiteral("Terminālim %1 atteikts vaicājums ārpus saraksta: %2")
                  .arg(m_terminalName.isEmpty() ? QStringLiteral("(nezināms)") : m_terminalName,
                       logSafeText(commandText.simplified()).left(kLoggedTextLength)));
    }
    return false;
}

ProviderReply TServerModuleData::handleWithoutDatabase(const ProviderRequest& request)
{
    try {
        requireServerClass(request);
        ProviderReply reply;
        switch (request.operation) {
        case ProviderOperation::GetParams:
            reply.params = requireProvider(request.provider).designParams;
            break;
        case ProviderOperation::ApplyUpdates:
            reply = applyUpdates(request);
            break;
        case ProviderOperation::RowRequest:
            requireProvider(request.provider);
            break; // no row refresh: the provider returns no extra data
        case ProviderOperation::DataRequest:
            requireProvider(request.provider);
            reply.data = QCborValue(QCborValue::Null);
            break;
        case ProviderOperation::GetProviderNames:
            reply.providerNames = ProviderCatalogue::names();
            break;
        case ProviderOperation::GetRecords:
        case ProviderOperation::Execute:
            throw DatabaseError(QStringLiteral("Pieprasījumam vajag datu bāzi"), false);
        }
        reply.id = request.id;
        reply.version = request.version;
        reply.ownerData = request.ownerData;
        return reply;
    } catch (const DatabaseError& error) {
        return ProviderReply::failure(request.id, error.message());
    }
}

ProviderAnswer TServerModuleData::runStatement(const ProviderRequest& request,
                                               FbAttachment& database)
{
    const ProviderDefinition& provider = requireProvider(request.provider);
    const QString sql = requireSql(provider, request.commandText);
    ProviderAnswer answer;
    answer.reply.params = mergedParams(provider.designParams, request.params);
    // The envelope around the rows holds at most what the request brought
    // (its parameters come back), and a little more.
    const RowLimits limits{request.recordCount, kMaxReplyBody - kMaxRequestBody - 65536};
    EncodedPacket rows = database.runEncoded(sql, answer.reply.params, limits);
    if (request.operation == ProviderOperation::GetRecords) {
        answer.reply.recordsReturned = rows.rowCount;
        answer.rows = std::move(rows);
    }
    return answer;
}

ProviderReply TServerModuleData::applyUpdates(const ProviderRequest& request) const
{
    requireProvider(request.provider);
    ProviderReply reply;
    if (request.delta.rows.isEmpty())
        return reply;
    // Terminals change data with statements through AS_Execute; a delta is
    // answered row by row as failed so that nothing is silently dropped.
    reply.packet = request.delta;
    reply.packet.columns.append({QStringLiteral("ERROR_MESSAGE"), FieldType::Text, 250});
    const QString reason = QStringLiteral(
        "Izmaiņu pakete netiek pieņemta: izmaiņas jāsūta kā SQL komanda (AS_Execute)");
    for (QVariantList& row : reply.packet.rows)
        row.append(reason);
    reply.errorCount = qint32(reply.packet.rows.size());
    return reply;
}
