// The main window: its layout and start, the five server commands with their
// connection step (no address, no server, login first, then the target),
// what the connection loads, the focus and keyboard timers, an error from a
// handler, and that only closing the main window ends the program.

#include "client/app/tenterpasword.h"
#include "client/app/tnorvalkmain.h"
#include "client/app/tsyscon.h"
#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/settingsfile.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/terminalidentity.h"
#include "client/widgets/focuslater.h"
#include "client/widgets/touchform.h"
#include "gui/guiapplication.h"
#include "tests/support/testserver.h"
#include "tests/support/windowfixture.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestMainWindow final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void lowerAreaCentred();
    void startShowsDateAndConnectsNot_data();
    void startShowsDateAndConnectsNot();
    void eachMainWindowHasItsOwnModule();
    void terminalCertificateMadeAtStart();
    void makerNotice_data();
    void makerNotice();
    void versionIsTheProjects();
    void noAddressStopsServerCommands_data();
    void noAddressStopsServerCommands();
    void clearedAddressTakesEffectAtNextCommand();
    void unreachableServerIsReported();
    void firstCommandAsksForLogin_data();
    void firstCommandAsksForLogin();
    void targetShownAfterLogin_data();
    void targetShownAfterLogin();
    void connectionCopiesLocalSwitches_data();
    void connectionCopiesLocalSwitches();
    void decimalProbe_data();
    void decimalProbe();
    void scaleRuleFollowsInstallation_data();
    void scaleRuleFollowsInstallation();
    void focusLater();
    void handlerErrorShownAndProgramGoesOn();
    void onlyMainWindowEndsProgram();

private:
    QPushButton* button(const QString& name) const;
    void logIn(const QString& user, const QString& password);

    WindowFixture m_fixture;
    TNorvalkMain* m_main = nullptr;
};

namespace {

const QString kNoAddress =
    QStringLiteral("Nav iestatīta servera IP adrese, pieslēgšanās nenotiks !!!");
const QString kConnected = QStringLiteral("Pieslēgšanās pie servera veikmīga");

void addServerCommands()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("Dokumenti") << "btDokumenti";
    QTest::newRow("Preču dati") << "btPrecuDati";
    QTest::newRow("3D operācijas") << "bt3D_Operacijas";
    QTest::newRow("Pārbaude") << "btSanemsanasParbaude";
    QTest::newRow("Piegādes apstipr.") << "btPiegadesApstiprin";
}

} // namespace

void TestMainWindow::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestMainWindow::init()
{
    m_fixture.messages().clear();
    m_fixture.removeSettings();
    m_fixture.pointSettingsAtServer();
    m_main = new TNorvalkMain;
    m_main->setServerPort(m_fixture.port());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestMainWindow::cleanup()
{
    const QList<QPointer<QWidget>> windows{m_main->sysCon(), m_main->enterPasword()};
    delete m_main;
    m_main = nullptr;
    // The main window took its windows with it.
    for (const QPointer<QWidget>& window : windows)
        QVERIFY(!window);
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
}

QPushButton* TestMainWindow::button(const QString& name) const
{
    auto* found = m_main->findChild<QPushButton*>(name);
    if (!found)
        qFatal("no button %s", qPrintable(name));
    return found;
}

void TestMainWindow::logIn(const QString& user, const QString& password)
{
    QVERIFY(m_main->enterPasword() && m_main->enterPasword()->isVisible());
    m_main->enterPasword()->edUserName()->setText(user);
    m_main->enterPasword()->edPasword()->setText(password);
    QTest::mouseClick(m_main->enterPasword()->btAutorizet(), Qt::LeftButton);
    QVERIFY2(!m_main->enterPasword()->isVisible(), qPrintable(m_fixture.messages().join('|')));
}

void TestMainWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("row");

    QTest::newRow("Dokumenti") << "btDokumenti"
                               << "Dokumenti" << 0 << 0;
    QTest::newRow("Preču dati") << "btPrecuDati"
                                << "Preču dati" << 0 << 1;
    QTest::newRow("3D operācijas") << "bt3D_Operacijas"
                                   << "3D operācijas" << 0 << 2;
    QTest::newRow("Pārbaude") << "btSanemsanasParbaude"
                              << "Pārbaude" << 1 << 0;
    QTest::newRow("Piegādes apstipr.") << "btPiegadesApstiprin"
                                       << "Piegādes apstipr." << 1 << 1;
    QTest::newRow("Iestatīšana") << "btIestatisana"
                                 << "Iestatīšana" << 1 << 2;
}

void TestMainWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(int, column);
    QFETCH(int, row);

    QCOMPARE(m_main->windowTitle(), QStringLiteral("Norvalk"));
    QCOMPARE(m_main->size(), QSize(349, 623));
    QCOMPARE(m_main->palette().color(QPalette::Window), QColor(0x87, 0xCE, 0xFA));

    QPushButton* menu = button(name);
    QTEST(menu->text(), "caption");
    QCOMPARE(menu->size(), QSize(150, 73));
    QCOMPARE(menu->font().pixelSize(), 18);
    // Two columns, three rows, all in the 228 high top panel.
    const QPoint topLeft = menu->mapTo(m_main, QPoint(0, 0));
    QVERIFY(topLeft.y() + menu->height() <= 228);
    const int columnX = button(QStringLiteral("btDokumenti"))->mapTo(m_main, QPoint(0, 0)).x();
    const int rowY = button(QStringLiteral("btDokumenti"))->mapTo(m_main, QPoint(0, 0)).y();
    QCOMPARE(topLeft.x() > columnX, column == 1);
    QVERIFY(topLeft.y() >= rowY + row * 73);
    QVERIFY(topLeft.y() < rowY + (row + 1) * 74);

    // The lower area: logo, notice over it, "Beigt darbu"; status at the bottom.
    QCOMPARE(m_main->imgLogo()->size(), QSize(336, 134));
    QVERIFY(!m_main->imgLogo()->pixmap().isNull());
    QCOMPARE(m_main->lbNotice()->font().pixelSize(), 11);
    QVERIFY(m_main->imgLogo()->geometry().contains(m_main->lbNotice()->geometry()));
    QCOMPARE(m_main->btClose()->text(), QStringLiteral("Beigt darbu"));
    QCOMPARE(m_main->rctApaksa()->y(), 228);
    QCOMPARE(m_main->lbStatus()->geometry().bottom(), m_main->height() - 1);
    QCOMPARE(m_main->rctApaksa()->geometry().bottom() + 1, m_main->lbStatus()->y());

    QCOMPARE(m_main->tmKeybOff()->interval(), 50);
    QCOMPARE(m_main->tmActiveControl()->interval(), 10);
    QVERIFY(!m_main->tmKeybOff()->isActive());
    QVERIFY(!m_main->tmActiveControl()->isActive());
}

void TestMainWindow::lowerAreaCentred()
{
    QWidget* area = m_main->rctApaksa();
    const auto check = [this](int width) {
        QCOMPARE(m_main->imgLogo()->x(), width / 2 - 336 / 2);
        QCOMPARE(m_main->btClose()->x(), width / 2 - m_main->btClose()->width() / 2);
        QCOMPARE(m_main->lbNotice()->x(), m_main->imgLogo()->x() + 14);
    };
    check(area->width());
    const int top = m_main->btClose()->y();
    area->resize(501, area->height());
    check(501);
    QCOMPARE(m_main->btClose()->y(), top);
}

void TestMainWindow::startShowsDateAndConnectsNot_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("separator");

    QTest::newRow("Latvian") << QLocale(QLocale::Latvian, QLocale::Latvia) << ".";
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << ".";
    QTest::newRow("American") << QLocale(QLocale::English, QLocale::UnitedStates) << "/";
}

