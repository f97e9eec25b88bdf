#include "client/core/linequeue.h"

#include "client/core/clienterror.h"
#include "common/providerprotocol.h"

namespace {

// Times are milliseconds since the epoch, UTC: they sort as numbers and mean
// the same whatever the terminal's time zone is later set to.
const QString kSchema = QStringLiteral(R"(
CREATE TABLE IF NOT EXISTS queued_lines (
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    identity TEXT NOT NULL UNIQUE,
    log_floor INTEGER NOT NULL,
    created_ms INTEGER NOT NULL,
    document_kind INTEGER NOT NULL,
    document_isn INTEGER NOT NULL,
    document_number TEXT NOT NULL,
    article TEXT NOT NULL,
    goods_name TEXT NOT NULL,
    quantity REAL NOT NULL,
    unit BLOB NOT NULL,
    state INTEGER NOT NULL DEFAULT 0 CHECK (state BETWEEN 0 AND 3),
    sends INTEGER NOT NULL DEFAULT 0,
    message TEXT,
    outcome BLOB,
    answered_ms INTEGER
);
CREATE INDEX IF NOT EXISTS queued_lines_document
    ON queued_lines (document_kind, document_isn, seq);
)");

// AUTOINCREMENT: a sequence is never given twice, even after the last line
// was removed, so a line's number in a log means one line only.
const QString kColumns = QStringLiteral(
    "seq, identity, log_floor, created_ms, document_kind, document_isn, document_number, "
    "article, goods_name, quantity, unit, state, sends, message, outcome");

const QString kInsert = QStringLiteral(
    "INSERT INTO queued_lines (identity, log_floor, created_ms, document_kind, document_isn, "
    "document_number, article, goods_name, quantity, unit) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
const QString kNext =
    QStringLiteral("SELECT %1 FROM queued_lines WHERE state IN (0, 1) ORDER BY seq LIMIT 1")
        .arg(kColumns);
const QString kFind =
    QStringLiteral("SELECT %1 FROM queued_lines WHERE identity = ?1").arg(kColumns);
const QString kSetLogFloor = QStringLiteral(
    "UPDATE queued_lines SET log_floor = ?2 WHERE identity = ?1 AND state = 0 AND sends = 0");
const QString kMarkSending = QStringLiteral(
    "UPDATE queued_lines SET state = 1, sends = sends + 1 WHERE identity = ?1 AND state IN (0, 1)");
const QString kMarkDone =
    QStringLiteral("UPDATE queued_lines SET state = 3, outcome = ?2, answered_ms = ?3 "
                   "WHERE identity = ?1 AND state = 1");
const QString kMarkRefused =
    QStringLiteral("UPDATE queued_lines SET state = 2, message = ?2, answered_ms = ?3 "
                   "WHERE identity = ?1 AND state = 1");
const QString kDrop =
    QStringLiteral("DELETE FROM queued_lines WHERE identity = ?1 AND state IN (0, 2)");
const QString kForgetDone =
    QStringLiteral("DELETE FROM queued_lines WHERE state = 3 AND answered_ms < ?1");
const QString kWaitingCount =
    QStringLiteral("SELECT count(*) FROM queued_lines WHERE state IN (0, 1)");
const QString kRefused =
    QStringLiteral("SELECT %1 FROM queued_lines WHERE state = 2 ORDER BY seq").arg(kColumns);
const QString kOfDocument = QStringLiteral("SELECT %1 FROM queued_lines "
                                           "WHERE document_kind = ?1 AND document_isn = ?2 "
                                           "AND state <> 3 ORDER BY seq")
                                .arg(kColumns);

QString stateName(QueuedLineState state)
{
    switch (state) {
    case QueuedLineState::Waiting:
        return QStringLiteral("gaida");
    case QueuedLineState::Sending:
        return QStringLiteral("sūtīta");
    case QueuedLineState::Refused:
        return QStringLiteral("noraidīta");
    case QueuedLineState::Done:
        return QStringLiteral("izpildīta");
    }
    return QString();
}

QueuedLine lineAt(const LocalDatabase::Statement& row)
{
    QueuedLine line;
    line.sequence = row.columnInteger(0);
    line.identity = row.columnText(1);
    line.logFloor = row.columnInteger(2);
    line.created = QDateTime::fromMSecsSinceEpoch(row.columnInteger(3), Qt::UTC);
    line.documentKind = qint32(row.columnInteger(4));
    line.documentIsn = qint32(row.columnInteger(5));
    line.documentNumber = row.columnText(6);
    line.article = row.columnText(7);
    line.goodsName = row.columnText(8);
    line.quantity = row.columnDouble(9);
    line.unit = row.columnBlob(10);
    line.state = QueuedLineState(row.columnInteger(11));
    line.sends = int(row.columnInteger(12));
    line.message = row.columnText(13);
    line.outcome = row.columnBlob(14);
    return line;
}

// The table exists before the queue's statements are prepared against it.
LocalDatabase& withSchema(LocalDatabase& database)
{
    database.exec(kSchema);
    return database;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

QByteArray EncodeUnit(const QString& commandText, const RemoteParams& params)
{
    // The request's own encoding: the unit is kept as it will travel, and a
    // later terminal still reads it, as the server reads every older version.
    ProviderRequest request;
    request.operation = ProviderOperation::GetRecords;
    request.commandText = commandText;
    request.params = params;
    return encodeRequest(request);
}

QueuedUnit DecodeUnit(const QByteArray& bytes)
{
    Decoded<ProviderRequest> decoded = decodeRequest(bytes);
    if (!decoded.value)
        throw ClientError(QStringLiteral("Rindas vienība nav nolasāma: %1").arg(decoded.error));
    return QueuedUnit{decoded.value->commandText, decoded.value->params};
}

LineQueue::LineQueue(LocalDatabase& database)
    : m_database(withSchema(database)), m_insert(database.prepare(kInsert)),
      m_next(database.prepare(kNext)), m_find(database.prepare(kFind)),
      m_setLogFloor(database.prepare(kSetLogFloor)), m_markSending(database.prepare(kMarkSending)),
      m_markDone(database.prepare(kMarkDone)), m_markRefused(database.prepare(kMarkRefused)),
      m_drop(database.prepare(kDrop)), m_forgetDone(database.prepare(kForgetDone)),
      m_waitingCount(database.prepare(kWaitingCount)), m_refused(database.prepare(kRefused)),
      m_ofDocument(database.prepare(kOfDocument))
{
}

qint64 LineQueue::insert(const QueuedLine& line)
{
    const qint64 created = line.created.isValid() ? line.created.toMSecsSinceEpoch() : nowMs();
    m_insert.bind(1, line.identity)
        .bind(2, line.logFloor)
        .bind(3, created)
        .bind(4, line.documentKind)
        .bind(5, line.documentIsn)
        .bind(6, line.documentNumber)
        .bind(7, line.article)
        .bind(8, line.goodsName)
        .bind(9, line.quantity)
        .bind(10, line.unit);
    try {
        m_insert.run();
    } catch (const ClientError&) {
        // The file's own words say "UNIQUE constraint failed"; the person
        // needs to know which line.
        if (find(line.identity))
            throw ClientError(
                QStringLiteral("Rindā jau ir rindiņa ar identitāti %1").arg(line.identity));
        throw;
    }
    return m_database.lastInsertId();
}

qint64 LineQueue::enqueue(const QueuedLine& line)
{
    // One statement in autocommit mode is one transaction, synced on return.
    return insert(line);
}

void LineQueue::enqueueAll(const QList<QueuedLine>& lines)
{
    m_database.transaction([&] {
        for (const QueuedLine& line : lines)
            insert(line);
    });
}

QList<QueuedLine> LineQueue::select(LocalDatabase::Statement& statement)
{
    QList<QueuedLine> lines;
    while (statement.step())
        lines.append(lineAt(statement));
    return lines;
}

std::optional<QueuedLine> LineQueue::nextToSend()
{
    QList<QueuedLine> lines = select(m_next);
    return lines.isEmpty() ? std::nullopt : std::optional(lines.takeFirst());
}

std::optional<QueuedLine> LineQueue::find(const QString& identity)
{
    m_find.bind(1, identity);
    QList<QueuedLine> lines = select(m_find);
    return lines.isEmpty() ? std::nullopt : std::optional(lines.takeFirst());
}

void LineQueue::changeOne(LocalDatabase::Statement& statement, const QString& identity,
                          const QString& refusal)
{
    statement.run();
    if (m_database.changes() == 1)
        return;
    const std::optional<QueuedLine> line = find(identity);
    if (!line)
        throw ClientError(QStringLiteral("Rindā nav rindiņas %1").arg(identity));
    throw ClientError(
        QStringLiteral("Rindiņa %1 ir %2: %3").arg(identity, stateName(line->state), refusal));
}

void LineQueue::setLogFloor(const QString& identity, qint64 logFloor)
{
    m_setLogFloor.bind(1, identity).bind(2, logFloor);
    changeOne(m_setLogFloor, identity, QStringLiteral("to vairs nevar mainīt"));
}

void LineQueue::markSending(const QString& identity)
{
    m_markSending.bind(1, identity);
    changeOne(m_markSending, identity, QStringLiteral("to vairs nesūta"));
}

void LineQueue::markDone(const QString& identity, const QByteArray& outcome)
{
    m_markDone.bind(1, identity).bind(2, outcome).bind(3, nowMs());
    changeOne(m_markDone, identity, QStringLiteral("uz to nav gaidāma atbilde"));
}

void LineQueue::markRefused(const QString& identity, const QString& message)
{
    m_markRefused.bind(1, identity).bind(2, message).bind(3, nowMs());
    changeOne(m_markRefused, identity, QStringLiteral("uz to nav gaidāma atbilde"));
}

void LineQueue::drop(const QString& identity)
{
    m_drop.bind(1, identity);
    changeOne(m_drop, identity, QStringLiteral("to nevar izņemt"));
}

int LineQueue::forgetDone(const QDateTime& before)
{
    m_forgetDone.bind(1, before.toMSecsSinceEpoch());
    m_forgetDone.run();
    return m_database.changes();
}

int LineQueue::waitingCount()
{
    m_waitingCount.step();
    const int count = int(m_waitingCount.columnInteger(0));
    m_waitingCount.reset();
    return count;
}

QList<QueuedLine> LineQueue::refused()
{
    return select(m_refused);
}

QList<QueuedLine> LineQueue::linesOfDocument(qint32 documentKind, qint32 documentIsn)
{
    m_ofDocument.bind(1, documentKind).bind(2, documentIsn);
    return select(m_ofDocument);
}
