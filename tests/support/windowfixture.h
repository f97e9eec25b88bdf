#pragma once

#include "tests/support/statementrecorder.h"
#include "tests/support/testcertificates.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"
#include "tests/support/testsql.h"

#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

class QPushButton;
class QTabWidget;
class QWidget;
class TNorvalkMain;

// What the window tests share: a home folder of their own (so the settings
// file is never a real user's), the Latvian formats, every ShowMessage text
// recorded, and on request a fresh demo database served by NorvalkServer on
// a loopback port, the main window pointed at it, and the steps a person
// takes: a menu command with the login it asks for, a scan into a field.
// Statements for test rows go through a connection of the fixture's own, so
// the windows' data module is left as they left it.
//
// With real message boxes on, every message is also shown in a real modal
// box that takes the activation, as a window manager gives it, and closes
// itself a moment later: the focus then moves as it does on a terminal, so
// faults of field exit and activation show.
class WindowFixture final
{
public:
    WindowFixture();
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    // NORVALK_TEST_LOCKS=1: the fixture's server runs with all three locks of
    // the terminal link on (TLS, enrolled terminals, the statement
    // catalogue the build wrote); the terminal pins the server and is
    // enrolled, and the fixture's own statements go as the server host's
    // administrator, with the server's own certificate.
    static bool locksOn();

    // Empty when the database and the server are ready, else what failed.
    QString startServer();
    void stopServer() { m_server.stop(); }
    // Starts it again on the same database and port, where the terminal
    // expects it.
    bool restartServer();
    quint16 port() const { return m_server.port(); }

    QStringList& messages() { return m_messages; }
    void setRealMessageBoxes(bool on) { m_realBoxes = on; }

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
    // With the locks on, also pins the server and enrols the terminal's
    // current key pair (a test may have had it made anew).
    void pointSettingsAtServer();

    // The main window, shown and pointed at the fixture's server; the
    // fixture deletes it (and with it every window it opened) with
    // closeMainWindow() or at its end.
    TNorvalkMain* openMainWindow();
    void closeMainWindow();
    TNorvalkMain* mainWindow() const { return m_main; }

    // Every statement the main window's connection sends is recorded, and
    // closing the main window (at the latest the fixture's end) fails the
    // test when one of them is not in the terminal's statement catalogue: a
    // server with its statement lock on would refuse it. This says which,
    // one a line; empty when none.
    QString statementsOutsideCatalogue() const;
    StatementRecorder& statements() { return m_statements; }

    // Presses a menu command and, when it asks for a login, logs in and
    // presses it again, as a person does. Returns whether no message came.
    bool runMenuCommand(QPushButton* command, const QString& user = QStringLiteral("CHIEF"),
                        const QString& password = QStringLiteral("1234"));
    // Makes window the active one, as a window manager would on a tap.
    static bool activate(QWidget* window);
    // A scanner's code into the focused field: the text, then Return.
    static void scan(QWidget* field, const QString& text);
    // A tap on the tab of that page.
    static void clickTab(QTabWidget* tabs, QWidget* page);

private:
    QString prepareLocks();
    bool enrol(const QString& fingerprint);
    void record(const QString& text);

    QTemporaryDir m_home;
    std::unique_ptr<TestDatabase> m_database;
    TestServer m_server;
    TestSql m_sql;
    QStringList m_messages;
    bool m_realBoxes = false;
    TNorvalkMain* m_main = nullptr;
    StatementRecorder m_statements;
    std::unique_ptr<TestCertificates> m_certificates; // with the locks on
    TestCertificates::Pair m_serverCertificate;
    QString m_enrolled;
    QStringList m_serverArguments;
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