void TestMainWindow::startShowsDateAndConnectsNot()
{
    QFETCH(QLocale, locale);
    delete m_main;
    ClientFormat::setLocale(locale);
    m_main = new TNorvalkMain;

    const QString today = ClientFormat::dateToText(QDate::currentDate());
    QCOMPARE(m_main->lbStatus()->text(), QStringLiteral("Datums=") + today);
    QTEST(m_main->dataModule().clientState().DateSeparator, "separator");
    QCOMPARE(m_main->lbNotice()->text(), TNorvalkMain::MakerNotice(today));
    QVERIFY(
        m_main->lbNotice()->text().endsWith(QStringLiteral(" Ver. ") + TNorvalkMain::Version()));
    if (locale.dateFormat(QLocale::ShortFormat).startsWith(QLatin1String("dd")))
        QVERIFY(m_main->lbNotice()->text().contains(
            QStringLiteral("2019-%1 ").arg(QDate::currentDate().year())));

    // Nothing connects and no other window is made before the first command.
    QVERIFY(!m_main->dataModule().SQLConnection1().connected());
    QCOMPARE(m_main->sysCon(), nullptr);
    QCOMPARE(m_main->enterPasword(), nullptr);
    QVERIFY(m_fixture.messages().isEmpty());
}

void TestMainWindow::terminalCertificateMadeAtStart()
{
    // The first start made the pair; the connection presents it.
    const TerminalIdentity* made = m_main->dataModule().terminalIdentity();
    QVERIFY(made);
    const QString fingerprint = made->fingerprint();
    const QDir folder(TerminalIdentity::DefaultFolder());
    QVERIFY(folder.exists(TerminalIdentity::KeyFileName()));

    // A damaged key: the next start makes a new pair and says so.
    delete m_main;
    QFile key(folder.filePath(TerminalIdentity::KeyFileName()));
    QVERIFY(key.open(QIODevice::WriteOnly | QIODevice::Truncate));
    key.write("not a key");
    key.close();
    m_main = new TNorvalkMain;
    const TerminalIdentity* remade = m_main->dataModule().terminalIdentity();
    QVERIFY(remade);
    QVERIFY(remade->fingerprint() != fingerprint);
    QVERIFY2(
        m_main->lbStatus()->text().startsWith(QStringLiteral("Termināļa sertifikāts bija bojāts")),
        qPrintable(m_main->lbStatus()->text()));
    QVERIFY(m_fixture.messages().isEmpty());

    // Read back unchanged after that.
    const QString remadeFingerprint = remade->fingerprint(); // the pair goes with its window
    delete m_main;
    m_main = new TNorvalkMain;
    QCOMPARE(m_main->dataModule().terminalIdentity()->fingerprint(), remadeFingerprint);
    QVERIFY(m_main->lbStatus()->text().startsWith(QStringLiteral("Datums=")));
}

void TestMainWindow::eachMainWindowHasItsOwnModule()
{
    // Two terminals in one process: each main window makes a data module of
    // its own, and the second works on when the first is gone.
    auto* second = new TNorvalkMain;
    second->setServerPort(m_fixture.port());
    second->show();
    const QPointer<TClientDataModule> first = m_main->findChild<TClientDataModule*>();
    const QPointer<TClientDataModule> its = second->findChild<TClientDataModule*>();
    QVERIFY(first);
    QVERIFY(its);
    QVERIFY(first != its);
    QCOMPARE(its->keyboardSuppressionTimer(), second->tmKeybOff());
    QCOMPARE(first->keyboardSuppressionTimer(), m_main->tmKeybOff());
    delete m_main;
    m_main = second; // cleaned up as the test's window
    QVERIFY(!first);
    QVERIFY(its);
    QTest::mouseClick(second->btPrecuDati(), Qt::LeftButton);
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(its->SQLConnection1().connected());
    QVERIFY(second->enterPasword() && second->enterPasword()->isVisible());
}

void TestMainWindow::makerNotice_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("years");

    QTest::newRow("four-digit year") << "08.12.2025"
                                     << "2019-2025";
    QTest::newRow("two-digit year") << "08.12.25"
                                    << "2019-25";
    QTest::newRow("slashes") << "31/01/2031"
                             << "2019-2031";
}

