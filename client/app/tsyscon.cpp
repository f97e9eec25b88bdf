#include "client/app/tsyscon.h"

#include "client/core/commonprocedures.h"
#include "client/core/serverconnection.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/terminalidentity.h"
#include "client/widgets/touchcheckbox.h"
#include "client/widgets/touchlook.h"
#include "common/certificatefingerprint.h"
#include "common/providerclient.h"
#include "common/remoteerror.h"
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
constexpr int kSwitchHeight = 46;
constexpr int kFingerprintFont = 11;
constexpr int kFetchTimeoutMs = 5000;

const QString kAndroidOnly = QStringLiteral("Šis tiek izmantots tikai Android platformā !!!");
const QString kPlainLink = QStringLiteral("nav (savienojums bez šifrēšanas)");
const QString kNoIdentity = QStringLiteral("nav");
const QString kNoAddress = QStringLiteral("Nav iestatīta servera IP adrese !!!");
const QString kAlreadyAccepted = QStringLiteral("Servera %1 sertifikāts jau ir pieņemts:\n%2");
const QString kAcceptQuestion =
    QStringLiteral("Servera %1 sertifikāta nospiedums:\n%2\n\nPārbaudiet to pie administratora. "
                   "Pieņemt šo sertifikātu?");
const QString kReplaceQuestion =
    QStringLiteral("Servera %1 sertifikāta nospiedums:\n%2\n\nTas NEATBILST līdzšinējam:\n%3\n\n"
                   "Pārbaudiet jauno pie administratora. Pieņemt jauno sertifikātu?");

// Fingerprints are read aloud and compared pair by pair: a typewriter face.
QFont fingerprintFont()
{
    QFont font = TouchLook::font(kFingerprintFont);
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace

TSysCon::TSysCon(TClientDataModule& module, QWidget* owner)
    : TouchForm(owner, QStringLiteral("SysCon"), QStringLiteral("Form1"), QSize(kWidth, kHeight)),
      m_module(module), m_serverPort(ServerConnection::DefaultPort)
{
    m_lbTitle = makeTitle(QStringLiteral("lbTitle"), QStringLiteral("Sistēmas iestatīšana"),
                          QRect(kMargin, 8, kInnerWidth, 30));
    m_lbTitle->setFont(TouchLook::font(18, true));
    makeLabel(QStringLiteral("lbIP_Adrese"), QStringLiteral("IP server adrese :"),
              QRect(kMargin, 40, kInnerWidth, 26));
    m_edIP_Adrese = makeEdit(QStringLiteral("edIP_Adrese"), QRect(kMargin, 68, kInnerWidth, 44));
    m_edIP_Adrese->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhNoPredictiveText);

    m_chkIzrDaudzums1 =
        makeSwitch("chkIzrDaudzums1", QStringLiteral("Izrakst. noklus.daudzums =1"), 118);
    m_chkIzrDzestAtlaidi = makeSwitch("chkIzrDzestAtlaidi",
                                      QStringLiteral("Izrakst. dzēst atlaidi katrā ierakstā"), 164);
    m_chkIzrPardCenaNoNodalas = makeSwitch(
        "chkIzrPardCenaNoNodalas", QStringLiteral("Izrakst. pārd.cenu ņemt no nod.Nr."), 210);
    m_chkNeraditEkranaKlaviaturu =
        makeSwitch("chkNeraditEkranaKlaviaturu", QStringLiteral("Nerādīt ekrāna klaviatūru"), 256);

    makeLabel(QStringLiteral("lbServeraSertifikats"), QStringLiteral("Servera sertifikāts:"),
              QRect(kMargin, 306, kInnerWidth, 20), 14);
    m_lbServeraNospiedums = makeLabel(QStringLiteral("lbServeraNospiedums"), QString(),
                                      QRect(kMargin, 326, kInnerWidth, 34), kFingerprintFont);
    makeLabel(QStringLiteral("lbTerminalaSertifikats"), QStringLiteral("Termināļa sertifikāts:"),
              QRect(kMargin, 362, kInnerWidth, 20), 14);
    m_lbTerminalaNospiedums = makeLabel(QStringLiteral("lbTerminalaNospiedums"), QString(),
                                        QRect(kMargin, 382, kInnerWidth, 34), kFingerprintFont);
    for (QLabel* fingerprint : {m_lbServeraNospiedums, m_lbTerminalaNospiedums}) {
        fingerprint->setFont(fingerprintFont());
        fingerprint->setWordWrap(true);
        fingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_btServeraSertifikats = makeButton(QStringLiteral("btServeraSertifikats"),
                                        QStringLiteral("Pieņemt servera sertifikātu"),
                                        QRect(kMargin, 420, kInnerWidth, 48));

    m_btUpgrade = makeButton(QStringLiteral("btUpgrade"), QStringLiteral("Versijas atjaunināšana"),
                             QRect(kMargin, 476, kInnerWidth, 48));
    m_btClose = makeButton(QStringLiteral("btClose"), QStringLiteral("Aizvērt"),
                           QRect(kWidth - kMargin - 150, 538, 150, 56), 20);

    onClick(m_btClose, &TSysCon::btCloseClick);
    onClick(m_btUpgrade, &TSysCon::btUpgradeClick);
    onClick(m_btServeraSertifikats, &TSysCon::btServeraSertifikatsClick);
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
    showFingerprints();
}

QString TSysCon::TwoLines(const QString& fingerprint)
{
    // 16 pairs and their colons are 47 characters; the second line starts
    // after the 16th colon.
    constexpr qsizetype kLine = 48;
    if (fingerprint.size() <= kLine)
        return fingerprint;
    return fingerprint.left(kLine) + QLatin1Char('\n') + fingerprint.mid(kLine);
}

void TSysCon::showFingerprints()
{
    const QString accepted = SystemSettings::ServerCertificate();
    m_lbServeraNospiedums->setText(accepted.isEmpty() ? kPlainLink : TwoLines(accepted));
    const TerminalIdentity* identity = m_module.terminalIdentity();
    m_lbTerminalaNospiedums->setText(identity ? TwoLines(identity->fingerprint()) : kNoIdentity);
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

void TSysCon::btServeraSertifikatsClick()
{
    // The address as typed now: the administrator may be setting up a new
    // terminal and has not closed the window yet.
    const QString host = m_edIP_Adrese->text().trimmed();
    if (host.isEmpty()) {
        ShowMessage(kNoAddress);
        return;
    }
    QString presented;
    try {
        presented = ProviderClient::fetchServerFingerprint(host, m_serverPort, kFetchTimeoutMs);
    } catch (const RemoteError& error) {
        ShowMessage(error.message());
        return;
    }
    const QString accepted = NormalizeFingerprint(SystemSettings::ServerCertificate());
    if (presented == accepted) {
        ShowMessage(kAlreadyAccepted.arg(host, presented));
        return;
    }
    const QString question = accepted.isEmpty() ? kAcceptQuestion.arg(host, presented)
                                                : kReplaceQuestion.arg(host, presented, accepted);
    if (!AskYesNo(question))
        return;
    SystemSettings::SetServerCertificate(presented);
    showFingerprints();
}

bool TSysCon::edIP_AdreseKeyDown(QKeyEvent& key)
{
    if (!isReturn(key))
        return false;
    // Return ends editing, which lets the on-screen keyboard go.
    m_edIP_Adrese->clearFocus();
    return true;
}
