// The on-screen keyboard: which fields ask the input method for it and which
// put it down while hiding is set, where a window goes so that the keyboard
// leaves its field visible, and the switches that keep it off at start.

#include "client/app/tenterpasword.h"
#include "client/app/tnorvalkmain.h"
#include "client/core/settingsfile.h"
#include "client/goods/tprecudati.h"
#include "client/widgets/screenkeyboard.h"
#include "client/widgets/searchedit.h"
#include "gui/guiapplication.h"
#include "tests/support/windowfixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestScreenKeyboard final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typingFieldAsksForKeyboard_data();
    void typingFieldAsksForKeyboard();
    void scannedField_data();
    void scannedField();
    void placeAbove_data();
    void placeAbove();
    void enableBeforeStart_data();
    void enableBeforeStart();

private:
    // Focuses field in its active window; the requests from then on.
    QList<bool> requestsAfterFocus(QWidget* field);

    WindowFixture m_fixture;
    QList<bool> m_requests;
};

void TestScreenKeyboard::initTestCase()
{
    const QString error = m_fixture.startServer();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    ScreenKeyboard::SetWatcher([this](bool shown) { m_requests << shown; });
}

void TestScreenKeyboard::init()
{
    m_fixture.messages().clear();
    m_fixture.removeSettings();
    m_fixture.pointSettingsAtServer();
    m_requests.clear();
}

void TestScreenKeyboard::cleanup()
{
    m_fixture.closeMainWindow();
}

QList<bool> TestScreenKeyboard::requestsAfterFocus(QWidget* field)
{
    [&] { QVERIFY(WindowFixture::activate(field->window())); }();
    m_requests.clear();
    field->setFocus(Qt::MouseFocusReason);
    QTest::qWait(150); // three ticks of the hiding timer
    return m_requests;
}

void TestScreenKeyboard::typingFieldAsksForKeyboard_data()
{
    QTest::addColumn<bool>("hideKeyboard");

    QTest::newRow("hiding set") << true;
    QTest::newRow("hiding not set") << false;
}

void TestScreenKeyboard::typingFieldAsksForKeyboard()
{
    QFETCH(bool, hideKeyboard);
    IniWriteBool(QStringLiteral("SysCon"), QStringLiteral("NeraditEkranaKlaviaturu"), hideKeyboard);
    TNorvalkMain* main = m_fixture.openMainWindow();
    // The command connects (hiding starts when set) and asks for the login.
    QTest::mouseClick(main->btPrecuDati(), Qt::LeftButton);
    QVERIFY(main->enterPasword() && main->enterPasword()->isVisible());
    QCOMPARE(main->tmKeybOff()->isActive(),
             hideKeyboard && !main->enterPasword()->edUserName()->hasFocus());

    main->enterPasword()->btClose()->setFocus();
    const QList<bool> requests = requestsAfterFocus(main->enterPasword()->edPasword());
    QVERIFY(!requests.isEmpty());
    // Shown, and not put down again while the field has the focus.
    QVERIFY(requests.contains(true));
    QCOMPARE(requests.last(), true);
    QVERIFY(!main->tmKeybOff()->isActive());
}

void TestScreenKeyboard::scannedField_data()
{
    QTest::addColumn<bool>("hideKeyboard");

    QTest::newRow("hiding set: put down") << true;
    QTest::newRow("hiding not set: may show") << false;
}

void TestScreenKeyboard::scannedField()
{
    QFETCH(bool, hideKeyboard);
    IniWriteBool(QStringLiteral("SysCon"), QStringLiteral("NeraditEkranaKlaviaturu"), hideKeyboard);
    TNorvalkMain* main = m_fixture.openMainWindow();
    QVERIFY(m_fixture.runMenuCommand(main->btPrecuDati()));
    QVERIFY(main->precuDati() && main->precuDati()->isVisible());

    main->precuDati()->btClose()->setFocus();
    const QList<bool> requests = requestsAfterFocus(main->precuDati()->edArtikuls());
    QVERIFY(!requests.isEmpty());
    if (hideKeyboard) {
        // Never asked up on the article field, and put down at each tick.
        QVERIFY(!requests.contains(true));
        QVERIFY(requests.size() >= 2);
    } else {
        QVERIFY(!requests.contains(false));
    }
}

