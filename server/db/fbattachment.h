#pragma once

#include "common/datapacket.h"
#include "common/packetcodec.h"
#include "common/remoteparam.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <atomic>
#include <limits>
#include <list>
#include <memory>
#include <stdexcept>

struct FbConnectParams
{
    // A plain path attaches the embedded engine; "host:path" or "host/port:path"
    // goes through the network.
    QString database;
    QString user = QStringLiteral("SYSDBA");
    QString password;
    // "" attaches without lc_ctype (NONE): text then travels as bytes in the
    // installation's code page. "UTF8" makes Firebird transliterate to UTF-8.
    QString characterSet;
    // How long a statement waits for a row another transaction has locked:
    // > 0 seconds, 0 fails at once, < 0 waits for as long as it takes.
    int lockTimeoutSeconds = 10;
    // How long a write that another transaction's change of the same rows
    // refused is rolled back and run again before its error is reported.
    int conflictRetryMs = 5000;
};

class FbStatement;
class FbTextCodec;

// How much of a result a call may return.
struct RowLimits
{
    qint32 maxRows = -1; // all when negative
    // Bytes of encoded rows; a result that grows past it is given up.
    qint64 maxBytes = std::numeric_limits<qint64>::max();
};

// A result that grew past RowLimits::maxBytes while it was being fetched;
// nothing of it is kept, and the statement itself was sound.
class ResultTooLarge final : public std::runtime_error
{
public:
    explicit ResultTooLarge(qint64 limit)
        : std::runtime_error("result over the byte limit"), m_limit(limit)
    {
    }
    qint64 limit() const { return m_limit; }

private:
    qint64 m_limit;
};

// One Firebird attachment over the client library's ISC API, keeping prepared
// statements across calls because preparing costs fifty times more than running.
// A statement that may change data runs in a transaction of its own, committed
// before run() returns, so what one call wrote is visible to the next call of
// any attachment. When such a statement meets another transaction's change of
// the same rows (an update conflict, a deadlock), its transaction is rolled
// back and it runs again at once in a fresh one, for a while: so terminals
// saving the same goods at once each get through in one request. Selects run in one read-only
// read-committed transaction kept open for the attachment's life, which sees every commit as it
// happens. Not thread-safe: one thread at a time per attachment; separate attachments may run in
// parallel.
class FbAttachment final
{
public:
    static constexpr int defaultStatementCacheCapacity = 128;

    explicit FbAttachment(int statementCacheCapacity = defaultStatementCacheCapacity);
    ~FbAttachment();
    FbAttachment(const FbAttachment&) = delete;
    FbAttachment& operator=(const FbAttachment&) = delete;

    // Throws DatabaseError. Reopening closes the previous attachment first.
    void open(const FbConnectParams& params);
    // Frees the cached statements and detaches; never throws.
    void close() noexcept;
    bool isOpen() const { return m_db != 0; }
    // Any thread: makes the statement that runs now on this attachment fail
    // at once (isc_cancelled), and the call runs it no more after a write
    // conflict; nothing happens when no call runs.
    void cancelOperation() noexcept;

    // The database's default character set ("UTF8", "WIN1257", "NONE", ...).
    QString databaseCharacterSet();

    // Runs one statement with :NAME markers bound from params (by name, case-
    // insensitively; a missing or null parameter binds NULL). Selects return
    // their rows within the limits; EXECUTE PROCEDURE and ... RETURNING return
    // their single row; anything else returns a packet without columns. The
    // rows are encoded as they are fetched, nothing else is built. Throws
    // DatabaseError, after one with connectionLost() the attachment is
    // closed; or ResultTooLarge.
    EncodedPacket runEncoded(const QString& sql, const RemoteParams& params,
                             const RowLimits& limits = {});
    // The same, decoded into values (at most maxRows rows, all when negative).
    DataPacket run(const QString& sql, const RemoteParams& params, qint32 maxRows = -1);

    int cachedStatementCount() const { return int(m_statements.size()); }
    // Frees the cached statements and ends the reading transaction, so that
    // the next statements are prepared against the schema as it is now (a
    // prepared statement keeps the triggers and procedures it was prepared
    // with). Never throws.
    void dropStatements() noexcept;

    // Whether a call since the last clearWriteMark() handed the database a
    // statement that may change data: after that, a lost connection may have
    // left the change applied, commit included, and the call must not be
    // repeated. Reopening keeps the mark.
    bool writeSent() const { return m_writeSent; }
    void clearWriteMark() { m_writeSent = false; }

    // What the calls since the last clearConflicts() met of other
    // transactions' writes of the same rows.
    struct Conflicts
    {
        int retries = 0;     // times a statement was rolled back and run again
        bool gaveUp = false; // a call failed for such a write all the same
    };
    Conflicts conflicts() const { return m_conflicts; }
    void clearConflicts() { m_conflicts = {}; }

private:
    using StatementList = std::list<std::unique_ptr<FbStatement>>;
    class Transaction;

    EncodedPacket runStatement(FbStatement& statement, const RemoteParams& params,
                               const RowLimits& limits);
    EncodedPacket runInOwnTransaction(FbStatement& statement, const RemoteParams& params,
                                      const RowLimits& limits);
    EncodedPacket execute(unsigned int& transaction, FbStatement& statement,
                          const RemoteParams& params, const RowLimits& limits);
    unsigned int& readTransaction(); // isc_tr_handle
    FbStatement& cachedStatement(const QString& sql);
    void requireOpen() const;
    void releaseUnwanted(const QString& sql);
    void forget(const QString& sql);

    const int m_capacity;
    unsigned int m_db = 0;                       // isc_db_handle
    std::atomic<unsigned int> m_cancelHandle{0}; // m_db, for other threads
    std::unique_ptr<FbTextCodec> m_codec;
    std::unique_ptr<Transaction> m_reader; // reads; open from the first read to close()
    QByteArray m_readOnlyTpb;
    QByteArray m_readWriteTpb;
    StatementList m_statements; // most recently used first
    QHash<QString, StatementList::iterator> m_index;
    int m_conflictRetryMs = 0;
    std::atomic<bool> m_cancelled{false}; // cancelOperation() since the call began
    bool m_writeSent = false;
    Conflicts m_conflicts;
};
