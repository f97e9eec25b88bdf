// The settings window: its controls, what it shows on a new device, that
// closing writes every key (an empty address too) as the next command reads
// it, the keyboard rule of "Aizvērt", the upgrade message, Return in the
// address field, a write error reaching the error display, and the
// encrypted link's part: the fingerprints shown (on two lines that fit the
// window) and a server's certificate fetched and accepted only on "Jā".

#include "client/app/tsyscon.h"
#include "client/core/settingsfile.h"
#include "client/core/systemsettings.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/terminalidentity.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"
#include "gui/guiapplication.h"
#include "tests/support/testcertificates.h"
#include "tests/support/tlsframeserver.h"
#include "tests/support/windowfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestSettingsWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout();
    void captions_data();
    void captions();
    void newDeviceShowsShopAddress();
    void closeWritesEveryKey_data();
    void closeWritesEveryKey();
    void refilledAtEveryShowing();
    void closeButtonKeepsLoadedKeyboardRule_data();
    void closeButtonKeepsLoadedKeyboardRule();
    void upgradeOnlyShowsMessage();
    void returnEndsAddressEditing();
    void addressFieldLetsKeyboardShow();
    void writeErrorIsShownAndWindowGoesOn();
    void fingerprintsShownOnTwoLines();
    void serverCertificateAcceptedOnYes();
    void serverWithoutTlsGivesMessage();

private:
    void showWindow();
    void closeWithButton();
    QCheckBox* switchBox(const QString& key) const;

    WindowFixture m_fixture;
    QStringList m_questions;
    bool m_answer = false;
    std::unique_ptr<TClientDataModule> m_module;
    std::unique_ptr<TSysCon> m_window;
};

namespace {

const QString kSection = QStringLiteral("SysCon");
const QStringList kSwitches{QStringLiteral("IzrDaudzums1"), QStringLiteral("IzrDzestAtlaidi"),
                            QStringLiteral("IzrPardCenaNoNodalas"),
                            QStringLiteral("NeraditEkranaKlaviaturu")};

} // namespace

void TestSettingsWindow::init()
{
    m_fixture.messages().clear();
    m_fixture.removeSettings();
    m_module = std::make_unique<TClientDataModule>();
    m_window = std::make_unique<TSysCon>(*m_module, nullptr);
    m_questions.clear();
    setQuestionHandler([this](const QString& text) {
        m_questions << text;
        return m_answer;
    });
}

void TestSettingsWindow::cleanup()
{
    setQuestionHandler({});
    m_window.reset();
    m_module.reset();
    QDir(m_fixture.settingsPath()).removeRecursively();
}

void TestSettingsWindow::showWindow()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestSettingsWindow::closeWithButton()
{
    QTest::mouseClick(m_window->btClose(), Qt::LeftButton);
}

QCheckBox* TestSettingsWindow::switchBox(const QString& key) const
{
    return m_window->findChild<QCheckBox*>(QStringLiteral("chk") + key);
}

void TestSettingsWindow::layout()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Form1"));
    QCOMPARE(m_window->size(), QSize(349, 605));
    QCOMPARE(m_window->palette().color(QPalette::Window), QColor(0x87, 0xCE, 0xFA));
    QVERIFY(m_window->isWindow());

    QCOMPARE(m_window->lbTitle()->font().pixelSize(), 18);
    QVERIFY(m_window->lbTitle()->font().bold());
    QVERIFY(m_window->lbTitle()->alignment() & Qt::AlignHCenter);
    QCOMPARE(m_window->edIP_Adrese()->font().pixelSize(), 20);
    for (const QString& key : kSwitches) {
        QVERIFY2(switchBox(key), qPrintable(key));
        QCOMPARE(switchBox(key)->font().pixelSize(), 18);
    }

    // Top to bottom: title, address, the four switches, the certificates,
    // upgrade, close.
    const QList<QWidget*> order{m_window->lbTitle(),
                                m_window->edIP_Adrese(),
                                m_window->chkIzrDaudzums1(),
                                m_window->chkIzrDzestAtlaidi(),
                                m_window->chkIzrPardCenaNoNodalas(),
                                m_window->chkNeraditEkranaKlaviaturu(),
                                m_window->lbServeraNospiedums(),
                                m_window->lbTerminalaNospiedums(),
                                m_window->btServeraSertifikats(),
                                m_window->btUpgrade(),
                                m_window->btClose()};
    for (int i = 1; i < order.size(); ++i)
        QVERIFY2(order.at(i)->y() >= order.at(i - 1)->geometry().bottom(),
                 qPrintable(order.at(i)->objectName()));
    QVERIFY(m_window->btClose()->geometry().bottom() < m_window->height());

    // "Versijas atjaunināšana" spans the window; "Aizvērt" keeps to the right.
    QVERIFY(m_window->btUpgrade()->width() >= m_window->width() - 30);
    QVERIFY(m_window->btClose()->x() > m_window->width() / 2);
    QVERIFY(m_window->btClose()->geometry().right() < m_window->width());
}