void TestScreenKeyboard::placeAbove_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("form");
    QTest::addColumn<QRect>("field");
    QTest::addColumn<QRect>("keyboard");
    QTest::addColumn<QPoint>("expected");

    const QRect tall(0, 0, 600, 1024);
    // The form of 355 x 605 centred on a 600 x 1024 screen: 209 to 813.
    const QRect centred(122, 209, 355, 605);
    const QRect field(130, 420, 220, 40);
    QTest::newRow("keyboard below the form: stays")
        << tall << centred << field << QRect(0, 836, 600, 188) << centred.topLeft();
    QTest::newRow("no keyboard: stays") << tall << centred << field << QRect() << centred.topLeft();
    // A taller keyboard reaching 60 into the form: the form goes 60 up.
    QTest::newRow("room above: just clear")
        << tall << centred << field << QRect(0, 754, 600, 270) << QPoint(122, 149);
    // The screen no taller than the form: only the field is kept clear, 8
    // above the keyboard.
    const QRect small(0, 0, 355, 605);
    QTest::newRow("form fills the screen: field moved clear")
        << small << small << QRect(8, 520, 220, 40) << QRect(0, 494, 355, 111) << QPoint(0, -74);
    QTest::newRow("form fills the screen: field already clear")
        << small << small << QRect(8, 30, 220, 40) << QRect(0, 494, 355, 111) << QPoint(0, 0);
}

void TestScreenKeyboard::placeAbove()
{
    QFETCH(QRect, screen);
    QFETCH(QRect, form);
    QFETCH(QRect, field);
    QFETCH(QRect, keyboard);
    QFETCH(QPoint, expected);

    const QPoint place = ScreenKeyboard::PlaceAbove(form, field, keyboard, screen);
    QCOMPARE(place, expected);
    QVERIFY(!field.translated(place - form.topLeft()).intersects(keyboard));
}

namespace {

void restore(const char* name, const QByteArray& value)
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

} // namespace

void TestScreenKeyboard::enableBeforeStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("setting"); // empty: no such key
    QTest::addColumn<QByteArray>("chosenBefore");
    QTest::addColumn<bool>("turnedOn");

    const QString program = QStringLiteral("Norvalk");
    const bool installed = ScreenKeyboard::PluginInstalled();
    QTest::newRow("nothing said") << QStringList{program} << QString() << QByteArray() << installed;
    QTest::newRow("setting 1") << QStringList{program} << QStringLiteral("1") << QByteArray()
                               << installed;
    QTest::newRow("command-line switch")
        << QStringList{program, QStringLiteral("--no-screen-keyboard")} << QString() << QByteArray()
        << false;
    QTest::newRow("setting 0") << QStringList{program} << QStringLiteral("0") << QByteArray()
                               << false;
    QTest::newRow("user's own input method")
        << QStringList{program} << QString() << QByteArray("ibus") << false;
}

void TestScreenKeyboard::enableBeforeStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, setting);
    QFETCH(QByteArray, chosenBefore);
    QFETCH(bool, turnedOn);
    if (!setting.isEmpty())
        IniWriteInteger(QStringLiteral("SysCon"), QStringLiteral("EkranaKlaviatura"),
                        setting.toInt());
    const QByteArray imBefore = qgetenv("QT_IM_MODULE");
    const QByteArray backendBefore = qgetenv("QT_QUICK_BACKEND");
    qunsetenv("QT_QUICK_BACKEND");
    if (chosenBefore.isEmpty())
        qunsetenv("QT_IM_MODULE");
    else
        qputenv("QT_IM_MODULE", chosenBefore);

    const bool on = ScreenKeyboard::EnableBeforeStart(arguments);
    const QByteArray im = qgetenv("QT_IM_MODULE");
    const QByteArray backend = qgetenv("QT_QUICK_BACKEND");
    restore("QT_IM_MODULE", imBefore);
    restore("QT_QUICK_BACKEND", backendBefore);

    QCOMPARE(on, turnedOn);
    if (turnedOn) {
        QCOMPARE(im, QByteArray("qtvirtualkeyboard"));
        QCOMPARE(backend, QByteArray("software"));
    } else {
        QCOMPARE(im, chosenBefore);
        QVERIFY(backend.isEmpty());
    }
}

NORVALK_GUI_TEST_MAIN(TestScreenKeyboard)
#include "tst_screenkeyboard.moc"
