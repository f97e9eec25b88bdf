#include "client/app/tenterpasword.h"

#include "client/core/logincheck.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kWidth = 349;
constexpr int kHeight = 605;
constexpr int kMargin = 12;
constexpr int kInnerWidth = kWidth - 2 * kMargin;
const QSize kButtonSize(105, 49);

} // namespace

TEnterPasword::TEnterPasword(TClientDataModule& module, QWidget* owner)
    : TouchForm(owner, QStringLiteral("EnterPasword"), QStringLiteral("Saņemšanas pārbaude"),
                QSize(kWidth, kHeight)),
      m_data(module)
{

    m_lbParbaudesVeids =
        makeTitle(QStringLiteral("lbParbaudesVeids"), QStringLiteral("Lietotāja autorizācija"),
                  QRect(kMargin, 20, kInnerWidth, 44));
    makeLabel(QStringLiteral("lbUserName"), QStringLiteral("Lietotājs"),
              QRect(kMargin, 96, kInnerWidth, 30), 20);
    m_edUserName = makeEdit(QStringLiteral("edUserName"), QRect(kMargin, 128, kInnerWidth, 46));
    m_edUserName->setText(QStringLiteral("CHIEF"));
    m_edUserName->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    makeLabel(QStringLiteral("lbPasword"), QStringLiteral("Parole"),
              QRect(kMargin, 196, kInnerWidth, 30), 20);
    m_edPasword = makeEdit(QStringLiteral("edPasword"), QRect(kMargin, 228, kInnerWidth, 46));
    m_edPasword->setEchoMode(QLineEdit::Password);
    m_edPasword->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData |
                                     Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);

    m_btAutorizet = makeButton(QStringLiteral("btAutorizet"), QStringLiteral("Autorizēt"),
                               QRect(QPoint(kMargin, 306), kButtonSize), 20);
    m_btClose =
        makeButton(QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
                   QRect(QPoint(kWidth - kMargin - kButtonSize.width(), 306), kButtonSize), 20);
    m_lbStatusBar = makeStatusLine();

    onClick(m_btAutorizet, &TEnterPasword::btAutorizetClick);
    onClick(m_btClose, &TEnterPasword::btCloseClick);
    // edUserNameEnter/Exit and edPaswordEnter/Exit: the keyboard pair.
    typingField(m_edUserName, module);
    typingField(m_edPasword, module);
    onKeyDown(m_edUserName, &TEnterPasword::edUserNameKeyDown);
    onKeyDown(m_edPasword, &TEnterPasword::edPaswordKeyDown);
}

void TEnterPasword::FormActivate()
{
    m_edUserName->setText(LoginCheck::LastUserName());
    m_edUserName->setFocus();
}

bool TEnterPasword::edUserNameKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    m_edPasword->setFocus();
    return true;
}

bool TEnterPasword::edPaswordKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    btAutorizetClick();
    return true;
}

void TEnterPasword::btAutorizetClick()
{
    const QString userName = m_edUserName->text().toUpper();
    m_edUserName->setText(userName);
    const Outcome<> login = m_data.Authorise(userName, m_edPasword->text());
    if (login.refused())
        return refuse(login.refusal());
    close();
}

void TEnterPasword::btCloseClick()
{
    close();
}
