// The data module and the procedures that need no server: creation never
// connects, the client state starts empty, an unreachable server is
// reported once and fails the request, and the local helpers.

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/tclientdatamodule.h"
#include "common/remoteerror.h"
#include "common/showmessage.h"
#include "tests/support/testserver.h"

#include <QTest>

class TestClientDataModule final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void creationNeverConnects();
    void modulesKeepTheirOwnState();
    void clientStateStartsEmpty();
    void unreachableServerReportedAndRequestFails();
    void masterUserNeedsNoServer();
    void proxyWithoutConnectionFails();
    void commandTextDropsOldParameters();
    void closedDataSetHasNoFields();
    void normalizeDecimalText_data();
    void normalizeDecimalText();
    void readNumberField_data();
    void readNumberField();
    void departmentListLimitedToUsersDepartments();
    void keyboardSuppressionDrivesTimer();
    void keyboardSuppressionFollowsHandedOverTimer();

private:
    QStringList m_messages;
    MessageHandler m_previousHandler;
    TClientDataModule* m_module = nullptr;
};

void TestClientDataModule::init()
{
    m_messages.clear();
    m_previousHandler = setMessageHandler([this](const QString& text) { m_messages << text; });
    m_module = new TClientDataModule;
    // Nothing listens on a port just handed back by the system.
    m_module->SQLConnection1().setHostName(QStringLiteral("127.0.0.1"));
    m_module->SQLConnection1().setPort(TestServer::freePort());
}

void TestClientDataModule::cleanup()
{
    delete m_module;
    setMessageHandler(m_previousHandler);
}

void TestClientDataModule::creationNeverConnects()
{
    QVERIFY(!m_module->SQLConnection1().connected());
    QCOMPARE(TClientDataModule().SQLConnection1().port(), quint16(211));
    QCOMPARE(m_module->dataSets().size(), 12);
    for (RemoteDataSet* dataSet : m_module->dataSets())
        QVERIFY2(!dataSet->isActive(), qPrintable(dataSet->name()));
    QVERIFY(m_messages.isEmpty());
}

void TestClientDataModule::modulesKeepTheirOwnState()
{
    // Two terminals in one process (two main windows in a test) share nothing.
    TClientDataModule second;
    SetKeyboardSuppression(second, true);
    QVERIFY(second.keyboardSuppressionTimer()->isActive());
    QVERIFY(!m_module->keyboardSuppressionTimer()->isActive());
    second.clientState().DecimalPointIsDot = true;
    QCOMPARE(ReadNumberField(second.clientState(), QStringLiteral("1,5")), 1.5);
    QVERIFY(!m_module->clientState().DecimalPointIsDot);
    // Each procedure goes over the connection of the module it is given:
    // this one's leads nowhere, the other's is not even set.
    QVERIFY_THROWS_EXCEPTION(ClientError, GetStock(*m_module, 1, 2, QStringLiteral("F")));
    QVERIFY(!second.SQLConnection1().connected());
    QVERIFY(second.SQLConnection1().hostName() != m_module->SQLConnection1().hostName());
}

void TestClientDataModule::clientStateStartsEmpty()
{
    const ClientState& state = m_module->clientState();
    for (const QString& text : {state.CurrentUser, state.UserDepartments, state.UserForbiddenPrices,
                                state.ScalePrefix, state.DateSeparator})
        QVERIFY(text.isEmpty());
    for (bool flag : {state.LoggedIn, state.RightReceive, state.RightInventory, state.RightWriteOut,
                      state.RightTransfer, state.RightOrders, state.RightNewGoods,
                      state.HidePurchasePrice, state.IzrDaudzums1, state.IzrDzestAtlaidi,
                      state.IzrPardCenaNoNodalas, state.NeraditEkranaKlaviaturu,
                      state.UseCertifiedStock, state.ShowCertifiedStock, state.DecimalPointIsDot})
        QVERIFY(!flag);
    for (qint32 number : {state.AgentIsn, state.DekArtSak, state.DekArtGar, state.DekDaudzSak,
                          state.DekDaudzGar, state.DekDecimalz})
        QCOMPARE(number, 0);
}

