#include "client/widgets/touchform.h"

#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/keyedlist.h"
#include "client/core/scalebarcoderule.h"
#include "client/core/settingsfile.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/screenkeyboard.h"
#include "client/widgets/searchedit.h"
#include "client/widgets/touchbutton.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>

namespace {

constexpr int kStatusHeight = 34;

} // namespace

TouchForm::TouchForm(QWidget* owner, const QString& objectName, const QString& caption, QSize size)
    : QWidget(owner, Qt::Window)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setFixedSize(size);
    TouchLook::applyTo(this);
}

void TouchForm::open()
{
    if (isVisible()) {
        raise();
        activateWindow();
        RunHandler([this] { FormActivate(); });
        return;
    }
    show(); // FormShow and FormActivate through showEvent
    activateWindow();
}

void TouchForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return; // the window system showing it again, not the program
    if (!m_centred) {
        m_centred = true;
        if (const QScreen* display = screen())
            move(display->availableGeometry().center() - rect().center());
    }
    RunHandler([this] {
        FormShow();
        FormActivate();
    });
}

void TouchForm::closeEvent(QCloseEvent* event)
{
    bool closed = true;
    RunHandler([&] {
        closed = false;
        FormClose();
        closed = true;
    });
    if (!closed) {
        event->ignore();
        return;
    }
    event->accept();
    emit this->closed();
}

QRect TouchForm::scaled(QRect designed) const
{
    if (m_scale == 1.0)
        return designed;
    return QRect(qRound(designed.x() * m_scale), qRound(designed.y() * m_scale),
                 qRound(designed.width() * m_scale), qRound(designed.height() * m_scale));
}

int TouchForm::scaledFont(int size) const
{
    return qRound(size * m_scale);
}

QLabel* TouchForm::makeTitle(const QString& name, const QString& text, QRect geometry,
                             QWidget* parent)
{
    QLabel* title = makeLabel(name, text, geometry, 24, parent);
    title->setFont(TouchLook::font(scaledFont(24), true));
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    return title;
}

QLabel* TouchForm::makeLabel(const QString& name, const QString& text, QRect geometry, int fontSize,
                             QWidget* parent)
{
    auto* label = new QLabel(text, parent ? parent : this);
    label->setObjectName(name);
    label->setFont(TouchLook::font(scaledFont(fontSize)));
    label->setGeometry(scaled(geometry));
    return label;
}

namespace {

template <typename Edit>
Edit* setUpEdit(Edit* edit, const QString& name, QRect geometry, int fontSize)
{
    edit->setObjectName(name);
    edit->setFont(TouchLook::font(fontSize));
    edit->setGeometry(geometry); // already scaled
    edit->setInputMethodHints(Qt::ImhNoPredictiveText);
    return edit;
}

} // namespace

QLineEdit* TouchForm::makeEdit(const QString& name, QRect geometry, int fontSize, QWidget* parent)
{
    return setUpEdit(new QLineEdit(parent ? parent : this), name, scaled(geometry),
                     scaledFont(fontSize));
}

