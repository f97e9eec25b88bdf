#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A server without a window on a free loopback port, stopped with SIGTERM
// when the object goes: norvalk-serverd, as the service runs it, or
// NorvalkServer --headless. Everything the server prints is kept for asserting on
// its log lines and messages. Every server gets a HOME and XDG_CONFIG_HOME of
// its own, empty, so the configuration store of whoever runs the tests
// ("Allow", "Listen", "MainDB") never reaches it.
class TestServer final
{
public:
    enum class Program
    {
        Service,  // norvalk-serverd
        Windowed, // NorvalkServer, given --headless
    };

    explicit TestServer(Program program = Program::Service) : m_program(program) {}
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Starts the server on the database and waits until it accepts
    // connections. extraArguments are added to the command line.
    // port 0 picks a free one; a given port lets a test restart the server
    // where the terminals expect it.
    bool start(const QString& databasePath, const QStringList& extraArguments = {},
               quint16 port = 0);
    // Runs the program headless and waits for it to end, for start-ups that
    // must fail.
    int runToEnd(const QStringList& arguments, int timeoutMs = 30000);
    // Variables of the next starts, over the server's own HOME and
    // XDG_CONFIG_HOME (a test with a store of its own sets XDG_CONFIG_HOME).
    void setEnvironment(const QProcessEnvironment& variables) { m_variables = variables; }
    // The configuration folder the server reads: its own unless set.
    QString configHome() const;
    // SIGHUP: the server picks up changed settings and schema.
    bool reload();
    // Stops it (SIGTERM, then kill after a grace period). Returns the exit code.
    int stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    quint16 port() const { return m_port; }
    QString standardOutput();
    QString standardError();

    QString programPath() const;
    // The name the server goes by in the process list and in the database's
    // monitoring tables.
    static QString programName(Program program = Program::Service);
    static quint16 freePort();

private:
    void prepareStart();

    QStringList headlessArguments() const;

    Program m_program;
    QProcess m_process;
    QTemporaryDir m_home;
    QProcessEnvironment m_variables;
    quint16 m_port = 0;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