void TestMainWindow::makerNotice()
{
    QFETCH(QString, date);
    QFETCH(QString, years);
    const QString notice = TNorvalkMain::MakerNotice(date);
    QVERIFY2(notice.contains(QStringLiteral(" ") + years + QStringLiteral(" Ver. ") +
                             TNorvalkMain::Version()),
             qPrintable(notice));
}

void TestMainWindow::versionIsTheProjects()
{
    // CMake's project version, the number the packages carry, shown with the
    // minor in two digits and the other parts as they are: 1.0.24.17 is
    // "1.00.24.17".
    QStringList parts = QStringLiteral(NORVALK_PROJECT_VERSION).split(u'.');
    QCOMPARE(parts.size(), 4);
    parts[1] = parts.at(1).rightJustified(2, u'0');
    QCOMPARE(TNorvalkMain::Version(), parts.join(u'.'));
}

void TestMainWindow::noAddressStopsServerCommands_data()
{
    addServerCommands();
}

void TestMainWindow::noAddressStopsServerCommands()
{
    QFETCH(QString, command);
    m_fixture.removeSettings();
    const QString status = m_main->lbStatus()->text();

    QTest::mouseClick(button(command), Qt::LeftButton);
    QCOMPARE(m_fixture.messages(), QStringList{kNoAddress});
    QCOMPARE(m_main->enterPasword(), nullptr);
    QVERIFY(!m_main->dataModule().SQLConnection1().connected());
    QCOMPARE(m_main->lbStatus()->text(), status);

    // Settings open all the same: they are where the address is set.
    m_fixture.messages().clear();
    QTest::mouseClick(m_main->btIestatisana(), Qt::LeftButton);
    QVERIFY(m_main->sysCon() && m_main->sysCon()->isVisible());
    QVERIFY(m_main->sysCon()->isWindow());
    QVERIFY(m_fixture.messages().isEmpty());
    QVERIFY(!m_main->dataModule().SQLConnection1().connected());
    QCOMPARE(m_main->enterPasword(), nullptr);
}

