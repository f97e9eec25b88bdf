#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// NorvalkServer started headless on a free loopback port, stopped with SIGTERM
// when the object goes. Everything the server prints is kept for asserting on
// its log lines and messages.
class TestServer final
{
public:
    TestServer() = default;
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Starts the server on the database and waits until it accepts
    // connections. extraArguments are added to the command line.
    // port 0 picks a free one; a given port lets a test restart the server
    // where the terminals expect it.
    bool start(const QString& databasePath, const QStringList& extraArguments = {},
               quint16 port = 0);
    // Runs the program and waits for it to end, for start-ups that must fail.
    int runToEnd(const QStringList& arguments, int timeoutMs = 30000);
    // Environment of the next start (configuration store location and such).
    void setEnvironment(const QProcessEnvironment& environment)
    {
        m_process.setProcessEnvironment(environment);
    }
    // Stops it (SIGTERM, then kill after a grace period). Returns the exit code.
    int stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }

    quint16 port() const { return m_port; }
    QString standardOutput();
    QString standardError();

    static QString programPath();
    static quint16 freePort();

private:
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_stdout;
    QByteArray m_stderr;
};
