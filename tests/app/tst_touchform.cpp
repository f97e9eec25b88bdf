// The base every touch window is built on: when its events run (activation
// on every opening, not on the activation a message box gives back), field
// exit that a message box or another window does not trigger, errors of
// handlers shown instead of crossing the event loop, a close that fails and
// keeps the window open, refusals, the tone of every message box, and the
// set-up a window does that is no change by the user.

#include "client/core/keyedlist.h"
#include "client/core/outcome.h"
#include "client/core/settingsfile.h"
#include "client/widgets/errortone.h"
#include "client/widgets/searchedit.h"
#include "client/widgets/touchform.h"
#include "common/showmessage.h"
#include "gui/guiapplication.h"
#include "tests/support/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <stdexcept>

namespace {

// A window of the kind the terminal has: an article field whose exit runs a
// look-up that may report "not found", a quantity field, a button.
class ProbeForm final : public TouchForm
{
public:
    ProbeForm() : TouchForm(nullptr, QStringLiteral("Probe"), QStringLiteral("Probe"))
    {
        edArtikuls = makeSearchEdit(QStringLiteral("edArtikuls"),
                                    QStringLiteral("SearchEditButton1"), QRect(10, 60, 300, 46));
        edDaudzums = makeEdit(QStringLiteral("edDaudzums"), QRect(10, 120, 300, 46));
        btSave = makeButton(QStringLiteral("btSave"), QStringLiteral("Saglabāt"),
                            QRect(10, 500, 150, 49));
        onExit(edArtikuls, &ProbeForm::edArtikulsExit);
        onKeyDown(edArtikuls, &ProbeForm::edArtikulsKeyDown);
        onKeyDown(edDaudzums, &ProbeForm::edDaudzumsKeyDown);
        onClick(btSave, &ProbeForm::btSaveClick);
        onClick(edArtikuls->searchButton(), &ProbeForm::SearchEditButton1Click);
    }

    void FormShow() override { ++shows; }
    void FormActivate() override
    {
        ++activations;
        edArtikuls->setFocus();
    }
    void FormClose() override
    {
        if (failClose)
            throw std::runtime_error("Norvalk.INI: nevar ierakstīt");
    }

    void edArtikulsExit()
    {
        ++lookups;
        if (!edArtikuls->text().isEmpty())
            ShowMessage(QStringLiteral("Nav atrasts artikuls : ") + edArtikuls->text());
    }
    void SearchEditButton1Click() { edArtikulsExit(); }
    bool edArtikulsKeyDown(QKeyEvent& key)
    {
        if (!isReturn(key))
            return false;
        edDaudzums->setFocus();
        return true;
    }
    bool edDaudzumsKeyDown(QKeyEvent& key)
    {
        if (!isReturn(key))
            return false;
        throw std::runtime_error("server gone");
    }
    void btSaveClick()
    {
        refuse(Outcome<>::refuse(QStringLiteral("Nav ievadīts daudzums !!!"),
                                 QStringLiteral("edDaudzums"))
                   .refusal());
    }

    SearchEdit* edArtikuls = nullptr;
    QLineEdit* edDaudzums = nullptr;
    QPushButton* btSave = nullptr;
    int shows = 0;
    int activations = 0;
    int lookups = 0;
    bool failClose = false;
};

// A window with a remembered department, a period and a list tab, each
// counting what the user's changes would run.
class ChoiceForm final : public TouchForm
{
public:
    ChoiceForm() : TouchForm(nullptr, QStringLiteral("Choice"), QStringLiteral("Choice"))
    {
        tabs = makeTabs(QStringLiteral("tabs"), rect());
        tabDati = addPage(tabs, QStringLiteral("tabDati"), QStringLiteral("Dati"));
        tabSaraksts = addPage(tabs, QStringLiteral("tabSaraksts"), QStringLiteral("Saraksts"));
        cmbNodala = makeCombo(QStringLiteral("cmbNodala"), QRect(10, 10, 300, 40), 18, tabDati);
        dtDatNo = makeDateEdit(QStringLiteral("dtDatNo"), QRect(10, 10, 150, 40), 18, tabSaraksts);
        dtDatLidz =
            makeDateEdit(QStringLiteral("dtDatLidz"), QRect(170, 10, 150, 40), 18, tabSaraksts);
        wire(cmbNodala, &QComboBox::currentIndexChanged, this, [this] { ++departmentChanges; });
        wire(dtDatNo, &QDateEdit::dateChanged, this, [this] { ++periodChanges; });
        wire(dtDatLidz, &QDateEdit::dateChanged, this, [this] { ++periodChanges; });
        onTabClick(tabs, tabSaraksts, &ChoiceForm::tabSarakstsClick);
    }

