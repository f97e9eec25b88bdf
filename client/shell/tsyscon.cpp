#include "tsyscon.h"

#include "commonprocedures.h"
#include "controlevents.h"
#include "settingsfile.h"
#include "showmessage.h"
#include "tclientdatamodule.h"
#include "touchbutton.h"
#include "touchcheckbox.h"
#include "touchlook.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

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

TSysCon::TSysCon(QWidget* owner) : QWidget(owner, Qt::Window)
{
    if (!SysCon)
        SysCon = this;
    setObjectName(QStringLiteral("SysCon"));
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(kWidth, kHeight);
    TouchLook::applyTo(this);

    m_lbTitle = new QLabel(QStringLiteral("Sistēmas iestatīšana"), this);
    m_lbTitle->setObjectName(QStringLiteral("lbTitle"));
    m_lbTitle->setFont(TouchLook::font(18, true));
    m_lbTitle->setAlignment(Qt::AlignCenter);
    m_lbTitle->setGeometry(kMargin, 14, kInnerWidth, 34);

    m_lbAddress = new QLabel(QStringLiteral("IP server adrese :"), this);
    m_lbAddress->setObjectName(QStringLiteral("lbIP_Adrese"));
    m_lbAddress->setFont(TouchLook::font(18));
    m_lbAddress->setGeometry(kMargin, 62, kInnerWidth, 28);
    m_edIP_Adrese = new QLineEdit(this);
    m_edIP_Adrese->setObjectName(QStringLiteral("edIP_Adrese"));
    m_edIP_Adrese->setFont(TouchLook::font(20));
    m_edIP_Adrese->setGeometry(kMargin, 92, kInnerWidth, 46);
    m_edIP_Adrese->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhNoPredictiveText);

    m_chkIzrDaudzums1 =
        makeSwitch("chkIzrDaudzums1", QStringLiteral("Izrakst. noklus.daudzums =1"), 156);
    m_chkIzrDzestAtlaidi = makeSwitch("chkIzrDzestAtlaidi",
                                      QStringLiteral("Izrakst. dzēst atlaidi katrā ierakstā"), 220);
    m_chkIzrPardCenaNoNodalas = makeSwitch(
        "chkIzrPardCenaNoNodalas", QStringLiteral("Izrakst. pārd.cenu ņemt no nod.Nr."), 284);
    m_chkNeraditEkranaKlaviaturu =
        makeSwitch("chkNeraditEkranaKlaviaturu", QStringLiteral("Nerādīt ekrāna klaviatūru"), 348);

    m_btUpgrade = new TouchButton(QStringLiteral("Versijas atjaunināšana"), this);
    m_btUpgrade->setObjectName(QStringLiteral("btUpgrade"));
    m_btUpgrade->setFont(TouchLook::font(18));
    m_btUpgrade->setGeometry(kMargin, 440, kInnerWidth, 58);

    m_btClose = new TouchButton(QStringLiteral("Aizvērt"), this);
    m_btClose->setObjectName(QStringLiteral("btClose"));
    m_btClose->setFont(TouchLook::font(20));
    m_btClose->setGeometry(kWidth - kMargin - 150, 526, 150, 58);

    connect(m_btClose, &QPushButton::clicked, this, &TSysCon::btCloseClick);
    connect(m_btUpgrade, &QPushButton::clicked, this, &TSysCon::btUpgradeClick);
    ControlEvents& address = ControlEvents::of(m_edIP_Adrese);
    address.setOnEnter([this] { edIP_AdreseEnter(); });
    address.setOnExit([this] { edIP_AdreseExit(); });
    address.setOnKeyDown([this](QKeyEvent& key) { return edIP_AdreseKeyDown(key); });
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

void TSysCon::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TSysCon::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
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

void TSysCon::edIP_AdreseEnter()
{
    SetKeyboardSuppression(false);
}

void TSysCon::edIP_AdreseExit()
{
    if (ClientDataModule && ClientDataModule->clientState().NeraditEkranaKlaviaturu)
        SetKeyboardSuppression(true);
}

bool TSysCon::edIP_AdreseKeyDown(QKeyEvent& key)
{
    if (!ControlEvents::isReturn(key))
        return false;
    // Return ends editing, which lets the on-screen keyboard go.
    m_edIP_Adrese->clearFocus();
    return true;
}