void TestMainWindow::clearedAddressTakesEffectAtNextCommand()
{
    QTest::mouseClick(m_main->btPrecuDati(), Qt::LeftButton);
    QVERIFY(m_main->dataModule().SQLConnection1().connected());

    QTest::mouseClick(m_main->btIestatisana(), Qt::LeftButton);
    QVERIFY(m_main->sysCon()->isVisible());
    QCOMPARE(m_main->sysCon()->edIP_Adrese()->text(), QStringLiteral("127.0.0.1"));
    m_main->sysCon()->edIP_Adrese()->clear();
    QTest::mouseClick(m_main->sysCon()->btClose(), Qt::LeftButton);
    QVERIFY(m_fixture.messages().isEmpty());

    // The connection is dropped before the address is read again.
    QTest::mouseClick(m_main->btPrecuDati(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages(), QStringList{kNoAddress});
    QVERIFY(!m_main->dataModule().SQLConnection1().connected());
}

void TestMainWindow::unreachableServerIsReported()
{
    m_main->setServerPort(TestServer::freePort()); // nothing listens there
    QTest::mouseClick(m_main->btDokumenti(), Qt::LeftButton);

    QCOMPARE(m_fixture.messages().size(), 1);
    const QString message = m_fixture.messages().first();
    const QString head = QStringLiteral("Kļūda pieslēdzoties pie servera !!!\n");
    QVERIFY2(message.startsWith(head), qPrintable(message));
    QVERIFY2(message.size() > head.size(), "the error's own text follows the line break");
    QCOMPARE(m_main->lbStatus()->text(), QStringLiteral("Neizdevās pieslēgties pie : 127.0.0.1"));
    QVERIFY(!m_main->dataModule().SQLConnection1().connected());
    QCOMPARE(m_main->enterPasword(), nullptr);

    // The right port at the next command connects.
    m_fixture.messages().clear();
    m_main->setServerPort(m_fixture.port());
    QTest::mouseClick(m_main->btDokumenti(), Qt::LeftButton);
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(m_main->lbStatus()->text(), kConnected);
}

void TestMainWindow::firstCommandAsksForLogin_data()
{
    addServerCommands();
}

void TestMainWindow::firstCommandAsksForLogin()
{
    QFETCH(QString, command);
    QTest::mouseClick(button(command), Qt::LeftButton);

    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QCOMPARE(m_main->lbStatus()->text(), kConnected);
    QVERIFY(m_main->dataModule().SQLConnection1().connected());
    QCOMPARE(m_main->dataModule().SQLConnection1().port(), m_fixture.port());
    QVERIFY(m_main->enterPasword());
    QVERIFY(m_main->enterPasword()->isVisible());
    QVERIFY(m_main->enterPasword()->isWindow());
    QCOMPARE(m_main->enterPasword()->parentWidget(), m_main);
    QCOMPARE(m_main->goodsInfo().PriceCode, 1);

    // The demo installation's scale labels and certified-stock flags.
    const ClientState& state = m_main->dataModule().clientState();
    QCOMPARE(state.ScalePrefix, QStringLiteral("22"));
    QCOMPARE(state.DekArtSak, 3);
    QCOMPARE(state.DekArtGar, 5);
    QCOMPARE(state.DekDaudzSak, 8);
    QCOMPARE(state.DekDaudzGar, 5);
    QCOMPARE(state.DekDecimalz, 3);
    QVERIFY(!state.UseCertifiedStock);
    QVERIFY(state.ShowCertifiedStock);
    QVERIFY(!state.LoggedIn);

    // Another command makes no second login window.
    QTest::mouseClick(button(command), Qt::LeftButton);
    QCOMPARE(findChildren<TEnterPasword*>().size(), 0);
    QCOMPARE(m_main->findChildren<TEnterPasword*>().size(), 1);
}

void TestMainWindow::targetShownAfterLogin_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("documentsOnly");
    QTest::addColumn<bool>("shown");

    QTest::newRow("master user, document window") << "CHIEF"
                                                  << "1234" << true << true;
    QTest::newRow("receiving rights, document window") << "ANNA"
                                                       << "anna1" << true << true;
    QTest::newRow("no document rights, document window") << "JANIS"
                                                         << "parole" << true << false;
    QTest::newRow("no document rights, other window") << "JANIS"
                                                      << "parole" << false << true;
}

void TestMainWindow::targetShownAfterLogin()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, documentsOnly);

    // A window as a later screen is wired in: made once, owned by the menu.
    QWidget* reference = nullptr;
    int made = 0;
    const TNorvalkMain::TargetWindow target = [&] {
        if (!reference)
            ++made;
        if (!reference)
            reference = new QWidget(m_main);
        return reference;
    };
    const auto gate =
        documentsOnly ? TNorvalkMain::Gate::DocumentRights : TNorvalkMain::Gate::LoggedIn;

    m_main->RunServerCommand(target, gate);
    QCOMPARE(made, 1);
    QVERIFY(reference && !reference->isVisible());
    QCOMPARE(reference->parentWidget(), m_main);
    logIn(user.toLower(), password);

    m_main->RunServerCommand(target, gate);
    QCOMPARE(made, 1);
    QTEST(reference->isVisible(), "shown");
    QVERIFY(!m_main->enterPasword()->isVisible());
    QVERIFY(m_fixture.messages().isEmpty());
}

void TestMainWindow::connectionCopiesLocalSwitches_data()
{
    QTest::addColumn<QString>("key");

    QTest::newRow("IzrDaudzums1") << "IzrDaudzums1";
    QTest::newRow("IzrDzestAtlaidi") << "IzrDzestAtlaidi";
    QTest::newRow("IzrPardCenaNoNodalas") << "IzrPardCenaNoNodalas";
    QTest::newRow("NeraditEkranaKlaviaturu") << "NeraditEkranaKlaviaturu";
}