    void tabSarakstsClick() { ++listClicks; }
    void fillDepartments(const KeyedList& list)
    {
        fillRememberedCombo(cmbNodala, list, QStringLiteral("Choice"), QStringLiteral("Isnodala"));
    }
    void rememberDepartment() const
    {
        rememberCombo(cmbNodala, QStringLiteral("Choice"), QStringLiteral("Isnodala"));
    }
    void periodToToday() { setPeriodToToday(dtDatNo, dtDatLidz); }

    QTabWidget* tabs = nullptr;
    QWidget* tabDati = nullptr;
    QWidget* tabSaraksts = nullptr;
    QComboBox* cmbNodala = nullptr;
    QDateEdit* dtDatNo = nullptr;
    QDateEdit* dtDatLidz = nullptr;
    int departmentChanges = 0;
    int periodChanges = 0;
    int listClicks = 0;
};

int rememberedDepartment()
{
    return IniReadInteger(QStringLiteral("Choice"), QStringLiteral("Isnodala"), -1);
}

} // namespace

class TestTouchForm final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void prologue();
    void activationOnEveryOpening();
    void messageBoxIsNoFieldExit_data();
    void messageBoxIsNoFieldExit();
    void leavingTheFieldIsExit();
    void handlerErrorsAreShown();
    void failedCloseKeepsWindowOpen();
    void refusalShowsThenFocuses();
    void everyMessageBoxSounds();
    void rememberedChoice();
    void setUpIsNoUserChange();

private:
    void openProbe();

    WindowFixture m_fixture;
    ProbeForm* m_form = nullptr;
};

void TestTouchForm::init()
{
    m_fixture.messages().clear();
    m_fixture.setRealMessageBoxes(false);
    m_form = new ProbeForm;
}

void TestTouchForm::cleanup()
{
    delete m_form;
    m_form = nullptr;
}

void TestTouchForm::openProbe()
{
    m_form->open();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    QVERIFY(WindowFixture::activate(m_form));
}

