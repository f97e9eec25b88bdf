#include "bench/iscterminal.h"

#include "bench/benchstatements.h"

#include <QByteArray>

#include <ibase.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

constexpr unsigned short kDialect = 3;
// The XSQLDA layout the execute, fetch and describe calls are told about.
constexpr unsigned short kDescriptorVersion = SQLDA_VERSION1;
constexpr ISC_STATUS kNoMoreRows = 100;

class StatusVector final
{
public:
    ISC_STATUS* get() { return m_status; }

    // Throws the client library's text when result reports a failure.
    void check(ISC_STATUS result, const char* what)
    {
        if (result == 0)
            return;
        QByteArray message(what);
        char line[512];
        const ISC_STATUS* cursor = m_status;
        while (fb_interpret(line, sizeof line, &cursor) > 0)
            message += QByteArray(": ") + line;
        throw std::runtime_error(message.toStdString());
    }

private:
    ISC_STATUS_ARRAY m_status = {};
};

void appendItem(QByteArray& block, char tag, const QByteArray& value)
{
    block.append(tag);
    block.append(char(value.size()));
    block.append(value);
}

QByteArray transactionBlock(bool write)
{
    QByteArray tpb;
    tpb.append(char(isc_tpb_version3));
    tpb.append(char(write ? isc_tpb_write : isc_tpb_read));
    tpb.append(char(isc_tpb_read_committed));
    tpb.append(char(isc_tpb_rec_version));
    tpb.append(char(isc_tpb_wait));
    return tpb;
}

// An XSQLDA with room for count variables.
class Descriptor final
{
public:
    explicit Descriptor(short count) { resize(count); }

    XSQLDA* get() { return reinterpret_cast<XSQLDA*>(m_storage.data()); }
    void resize(short count)
    {
        m_storage.assign(XSQLDA_LENGTH(count), 0);
        get()->version = SQLDA_VERSION1;
        get()->sqln = count;
    }

private:
    std::vector<char> m_storage;
};

// One prepared statement: described columns with their buffers and
// parameters that are all bound to the same text.
class Statement final
{
public:
    Statement(isc_db_handle& db, isc_tr_handle& tr, const QString& sql)
    {
        m_sql = positional(positional(sql, kLookupParam), kInsertParam).toUtf8();
        m_status.check(isc_dsql_allocate_statement(m_status.get(), &db, &m_handle), "allocate");
        m_status.check(isc_dsql_prepare(m_status.get(), &tr, &m_handle, 0, m_sql.constData(),
                                        kDialect, m_columns.get()),
                       "prepare");
        describeColumns();
        describeParameters();
    }
    ~Statement()
    {
        if (m_handle != 0)
            isc_dsql_free_statement(m_status.get(), &m_handle, DSQL_drop);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Runs with every parameter set to text; returns the rows read.
    int run(isc_tr_handle& tr, const QByteArray& text)
    {
        bindText(text);
        XSQLDA* out = m_columns.get()->sqld > 0 ? m_columns.get() : nullptr;
        m_status.check(isc_dsql_execute(m_status.get(), &tr, &m_handle, kDescriptorVersion,
                                        m_parameters.get()),
                       "execute");
        return out ? fetchAndClose(out) : 0;
    }

private:
    void describeColumns()
    {
        XSQLDA* out = m_columns.get();
        if (out->sqld > out->sqln) {
            m_columns.resize(out->sqld);
            m_status.check(
                isc_dsql_describe(m_status.get(), &m_handle, kDescriptorVersion, m_columns.get()),
                "describe");
            out = m_columns.get();
        }
        // Each value at an 8-byte boundary; a VARCHAR has its length in front.
        size_t size = 0;
        std::vector<size_t> offsets;
        for (int i = 0; i < out->sqld; ++i) {
            offsets.push_back(size);
            const bool varying = (out->sqlvar[i].sqltype & ~1) == SQL_VARYING;
            size = (size + size_t(out->sqlvar[i].sqllen) + (varying ? 2 : 0) + 7) & ~size_t(7);
        }
        m_values.assign(size, 0);
        m_nulls.assign(size_t(out->sqld), 0);
        for (int i = 0; i < out->sqld; ++i) {
            out->sqlvar[i].sqldata = m_values.data() + offsets[size_t(i)];
            out->sqlvar[i].sqlind = &m_nulls[size_t(i)];
        }
    }

    void describeParameters()
    {
        m_status.check(isc_dsql_describe_bind(m_status.get(), &m_handle, kDescriptorVersion,
                                              m_parameters.get()),
                       "describe parameters");
        if (m_parameters.get()->sqld > m_parameters.get()->sqln) {
            m_parameters.resize(m_parameters.get()->sqld);
            m_status.check(isc_dsql_describe_bind(m_status.get(), &m_handle, kDescriptorVersion,
                                                  m_parameters.get()),
                           "describe parameters");
        }
    }

    // Sent as CHAR of the text's length; the engine converts to the column's type.
    void bindText(const QByteArray& text)
    {
        m_bound = text;
        XSQLDA* in = m_parameters.get();
        for (int i = 0; i < in->sqld; ++i) {
            in->sqlvar[i].sqltype = SQL_TEXT;
            in->sqlvar[i].sqllen = ISC_SHORT(m_bound.size());
            in->sqlvar[i].sqldata = m_bound.data();
            in->sqlvar[i].sqlind = nullptr;
        }
    }

    int fetchAndClose(XSQLDA* out)
    {
        int rows = 0;
        ISC_STATUS result = 0;
        while ((result = isc_dsql_fetch(m_status.get(), &m_handle, kDescriptorVersion, out)) == 0)
            ++rows;
        if (result != kNoMoreRows)
            m_status.check(result, "fetch");
        m_status.check(isc_dsql_free_statement(m_status.get(), &m_handle, DSQL_close), "close");
        return rows;
    }

    StatusVector m_status;
    isc_stmt_handle m_handle = 0;
    QByteArray m_sql;
    Descriptor m_columns{1};
    Descriptor m_parameters{1};
    std::vector<char> m_values;
    std::vector<short> m_nulls;
    QByteArray m_bound;
};

class IscTerminal final : public Terminal
{
public:
    IscTerminal(const QString& database, const QString& password, IscStyle style) : m_style(style)
    {
        QByteArray dpb(1, char(isc_dpb_version1));
        appendItem(dpb, char(isc_dpb_user_name), "SYSDBA");
        appendItem(dpb, char(isc_dpb_password), password.toUtf8());
        appendItem(dpb, char(isc_dpb_lc_ctype), "UTF8");
        const QByteArray path = database.toUtf8();
        m_status.check(isc_attach_database(m_status.get(), 0, path.constData(), &m_db,
                                           short(dpb.size()), dpb.constData()),
                       "attach");
        try {
            start(m_reader, transactionBlock(false));
        } catch (...) {
            isc_detach_database(m_status.get(), &m_db);
            throw;
        }
    }