void TestSettingsWindow::captions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("title") << "lbTitle"
                           << "Sistēmas iestatīšana";
    QTest::newRow("address") << "lbIP_Adrese"
                             << "IP server adrese :";
    QTest::newRow("quantity 1") << "chkIzrDaudzums1"
                                << "Izrakst. noklus.daudzums =1";
    QTest::newRow("clear discount") << "chkIzrDzestAtlaidi"
                                    << "Izrakst. dzēst atlaidi katrā ierakstā";
    QTest::newRow("department price") << "chkIzrPardCenaNoNodalas"
                                      << "Izrakst. pārd.cenu ņemt no nod.Nr.";
    QTest::newRow("keyboard") << "chkNeraditEkranaKlaviaturu"
                              << "Nerādīt ekrāna klaviatūru";
    QTest::newRow("server certificate") << "lbServeraSertifikats"
                                        << "Servera sertifikāts:";
    QTest::newRow("terminal certificate") << "lbTerminalaSertifikats"
                                          << "Termināļa sertifikāts:";
    QTest::newRow("accept") << "btServeraSertifikats"
                            << "Pieņemt servera sertifikātu";
    QTest::newRow("upgrade") << "btUpgrade"
                             << "Versijas atjaunināšana";
    QTest::newRow("close") << "btClose"
                           << "Aizvērt";
}

void TestSettingsWindow::captions()
{
    QFETCH(QString, name);
    QWidget* control = m_window->findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QString text;
    if (auto* label = qobject_cast<QLabel*>(control))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        text = button->text();
    QTEST(text, "caption");
}

void TestSettingsWindow::newDeviceShowsShopAddress()
{
    showWindow();
    const QString shown = m_window->edIP_Adrese()->text();
    QCOMPARE(shown, TSysCon::DefaultHostName());
    const QHostAddress address(shown);
    QCOMPARE(address.protocol(), QAbstractSocket::IPv4Protocol);
    QVERIFY(address.isInSubnet(QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8"))) ||
            address.isInSubnet(QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12"))) ||
            address.isInSubnet(QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16"))));
    for (const QString& key : kSwitches)
        QVERIFY2(!switchBox(key)->isChecked(), qPrintable(key));
    // Shown, not saved: the file appears only when the window closes.
    QVERIFY(!QFile::exists(m_fixture.settingsPath()));

    closeWithButton();
    QVERIFY(!m_window->isVisible());
    QCOMPARE(IniReadString(kSection, QStringLiteral("HostName"), QString()), shown);
}

void TestSettingsWindow::closeWritesEveryKey_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QList<bool>>("switches");

    QTest::newRow("all off") << "10.1.2.3" << QList<bool>{false, false, false, false};
    QTest::newRow("all on") << "server.shop.lan" << QList<bool>{true, true, true, true};
    QTest::newRow("mixed") << "192.168.1.20" << QList<bool>{true, false, true, false};
    QTest::newRow("empty address") << "" << QList<bool>{false, true, false, true};
}

void TestSettingsWindow::closeWritesEveryKey()
{
    QFETCH(QString, address);
    QFETCH(QList<bool>, switches);

    showWindow();
    m_window->edIP_Adrese()->clear();
    QTest::keyClicks(m_window->edIP_Adrese(), address);
    for (int i = 0; i < kSwitches.size(); ++i) {
        if (switchBox(kSwitches.at(i))->isChecked() != switches.at(i))
            QTest::mouseClick(switchBox(kSwitches.at(i)), Qt::LeftButton);
    }
    closeWithButton();

    // As the file holds them: one line per key, booleans as 1 and 0.
    const QStringList lines = m_fixture.settingsText().split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("[SysCon]")));
    QVERIFY(lines.contains(QStringLiteral("HostName=") + address));
    for (int i = 0; i < kSwitches.size(); ++i) {
        const QString line =
            kSwitches.at(i) + (switches.at(i) ? QStringLiteral("=1") : QStringLiteral("=0"));
        QVERIFY2(lines.contains(line), qPrintable(line));
        QCOMPARE(IniReadBool(kSection, kSwitches.at(i), !switches.at(i)), switches.at(i));
    }
    // An empty address is a value, not a missing key.
    QCOMPARE(IniReadString(kSection, QStringLiteral("HostName"), QStringLiteral("x")), address);

    // And the next showing reads them back.
    showWindow();
    QCOMPARE(m_window->edIP_Adrese()->text(), address);
    for (int i = 0; i < kSwitches.size(); ++i)
        QCOMPARE(switchBox(kSwitches.at(i))->isChecked(), switches.at(i));
}

void TestSettingsWindow::refilledAtEveryShowing()
{
    showWindow();
    QTest::mouseClick(m_window->chkIzrDaudzums1(), Qt::LeftButton);
    QVERIFY(m_window->chkIzrDaudzums1()->isChecked());
    m_window->hide(); // hidden without closing: nothing is saved
    IniWriteString(kSection, QStringLiteral("HostName"), QStringLiteral("10.0.0.7"));
    IniWriteBool(kSection, QStringLiteral("NeraditEkranaKlaviaturu"), true);

    showWindow();
    QCOMPARE(m_window->edIP_Adrese()->text(), QStringLiteral("10.0.0.7"));
    QVERIFY(!m_window->chkIzrDaudzums1()->isChecked());
    QVERIFY(m_window->chkNeraditEkranaKlaviaturu()->isChecked());
}

void TestSettingsWindow::closeButtonKeepsLoadedKeyboardRule_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("timerBefore");

    QTest::newRow("loaded on, box cleared, timer stopped by a field") << true << false;
    QTest::newRow("loaded off, box ticked, timer running") << false << true;
}

