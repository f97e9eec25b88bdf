#include "client/core/localdatabase.h"

#include "client/core/clienterror.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

namespace {

// Long enough for another program on the same file (a tool reading the
// catalogue) to finish its write; short enough not to freeze the window.
constexpr int kBusyTimeoutMs = 2000;

QString sqliteText(sqlite3* handle)
{
    return handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("out of memory");
}

} // namespace

// --- Statement ---

LocalDatabase::Statement::Statement(LocalDatabase* database, sqlite3_stmt* statement,
                                    const QString& sql)
    : m_database(database), m_statement(statement), m_sql(sql)
{
}

LocalDatabase::Statement::Statement(Statement&& other) noexcept
    : m_database(other.m_database), m_statement(other.m_statement), m_sql(std::move(other.m_sql))
{
    other.m_statement = nullptr;
}

LocalDatabase::Statement& LocalDatabase::Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        finish();
        m_database = other.m_database;
        m_statement = other.m_statement;
        m_sql = std::move(other.m_sql);
        other.m_statement = nullptr;
    }
    return *this;
}

LocalDatabase::Statement::~Statement()
{
    finish();
}

void LocalDatabase::Statement::finish()
{
    if (m_statement)
        sqlite3_finalize(m_statement);
    m_statement = nullptr;
}

void LocalDatabase::Statement::check(int result, const char* what) const
{
    if (result != SQLITE_OK)
        m_database->fail(QStringLiteral("%1 in \"%2\"").arg(QLatin1String(what), m_sql));
}

LocalDatabase::Statement& LocalDatabase::Statement::bind(int index, int value)
{
    return bind(index, qint64(value));
}

LocalDatabase::Statement& LocalDatabase::Statement::bind(int index, qint64 value)
{
    if (sqlite3_stmt_busy(m_statement))
        sqlite3_reset(m_statement);
    check(sqlite3_bind_int64(m_statement, index, value), "binding");
    return *this;
}

LocalDatabase::Statement& LocalDatabase::Statement::bind(int index, double value)
{
    if (sqlite3_stmt_busy(m_statement))
        sqlite3_reset(m_statement);
    check(sqlite3_bind_double(m_statement, index, value), "binding");
    return *this;
}

LocalDatabase::Statement& LocalDatabase::Statement::bind(int index, const QString& text)
{
    if (sqlite3_stmt_busy(m_statement))
        sqlite3_reset(m_statement);
    const QByteArray utf8 = text.toUtf8();
    check(sqlite3_bind_text64(m_statement, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                              SQLITE_TRANSIENT, SQLITE_UTF8),
          "binding");
    return *this;
}

LocalDatabase::Statement& LocalDatabase::Statement::bind(int index, const QByteArray& blob)
{
    if (sqlite3_stmt_busy(m_statement))
        sqlite3_reset(m_statement);
    // An empty array has no data pointer, and SQLite binds a null pointer as
    // NULL; a zero-length blob stays a blob.
    const int result = blob.isEmpty()
                           ? sqlite3_bind_zeroblob(m_statement, index, 0)
                           : sqlite3_bind_blob64(m_statement, index, blob.constData(),
                                                 sqlite3_uint64(blob.size()), SQLITE_TRANSIENT);
    check(result, "binding");
    return *this;
}

LocalDatabase::Statement& LocalDatabase::Statement::bindNull(int index)
{
    if (sqlite3_stmt_busy(m_statement))
        sqlite3_reset(m_statement);
    check(sqlite3_bind_null(m_statement, index), "binding");
    return *this;
}

bool LocalDatabase::Statement::step()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    // Reset after the last row or a failure, so the statement holds no
    // snapshot and no lock; the bindings stay. After a failure the reset
    // gives the same error, which is already in hand.
    sqlite3_reset(m_statement);
    if (result != SQLITE_DONE)
        m_database->fail(QStringLiteral("running \"%1\"").arg(m_sql));
    return false;
}

void LocalDatabase::Statement::run()
{
    while (step()) {
    }
}

