// The data classes of the login window and of the main window's connection
// step, without a window: what a login leaves in the client state, and
// nothing at all when it fails half way; a right read from its own entry of
// the rights text; what the connection step copies and loads.

#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/connectionstep.h"
#include "client/core/logincheck.h"
#include "client/core/providerproxy.h"
#include "client/core/settingsfile.h"
#include "common/remoteerror.h"
#include "tests/client/serverfixture.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestLoginCheck final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void refusals_data();
    void refusals();
    void acceptedLoginFillsState();
    void failureHalfWayLeavesStateAlone();
    void rightFromItsOwnEntry_data();
    void rightFromItsOwnEntry();
    void connectionStepCopiesAndLoads();
    void decimalSeparatorFromClientFormat_data();
    void decimalSeparatorFromClientFormat();

private:
    void addUser(int isn, const QString& name, const QString& password, const QString& rights,
                 const QString& departments);
    ClientState& state() { return m_fixture->module().clientState(); }

    QTemporaryDir m_home;
    std::unique_ptr<ServerFixture> m_fixture;
};

void TestLoginCheck::addUser(int isn, const QString& name, const QString& password,
                             const QString& rights, const QString& departments)
{
    m_fixture->run(QStringLiteral("INSERT INTO O_USERS (ISN, GNOS, PASWORD, NODALAS, ISAGENTS, "
                                  "AIZLIEGTCENAS, NERADITIEPCENU, IESPEJAS) VALUES (%1, :GNOS, "
                                  ":PASWORD, :NODALAS, 7, '|4|', 'T', :IESPEJAS)")
                       .arg(isn),
                   {{QStringLiteral("GNOS"), EncodeText(name)},
                    {QStringLiteral("PASWORD"), EncodeText(password)},
                    {QStringLiteral("NODALAS"), departments},
                    {QStringLiteral("IESPEJAS"), rights}});
}

void TestLoginCheck::initTestCase()
{
    qputenv("HOME", m_home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    m_fixture = std::make_unique<ServerFixture>();
    const QString failure = m_fixture->start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // The longer code first: a plain search for "11_" lands inside "111_".
    addUser(2, QStringLiteral("PETERIS"), QStringLiteral("Pē7"),
            QStringLiteral("111_TTT;11_FFF;15_FFT"), QStringLiteral("3,4,"));
    addUser(3, QStringLiteral("CHIEF"), QStringLiteral("1234"), QString(), QStringLiteral("3,"));
}

void TestLoginCheck::init()
{
    state() = ClientState();
}

void TestLoginCheck::cleanupTestCase()
{
    // Every text the data class sent is one the statement catalogue holds.
    const QString outside = m_fixture->statementsOutsideCatalogue();
    QVERIFY2(outside.isEmpty(), qPrintable(outside));
    QVERIFY(m_fixture->messages().isEmpty());
    m_fixture.reset();
}

void TestLoginCheck::refusals_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field");

    QTest::newRow("unknown user") << "NOBODY"
                                  << "x"
                                  << "Šāds lietotājs nav reģistrēts sistēmā !!!"
                                  << "edUserName";
    QTest::newRow("wrong password") << "PETERIS"
                                    << "pē7"
                                    << "Nav ievadīta pareiza parole !!!"
                                    << "edPasword";
}

void TestLoginCheck::refusals()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    const Outcome<> login = LoginCheck(m_fixture->module()).Authorise(user, password);
    QVERIFY(login.refused());
    QTEST(login.refusal().message, "message");
    QTEST(login.refusal().field, "field");
    QVERIFY(!state().LoggedIn);
    QVERIFY(state().CurrentUser.isEmpty());
}

void TestLoginCheck::acceptedLoginFillsState()
{
    state().ScalePrefix = QStringLiteral("22"); // what the connection loaded stays
    const Outcome<> login =
        LoginCheck(m_fixture->module()).Authorise(QStringLiteral("PETERIS"), QStringLiteral("Pē7"));
    QVERIFY(!login.refused());
    QVERIFY(state().LoggedIn);
    QCOMPARE(state().CurrentUser, QStringLiteral("PETERIS"));
    QCOMPARE(state().AgentIsn, 7);
    QVERIFY(!state().RightReceive); // 11_FFF, not 111_TTT
    QVERIFY(state().RightInventory);
    QVERIFY(state().HidePurchasePrice);
    QCOMPARE(state().UserDepartments, QStringLiteral("3,4"));
    QCOMPARE(state().UserForbiddenPrices, QStringLiteral("|4|"));
    QCOMPARE(state().ScalePrefix, QStringLiteral("22"));

    // The master user holds everything, whatever the row says.
    state() = ClientState();
    QVERIFY(!LoginCheck(m_fixture->module())
                 .Authorise(LoginCheck::MasterUser(), QStringLiteral("1234"))
                 .refused());
    QVERIFY(state().RightReceive && state().RightWriteOut && state().RightNewGoods);
    QVERIFY(state().UserDepartments.isEmpty());
    QVERIFY(!state().HidePurchasePrice);
}

