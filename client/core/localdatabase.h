#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// One SQLite file on the terminal's own disk, for what the terminal must keep
// without the server: the queue of lines not yet sent, a copy of the goods
// catalogue. Opened in write-ahead-log mode with synchronous=FULL, so a
// committed transaction is on the disk when commit returns and survives a
// crash or a power cut; a half-written one is rolled back on the next open.
//
// The object owns the connection; statements it prepares must not outlive
// it. Used from the thread that made it (the terminal has one). Every error
// throws ClientError with SQLite's own text, the file and what was being done.
//
//     LocalDatabase db(path);
//     db.exec("CREATE TABLE IF NOT EXISTS t (a INTEGER, b TEXT)");
//     db.transaction([&] {
//         LocalDatabase::Statement insert = db.prepare("INSERT INTO t VALUES (?1, ?2)");
//         insert.bind(1, 7).bind(2, QStringLiteral("seven"));
//         insert.run();
//     });
//     LocalDatabase::Statement select = db.prepare("SELECT b FROM t WHERE a = ?1");
//     select.bind(1, 7);
//     while (select.step())
//         use(select.columnText(0));
//
// Values only ever travel as bound parameters.
class LocalDatabase final
{
public:
    // A prepared statement of this database. Bound values stay until bound
    // again; binding a statement that is part way through its rows starts it
    // over. Moves, does not copy.
    class Statement final
    {
    public:
        Statement(Statement&& other) noexcept;
        Statement& operator=(Statement&& other) noexcept;
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;
        ~Statement();

        // Parameters are numbered from 1 (?1, ?2, ...).
        Statement& bind(int index, int value);
        Statement& bind(int index, qint64 value);
        Statement& bind(int index, double value);
        Statement& bind(int index, const QString& text);
        // Bytes are bound as a blob, never as text.
        Statement& bind(int index, const QByteArray& blob);
        Statement& bindNull(int index);

        // The next row: true while there is one. After the last row the
        // statement is ready to run again.
        bool step();
        // Runs a statement that gives no rows (or whose rows do not matter).
        void run();
        // Starts the statement over (a select left after its first row
        // holds its snapshot of the file until then).
        void reset();

        // Columns are numbered from 0. NULL reads as 0, empty text or no bytes.
        qint64 columnInteger(int column) const;
        double columnDouble(int column) const;
        QString columnText(int column) const;
        QByteArray columnBlob(int column) const;
        bool columnIsNull(int column) const;

    private:
        friend class LocalDatabase;
        Statement(LocalDatabase* database, sqlite3_stmt* statement, const QString& sql);
        void check(int result, const char* what) const;
        void finish();

        LocalDatabase* m_database = nullptr;
        sqlite3_stmt* m_statement = nullptr;
        QString m_sql;
    };

    // Opens the file, making it (and its folder) when missing. Throws
    // ClientError when the file cannot be opened or is not a database.
    explicit LocalDatabase(const QString& path);
    ~LocalDatabase();
    LocalDatabase(const LocalDatabase&) = delete;
    LocalDatabase& operator=(const LocalDatabase&) = delete;

    // The terminal's own file "Norvalk-local.sqlite" in its application data
    // folder (~/.local/share/Norvalk).
    static QString defaultPath();

    const QString& path() const { return m_path; }

    // Statements without parameters, several separated by ';' (a schema).
    void exec(const QString& sql);
    Statement prepare(const QString& sql);

    // Runs work in one transaction (BEGIN IMMEDIATE, so a second program on
    // the same file waits before, not in the middle): commits when work
    // returns, rolls back and rethrows when it throws. Not nested.
    void transaction(const std::function<void()>& work);
    bool inTransaction() const;

    // The key of the last row inserted on this connection.
    qint64 lastInsertId() const;
    // Rows changed by the last INSERT, UPDATE or DELETE.
    int changes() const;

private:
    struct Closer
    {
        void operator()(sqlite3* handle) const;
    };

    [[noreturn]] void fail(const QString& what) const;

    QString m_path;
    std::unique_ptr<sqlite3, Closer> m_handle;
};
