#pragma once

#include "client/core/outcome.h"
#include "client/widgets/controlevents.h"
#include "client/widgets/handlerguard.h"

#include <QAbstractButton>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class SearchEdit;
class TClientDataModule;
struct ClientState;
struct KeyedList;

// The base of the terminal's windows: the light sky-blue, fixed-size window
// centred on the screen, the controls every window has (title, edit fields,
// an edit with a search button, big buttons, the status line), the wiring of
// controls to handlers, and the window's own events. A window adds only its
// controls and the handlers its behaviour names.
//
// The window's events, in the order they come:
// - FormCreate: the derived class's constructor ends by calling it, when the
//   window has one; the base calls nothing of the derived class while it is
//   being built.
// - FormShow: each time the window goes from hidden to shown.
// - FormActivate: each time the program opens the window, after FormShow:
//   shown, or opened again while already open (open()). It does not run when
//   the window only gets the focus back from a message box or from another
//   window the user was in: a window re-applies its set-up when it is asked
//   for, not behind the user's back.
// - FormClose: when the window closes. What it throws is shown and keeps the
//   window open, so that nothing the user entered is lost.
// A derived destructor that must save something (a remembered department)
// does so through RunHandler.
//
// Every handler is wired through onClick, onEnter/onExit/onKeyDown or wire,
// which show what a handler throws instead of letting it cross Qt's event
// dispatch.
class TouchForm : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TouchForm)

public:
    static constexpr QSize DefaultSize{355, 605};

    // Shows the window, or brings it to the front when it is already open,
    // and runs FormActivate either way.
    void open();

    // The scale-barcode rule on an article field and, where the window has
    // one, its quantity field, as the client state's installation settings
    // say.
    static void applyScaleBarcodeRule(const ClientState& state, QLineEdit* article,
                                      QLineEdit* quantity = nullptr);

signals:
    // The window has closed (not when a failing FormClose kept it open).
    void closed();

protected:
    TouchForm(QWidget* owner, const QString& objectName, const QString& caption,
              QSize size = DefaultSize);

    virtual void FormShow() {}
    virtual void FormActivate() {}
    virtual void FormClose() {}

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // A window with a layout for large screens builds the same controls at
    // this many times the design's sizes; set before making any control.
    void setDesignScale(double scale) { m_scale = scale; }
    QRect scaled(QRect designed) const;
    int scaledFont(int size) const;

    // Controls, named as the window's behaviour names them. Geometry is in
    // the window's design coordinates (scaled by the design scale); font
    // sizes as TouchLook::font takes them.
    QLabel* makeTitle(const QString& name, const QString& text, QRect geometry,
                      QWidget* parent = nullptr);
    QLabel* makeLabel(const QString& name, const QString& text, QRect geometry, int fontSize = 18,
                      QWidget* parent = nullptr);
    QLineEdit* makeEdit(const QString& name, QRect geometry, int fontSize = 20,
                        QWidget* parent = nullptr);
    // An edit field that only shows a value: not to be typed into nor
    // stepped through with the focus.
    QLineEdit* makeShownValue(const QString& name, QRect geometry, int fontSize = 18,
                              QWidget* parent = nullptr);
    SearchEdit* makeSearchEdit(const QString& name, const QString& buttonName, QRect geometry,
                               int fontSize = 20, QWidget* parent = nullptr);
    QPushButton* makeButton(const QString& name, const QString& caption, QRect geometry,
                            int fontSize = 18, QWidget* parent = nullptr);
    QComboBox* makeCombo(const QString& name, QRect geometry, int fontSize = 18,
                         QWidget* parent = nullptr);
    // A date in the client's short date format, today to start with, with a
    // calendar to pick from.
    QDateEdit* makeDateEdit(const QString& name, QRect geometry, int fontSize = 18,
                            QWidget* parent = nullptr);
    // Tabs over the window's fill; pages are added by the window. A window
    // with finger-sized tabs names their height.
    QTabWidget* makeTabs(const QString& name, QRect geometry, int tabHeight = 0);
    // A page of the tabs, named as the window names it.
    static QWidget* addPage(QTabWidget* tabs, const QString& name, const QString& caption);
    // One choice of a group; the buttons of one parent exclude each other.
    QRadioButton* makeRadioButton(const QString& name, const QString& caption, QRect geometry,
                                  int fontSize = 18, QWidget* parent = nullptr);
    // The status line along the window's bottom edge.
    QLabel* makeStatusLine(const QString& name = QStringLiteral("lbStatusBar"));

    // Wiring. The handlers are the window's own member functions.
    template <typename Form> void onClick(QAbstractButton* button, void (Form::*handler)())
    {
        Form* form = static_cast<Form*>(this);
        wire(button, &QAbstractButton::clicked, this, [form, handler] { (form->*handler)(); });
    }
    template <typename Form> void onEnter(QWidget* control, void (Form::*handler)())
    {
        Form* form = static_cast<Form*>(this);
        ControlEvents::of(control).setOnEnter([form, handler] { (form->*handler)(); });
    }
    template <typename Form> void onExit(QWidget* control, void (Form::*handler)())
    {
        Form* form = static_cast<Form*>(this);
        ControlEvents::of(control).setOnExit([form, handler] { (form->*handler)(); });
    }
    template <typename Form> void onKeyDown(QWidget* control, bool (Form::*handler)(QKeyEvent&))
    {
        Form* form = static_cast<Form*>(this);
        ControlEvents::of(control).setOnKeyDown(
            [form, handler](QKeyEvent& key) { return (form->*handler)(key); });
    }
    // A click on one page's tab; the program making a page current is no click.
    template <typename Form>
    void onTabClick(QTabWidget* tabs, QWidget* page, void (Form::*handler)())
    {
        Form* form = static_cast<Form*>(this);
        wireTabClick(tabs, page, [form, handler] { (form->*handler)(); });
    }
    // A field the user types into: the on-screen keyboard may show while it
    // has the focus and is hidden again after it when the module's client
    // state says so; the module's timer does the hiding. The module must
    // outlive the field.
    static void typingField(QWidget* field, TClientDataModule& module);
    static void keyboardMayShow(TClientDataModule& module);
    static void keyboardHiddenAgain(TClientDataModule& module);

    static bool isReturn(const QKeyEvent& key) { return ControlEvents::isReturn(key); }
    static bool isDown(const QKeyEvent& key) { return ControlEvents::isDown(key); }

    // Shows the refusal's message, then gives its field the focus.
    void refuse(const Refusal& refusal);
    // The control of that object name in this window; null when none.
    QWidget* control(const QString& name) const;

    // A combo box's entries from a keyed list, none chosen.
    static void fillCombo(QComboBox* combo, const KeyedList& entries);
    // A choice the settings file remembers by its list position: the entries
    // with the remembered one chosen, which is no change by the user (nothing
    // wired to the combo runs); and, as the window goes, the position written
    // back, unless the combo never got its entries: the choice remembered
    // before is then kept.
    static void fillRememberedCombo(QComboBox* combo, const KeyedList& entries,
                                    const QString& section, const QString& key);
    static void rememberCombo(const QComboBox* combo, const QString& section, const QString& key);
    // A period's two dates set to today; the user changed nothing, so what is
    // wired to the dates does not run.
    static void setPeriodToToday(QDateEdit* from, QDateEdit* to);

private:
    void wireTabClick(QTabWidget* tabs, QWidget* page, std::function<void()> handler);

    bool m_centred = false;
    double m_scale = 1.0;
};
