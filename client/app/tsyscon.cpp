#include "client/app/tsyscon.h"

#include "client/core/commonprocedures.h"
#include "client/core/settingsfile.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/touchcheckbox.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TSysCon* SysCon = nullptr;

namespace {

constexpr int kWidth = 349;
constexpr int kHeight = 605;
constexpr int kMargin = 12;
constexpr int kInnerWidth = kWidth - 2 * kMargin;
constexpr int kSwitchHeight = 58;

const QString kSection = QStringLiteral("SysCon");
const QString kHostName = QStringLiteral("HostName");
const QString kIzrDaudzums1 = QStringLiteral("IzrDaudzums1");
const QString kIzrDzestAtlaidi = QStringLiteral("IzrDzestAtlaidi");
const QString kIzrPardCenaNoNodalas = QStringLiteral("IzrPardCenaNoNodalas");
const QString kNeraditEkranaKlaviaturu = QStringLiteral("NeraditEkranaKlaviaturu");

const QString kAndroidOnly = QStringLiteral("Šis tiek izmantots tikai Android platformā !!!");

} // namespace

TSysCon::TSysCon(QWidget* owner)
    : TouchForm(owner, QStringLiteral("SysCon"), QStringLiteral("Form1"), QSize(kWidth, kHeight))
{
    if (!SysCon)
        SysCon = this;

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
    typingField(m_edIP_Adrese);
    onKeyDown(m_edIP_Adrese, &TSysCon::edIP_AdreseKeyDown);
}

TSysCon::~TSysCon()
{
    if (SysCon == this)
        SysCon = nullptr;
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
    m_edIP_Adrese->setText(IniReadString(kSection, kHostName, DefaultHostName()));
    m_chkIzrDaudzums1->setChecked(IniReadBool(kSection, kIzrDaudzums1, false));
    m_chkIzrDzestAtlaidi->setChecked(IniReadBool(kSection, kIzrDzestAtlaidi, false));
    m_chkIzrPardCenaNoNodalas->setChecked(IniReadBool(kSection, kIzrPardCenaNoNodalas, false));
    m_chkNeraditEkranaKlaviaturu->setChecked(
        IniReadBool(kSection, kNeraditEkranaKlaviaturu, false));
}

void TSysCon::FormClose()
{
    // An empty address is written too: it is how a terminal is told to stop
    // connecting.
    IniWriteString(kSection, kHostName, m_edIP_Adrese->text());
    IniWriteBool(kSection, kIzrDaudzums1, m_chkIzrDaudzums1->isChecked());
    IniWriteBool(kSection, kIzrDzestAtlaidi, m_chkIzrDzestAtlaidi->isChecked());
    IniWriteBool(kSection, kIzrPardCenaNoNodalas, m_chkIzrPardCenaNoNodalas->isChecked());
    IniWriteBool(kSection, kNeraditEkranaKlaviaturu, m_chkNeraditEkranaKlaviaturu->isChecked());
}

void TSysCon::btCloseClick()
{
    // Keyboard hiding follows the switch as loaded at the last connection;
    // a changed switch counts from the next menu command.
    if (ClientDataModule)
        SetKeyboardSuppression(ClientDataModule->clientState().NeraditEkranaKlaviaturu);
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