void TestLoginCheck::failureHalfWayLeavesStateAlone()
{
    // The rights cannot be read (the user row can): the login fails after
    // the password matched, and must not leave a user logged in without a
    // department limit.
    ProviderProxy* rights = m_fixture->module().cdsO_USERS().remoteServer();
    rights->setServerClassName(QString());
    state().ScalePrefix = QStringLiteral("22");
    const ClientState before = state();
    QVERIFY_THROWS_EXCEPTION(std::exception,
                             LoginCheck(m_fixture->module())
                                 .Authorise(QStringLiteral("PETERIS"), QStringLiteral("Pē7")));
    rights->setServerClassName(QStringLiteral("TServerModuleData"));
    QVERIFY(!state().LoggedIn);
    QVERIFY(state().CurrentUser.isEmpty());
    QCOMPARE(state().AgentIsn, before.AgentIsn);
    QCOMPARE(state().ScalePrefix, QStringLiteral("22"));

    // Once the rights answer again the same login goes through.
    QVERIFY(!LoginCheck(m_fixture->module())
                 .Authorise(QStringLiteral("PETERIS"), QStringLiteral("Pē7"))
                 .refused());
    QVERIFY(state().LoggedIn);
}

void TestLoginCheck::rightFromItsOwnEntry_data()
{
    QTest::addColumn<QString>("rights");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("granted");

    QTest::newRow("longer code first") << "111_TTT;11_FFF"
                                       << "11" << 0 << false;
    QTest::newRow("only the longer code") << "111_TTT"
                                          << "11" << 0 << false;
    QTest::newRow("longer code after") << "11_TFT;111_FFF"
                                       << "11" << 2 << true;
    QTest::newRow("code at the end of another") << "211_TTT;11_TFF"
                                                << "11" << 1 << false;
    QTest::newRow("after a comma") << "13_F,11_TTT"
                                   << "11" << 1 << true;
    QTest::newRow("level past the end") << "11_T"
                                        << "11" << 1 << false;
    QTest::newRow("empty text") << ""
                                << "11" << 0 << false;
}

void TestLoginCheck::rightFromItsOwnEntry()
{
    QFETCH(QString, rights);
    QFETCH(QString, code);
    QFETCH(int, level);
    QTEST(RightFlag(rights, code, level), "granted");
}

void TestLoginCheck::connectionStepCopiesAndLoads()
{
    IniWriteString(QStringLiteral("SysCon"), QStringLiteral("HostName"),
                   QStringLiteral("10.0.0.7"));
    IniWriteBool(QStringLiteral("SysCon"), QStringLiteral("IzrDzestAtlaidi"), true);
    QCOMPARE(ConnectionStep::HostNameSetting(), QStringLiteral("10.0.0.7"));
    ConnectionStep::CopyLocalSwitches(state());
    QVERIFY(state().IzrDzestAtlaidi);
    QVERIFY(!state().IzrDaudzums1 && !state().IzrPardCenaNoNodalas);

    m_fixture->run(QStringLiteral("DELETE FROM N_ISI2"));
    m_fixture->run(QStringLiteral(
        "INSERT INTO N_ISI2 (ISN, DEK_PREFIX, DEK_ART_SAK, DEK_ART_GAR, DEK_DAUDZ_SAK, "
        "DEK_DAUDZ_GAR, DEK_DECIMALZ, ISISERTARATLIK, SHOWSERTATLIK) "
        "VALUES (1, '27', 3, 6, 9, 4, 2, 'T', 'F')"));
    ConnectionStep::LoadInstallationSettings(m_fixture->module());
    QCOMPARE(state().ScalePrefix, QStringLiteral("27"));
    QCOMPARE(state().DekArtGar, 6);
    QCOMPARE(state().DekDecimalz, 2);
    QVERIFY(state().UseCertifiedStock);
    QVERIFY(!state().ShowCertifiedStock);

    // No installation row: the rule is off.
    m_fixture->run(QStringLiteral("DELETE FROM N_ISI2"));
    ConnectionStep::LoadInstallationSettings(m_fixture->module());
    QVERIFY(state().ScalePrefix.isEmpty());
    QCOMPARE(state().DekArtSak, 0);
}

void TestLoginCheck::decimalSeparatorFromClientFormat_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("dot");

    QTest::newRow("Latvian") << QLocale(QLocale::Latvian, QLocale::Latvia) << false;
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedKingdom) << true;
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << false;
}

void TestLoginCheck::decimalSeparatorFromClientFormat()
{
    QFETCH(QLocale, locale);
    ClientFormat::setLocale(locale);
    ConnectionStep::ProbeDecimalSeparator(state());
    QTEST(state().DecimalPointIsDot, "dot");
    // Either mark typed reads as the same number in this format.
    for (const QString& typed : {QStringLiteral("12.5"), QStringLiteral("12,5")})
        QCOMPARE(ReadNumberField(m_fixture->module().clientState(), typed), 12.5);
    QCOMPARE(ReadNumberField(m_fixture->module().clientState(), QStringLiteral(" 3 ")), 3.0);
    QCOMPARE(ReadNumberField(m_fixture->module().clientState(), QStringLiteral("abc")), 0.0);
    ClientFormat::setLocale(QLocale(QLocale::Latvian, QLocale::Latvia));
}

QTEST_GUILESS_MAIN(TestLoginCheck)
#include "tst_logincheck.moc"
