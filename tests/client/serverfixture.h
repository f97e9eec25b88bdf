#pragma once

#include "client/core/providerproxy.h"
#include "client/core/remotedataset.h"
#include "client/core/serverconnection.h"
#include "client/core/tclientdatamodule.h"
#include "tests/support/statementrecorder.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"
#include "tests/support/testsql.h"

#include <QMap>
#include <QStringList>
#include <QVariant>

#include <memory>

// What the server-backed client tests share: a fresh database, NorvalkServer
// on a loopback port, the one data module pointed at it, the Latvian number
// format and every ShowMessage text recorded. The database holds the schema
// only, and each test class makes its own rows with run(); the document
// tests, which need a whole installation, ask for the demonstration data.
class ServerFixture final
{
public:
    explicit ServerFixture(TestDatabase::Content content = TestDatabase::Content::Empty);
    ~ServerFixture();
    ServerFixture(const ServerFixture&) = delete;
    ServerFixture& operator=(const ServerFixture&) = delete;

    // Empty when all is ready, else what went wrong.
    QString start();

    TClientDataModule& module() { return *m_module; }
    TestServer& server() { return m_server; }
    QStringList& messages() { return m_messages; }

    // Stops the server; restartServer() starts it again on the same database
    // and port.
    void stopServer() { m_server.stop(); }
    bool restartServer();

    // Statements and reads on a connection of the fixture's own, so that the
    // module's datasets are left as the code under test left them.
    void run(const QString& sql, const QMap<QString, QString>& textParams = {})
    {
        m_sql.run(sql, textParams);
    }
    void run(const QStringList& statements);
    QVariant value(const QString& sql) { return m_sql.value(sql); }

    // What the module's connection has sent that the terminal's statement
    // catalogue lacks, one text a line; empty when nothing. A test's own
    // statements through the module's connection are named in ownStatements.
    // A data class's tests check it at their end: a text missing from the
    // catalogue would be refused by a server with its statement lock on.
    QString statementsOutsideCatalogue(const QStringList& ownStatements = {}) const;
    StatementRecorder& statements() { return m_statements; }

private:
    TestDatabase m_database;
    TestServer m_server;
    std::unique_ptr<TClientDataModule> m_module;
    TestSql m_sql;
    QStringList m_messages;
    StatementRecorder m_statements;
};

// A terminal of its own for the tests that run several at once on threads:
// a connection, a proxy and one dataset on the named provider, built as the
// data module builds them ("dspUpdate" gives cdsUpdate on prcUpdate).
struct OwnTerminal
{
    OwnTerminal(const QString& host, quint16 port, const QString& provider);

    ServerConnection connection;
    ProviderProxy proxy;
    RemoteDataSet dataSet;
};