void TestSettingsWindow::closeButtonKeepsLoadedKeyboardRule()
{
    QFETCH(bool, loaded);
    QFETCH(bool, timerBefore);

    TClientDataModule* module = m_module.get();
    module->clientState().NeraditEkranaKlaviaturu = loaded;
    IniWriteBool(kSection, QStringLiteral("NeraditEkranaKlaviaturu"), loaded);
    showWindow();
    // The box says the opposite of what the last connection loaded.
    QTest::mouseClick(m_window->chkNeraditEkranaKlaviaturu(), Qt::LeftButton);
    QCOMPARE(m_window->chkNeraditEkranaKlaviaturu()->isChecked(), !loaded);
    QTimer* timer = module->keyboardSuppressionTimer();
    if (timerBefore)
        timer->start();
    else
        timer->stop();

    closeWithButton();
    QCOMPARE(timer->isActive(), loaded);
    // The box's value is saved for the next connection all the same.
    QCOMPARE(IniReadBool(kSection, QStringLiteral("NeraditEkranaKlaviaturu"), loaded), !loaded);
}

void TestSettingsWindow::upgradeOnlyShowsMessage()
{
    showWindow();
    QTest::mouseClick(m_window->btUpgrade(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages(),
             QStringList{QStringLiteral("Šis tiek izmantots tikai Android platformā !!!")});
    QVERIFY(m_window->isVisible());
    QVERIFY(!QFile::exists(m_fixture.settingsPath()));
}

void TestSettingsWindow::returnEndsAddressEditing()
{
    showWindow();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->edIP_Adrese()->setFocus();
    QVERIFY(m_window->edIP_Adrese()->hasFocus());
    m_window->edIP_Adrese()->clear();
    // A scanner or the keyboard types the address and ends with Return.
    QTest::keyClicks(m_window->edIP_Adrese(), QStringLiteral("10.20.30.40"));
    QTest::keyClick(m_window->edIP_Adrese(), Qt::Key_Return);
    QVERIFY(!m_window->edIP_Adrese()->hasFocus());
    QCOMPARE(m_window->edIP_Adrese()->text(), QStringLiteral("10.20.30.40"));
    QVERIFY(m_window->isVisible());
    QVERIFY(m_fixture.messages().isEmpty());
}

void TestSettingsWindow::addressFieldLetsKeyboardShow()
{
    TClientDataModule* module = m_module.get();
    module->clientState().NeraditEkranaKlaviaturu = true;
    QTimer* timer = module->keyboardSuppressionTimer();
    timer->start();
    showWindow();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));

    m_window->edIP_Adrese()->setFocus();
    QVERIFY(!timer->isActive());
    m_window->btUpgrade()->setFocus();
    QVERIFY(timer->isActive());

    // Without the switch the keyboard stays allowed after the field.
    module->clientState().NeraditEkranaKlaviaturu = false;
    m_window->edIP_Adrese()->setFocus();
    m_window->btUpgrade()->setFocus();
    QVERIFY(!timer->isActive());
}