void TestTouchForm::prologue()
{
    openProbe();
    QCOMPARE(m_form->size(), TouchForm::DefaultSize);
    QCOMPARE(m_form->palette().color(QPalette::Window), QColor(0x87, 0xCE, 0xFA));
    QVERIFY(m_form->isWindow());
    // The search button sits inside the field and leaves the focus there.
    QToolButton* search = m_form->edArtikuls->searchButton();
    QCOMPARE(search->objectName(), QStringLiteral("SearchEditButton1"));
    QVERIFY(m_form->edArtikuls->rect().contains(search->geometry()));
    QCOMPARE(search->focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(search, Qt::LeftButton);
    QVERIFY(m_form->edArtikuls->hasFocus());
    QCOMPARE(m_form->lookups, 1);
}

void TestTouchForm::activationOnEveryOpening()
{
    openProbe();
    QCOMPARE(m_form->shows, 1);
    QCOMPARE(m_form->activations, 1);

    // Asked for again while open (a menu command, a document switch): the
    // window's activation runs again, without another FormShow.
    m_form->edDaudzums->setFocus();
    m_form->open();
    QCOMPARE(m_form->shows, 1);
    QCOMPARE(m_form->activations, 2);
    QVERIFY(m_form->edArtikuls->hasFocus());

    // The activation a message box hands back is not an opening.
    m_fixture.setRealMessageBoxes(true);
    ShowMessage(QStringLiteral("Nav ievadīts daudzums !!!"));
    QCOMPARE(m_form->activations, 2);

    m_form->hide();
    m_form->open();
    QCOMPARE(m_form->shows, 2);
    QCOMPARE(m_form->activations, 3);
}

void TestTouchForm::messageBoxIsNoFieldExit_data()
{
    QTest::addColumn<bool>("searchButton");

    // Return moves on to the quantity, and the look-up of the exit shows its
    // box while the focus is already on its way.
    QTest::newRow("Return") << false;
    // The search button runs the look-up with the focus still in the field:
    // the box takes the activation from the field itself.
    QTest::newRow("search button") << true;
}

void TestTouchForm::messageBoxIsNoFieldExit()
{
    QFETCH(bool, searchButton);
    openProbe();
    m_fixture.setRealMessageBoxes(true);
    m_form->edArtikuls->setFocus();
    QTest::keyClicks(m_form->edArtikuls, QStringLiteral("999999"));
    if (searchButton)
        QTest::mouseClick(m_form->edArtikuls->searchButton(), Qt::LeftButton);
    else
        QTest::keyClick(m_form->edArtikuls, Qt::Key_Return);

    // One look-up and one box, however the boxes moved the activation.
    QTRY_COMPARE(m_fixture.messages().size(), 1);
    QTest::qWait(100);
    QCOMPARE(m_form->lookups, 1);
    QCOMPARE(m_fixture.messages(), QStringList{QStringLiteral("Nav atrasts artikuls : 999999")});
}

void TestTouchForm::leavingTheFieldIsExit()
{
    openProbe();
    // The user taps another field, or tabs on: that is leaving the field.
    m_form->edArtikuls->setFocus();
    QTest::keyClick(m_form->edArtikuls, Qt::Key_Tab);
    QCOMPARE(m_form->lookups, 1);
    QTest::mouseClick(m_form->edArtikuls, Qt::LeftButton);
    QTest::mouseClick(m_form->edDaudzums, Qt::LeftButton);
    QCOMPARE(m_form->lookups, 2);

    // Another window of the terminal taking the activation is not.
    m_form->edArtikuls->setFocus();
    QWidget other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QVERIFY(WindowFixture::activate(&other));
    QVERIFY(WindowFixture::activate(m_form));
    QCOMPARE(m_form->lookups, 2);
}

void TestTouchForm::handlerErrorsAreShown()
{
    openProbe();
    // A key handler that throws: the error is shown, the key goes no further.
    m_form->edDaudzums->setFocus();
    m_form->edDaudzums->setText(QStringLiteral("5"));
    QTest::keyClick(m_form->edDaudzums, Qt::Key_Return);
    QCOMPARE(m_fixture.messages(), QStringList{QStringLiteral("server gone")});
    QCOMPARE(m_form->edDaudzums->text(), QStringLiteral("5"));
    QVERIFY(m_form->isVisible());

    // The window goes on: its next handler runs as ever.
    m_fixture.messages().clear();
    QTest::mouseClick(m_form->btSave, Qt::LeftButton);
    QCOMPARE(m_fixture.messages(), QStringList{QStringLiteral("Nav ievadīts daudzums !!!")});
}

void TestTouchForm::failedCloseKeepsWindowOpen()
{
    openProbe();
    m_form->edDaudzums->setText(QStringLiteral("12,5"));
    m_form->failClose = true;
    QVERIFY(!m_form->close());
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_fixture.messages(), QStringList{QStringLiteral("Norvalk.INI: nevar ierakstīt")});
    QCOMPARE(m_form->edDaudzums->text(), QStringLiteral("12,5"));

    m_form->failClose = false;
    QVERIFY(m_form->close());
    QVERIFY(!m_form->isVisible());
}

