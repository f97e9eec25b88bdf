#include "tests/support/windowfixture.h"

#include "client/app/tenterpasword.h"
#include "client/app/tnorvalkmain.h"
#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/settingsfile.h"
#include "client/core/systemsettings.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/terminalidentity.h"
#include "client/core/terminalstatements.h"
#include "common/showmessage.h"

#include <QApplication>
#include <QFile>
#include <QHostAddress>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kBoxShownMs = 30;

} // namespace

WindowFixture::WindowFixture()
{
    // The documents folder follows HOME and the XDG user folders.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral(".config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
    setMessageHandler([this](const QString& text) { record(text); });
}

WindowFixture::~WindowFixture()
{
    closeMainWindow();
    m_server.stop();
    setMessageHandler({});
    ClientFormat::useSystemLocale();
}

void WindowFixture::record(const QString& text)
{
    m_messages << text;
    if (!m_realBoxes)
        return;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Norvalk"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    QTimer::singleShot(0, &box, [&box] { activate(&box); });
    QTimer::singleShot(kBoxShownMs, &box, [&box] { box.accept(); });
    box.exec();
    // The window under the box gets the activation back, as on a terminal.
    if (QWidget* previous = box.parentWidget())
        activate(previous->window());
}

QString WindowFixture::startServer()
{
    if (!m_home.isValid())
        return QStringLiteral("no temporary home folder");
    if (!m_database)
        m_database = std::make_unique<TestDatabase>(TestDatabase::Content::Demo);
    if (!m_database->isValid())
        return QStringLiteral("database: ") + m_database->error();
    if (locksOn()) {
        const QString error = prepareLocks();
        if (!error.isEmpty())
            return error;
    }
    if (!m_server.start(m_database->path(), m_serverArguments))
        return QStringLiteral("server: ") + m_server.standardError() + m_server.standardOutput();
    m_sql.setPort(m_server.port());
    return QString();
}

bool WindowFixture::locksOn()
{
    return qEnvironmentVariable("NORVALK_TEST_LOCKS") == QLatin1String("1");
}

// The server's pair made as scripts/make-certificate would, the terminal's
// own made as at its first start and enrolled, the catalogue the build wrote.
QString WindowFixture::prepareLocks()
{
    if (m_certificates)
        return QString();
    m_certificates = std::make_unique<TestCertificates>();
    m_serverCertificate = m_certificates->make(QStringLiteral("server"));
    if (m_serverCertificate.certificate.isEmpty())
        return QStringLiteral("certificates: ") + m_certificates->error();
    QString enrolled;
    try {
        enrolled = TerminalIdentity::LoadOrCreate(TerminalIdentity::DefaultFolder()).fingerprint();
    } catch (const ClientError& error) {
        return QStringLiteral("the terminal's key pair: ") + error.message();
    }
    const QString terminals = m_certificates->folder() + QStringLiteral("/terminals");
    if (!enrol(enrolled))
        return QStringLiteral("cannot write ") + terminals;
    m_serverArguments = {QStringLiteral("--certificate"),
                         m_serverCertificate.certificate,
                         QStringLiteral("--key"),
                         m_serverCertificate.key,
                         QStringLiteral("--terminals"),
                         terminals,
                         QStringLiteral("--statements"),
                         QStringLiteral(NORVALK_BINARY_DIR "/share/norvalk-statements.json")};
    m_sql.setTls(m_serverCertificate.fingerprint, m_serverCertificate.certificate,
                 m_serverCertificate.key);
    return QString();
}

bool WindowFixture::restartServer()
{
    const quint16 port = m_server.port();
    return m_database && m_server.start(m_database->path(), m_serverArguments, port) &&
           m_server.port() == port;
}

QString WindowFixture::settingsPath() const
{
    return SettingsFilePath();
}

QString WindowFixture::settingsText() const
{
    QFile file(settingsPath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void WindowFixture::removeSettings() const
{
    QFile::remove(settingsPath());
}

void WindowFixture::pointSettingsAtServer()
{
    // A test that had the terminal make its key pair anew: the administrator
    // enrols the new one, and the server reads its list again.
    if (m_certificates && m_server.isRunning()) {
        const QString now =
            TerminalIdentity::LoadOrCreate(TerminalIdentity::DefaultFolder()).fingerprint();
        if (now != m_enrolled && enrol(now)) {
            m_server.reload();
            QTest::qWait(300);
        }
    }
    IniWriteString(QStringLiteral("SysCon"), QStringLiteral("HostName"),
                   QHostAddress(QHostAddress::LocalHost).toString());
    if (m_certificates)
        SystemSettings::SetServerCertificate(m_serverCertificate.fingerprint);
}

bool WindowFixture::enrol(const QString& fingerprint)
{
    QFile file(m_certificates->folder() + QStringLiteral("/terminals"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write((fingerprint + QStringLiteral(" Testu terminālis\n")).toUtf8()) < 0)
        return false;
    m_enrolled = fingerprint;
    return true;
}

TNorvalkMain* WindowFixture::openMainWindow()
{
    closeMainWindow();
    pointSettingsAtServer();
    m_main = new TNorvalkMain;
    m_statements.attach(m_main->dataModule().SQLConnection1().client());
    m_main->setServerPort(port());
    m_main->show();
    if (!QTest::qWaitForWindowExposed(m_main))
        qWarning("the main window was not shown");
    activate(m_main);
    return m_main;
}

void WindowFixture::closeMainWindow()
{
    delete m_main;
    m_main = nullptr;
    const QString outside = statementsOutsideCatalogue();
    if (outside.isEmpty())
        return;
    m_statements.clear(); // said once
    // Inside a test function the test fails; after the last one (the
    // fixture's end) the test program does.
    if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(outside), __FILE__, __LINE__);
    else
        qFatal("%s", qPrintable(outside));
}

QString WindowFixture::statementsOutsideCatalogue() const
{
    static const QStringList catalogue = TerminalStatements();
    return m_statements.describeMissing(catalogue);
}

bool WindowFixture::runMenuCommand(QPushButton* command, const QString& user,
                                   const QString& password)
{
    const qsizetype before = m_messages.size();
    QTest::mouseClick(command, Qt::LeftButton);
    TEnterPasword* login = m_main ? m_main->enterPasword() : nullptr;
    if (login && login->isVisible()) {
        activate(login);
        login->edUserName()->setText(user);
        login->edPasword()->setText(password);
        QTest::mouseClick(login->btAutorizet(), Qt::LeftButton);
        if (login->isVisible())
            return false;
        QTest::mouseClick(command, Qt::LeftButton);
    }
    if (QWidget* opened = QApplication::activeWindow())
        activate(opened);
    return m_messages.size() == before;
}

bool WindowFixture::activate(QWidget* window)
{
    // The offscreen platform has no window manager to do it.
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

void WindowFixture::scan(QWidget* field, const QString& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        edit->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

void WindowFixture::clickTab(QTabWidget* tabs, QWidget* page)
{
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tabs->indexOf(page)).center());
}