void TestClientDataModule::unreachableServerReportedAndRequestFails()
{
    RemoteDataSet& query = m_module->cdsTempQuery();
    try {
        PrepareDataset(query);
        QFAIL("a connection that cannot be restored went unreported");
    } catch (const ClientError& error) {
        QVERIFY2(
            error.message().startsWith(QStringLiteral("Kļūda atjaunojot savienojumu ar serveri ")),
            qPrintable(error.message()));
        QVERIFY(error.message().size() > 40); // the error's own text follows
    }
    QVERIFY(m_messages.isEmpty()); // the window shows it

    query.setCommandText(QStringLiteral("SELECT 1 X FROM RDB$DATABASE"));
    try {
        query.open();
        QFAIL("open succeeded without a server");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Transport);
    }
    QVERIFY(!query.isActive());
    QVERIFY(!m_module->SQLConnection1().connected());
    QVERIFY_THROWS_EXCEPTION(RemoteError, InsertReturningIsn(m_module->cdsUpdate()));
}

void TestClientDataModule::masterUserNeedsNoServer()
{
    QVERIFY(UserHasRight(*m_module, QStringLiteral("CHIEF"), QStringLiteral("11"), 2));
    QVERIFY(UserHasRight(*m_module, QStringLiteral("CHIEF"), QStringLiteral("00"), 0));
    QVERIFY(!UserHasRight(*m_module, QStringLiteral("CHIEF"), QStringLiteral("80"), 0));
    QVERIFY(m_messages.isEmpty());
    // Any other spelling is an ordinary user name, looked up on the server
    // (which is not there).
    QVERIFY_THROWS_EXCEPTION(
        ClientError, UserHasRight(*m_module, QStringLiteral("chief"), QStringLiteral("11"), 2));
}

void TestClientDataModule::proxyWithoutConnectionFails()
{
    ProviderProxy proxy(QStringLiteral("prcTest"), nullptr);
    RemoteDataSet dataSet(QStringLiteral("cdsTest"), &proxy, QStringLiteral("dspTempQuery"));
    QVERIFY_THROWS_EXCEPTION(ClientError, dataSet.open());
    QVERIFY(!dataSet.isActive());

    proxy.setSqlConnection(&m_module->SQLConnection1());
    proxy.setServerClassName(QString());
    QVERIFY_THROWS_EXCEPTION(ClientError, dataSet.execute());
}

void TestClientDataModule::commandTextDropsOldParameters()
{
    RemoteDataSet& stock = m_module->cdsO_TEKATLIK();
    stock.setIntegerParam(QStringLiteral("OLD"), 5);
    stock.setCommandText(QStringLiteral("SELECT 1 FROM RDB$DATABASE WHERE 1=:A"));
    QVERIFY(stock.params().isEmpty());
    stock.setIntegerParam(QStringLiteral("A"), 1);
    stock.setTextParam(QStringLiteral("a"), QStringLiteral("x")); // same name, other case
    QCOMPARE(stock.params().size(), 1);
    QCOMPARE(stock.params().first().type, ParamType::Text);
    stock.setDateTimeParam(QStringLiteral("D"), QDateTime());
    QVERIFY(findParam(stock.params(), QStringLiteral("D"))->isNull());
}

void TestClientDataModule::closedDataSetHasNoFields()
{
    RemoteDataSet& query = m_module->cdsTempQuery();
    QVERIFY(query.eof());
    try {
        query.fieldByName(QStringLiteral("ISN"));
        QFAIL("a closed dataset returned a field");
    } catch (const ClientError& error) {
        QCOMPARE(error.message(), QStringLiteral("cdsTempQuery: lauks 'ISN' nav atrasts"));
    }
}

void TestClientDataModule::normalizeDecimalText_data()
{
    QTest::addColumn<bool>("dot");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("comma client, point typed") << false << "1.5"
                                               << "1,5";
    QTest::newRow("comma client, comma typed") << false << "1,5"
                                               << "1,5";
    QTest::newRow("point client, comma typed") << true << "1,5"
                                               << "1.5";
    QTest::newRow("point client, point typed") << true << "1.5"
                                               << "1.5";
    QTest::newRow("every separator") << false << "1.2.3"
                                     << "1,2,3";
    QTest::newRow("no separator") << true << "12"
                                  << "12";
}

void TestClientDataModule::normalizeDecimalText()
{
    QFETCH(bool, dot);
    QFETCH(QString, text);
    m_module->clientState().DecimalPointIsDot = dot;
    QTEST(NormalizeDecimalText(m_module->clientState(), text), "expected");
}

