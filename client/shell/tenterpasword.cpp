#include "tenterpasword.h"

#include "commonprocedures.h"
#include "controlevents.h"
#include "logincheck.h"
#include "settingsfile.h"
#include "showmessage.h"
#include "tclientdatamodule.h"
#include "touchbutton.h"
#include "touchlook.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

TEnterPasword* EnterPasword = nullptr;

namespace {

constexpr int kWidth = 349;
constexpr int kHeight = 605;
constexpr int kMargin = 12;
constexpr int kInnerWidth = kWidth - 2 * kMargin;
constexpr int kStatusHeight = 34;

const QString kSection = QStringLiteral("UserData");
const QString kUserName = QStringLiteral("UserName");

const QString kUnknownUser = QStringLiteral("Šāds lietotājs nav reģistrēts sistēmā !!!");
const QString kWrongPassword = QStringLiteral("Nav ievadīta pareiza parole !!!");

void keyboardMayShow()
{
    SetKeyboardSuppression(false);
}

void keyboardHiddenAgain()
{
    if (ClientDataModule && ClientDataModule->clientState().NeraditEkranaKlaviaturu)
        SetKeyboardSuppression(true);
}

} // namespace

TEnterPasword::TEnterPasword(QWidget* owner) : QWidget(owner, Qt::Window)
{
    if (!EnterPasword)
        EnterPasword = this;
    setObjectName(QStringLiteral("EnterPasword"));
    setWindowTitle(QStringLiteral("Saņemšanas pārbaude"));
    setFixedSize(kWidth, kHeight);
    TouchLook::applyTo(this);

    m_lbParbaudesVeids = new QLabel(QStringLiteral("Lietotāja autorizācija"), this);
    m_lbParbaudesVeids->setObjectName(QStringLiteral("lbParbaudesVeids"));
    m_lbParbaudesVeids->setFont(TouchLook::font(24, true));
    m_lbParbaudesVeids->setAlignment(Qt::AlignCenter);
    m_lbParbaudesVeids->setWordWrap(true);
    m_lbParbaudesVeids->setGeometry(kMargin, 20, kInnerWidth, 44);

    m_lbUserName = new QLabel(QStringLiteral("Lietotājs"), this);
    m_lbUserName->setObjectName(QStringLiteral("lbUserName"));
    m_lbUserName->setFont(TouchLook::font(20));
    m_lbUserName->setGeometry(kMargin, 96, kInnerWidth, 30);
    m_edUserName = new QLineEdit(QStringLiteral("CHIEF"), this);
    m_edUserName->setObjectName(QStringLiteral("edUserName"));
    m_edUserName->setFont(TouchLook::font(20));
    m_edUserName->setGeometry(kMargin, 128, kInnerWidth, 46);
    m_edUserName->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);

    m_lbPasword = new QLabel(QStringLiteral("Parole"), this);
    m_lbPasword->setObjectName(QStringLiteral("lbPasword"));
    m_lbPasword->setFont(TouchLook::font(20));
    m_lbPasword->setGeometry(kMargin, 196, kInnerWidth, 30);
    m_edPasword = new QLineEdit(this);
    m_edPasword->setObjectName(QStringLiteral("edPasword"));
    m_edPasword->setFont(TouchLook::font(20));
    m_edPasword->setGeometry(kMargin, 228, kInnerWidth, 46);
    m_edPasword->setEchoMode(QLineEdit::Password);
    m_edPasword->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData |
                                     Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);

    m_btAutorizet = new TouchButton(QStringLiteral("Autorizēt"), this);
    m_btAutorizet->setObjectName(QStringLiteral("btAutorizet"));
    m_btAutorizet->setFont(TouchLook::font(20));
    m_btAutorizet->setGeometry(kMargin, 306, 105, 49);
    m_btClose = new TouchButton(QStringLiteral("Aizvērt"), this);
    m_btClose->setObjectName(QStringLiteral("btClose"));
    m_btClose->setFont(TouchLook::font(20));
    m_btClose->setGeometry(kWidth - kMargin - 105, 306, 105, 49);

    m_pnlStatus = new QWidget(this);
    m_pnlStatus->setObjectName(QStringLiteral("pnlStatus"));
    m_pnlStatus->setGeometry(0, kHeight - kStatusHeight, kWidth, kStatusHeight);
    m_pnlStatus->setAutoFillBackground(true);
    QPalette statusPalette = m_pnlStatus->palette();
    statusPalette.setColor(QPalette::Window, TouchLook::fill().lighter(112));
    m_pnlStatus->setPalette(statusPalette);
    m_lbStatusBar = new QLabel(m_pnlStatus);
    m_lbStatusBar->setObjectName(QStringLiteral("lbStatusBar"));
    m_lbStatusBar->setFont(TouchLook::font(14));
    m_lbStatusBar->setGeometry(8, 0, kWidth - 16, kStatusHeight);

    connect(m_btAutorizet, &QPushButton::clicked, this, &TEnterPasword::btAutorizetClick);
    connect(m_btClose, &QPushButton::clicked, this, &TEnterPasword::btCloseClick);
    ControlEvents& userName = ControlEvents::of(m_edUserName);
    userName.setOnEnter([this] { edUserNameEnter(); });
    userName.setOnExit([this] { edUserNameExit(); });
    userName.setOnKeyDown([this](QKeyEvent& key) { return edUserNameKeyDown(key); });
    ControlEvents& pasword = ControlEvents::of(m_edPasword);
    pasword.setOnEnter([this] { edPaswordEnter(); });
    pasword.setOnExit([this] { edPaswordExit(); });
    pasword.setOnKeyDown([this](QKeyEvent& key) { return edPaswordKeyDown(key); });
}

TEnterPasword::~TEnterPasword()
{
    if (EnterPasword == this)
        EnterPasword = nullptr;
}

void TEnterPasword::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Each showing activates the window. Returning from a message box of
    // this window does not count: the focus must stay on the field to
    // correct, with the name as typed.
    if (!event->spontaneous())
        FormActivate();
}

void TEnterPasword::FormActivate()
{
    m_edUserName->setText(IniReadString(kSection, kUserName, QStringLiteral("CHIEF")));
    m_edUserName->setFocus();
}

void TEnterPasword::edUserNameEnter()
{
    keyboardMayShow();
}

void TEnterPasword::edUserNameExit()
{
    keyboardHiddenAgain();
}

bool TEnterPasword::edUserNameKeyDown(QKeyEvent& key)
{
    if (!ControlEvents::isReturn(key))
        return false;
    m_edPasword->setFocus();
    return true;
}

void TEnterPasword::edPaswordEnter()
{
    keyboardMayShow();
}

void TEnterPasword::edPaswordExit()
{
    keyboardHiddenAgain();
}

bool TEnterPasword::edPaswordKeyDown(QKeyEvent& key)
{
    if (!ControlEvents::isReturn(key))
        return false;
    btAutorizetClick();
    return true;
}

void TEnterPasword::btAutorizetClick()
{
    const QString userName = m_edUserName->text().toUpper();
    m_edUserName->setText(userName);
    switch (LoginCheck::Check(RequireClientDataModule(), userName, m_edPasword->text())) {
    case LoginCheck::Outcome::UnknownUser:
        ShowMessage(kUnknownUser);
        m_edUserName->setFocus();
        return;
    case LoginCheck::Outcome::WrongPassword:
        ShowMessage(kWrongPassword);
        m_edPasword->setFocus();
        return;
    case LoginCheck::Outcome::Accepted:
        break;
    }
    IniWriteString(kSection, kUserName, userName);
    close();
}

void TEnterPasword::btCloseClick()
{
    close();
}