void TestMainWindow::connectionCopiesLocalSwitches()
{
    QFETCH(QString, key);
    const ClientState& state = m_main->dataModule().clientState();
    const auto flags = [&state] {
        return QList<bool>{state.IzrDaudzums1, state.IzrDzestAtlaidi, state.IzrPardCenaNoNodalas,
                           state.NeraditEkranaKlaviaturu};
    };
    const QStringList keys{QStringLiteral("IzrDaudzums1"), QStringLiteral("IzrDzestAtlaidi"),
                           QStringLiteral("IzrPardCenaNoNodalas"),
                           QStringLiteral("NeraditEkranaKlaviaturu")};
    QList<bool> expected(4, false);
    expected[keys.indexOf(key)] = true;

    IniWriteBool(QStringLiteral("SysCon"), key, true);
    QCOMPARE(flags(), QList<bool>(4, false)); // read at the command, not before
    QTest::mouseClick(m_main->btPrecuDati(), Qt::LeftButton);
    QCOMPARE(flags(), expected);
    QCOMPARE(m_main->tmKeybOff()->isActive(), key == QLatin1String("NeraditEkranaKlaviaturu"));

    // Switched off again: the copy follows, but the running timer is left
    // for a typing field to stop.
    IniWriteBool(QStringLiteral("SysCon"), key, false);
    QTest::mouseClick(m_main->btPrecuDati(), Qt::LeftButton);
    QCOMPARE(flags(), QList<bool>(4, false));
    QCOMPARE(m_main->tmKeybOff()->isActive(), key == QLatin1String("NeraditEkranaKlaviaturu"));
}

void TestMainWindow::decimalProbe_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("total");
    QTest::addColumn<bool>("dot");

    QTest::newRow("comma locale") << QLocale(QLocale::Latvian, QLocale::Latvia) << 12.35 << false;
    QTest::newRow("point locale") << QLocale::c() << 12.35 << true;
    // Once read off a waybill total, which showed no point when whole: a
    // typed 1.5 then became 1,5 and read as 0.
    QTest::newRow("point locale, whole total") << QLocale::c() << 12.0 << true;
    QTest::newRow("comma locale, whole total")
        << QLocale(QLocale::Latvian, QLocale::Latvia) << 12.0 << false;
}

void TestMainWindow::decimalProbe()
{
    QFETCH(QLocale, locale);
    QFETCH(double, total);
    ClientFormat::setLocale(locale);
    m_fixture.run(QStringLiteral("UPDATE O_PAVADZ SET KOPSUMMA = %1 WHERE ISN = 1")
                      .arg(QString::number(total, 'f', 2)));
    QTest::mouseClick(m_main->btDokumenti(), Qt::LeftButton);
    m_fixture.run(QStringLiteral("UPDATE O_PAVADZ SET KOPSUMMA = 12.35 WHERE ISN = 1"));
    QVERIFY(m_fixture.messages().isEmpty());
    QTEST(m_main->dataModule().clientState().DecimalPointIsDot, "dot");
    // Whatever the client's separator, a typed comma and a typed point read alike.
    QCOMPARE(ReadNumberField(m_main->dataModule().clientState(), QStringLiteral("1.5")), 1.5);
    QCOMPARE(ReadNumberField(m_main->dataModule().clientState(), QStringLiteral("1,5")), 1.5);
}

void TestMainWindow::scaleRuleFollowsInstallation_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("article");

    QTest::newRow("demo layout") << ""
                                 << "12345";
    QTest::newRow("NULL prefix") << "UPDATE N_ISI2 SET DEK_PREFIX = NULL"
                                 << "2212345012345";
    QTest::newRow("empty table") << "DELETE FROM N_ISI2"
                                 << "2212345012345";
}