QLineEdit* TouchForm::makeShownValue(const QString& name, QRect geometry, int fontSize,
                                     QWidget* parent)
{
    QLineEdit* field = makeEdit(name, geometry, fontSize, parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    return field;
}

SearchEdit* TouchForm::makeSearchEdit(const QString& name, const QString& buttonName,
                                      QRect geometry, int fontSize, QWidget* parent)
{
    SearchEdit* edit = setUpEdit(new SearchEdit(parent ? parent : this), name, scaled(geometry),
                                 scaledFont(fontSize));
    edit->searchButton()->setObjectName(buttonName);
    return edit;
}

QPushButton* TouchForm::makeButton(const QString& name, const QString& caption, QRect geometry,
                                   int fontSize, QWidget* parent)
{
    auto* button = new TouchButton(caption, parent ? parent : this);
    button->setObjectName(name);
    button->setFont(TouchLook::font(scaledFont(fontSize)));
    button->setGeometry(scaled(geometry));
    return button;
}

QComboBox* TouchForm::makeCombo(const QString& name, QRect geometry, int fontSize, QWidget* parent)
{
    auto* combo = new QComboBox(parent ? parent : this);
    combo->setObjectName(name);
    combo->setFont(TouchLook::font(scaledFont(fontSize)));
    combo->setGeometry(scaled(geometry));
    combo->setMaxVisibleItems(15);
    return combo;
}

QDateEdit* TouchForm::makeDateEdit(const QString& name, QRect geometry, int fontSize,
                                   QWidget* parent)
{
    auto* edit = new QDateEdit(QDate::currentDate(), parent ? parent : this);
    edit->setObjectName(name);
    edit->setFont(TouchLook::font(scaledFont(fontSize)));
    edit->setGeometry(scaled(geometry));
    edit->setDisplayFormat(ClientFormat::shortDateFormat());
    edit->setCalendarPopup(true);
    edit->setInputMethodHints(Qt::ImhDate | Qt::ImhPreferNumbers | Qt::ImhNoPredictiveText);
    return edit;
}

QWidget* TouchForm::addPage(QTabWidget* tabs, const QString& name, const QString& caption)
{
    auto* page = new QWidget;
    page->setObjectName(name);
    tabs->addTab(page, caption);
    return page;
}

void TouchForm::wireTabClick(QTabWidget* tabs, QWidget* page, std::function<void()> handler)
{
    connect(tabs, &QTabWidget::tabBarClicked, this, [tabs, page, handler](int index) {
        if (tabs->widget(index) == page)
            RunHandler(handler);
    });
}

QTabWidget* TouchForm::makeTabs(const QString& name, QRect geometry, int tabHeight)
{
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName(name);
    tabs->setFont(TouchLook::font(scaledFont(18)));
    tabs->setGeometry(scaled(geometry));
    // The pages show the window's fill, as the rest of the window does.
    QString style = QStringLiteral("QTabWidget::pane { border: 1px solid #4A7396; "
                                   "background: transparent; }");
    if (tabHeight > 0)
        style += QStringLiteral(" QTabBar::tab { height: %1px; min-width: %2px; }")
                     .arg(scaledFont(tabHeight))
                     .arg(scaledFont(120));
    tabs->setStyleSheet(style);
    return tabs;
}

QRadioButton* TouchForm::makeRadioButton(const QString& name, const QString& caption,
                                         QRect geometry, int fontSize, QWidget* parent)
{
    auto* button = new QRadioButton(caption, parent ? parent : this);
    button->setObjectName(name);
    button->setFont(TouchLook::font(scaledFont(fontSize)));
    button->setGeometry(scaled(geometry));
    return button;
}

QLabel* TouchForm::makeStatusLine(const QString& name)
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("pnlStatus"));
    const int statusHeight = scaledFont(kStatusHeight);
    panel->setGeometry(0, height() - statusHeight, width(), statusHeight);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, TouchLook::fill().lighter(112));
    panel->setPalette(palette);
    QLabel* status =
        makeLabel(name, QString(), QRect(8, 0, width() - 16, kStatusHeight), 14, panel);
    return status;
}

void TouchForm::typingField(QWidget* field, TClientDataModule& module)
{
    ControlEvents& events = ControlEvents::of(field);
    events.setOnEnter([&module] { keyboardMayShow(module); });
    events.setOnExit([&module] { keyboardHiddenAgain(module); });
}

void TouchForm::keyboardMayShow(TClientDataModule& module)
{
    SetKeyboardSuppression(module, false);
    ScreenKeyboard::Show();
}

void TouchForm::keyboardHiddenAgain(TClientDataModule& module)
{
    if (module.clientState().NeraditEkranaKlaviaturu)
        SetKeyboardSuppression(module, true);
}

QWidget* TouchForm::control(const QString& name) const
{
    return name.isEmpty() ? nullptr : findChild<QWidget*>(name);
}

void TouchForm::refuse(const Refusal& refusal)
{
    if (!refusal.notice.isEmpty())
        ShowMessage(refusal.notice);
    ShowMessage(refusal.message);
    if (QWidget* field = control(refusal.field))
        field->setFocus(Qt::OtherFocusReason);
}

void TouchForm::applyScaleBarcodeRule(const ClientState& state, QLineEdit* article,
                                      QLineEdit* quantity)
{
    if (!article)
        return;
    QString articleText = article->text();
    QString quantityText = quantity ? quantity->text() : QString();
    if (!ScaleBarcodeRule::Apply(state, articleText, quantity ? &quantityText : nullptr))
        return;
    article->setText(articleText);
    if (quantity)
        quantity->setText(quantityText);
}

void TouchForm::fillCombo(QComboBox* combo, const KeyedList& entries)
{
    combo->clear();
    combo->addItems(entries.names);
    combo->setCurrentIndex(-1);
}

void TouchForm::fillRememberedCombo(QComboBox* combo, const KeyedList& entries,
                                    const QString& section, const QString& key)
{
    const QSignalBlocker quiet(combo);
    fillCombo(combo, entries);
    combo->setCurrentIndex(IniReadInteger(section, key, -1));
}

void TouchForm::rememberCombo(const QComboBox* combo, const QString& section, const QString& key)
{
    if (combo->count() > 0)
        RunHandler([&] { IniWriteInteger(section, key, combo->currentIndex()); });
}

void TouchForm::setPeriodToToday(QDateEdit* from, QDateEdit* to)
{
    const QSignalBlocker quietFrom(from);
    const QSignalBlocker quietTo(to);
    from->setDate(QDate::currentDate());
    to->setDate(QDate::currentDate());
}