void TestTouchForm::refusalShowsThenFocuses()
{
    openProbe();
    m_form->edArtikuls->setText(QString());
    m_form->edArtikuls->setFocus();
    m_fixture.setRealMessageBoxes(true);
    QTest::mouseClick(m_form->btSave, Qt::LeftButton);
    QCOMPARE(m_fixture.messages(), QStringList{QStringLiteral("Nav ievadīts daudzums !!!")});
    // After the box the field to correct has the focus.
    QTRY_VERIFY(m_form->edDaudzums->hasFocus());
}

void TestTouchForm::everyMessageBoxSounds()
{
    // The terminal's own handler: the tone, then the box (closed here by a
    // timer, as a person would press OK). No audio device is needed.
    const MessageHandler fixtureHandler = setMessageHandler(ShowMessageWithTone);
    const auto pressOk = [] {
        QTimer::singleShot(20, qApp, [] {
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
    };
    const int before = ErrorTone::timesPlayed();
    pressOk();
    ShowMessage(QStringLiteral("Nav atrasts artikuls : 1"));
    QCOMPARE(ErrorTone::timesPlayed(), before + 1);

    // The default error display goes through the same box.
    pressOk();
    openProbe();
    m_form->edDaudzums->setFocus();
    QTest::keyClick(m_form->edDaudzums, Qt::Key_Return);
    QCOMPARE(ErrorTone::timesPlayed(), before + 2);
    setMessageHandler(fixtureHandler);
}

void TestTouchForm::rememberedChoice()
{
    IniWriteInteger(QStringLiteral("Choice"), QStringLiteral("Isnodala"), 1);
    ChoiceForm form;
    // A window that never got its list (a failed load, never shown) keeps
    // the choice remembered before.
    form.rememberDepartment();
    QCOMPARE(rememberedDepartment(), 1);

    KeyedList departments;
    departments.names = {QStringLiteral("Noliktava"), QStringLiteral("Veikals Jelgavā"),
                         QStringLiteral("Veikals Rīgā")};
    departments.isns = {2, 3, 4};
    form.fillDepartments(departments);
    QCOMPARE(form.cmbNodala->currentText(), QStringLiteral("Veikals Jelgavā"));
    QCOMPARE(form.departmentChanges, 0);

    form.cmbNodala->setCurrentIndex(2);
    QCOMPARE(form.departmentChanges, 1);
    form.rememberDepartment();
    QCOMPARE(rememberedDepartment(), 2);

    // Nothing chosen is remembered as such.
    form.cmbNodala->setCurrentIndex(-1);
    form.rememberDepartment();
    QCOMPARE(rememberedDepartment(), -1);
}

void TestTouchForm::setUpIsNoUserChange()
{
    ChoiceForm form;
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QDate today = QDate::currentDate();
    form.dtDatNo->setDate(today.addDays(-7));
    form.dtDatLidz->setDate(today.addDays(-1));
    QCOMPARE(form.periodChanges, 2);
    form.periodToToday();
    QCOMPARE(form.dtDatNo->date(), today);
    QCOMPARE(form.dtDatLidz->date(), today);
    QCOMPARE(form.periodChanges, 2);

    // A tap on the list's tab runs its handler; another page's tab, or the
    // program making the list current, does not.
    WindowFixture::clickTab(form.tabs, form.tabSaraksts);
    QCOMPARE(form.listClicks, 1);
    WindowFixture::clickTab(form.tabs, form.tabDati);
    form.tabs->setCurrentWidget(form.tabSaraksts);
    QCOMPARE(form.listClicks, 1);
    QCOMPARE(form.tabs->currentWidget(), form.tabSaraksts);
}

NORVALK_GUI_TEST_MAIN(TestTouchForm)
#include "tst_touchform.moc"