    ~IscTerminal() override
    {
        m_lookup.reset();
        m_insert.reset();
        if (m_reader != 0)
            isc_commit_transaction(m_status.get(), &m_reader);
        isc_detach_database(m_status.get(), &m_db);
    }

    int lookUp(const QString& code) override
    {
        const QByteArray text = code.toUtf8();
        if (m_style == IscStyle::PrepareEach)
            return Statement(m_db, m_reader, kLookupSql).run(m_reader, text);
        if (!m_lookup)
            m_lookup = std::make_unique<Statement>(m_db, m_reader, kLookupSql);
        return m_lookup->run(m_reader, text);
    }

    // A write transaction of its own, committed at once.
    void insertGroup(const QString& name) override
    {
        isc_tr_handle writer = 0;
        start(writer, transactionBlock(true));
        try {
            if (m_style == IscStyle::PrepareEach) {
                Statement(m_db, writer, kInsertSql).run(writer, name.toUtf8());
            } else {
                if (!m_insert)
                    m_insert = std::make_unique<Statement>(m_db, writer, kInsertSql);
                m_insert->run(writer, name.toUtf8());
            }
        } catch (...) {
            isc_rollback_transaction(m_status.get(), &writer);
            throw;
        }
        m_status.check(isc_commit_transaction(m_status.get(), &writer), "commit");
    }

private:
    void start(isc_tr_handle& tr, const QByteArray& tpb)
    {
        m_status.check(isc_start_transaction(m_status.get(), &tr, 1, &m_db, unsigned(tpb.size()),
                                             tpb.constData()),
                       "start transaction");
    }

    const IscStyle m_style;
    StatusVector m_status;
    isc_db_handle m_db = 0;
    isc_tr_handle m_reader = 0;
    std::unique_ptr<Statement> m_lookup;
    std::unique_ptr<Statement> m_insert;
};

} // namespace

TerminalFactory iscTerminals(const QString& database, const QString& password, IscStyle style)
{
    return [=]() -> std::unique_ptr<Terminal> {
        return std::make_unique<IscTerminal>(database, password, style);
    };
}
