#include "tests/support/testserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>

TestServer::~TestServer()
{
    stop();
}

QString TestServer::programName(Program program)
{
    return program == Program::Service ? QStringLiteral("norvalk-serverd")
                                       : QStringLiteral("NorvalkServer");
}

// The build's own programs, or those of the folder NORVALK_SERVER_BIN names:
// the ThreadSanitizer run serves the ordinary tests from an instrumented build.
QString TestServer::programPath() const
{
    QString folder = qEnvironmentVariable("NORVALK_SERVER_BIN");
    if (folder.isEmpty())
        folder = QStringLiteral(NORVALK_BINARY_DIR "/bin");
    return folder + QLatin1Char('/') + programName(m_program);
}

QStringList TestServer::headlessArguments() const
{
    return m_program == Program::Windowed ? QStringList{QStringLiteral("--headless")}
                                          : QStringList();
}

quint16 TestServer::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString TestServer::configHome() const
{
    return m_variables.contains(QStringLiteral("XDG_CONFIG_HOME"))
               ? m_variables.value(QStringLiteral("XDG_CONFIG_HOME"))
               : m_home.filePath(QStringLiteral(".config"));
}

void TestServer::prepareStart()
{
    stop();
    m_stdout.clear();
    m_stderr.clear();
    QDir().mkpath(m_home.filePath(QStringLiteral(".config")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_home.filePath(QStringLiteral(".config")));
    for (const QString& name : m_variables.keys())
        environment.insert(name, m_variables.value(name));
    m_process.setProcessEnvironment(environment);
}

bool TestServer::reload()
{
    return isRunning() && ::kill(pid_t(m_process.processId()), SIGHUP) == 0;
}

bool TestServer::start(const QString& databasePath, const QStringList& extraArguments, quint16 port)
{
    prepareStart();
    m_port = port != 0 ? port : freePort();
    QStringList arguments = headlessArguments();
    arguments << QStringLiteral("--port") << QString::number(m_port);
    if (!databasePath.isEmpty())
        arguments << QStringLiteral("--database") << databasePath;
    arguments << extraArguments;
    m_process.start(programPath(), arguments);
    if (!m_process.waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(200)) {
            socket.abort();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

int TestServer::runToEnd(const QStringList& arguments, int timeoutMs)
{
    prepareStart();
    m_process.start(programPath(), headlessArguments() + arguments);
    if (!m_process.waitForFinished(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished();
        return -1;
    }
    m_stdout += m_process.readAllStandardOutput();
    m_stderr += m_process.readAllStandardError();
    return m_process.exitCode();
}

int TestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitCode();
    m_process.terminate();
    if (!m_process.waitForFinished(15000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_stdout += m_process.readAllStandardOutput();
    m_stderr += m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString TestServer::standardOutput()
{
    m_stdout += m_process.readAllStandardOutput();
    return QString::fromUtf8(m_stdout);
}

QString TestServer::standardError()
{
    m_stderr += m_process.readAllStandardError();
    return QString::fromUtf8(m_stderr);
}
