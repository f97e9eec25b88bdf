#include "bench/qtsqlterminal.h"

#include "bench/benchstatements.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <optional>
#include <stdexcept>

namespace {

[[noreturn]] void fail(const QString& what, const QSqlError& error)
{
    throw std::runtime_error((what + QStringLiteral(": ") + error.text()).toStdString());
}

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("bench-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Returns the error, or an invalid one when the connection is open.
QSqlError openConnection(const QString& name, const QString& databasePath, const QString& password)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), name);
    db.setDatabaseName(databasePath);
    db.setUserName(QStringLiteral("SYSDBA"));
    db.setPassword(password);
    db.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
    return db.open() ? QSqlError() : db.lastError();
}

class QtSqlTerminal final : public Terminal
{
public:
    QtSqlTerminal(const QString& databasePath, const QString& password, QtSqlStyle style)
        : m_name(nextConnectionName()), m_style(style)
    {
        const QSqlError error = openConnection(m_name, databasePath, password);
        if (error.isValid()) {
            QSqlDatabase::removeDatabase(m_name);
            fail(QStringLiteral("open"), error);
        }
    }

    ~QtSqlTerminal() override
    {
        // Queries first: a connection cannot be removed while they live.
        m_lookup.reset();
        m_insert.reset();
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }

    int lookUp(const QString& code) override
    {
        std::optional<QSqlQuery> fresh;
        QSqlQuery& query = statement(m_lookup, fresh, kLookupSql);
        query.bindValue(QLatin1Char(':') + kLookupParam, code);
        if (!query.exec())
            fail(QStringLiteral("look-up"), query.lastError());
        return readAll(query);
    }

    void insertGroup(const QString& name) override
    {
        std::optional<QSqlQuery> fresh;
        QSqlQuery& query = statement(m_insert, fresh, kInsertSql);
        query.bindValue(QLatin1Char(':') + kInsertParam, name);
        if (!query.exec())
            fail(QStringLiteral("insert"), query.lastError());
    }

private:
    // The kept query in Reused style, otherwise a new one in fresh.
    QSqlQuery& statement(std::optional<QSqlQuery>& kept, std::optional<QSqlQuery>& fresh,
                         const QString& sql)
    {
        std::optional<QSqlQuery>& slot = m_style == QtSqlStyle::Reused ? kept : fresh;
        if (!slot) {
            slot.emplace(QSqlDatabase::database(m_name, false));
            slot->setForwardOnly(true);
            if (!slot->prepare(sql))
                fail(QStringLiteral("prepare"), slot->lastError());
        }
        return *slot;
    }

    // Reads every value of every row, as a terminal would show them. The
    // column count is known: QSqlQuery::record() would cost QIBASE a query on
    // the system tables for every column.
    static int readAll(QSqlQuery& query)
    {
        int rows = 0;
        while (query.next()) {
            for (int i = 0; i < kLookupColumns; ++i)
                query.value(i);
            ++rows;
        }
        if (query.lastError().isValid())
            fail(QStringLiteral("fetch"), query.lastError());
        return rows;
    }

    const QString m_name;
    const QtSqlStyle m_style;
    std::optional<QSqlQuery> m_lookup;
    std::optional<QSqlQuery> m_insert;
};

void insertGoods(const QString& databasePath, const QString& password, const QString& code)
{
    const QString name = nextConnectionName();
    QSqlError error = openConnection(name, databasePath, password);
    if (!error.isValid()) {
        QSqlQuery query(QSqlDatabase::database(name, false));
        query.prepare(QStringLiteral(
            "INSERT INTO N_KLPREC (ARTIKULS, GNOS, ISPRGRUPA) VALUES (:CODE, 'bench', 1)"));
        query.bindValue(QStringLiteral(":CODE"), code);
        if (!query.exec())
            error = query.lastError();
    }
    QSqlDatabase::removeDatabase(name);
    if (error.isValid())
        fail(QStringLiteral("insert goods"), error);
}

} // namespace

std::pair<int, int> rowsSeenAfterInsert(const QString& databasePath, const QString& password,
                                        const QString& newCode)
{
    QtSqlTerminal fresh(databasePath, password, QtSqlStyle::PrepareEach);
    QtSqlTerminal reused(databasePath, password, QtSqlStyle::Reused);
    fresh.lookUp(newCode);
    reused.lookUp(newCode);
    insertGoods(databasePath, password, newCode);
    return {fresh.lookUp(newCode), reused.lookUp(newCode)};
}

TerminalFactory qtSqlTerminals(const QString& databasePath, const QString& password,
                               QtSqlStyle style)
{
    return [=]() -> std::unique_ptr<Terminal> {
        return std::make_unique<QtSqlTerminal>(databasePath, password, style);
    };
}
