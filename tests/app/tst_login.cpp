// The login window: its controls, the remembered user name, the check of
// name and password against O_USERS with every client-state field it fills,
// Return moving through the fields as a scanner's codes do, the on-screen
// keyboard around the fields, and a server error during the check.

#include "client/app/tenterpasword.h"
#include "client/app/tnorvalkmain.h"
#include "client/core/settingsfile.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/touchlook.h"
#include "common/encodetext.h"
#include "gui/guiapplication.h"
#include "tests/support/windowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestLogin final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout();
    void remembersUserName_data();
    void remembersUserName();
    void check_data();
    void check();
    void returnMovesLikeAScanner();
    void closeWithoutLogin();
    void loggedInOnceForTheRun();
    void keyboardAroundTypingFields_data();
    void keyboardAroundTypingFields();
    void serverErrorLeavesUserLoggedOut();

private:
    void openLogin();
    static void type(QLineEdit* field, const QString& text);
    const ClientState& state() const { return m_main->dataModule().clientState(); }

    WindowFixture m_fixture;
    TNorvalkMain* m_main = nullptr;
};

namespace {

const QString kUnknownUser = QStringLiteral("Šāds lietotājs nav reģistrēts sistēmā !!!");
const QString kWrongPassword = QStringLiteral("Nav ievadīta pareiza parole !!!");

// Users beside the demo ones, for the password and department edge cases.
struct ExtraUser
{
    int isn;
    QString name;
    QString password;
    QString departments;
    QString rights;
};

} // namespace

void TestLogin::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QList<ExtraUser> users{
        {11, QStringLiteral("KASE"), QString(), QStringLiteral("5,"), QStringLiteral("18_TTT")},
        {12, QStringLiteral("PETERIS"), QStringLiteral("Pē7"), QStringLiteral("7"),
         QStringLiteral("13_TTF;17_FFT")},
    };
    for (const ExtraUser& user : users)
        m_fixture.run(QStringLiteral("INSERT INTO O_USERS (ISN, GNOS, PASWORD, FULLNAME, NODALAS, "
                                     "ISAGENTS, AIZLIEGTCENAS, NERADITIEPCENU, IESPEJAS) VALUES "
                                     "(%1, :GNOS, :PASWORD, 'Tests', :NODALAS, 9, '', 'F', "
                                     ":IESPEJAS)")
                          .arg(user.isn),
                      {{QStringLiteral("GNOS"), EncodeText(user.name)},
                       {QStringLiteral("PASWORD"), EncodeText(user.password)},
                       {QStringLiteral("NODALAS"), user.departments},
                       {QStringLiteral("IESPEJAS"), user.rights}});
    // The master user's rights never come from the rights text.
    m_fixture.run(QStringLiteral("UPDATE O_USERS SET IESPEJAS = '', NODALAS = '2,', "
                                 "AIZLIEGTCENAS = '|3|', NERADITIEPCENU = 'T' WHERE ISN = 1"));
}