void TestMainWindow::scaleRuleFollowsInstallation()
{
    QFETCH(QString, change);
    if (!change.isEmpty())
        m_fixture.run(change);
    QTest::mouseClick(m_main->btPrecuDati(), Qt::LeftButton);
    m_fixture.run(QStringLiteral("DELETE FROM N_ISI2"));
    m_fixture.run(QStringLiteral(
        "INSERT INTO N_ISI2 (ISN, DEK_PREFIX, DEK_ART_SAK, DEK_ART_GAR, DEK_DAUDZ_SAK, "
        "DEK_DAUDZ_GAR, DEK_DECIMALZ, ISISERTARATLIK, SHOWSERTATLIK) "
        "VALUES (1, '22', 3, 5, 8, 5, 3, 'F', 'T')"));
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));

    QLineEdit article(QStringLiteral("2212345012345"));
    QLineEdit quantity;
    TouchForm::applyScaleBarcodeRule(m_main->dataModule().clientState(), &article, &quantity);
    QTEST(article.text(), "article");
}

void TestMainWindow::focusLater()
{
    m_main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_main));
    m_main->btDokumenti()->setFocus();
    QVERIFY(m_main->btDokumenti()->hasFocus());

    FocusLater(m_main->btIestatisana());
    // Not at once: the current event finishes first.
    QVERIFY(m_main->btDokumenti()->hasFocus());
    QVERIFY(m_main->tmActiveControl()->isActive());
    QTRY_VERIFY(m_main->btIestatisana()->hasFocus());
    QVERIFY(!m_main->tmActiveControl()->isActive());

    // A control gone before the timer fires is skipped.
    auto* passing = new QLineEdit(m_main->rctApaksa());
    FocusLater(passing);
    delete passing;
    QTRY_VERIFY(!m_main->tmActiveControl()->isActive());
    QVERIFY(m_main->btIestatisana()->hasFocus());
}

void TestMainWindow::handlerErrorShownAndProgramGoesOn()
{
    QTest::mouseClick(m_main->btIestatisana(), Qt::LeftButton);
    // The settings file cannot be written: a folder stands in its place.
    m_fixture.removeSettings();
    QVERIFY(QDir().mkpath(m_fixture.settingsPath()));
    m_main->sysCon()->edIP_Adrese()->setText(QStringLiteral("127.0.0.9"));
    QTest::mouseClick(m_main->sysCon()->btClose(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages().size(), 1);
    QVERIFY(m_fixture.messages().first().contains(QStringLiteral("Norvalk.INI")));
    QVERIFY(m_main->isVisible());
    // The settings stay open with the user's edit, to be saved once they can.
    QVERIFY(m_main->sysCon()->isVisible());
    QCOMPARE(m_main->sysCon()->edIP_Adrese()->text(), QStringLiteral("127.0.0.9"));

    // The program goes on and the next command runs as ever.
    QVERIFY(QDir().rmdir(m_fixture.settingsPath()));
    m_fixture.messages().clear();
    QTest::mouseClick(m_main->sysCon()->btClose(), Qt::LeftButton);
    QVERIFY(!m_main->sysCon()->isVisible());
    QVERIFY(m_fixture.messages().isEmpty());
    m_fixture.removeSettings();
    m_fixture.messages().clear();
    QTest::mouseClick(m_main->btDokumenti(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages(), QStringList{kNoAddress});
}

void TestMainWindow::onlyMainWindowEndsProgram()
{
    QTest::mouseClick(m_main->btDokumenti(), Qt::LeftButton);
    QTest::mouseClick(m_main->btIestatisana(), Qt::LeftButton);
    QVERIFY(m_main->enterPasword()->isVisible() && m_main->sysCon()->isVisible());

    bool stillRunningAfterOtherWindows = false;
    bool endedByTimeout = false;
    QTimer::singleShot(0, this, [&] {
        m_main->enterPasword()->close();
        m_main->sysCon()->close();
        QTimer::singleShot(100, this, [&] {
            stillRunningAfterOtherWindows = true;
            // The user presses "Beigt darbu".
            QTest::mouseClick(m_main->btClose(), Qt::LeftButton);
        });
    });
    QTimer::singleShot(10000, this, [&] {
        endedByTimeout = true;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();

    QVERIFY(stillRunningAfterOtherWindows);
    QVERIFY(!endedByTimeout);
    QVERIFY(!m_main->isVisible());
    QVERIFY(!m_main->dataModule().SQLConnection1().connected());
}

NORVALK_GUI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