void TestSettingsWindow::writeErrorIsShownAndWindowGoesOn()
{
    // A folder where the file should be: every write fails.
    QVERIFY(QDir().mkpath(m_fixture.settingsPath()));
    showWindow();
    QCOMPARE(m_window->edIP_Adrese()->text(), TSysCon::DefaultHostName());

    closeWithButton();
    QCOMPARE(m_fixture.messages().size(), 1);
    QVERIFY(!m_fixture.messages().first().isEmpty());

    // The program goes on: the window works as before.
    QTest::mouseClick(m_window->btUpgrade(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages().size(), 2);
}

void TestSettingsWindow::fingerprintsShownOnTwoLines()
{
    showWindow();
    QCOMPARE(m_window->lbServeraNospiedums()->text(),
             QStringLiteral("nav (savienojums bez šifrēšanas)"));
    QCOMPARE(m_window->lbTerminalaNospiedums()->text(), QStringLiteral("nav"));
    m_window->hide();

    QTemporaryDir folder;
    const QString terminal = m_module->loadTerminalIdentity(folder.path()).fingerprint();
    const QString server = terminal; // any fingerprint will do for the showing
    SystemSettings::SetServerCertificate(server);
    showWindow();
    for (QLabel* label : {m_window->lbServeraNospiedums(), m_window->lbTerminalaNospiedums()}) {
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.join(QString()), terminal);
        // Each line fits the label as drawn, on the narrow window.
        for (const QString& line : lines)
            QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->width(),
                     qPrintable(line));
        QVERIFY(label->fontMetrics().lineSpacing() * 2 <= label->height());
    }
}

void TestSettingsWindow::serverCertificateAcceptedOnYes()
{
    TestCertificates certificates;
    const TestCertificates::Pair first = certificates.make(QStringLiteral("server"));
    const TestCertificates::Pair second = certificates.make(QStringLiteral("renewed"));
    QVERIFY2(!second.fingerprint.isEmpty(), qPrintable(certificates.error()));
    auto server = std::make_unique<TlsFrameServer>(first);
    QVERIFY(server->listening());
    const quint16 port = server->port();
    m_window->setServerPort(port);
    showWindow();
    m_window->edIP_Adrese()->setText(QStringLiteral("127.0.0.1"));
    const QString key = QStringLiteral("ServerCertificate");

    // "Nē": nothing stored, the link stays plain.
    m_answer = false;
    QTest::mouseClick(m_window->btServeraSertifikats(), Qt::LeftButton);
    QCOMPARE(m_questions.size(), 1);
    QVERIFY(m_questions.last().contains(first.fingerprint));
    QVERIFY(m_questions.last().contains(QStringLiteral("127.0.0.1")));
    QCOMPARE(IniReadString(kSection, key, QStringLiteral("none")), QStringLiteral("none"));

    // "Jā": stored at once (before the window closes) and shown.
    m_answer = true;
    QTest::mouseClick(m_window->btServeraSertifikats(), Qt::LeftButton);
    QCOMPARE(m_questions.size(), 2);
    QCOMPARE(IniReadString(kSection, key, QString()), first.fingerprint);
    QCOMPARE(m_window->lbServeraNospiedums()->text(), TSysCon::TwoLines(first.fingerprint));
    QVERIFY(m_fixture.messages().isEmpty());

    // The same again: nothing to ask.
    QTest::mouseClick(m_window->btServeraSertifikats(), Qt::LeftButton);
    QCOMPARE(m_questions.size(), 2);
    QCOMPARE(m_fixture.messages().size(), 1);
    QVERIFY(m_fixture.messages().last().contains(first.fingerprint));

    // The server gets a new certificate: the question names both, and "Jā"
    // replaces the old one. Closing the window keeps it.
    server.reset();
    server = std::make_unique<TlsFrameServer>(second, port);
    QVERIFY(server->listening());
    QTest::mouseClick(m_window->btServeraSertifikats(), Qt::LeftButton);
    QCOMPARE(m_questions.size(), 3);
    QVERIFY(m_questions.last().contains(second.fingerprint));
    QVERIFY(m_questions.last().contains(first.fingerprint));
    closeWithButton();
    QCOMPARE(IniReadString(kSection, key, QString()), second.fingerprint);
    QCOMPARE(IniReadString(kSection, QStringLiteral("HostName"), QString()),
             QStringLiteral("127.0.0.1"));
    // Nothing was asked of the server but its certificate.
    QCOMPARE(server->requests(), 0);
}

void TestSettingsWindow::serverWithoutTlsGivesMessage()
{
    // A plain listener that says nothing, where a server without TLS would be.
    QTcpServer plain;
    QVERIFY(plain.listen(QHostAddress::LocalHost, 0));
    m_window->setServerPort(plain.serverPort());
    showWindow();
    m_window->edIP_Adrese()->setText(QStringLiteral("127.0.0.1"));
    m_answer = true;
    QTest::mouseClick(m_window->btServeraSertifikats(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages().size(), 1);
    QVERIFY(m_fixture.messages().first().startsWith(
        QStringLiteral("127.0.0.1:%1: ").arg(plain.serverPort())));
    QVERIFY(m_questions.isEmpty());
    QCOMPARE(IniReadString(kSection, QStringLiteral("ServerCertificate"), QString()), QString());

    // No address: a message, no contact.
    m_window->edIP_Adrese()->clear();
    QTest::mouseClick(m_window->btServeraSertifikats(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages().size(), 2);
    QVERIFY(m_questions.isEmpty());
}

NORVALK_GUI_TEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