void TestLogin::init()
{
    m_fixture.messages().clear();
    m_fixture.removeSettings();
    m_main = m_fixture.openMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestLogin::cleanup()
{
    const QPointer<TEnterPasword> login = m_main->enterPasword();
    m_fixture.closeMainWindow();
    m_main = nullptr;
    QVERIFY(!login); // the main window takes its windows with it
}

void TestLogin::openLogin()
{
    QTest::mouseClick(m_main->btPrecuDati(), Qt::LeftButton);
    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(m_main->enterPasword() && m_main->enterPasword()->isVisible());
    // A window manager would activate the new window; the offscreen
    // platform leaves that to us.
    QApplication::setActiveWindow(m_main->enterPasword());
    QVERIFY(QTest::qWaitForWindowActive(m_main->enterPasword()));
}

void TestLogin::type(QLineEdit* field, const QString& text)
{
    // Key by key, Latvian letters included, as a keyboard or scanner sends them.
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void TestLogin::layout()
{
    openLogin();
    TEnterPasword* login = m_main->enterPasword();
    QCOMPARE(login->windowTitle(), QStringLiteral("Saņemšanas pārbaude"));
    QCOMPARE(login->size(), QSize(349, 605));
    QCOMPARE(login->palette().color(QPalette::Window), QColor(0x87, 0xCE, 0xFA));

    QCOMPARE(login->lbParbaudesVeids()->text(), QStringLiteral("Lietotāja autorizācija"));
    QCOMPARE(login->lbParbaudesVeids()->font().pixelSize(), 24);
    QVERIFY(login->lbParbaudesVeids()->font().bold());
    QCOMPARE(login->findChild<QLabel*>(QStringLiteral("lbUserName"))->text(),
             QStringLiteral("Lietotājs"));
    QCOMPARE(login->findChild<QLabel*>(QStringLiteral("lbPasword"))->text(),
             QStringLiteral("Parole"));
    QCOMPARE(login->edUserName()->font().pixelSize(), 20);
    QCOMPARE(login->edPasword()->font().pixelSize(), 20);
    QCOMPARE(login->edPasword()->echoMode(), QLineEdit::Password);
    QCOMPARE(login->edUserName()->echoMode(), QLineEdit::Normal);

    for (QPushButton* button : {login->btAutorizet(), login->btClose()}) {
        QCOMPARE(button->size(), QSize(105, 49));
        QCOMPARE(button->font().pixelSize(), 20);
    }
    QCOMPARE(login->btAutorizet()->text(), QStringLiteral("Autorizēt"));
    QCOMPARE(login->btClose()->text(), QStringLiteral("Aizvērt"));
    // The status bar sits at the bottom edge.
    const QRect status(login->lbStatusBar()->mapTo(login, QPoint(0, 0)),
                       login->lbStatusBar()->size());
    QCOMPARE(status.bottom(), login->height() - 1);
    QVERIFY(status.top() > login->btAutorizet()->geometry().bottom());
}

void TestLogin::remembersUserName_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("shown");

    QTest::newRow("new device") << QString() << "CHIEF";
    QTest::newRow("last user") << "ANNA"
                               << "ANNA";
    QTest::newRow("Latvian letters") << "LĪGA"
                                     << "LĪGA";
}

void TestLogin::remembersUserName()
{
    QFETCH(QString, remembered);
    if (!remembered.isNull())
        IniWriteString(QStringLiteral("UserData"), QStringLiteral("UserName"), remembered);
    openLogin();
    QTEST(m_main->enterPasword()->edUserName()->text(), "shown");
    QVERIFY(m_main->enterPasword()->edUserName()->hasFocus());

    // Shown again, the window reads the file again; the password is kept.
    m_main->enterPasword()->edPasword()->setText(QStringLiteral("secret"));
    m_main->enterPasword()->edUserName()->setText(QStringLiteral("SOMEONE"));
    m_main->enterPasword()->hide();
    IniWriteString(QStringLiteral("UserData"), QStringLiteral("UserName"), QStringLiteral("JANIS"));
    openLogin();
    QCOMPARE(m_main->enterPasword()->edUserName()->text(), QStringLiteral("JANIS"));
    QCOMPARE(m_main->enterPasword()->edPasword()->text(), QStringLiteral("secret"));
}

void TestLogin::check_data()
{
    QTest::addColumn<QString>("typedName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    // Receive, inventory, write-out, transfer, orders, new goods.
    QTest::addColumn<QString>("rights");
    QTest::addColumn<bool>("hidePurchasePrice");
    QTest::addColumn<QString>("departments");
    QTest::addColumn<QString>("forbiddenPrices");
    QTest::addColumn<int>("agent");

    QTest::newRow("master user in lower case") << "chief"
                                               << "1234"
                                               << ""
                                               << "TTTTTT" << false << ""
                                               << "" << 1;
    QTest::newRow("rights from the rights text") << "anna"
                                                 << "anna1"
                                                 << ""
                                                 << "TTFTFF" << true << "2"
                                                 << "|2||7|" << 2;
    QTest::newRow("no document rights") << "Janis"
                                        << "parole"
                                        << ""
                                        << "FFFFFT" << false << ""
                                        << "" << 3;
    QTest::newRow("Latvian letters") << "līga"
                                     << "līga7"
                                     << ""
                                     << "FFTFTF" << false << "3,4"
                                     << "|11|" << 4;
    QTest::newRow("empty password matches empty") << "kase"
                                                  << ""
                                                  << ""
                                                  << "FFTFFF" << false << "5"
                                                  << "" << 9;
    QTest::newRow("single department kept whole") << "peteris"
                                                  << "Pē7"
                                                  << ""
                                                  << "FFFFTF" << false << "7"
                                                  << "" << 9;
    QTest::newRow("password is case-sensitive") << "anna"
                                                << "ANNA1" << kWrongPassword << "" << false << ""
                                                << "" << 0;
    QTest::newRow("password with a letter too many")
        << "anna"
        << "anna12" << kWrongPassword << "" << false << ""
        << "" << 0;
    QTest::newRow("empty password for a set one") << "anna"
                                                  << "" << kWrongPassword << "" << false << ""
                                                  << "" << 0;
    QTest::newRow("a password where none is set") << "kase"
                                                  << "x" << kWrongPassword << "" << false << ""
                                                  << "" << 0;
    QTest::newRow("Latvian password case") << "peteris"
                                           << "PĒ7" << kWrongPassword << "" << false << ""
                                           << "" << 0;
    QTest::newRow("unknown user") << "nobody"
                                  << "1234" << kUnknownUser << "" << false << ""
                                  << "" << 0;
    QTest::newRow("empty name") << ""
                                << "" << kUnknownUser << "" << false << ""
                                << "" << 0;
    QTest::newRow("name with a blank") << "anna "
                                       << "anna1" << kUnknownUser << "" << false << ""
                                       << "" << 0;
}

void TestLogin::check()
{
    QFETCH(QString, typedName);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(QString, rights);

    openLogin();
    TEnterPasword* login = m_main->enterPasword();
    login->edUserName()->clear();
    type(login->edUserName(), typedName);
    login->edPasword()->clear();
    type(login->edPasword(), password);
    QTest::mouseClick(login->btAutorizet(), Qt::LeftButton);

    // The name is upper-cased in the field whatever the outcome.
    QCOMPARE(login->edUserName()->text(), typedName.toUpper());
    const QString remembered =
        IniReadString(QStringLiteral("UserData"), QStringLiteral("UserName"), QStringLiteral("-"));
    if (!message.isEmpty()) {
        QCOMPARE(m_fixture.messages(), QStringList{message});
        QVERIFY(login->isVisible());
        QVERIFY(!state().LoggedIn);
        QVERIFY(state().CurrentUser.isEmpty());
        QCOMPARE(remembered, QStringLiteral("-"));
        QLineEdit* toCorrect = message == kUnknownUser ? login->edUserName() : login->edPasword();
        QVERIFY(toCorrect->hasFocus());
        return;
    }

    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(!login->isVisible());
    QVERIFY(state().LoggedIn);
    QCOMPARE(state().CurrentUser, typedName.toUpper());
    QCOMPARE(remembered, typedName.toUpper());
    const auto flag = [](bool on) { return on ? QLatin1Char('T') : QLatin1Char('F'); };
    const QString actualRights = QString() + flag(state().RightReceive) +
                                 flag(state().RightInventory) + flag(state().RightWriteOut) +
                                 flag(state().RightTransfer) + flag(state().RightOrders) +
                                 flag(state().RightNewGoods);
    QCOMPARE(actualRights, rights);
    QTEST(state().HidePurchasePrice, "hidePurchasePrice");
    QTEST(state().UserDepartments, "departments");
    QTEST(state().UserForbiddenPrices, "forbiddenPrices");
    QTEST(int(state().AgentIsn), "agent");
}

void TestLogin::returnMovesLikeAScanner()
{
    openLogin();
    TEnterPasword* login = m_main->enterPasword();
    QVERIFY(login->edUserName()->hasFocus());
    login->edUserName()->selectAll();
    // Each field ends with Return, as a scanned badge and password would.
    QTest::keyClicks(login->edUserName(), QStringLiteral("anna"));
    QTest::keyClick(login->edUserName(), Qt::Key_Return);
    QVERIFY(login->edPasword()->hasFocus());
    QVERIFY(login->isVisible());
    QTest::keyClicks(login->edPasword(), QStringLiteral("anna1"));
    QTest::keyClick(login->edPasword(), Qt::Key_Enter);

    QVERIFY2(m_fixture.messages().isEmpty(), qPrintable(m_fixture.messages().join('|')));
    QVERIFY(state().LoggedIn);
    QCOMPARE(state().CurrentUser, QStringLiteral("ANNA"));
    QVERIFY(!login->isVisible());
}

void TestLogin::closeWithoutLogin()
{
    openLogin();
    QTest::mouseClick(m_main->enterPasword()->btClose(), Qt::LeftButton);
    QVERIFY(!m_main->enterPasword()->isVisible());
    QVERIFY(!state().LoggedIn);
    QVERIFY(m_fixture.messages().isEmpty());

    // The next command asks again, in the same window.
    TEnterPasword* first = m_main->enterPasword();
    openLogin();
    QCOMPARE(m_main->enterPasword(), first);
}

void TestLogin::loggedInOnceForTheRun()
{
    openLogin();
    m_main->enterPasword()->edPasword()->setText(QStringLiteral("1234"));
    QTest::mouseClick(m_main->enterPasword()->btAutorizet(), Qt::LeftButton);
    QVERIFY(state().LoggedIn);

    for (QPushButton* command :
         {m_main->btDokumenti(), m_main->btPrecuDati(), m_main->bt3D_Operacijas(),
          m_main->btSanemsanasParbaude(), m_main->btPiegadesApstiprin()}) {
        QTest::mouseClick(command, Qt::LeftButton);
        QVERIFY(!m_main->enterPasword()->isVisible());
        QVERIFY(state().LoggedIn);
    }
    QVERIFY(m_fixture.messages().isEmpty());
}

void TestLogin::keyboardAroundTypingFields_data()
{
    QTest::addColumn<bool>("hideKeyboard");

    QTest::newRow("keyboard hidden except in fields") << true;
    QTest::newRow("keyboard always allowed") << false;
}

void TestLogin::keyboardAroundTypingFields()
{
    QFETCH(bool, hideKeyboard);
    IniWriteBool(QStringLiteral("SysCon"), QStringLiteral("NeraditEkranaKlaviaturu"), hideKeyboard);
    QTimer* timer = m_main->tmKeybOff();
    openLogin();
    // The user name has the focus: the keyboard may show.
    QVERIFY(m_main->enterPasword()->edUserName()->hasFocus());
    QVERIFY(!timer->isActive());

    m_main->enterPasword()->btClose()->setFocus();
    QCOMPARE(timer->isActive(), hideKeyboard);
    m_main->enterPasword()->edPasword()->setFocus();
    QVERIFY(!timer->isActive());
    m_main->enterPasword()->btAutorizet()->setFocus();
    QCOMPARE(timer->isActive(), hideKeyboard);
}

void TestLogin::serverErrorLeavesUserLoggedOut()
{
    openLogin();
    m_fixture.stopServer();
    m_main->enterPasword()->edPasword()->setText(QStringLiteral("1234"));
    QTest::mouseClick(m_main->enterPasword()->btAutorizet(), Qt::LeftButton);

    // Shown by the application object with the error's text.
    QCOMPARE(m_fixture.messages().size(), 1);
    const QString shown = m_fixture.messages().first();
    QVERIFY(!shown.isEmpty());
    QVERIFY(shown != kUnknownUser && shown != kWrongPassword);
    QVERIFY(!state().LoggedIn);
    QVERIFY(m_main->enterPasword()->isVisible());

    // The program goes on: the next command reports the lost server.
    m_fixture.messages().clear();
    QTest::mouseClick(m_main->btPrecuDati(), Qt::LeftButton);
    QCOMPARE(m_fixture.messages().size(), 1);
    QVERIFY(m_fixture.messages().first().startsWith(
        QStringLiteral("Kļūda pieslēdzoties pie servera !!!\n")));
}

NORVALK_GUI_TEST_MAIN(TestLogin)
#include "tst_login.moc"