void TestClientDataModule::readNumberField_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("dot");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<double>("value");

    const QLocale latvian(QLocale::Latvian, QLocale::Latvia);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("comma client, point typed") << latvian << false << "1.5" << true << 1.5;
    QTest::newRow("comma client, comma typed") << latvian << false << "1,5" << true << 1.5;
    QTest::newRow("point client, comma typed") << english << true << "1,5" << true << 1.5;
    QTest::newRow("point client, point typed") << english << true << "1.5" << true << 1.5;
    QTest::newRow("blanks around") << latvian << false << " 3 " << true << 3.0;
    QTest::newRow("negative") << latvian << false << "-2,5" << true << -2.5;
    QTest::newRow("exponent of a finite number") << latvian << false << "1e3" << true << 1000.0;
    QTest::newRow("letters") << latvian << false << "abc" << false << 0.0;
    QTest::newRow("empty") << latvian << false << "" << false << 0.0;
    // Not numbers a person counts or prices with: stored, they would poison
    // every sum they enter.
    QTest::newRow("nan") << latvian << false << "nan" << false << 0.0;
    QTest::newRow("NaN, point client") << english << true << "NaN" << false << 0.0;
    QTest::newRow("inf") << latvian << false << "inf" << false << 0.0;
    QTest::newRow("-inf") << latvian << false << "-inf" << false << 0.0;
    QTest::newRow("+inf, point client") << english << true << "+inf" << false << 0.0;
    QTest::newRow("beyond a double") << latvian << false << "1e400" << false << 0.0;
    QTest::newRow("beyond a double, negative") << english << true << "-1e400" << false << 0.0;
    QTest::newRow("hexadecimal") << latvian << false << "0x10" << false << 0.0;
    QTest::newRow("hexadecimal, point client") << english << true << "0x10" << false << 0.0;
}

void TestClientDataModule::readNumberField()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, dot);
    QFETCH(QString, text);
    QFETCH(bool, converts);
    ClientFormat::setLocale(locale);
    m_module->clientState().DecimalPointIsDot = dot;
    bool ok = !converts; // the call must set it either way
    const double value = ReadNumberField(m_module->clientState(), text, &ok);
    ClientFormat::useSystemLocale();
    QCOMPARE(ok, converts);
    QTEST(value, "value");
}

void TestClientDataModule::departmentListLimitedToUsersDepartments()
{
    const QString all = DepartmentListSql(m_module->clientState(), QStringLiteral("NODALA"));
    QVERIFY(all.startsWith(QStringLiteral("SELECT N_DEPART.ISN, N_DEPART.GNOS NODALA FROM")));
    QVERIFY(!all.contains(QStringLiteral(" IN(")));
    m_module->clientState().UserDepartments = QStringLiteral("3,4");
    const QString limited = DepartmentListSql(m_module->clientState(), QStringLiteral("KLIENTS"));
    QVERIFY(limited.contains(QStringLiteral(":ISNODALAS")));
    QVERIFY(limited.endsWith(QStringLiteral(" ORDER BY N_DEPART.GNOS")));
    // However many departments, one statement: the list is a value.
    m_module->clientState().UserDepartments = QStringLiteral("3, 4,5,6,7,8,9,10,11,12");
    QCOMPARE(DepartmentListSql(m_module->clientState(), QStringLiteral("KLIENTS")), limited);
}

void TestClientDataModule::keyboardSuppressionDrivesTimer()
{
    QTimer* timer = m_module->keyboardSuppressionTimer();
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 50);
    SetKeyboardSuppression(*m_module, true);
    QVERIFY(timer->isActive());
    SetKeyboardSuppression(*m_module, true);
    QVERIFY(timer->isActive());
    SetKeyboardSuppression(*m_module, false);
    QVERIFY(!timer->isActive());
}

void TestClientDataModule::keyboardSuppressionFollowsHandedOverTimer()
{
    QTimer* own = m_module->keyboardSuppressionTimer();
    auto* windowTimer = new QTimer;
    m_module->setKeyboardSuppressionTimer(windowTimer);
    SetKeyboardSuppression(*m_module, true);
    QVERIFY(windowTimer->isActive());
    QVERIFY(!own->isActive());
    delete windowTimer;
    QCOMPARE(m_module->keyboardSuppressionTimer(), own);
    SetKeyboardSuppression(*m_module, true);
    QVERIFY(own->isActive());
    SetKeyboardSuppression(*m_module, false);
}

QTEST_GUILESS_MAIN(TestClientDataModule)
#include "tst_clientdatamodule.moc"
