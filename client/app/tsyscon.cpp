#include "client/app/tsyscon.h"

#include "client/core/commonprocedures.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/touchcheckbox.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kWidth = 349;
constexpr int kHeight = 605;
constexpr int kMargin = 12;
constexpr int kInnerWidth = kWidth - 2 * kMargin;
constexpr int kSwitchHeight = 58;

const QString kAndroidOnly = QStringLiteral("Šis tiek izmantots tikai Android platformā !!!");

} // namespace

TSysCon::TSysCon(TClientDataModule& module, QWidget* owner)
    : TouchForm(owner, QStringLiteral("SysCon"), QStringLiteral("Form1"), QSize(kWidth, kHeight)),
      m_module(module)
{

    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), QStringLiteral("Sistēmas iestatīšana"),
                          QRect(kMargin, 14, kInnerWidth, 34));
    m_lbTitle->setFont(TouchLook::font(18, true));
    makeLabel(QStringLiteral("lbIP_Adrese"), QStringLiteral("IP server adrese :"),
              QRect(kMargin, 62, kInnerWidth, 28));
    m_edIP_Adrese = makeEdit(QStringLiteral("edIP_Adrese"), QRect(kMargin, 92, kInnerWidth, 46));
    m_edIP_Adrese->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhNoPredictiveText);

    m_chkIzrDaudzums1 =
        makeSwitch("chkIzrDaudzums1", QStringLiteral("Izrakst. noklus.daudzums =1"), 156);
    m_chkIzrDzestAtlaidi = makeSwitch("chkIzrDzestAtlaidi",
                                      QStringLiteral("Izrakst. dzēst atlaidi katrā ierakstā"), 220);
    m_chkIzrPardCenaNoNodalas = makeSwitch(
        "chkIzrPardCenaNoNodalas", QStringLiteral("Izrakst. pārd.cenu ņemt no nod.Nr."), 284);
    m_chkNeraditEkranaKlaviaturu =
        makeSwitch("chkNeraditEkranaKlaviaturu", QStringLiteral("Nerādīt ekrāna klaviatūru"), 348);

    m_btUpgrade = makeButton(QStringLiteral("btUpgrade"), QStringLiteral("Versijas atjaunināšana"),
                             QRect(kMargin, 440, kInnerWidth, 58));
    m_btClose = makeButton(QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
                           QRect(kWidth - kMargin - 150, 526, 150, 58), 20);

    onClick(m_btClose, &TSysCon::btCloseClick);
    onClick(m_btUpgrade, &TSysCon::btUpgradeClick);
    typingField(m_edIP_Adrese, m_module);
    onKeyDown(m_edIP_Adrese, &TSysCon::edIP_AdreseKeyDown);
}

QCheckBox* TSysCon::makeSwitch(const char* name, const QString& caption, int top)
{
    auto* box = new TouchCheckBox(caption, this);
    box->setObjectName(QString::fromLatin1(name));
    box->setFont(TouchLook::font(18));
    box->setGeometry(kMargin, top, kInnerWidth, kSwitchHeight);
    return box;
}

void TSysCon::FormShow()
{
    const SystemSettings settings = SystemSettings::Read();
    m_edIP_Adrese->setText(settings.HostName);
    m_chkIzrDaudzums1->setChecked(settings.IzrDaudzums1);
    m_chkIzrDzestAtlaidi->setChecked(settings.IzrDzestAtlaidi);
    m_chkIzrPardCenaNoNodalas->setChecked(settings.IzrPardCenaNoNodalas);
    m_chkNeraditEkranaKlaviaturu->setChecked(settings.NeraditEkranaKlaviaturu);
}

void TSysCon::FormClose()
{
    SystemSettings settings;
    settings.HostName = m_edIP_Adrese->text();
    settings.IzrDaudzums1 = m_chkIzrDaudzums1->isChecked();
    settings.IzrDzestAtlaidi = m_chkIzrDzestAtlaidi->isChecked();
    settings.IzrPardCenaNoNodalas = m_chkIzrPardCenaNoNodalas->isChecked();
    settings.NeraditEkranaKlaviaturu = m_chkNeraditEkranaKlaviaturu->isChecked();
    settings.Write();
}

void TSysCon::btCloseClick()
{
    // Keyboard hiding follows the switch as loaded at the last connection;
    // a changed switch counts from the next menu command.
    SetKeyboardSuppression(m_module, m_module.clientState().NeraditEkranaKlaviaturu);
    close();
}

void TSysCon::btUpgradeClick()
{
    ShowMessage(kAndroidOnly);
}

bool TSysCon::edIP_AdreseKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    // Return ends editing, which lets the on-screen keyboard go.
    m_edIP_Adrese->clearFocus();
    return true;
}