void LocalDatabase::Statement::reset()
{
    sqlite3_reset(m_statement);
}

qint64 LocalDatabase::Statement::columnInteger(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double LocalDatabase::Statement::columnDouble(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString LocalDatabase::Statement::columnText(int column) const
{
    // The text first, then its length: asking for the length may convert it.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column));
}

QByteArray LocalDatabase::Statement::columnBlob(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return QByteArray(bytes, sqlite3_column_bytes(m_statement, column));
}

bool LocalDatabase::Statement::columnIsNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

// --- LocalDatabase ---

void LocalDatabase::Closer::operator()(sqlite3* handle) const
{
    // The _v2 close waits for statements still prepared instead of failing.
    sqlite3_close_v2(handle);
}

LocalDatabase::LocalDatabase(const QString& path) : m_path(path)
{
    const QFileInfo file(path);
    if (!QDir().mkpath(file.absolutePath()))
        throw ClientError(QStringLiteral("%1: nevar izveidot mapi %2")
                              .arg(path, QDir::toNativeSeparators(file.absolutePath())));

    // SQLite takes file names as UTF-8 on every system.
    sqlite3* handle = nullptr;
    const int result = sqlite3_open_v2(path.toUtf8().constData(), &handle,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    m_handle.reset(handle);
    if (result != SQLITE_OK)
        fail(QStringLiteral("opening"));
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, kBusyTimeoutMs);

    // SQLite reads the file only now: a file that is not a database fails
    // here, before anything relies on it. WAL keeps a commit to one sync of
    // the log, and a reader never waits for the writer; FULL makes that
    // sync happen before commit returns, so a power cut loses nothing
    // committed (NORMAL would, in WAL mode). A file system without shared
    // memory keeps its old journal mode, which with FULL is just as safe.
    exec(QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; "
                        "PRAGMA foreign_keys = ON"));
    // The schema is read in full only by the first statement that needs it;
    // a damaged file must fail here, at the door, not on some later write.
    Statement probe = prepare(QStringLiteral("SELECT count(*) FROM sqlite_schema"));
    probe.run();
}

LocalDatabase::~LocalDatabase() = default;

QString LocalDatabase::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/Norvalk-local.sqlite");
}

void LocalDatabase::fail(const QString& what) const
{
    throw ClientError(QStringLiteral("%1: %2 (%3)")
                          .arg(QDir::toNativeSeparators(m_path), sqliteText(m_handle.get()), what));
}

void LocalDatabase::exec(const QString& sql)
{
    char* message = nullptr;
    const int result =
        sqlite3_exec(m_handle.get(), sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (result == SQLITE_OK)
        return;
    const QString text = message ? QString::fromUtf8(message) : sqliteText(m_handle.get());
    sqlite3_free(message);
    throw ClientError(
        QStringLiteral("%1: %2 (running \"%3\")").arg(QDir::toNativeSeparators(m_path), text, sql));
}

LocalDatabase::Statement LocalDatabase::prepare(const QString& sql)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v3(m_handle.get(), utf8.constData(), int(utf8.size()),
                                          SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (result != SQLITE_OK)
        fail(QStringLiteral("preparing \"%1\"").arg(sql));
    return Statement(this, statement, sql);
}

void LocalDatabase::transaction(const std::function<void()>& work)
{
    if (inTransaction())
        throw ClientError(
            QStringLiteral("%1: transakcija jau ir atvērta").arg(QDir::toNativeSeparators(m_path)));
    exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        work();
        exec(QStringLiteral("COMMIT"));
    } catch (...) {
        // Some failures (a full disk, an I/O error) have rolled back already;
        // the error that ended the work is the one to report.
        if (inTransaction())
            sqlite3_exec(m_handle.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

bool LocalDatabase::inTransaction() const
{
    return sqlite3_get_autocommit(m_handle.get()) == 0;
}

qint64 LocalDatabase::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_handle.get());
}

int LocalDatabase::changes() const
{
    return sqlite3_changes(m_handle.get());
}
