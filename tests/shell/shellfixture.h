#pragma once

#include "testdatabase.h"
#include "testserver.h"
#include "testsql.h"

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

// What the window tests share: a home folder of their own (so the settings
// file is never a real user's), the Latvian formats, every ShowMessage text
// recorded, and on request a fresh demo database served by NorvalkServer on
// a loopback port. Statements for test rows go through a connection of the
// fixture's own, so the windows' data module is left as they left it.
class ShellFixture final
{
public:
    ShellFixture();
    ~ShellFixture();
    ShellFixture(const ShellFixture&) = delete;
    ShellFixture& operator=(const ShellFixture&) = delete;

    // Empty when the database and the server are ready, else what failed.
    QString startServer();
    void stopServer() { m_server.stop(); }
    quint16 port() const { return m_server.port(); }

    QStringList& messages() { return m_messages; }

    // A statement with text parameters, and the first value of a select.
    void run(const QString& sql, const QMap<QString, QString>& textParams = {})
    {
        m_sql.run(sql, textParams);
    }
    QVariant value(const QString& sql) { return m_sql.value(sql); }

    // The settings file as the terminal reads it.
    QString settingsPath() const;
    QString settingsText() const;
    void removeSettings() const;
    // The address of the fixture's server in the settings file.
    void pointSettingsAtServer() const;

private:
    QTemporaryDir m_home;
    std::unique_ptr<TestDatabase> m_database;
    TestServer m_server;
    TestSql m_sql;
    QStringList m_messages;
};

// A test main for window tests: the application object of the program, so
// that an exception escaping a handler is caught and shown as it is there.
#define NORVALK_GUI_TEST_MAIN(TestObject)                                                          \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        GuiApplication application(argc, argv);                                                    \
        TestObject test;                                                                           \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
