#include "client/app/tnorvalkmain.h"

#include "client/app/tenterpasword.h"
#include "client/app/tsyscon.h"
#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/connectionstep.h"
#include "client/core/localdatabase.h"
#include "client/core/serverconnection.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/terminalidentity.h"
#include "client/documents/tdokievads.h"
#include "client/goods/toperacijas_3d.h"
#include "client/goods/tpiegadesapstiprinasana.h"
#include "client/goods/tprecudati.h"
#include "client/goods/tsanemsanasparbaude.h"
#include "client/widgets/focuslater.h"
#include "client/widgets/logoimage.h"
#include "client/widgets/screenkeyboard.h"
#include "client/widgets/touchbutton.h"
#include "client/widgets/touchlook.h"
#include "common/showmessage.h"

#include <QDate>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 349;
constexpr int kHeight = 623;
constexpr int kTopPanelHeight = 228;
constexpr int kMenuButtonWidth = 150;
constexpr int kMenuButtonHeight = 73;
constexpr int kMenuColumnX[] = {16, 183};
constexpr int kMenuRowY[] = {4, 78, 152};
constexpr int kStatusHeight = 30;
const QSize kLogoSize(336, 134);
constexpr int kLogoTop = 34;
constexpr int kNoticeIndent = 14;
constexpr int kNoticeHeight = 20;
const QSize kCloseSize(150, 60);
constexpr int kCloseTop = 236;
constexpr int kKeyboardInterval = 50;
constexpr int kFocusDelay = 10;

const QString kFailedAt = QStringLiteral("Neizdevās pieslēgties pie : ");
const QString kConnectError = QStringLiteral("Kļūda pieslēdzoties pie servera !!!\n");
const QString kNoLocalStore = QStringLiteral("Bez servera strādāt nevarēs: ");
const QString kNoIdentity = QStringLiteral("Termināļa sertifikāta nav: ");
const QString kIdentityRemade =
    QStringLiteral("Termināļa sertifikāts bija bojāts (%1), izveidots jauns: paziņojiet "
                   "administratoram tā nospiedumu (Iestatīšana)");

// Shown non-modally; one already open is brought to the front, and a touch
// window runs its activation again either way.
void showWindow(QWidget* window)
{
    if (auto* form = qobject_cast<TouchForm*>(window))
        return form->open();
    if (window->isVisible())
        window->raise();
    else
        window->show();
    window->activateWindow();
}

bool hasDocumentRight(const ClientState& state)
{
    return state.RightReceive || state.RightInventory || state.RightWriteOut ||
           state.RightTransfer || state.RightOrders;
}

} // namespace

TNorvalkMain::TNorvalkMain(QWidget* parent)
    : TouchForm(parent, QStringLiteral("NorvalkMain"), QStringLiteral("Norvalk"),
                QSize(kWidth, kHeight)),
      m_module(this), m_serverPort(ServerConnection::DefaultPort)
{
    m_topPanel = new QWidget(this);
    m_topPanel->setFixedHeight(kTopPanelHeight);
    m_btDokumenti = makeMenuButton("btDokumenti", QStringLiteral("Dokumenti"), 0, 0);
    m_btPrecuDati = makeMenuButton("btPrecuDati", QStringLiteral("Preču dati"), 0, 1);
    m_bt3D_Operacijas = makeMenuButton("bt3D_Operacijas", QStringLiteral("3D operācijas"), 0, 2);
    m_btSanemsanasParbaude =
        makeMenuButton("btSanemsanasParbaude", QStringLiteral("Pārbaude"), 1, 0);
    m_btPiegadesApstiprin =
        makeMenuButton("btPiegadesApstiprin", QStringLiteral("Piegādes apstipr."), 1, 1);
    m_btIestatisana = makeMenuButton("btIestatisana", QStringLiteral("Iestatīšana"), 1, 2);

    m_rctApaksa = new QWidget(this);
    m_rctApaksa->setObjectName(QStringLiteral("rctApaksa"));
    m_imgLogo = new QLabel(m_rctApaksa);
    m_imgLogo->setObjectName(QStringLiteral("imgLogo"));
    m_imgLogo->setGeometry(QRect(QPoint(0, kLogoTop), kLogoSize));
    m_lbNotice = new QLabel(m_rctApaksa);
    m_lbNotice->setObjectName(QStringLiteral("lbNotice"));
    m_lbNotice->setFont(TouchLook::font(11));
    m_lbNotice->setGeometry(kNoticeIndent, kLogoTop + kLogoSize.height() - kNoticeHeight - 4,
                            kLogoSize.width() - 2 * kNoticeIndent, kNoticeHeight);
    m_lbNotice->raise(); // over the logo
    m_btClose = new TouchButton(QStringLiteral("Beigt darbu"), m_rctApaksa);
    m_btClose->setObjectName(QStringLiteral("btClose"));
    m_btClose->setFont(TouchLook::font(18));
    m_btClose->setGeometry(QRect(QPoint(0, kCloseTop), kCloseSize));
    m_rctApaksa->installEventFilter(this);

    m_lbStatus = new QLabel(this);
    m_lbStatus->setObjectName(QStringLiteral("lbStatus"));
    m_lbStatus->setFont(TouchLook::font(14));
    m_lbStatus->setFixedHeight(kStatusHeight);
    m_lbStatus->setIndent(8);
    m_lbStatus->setAutoFillBackground(true);
    QPalette statusPalette = m_lbStatus->palette();
    statusPalette.setColor(QPalette::Window, TouchLook::fill().lighter(112));
    m_lbStatus->setPalette(statusPalette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_topPanel);
    layout->addWidget(m_rctApaksa, 1);
    layout->addWidget(m_lbStatus);

    m_tmKeybOff = new QTimer(this);
    m_tmKeybOff->setObjectName(QStringLiteral("tmKeybOff"));
    m_tmKeybOff->setInterval(kKeyboardInterval);
    m_tmActiveControl = new QTimer(this);
    m_tmActiveControl->setObjectName(QStringLiteral("tmActiveControl"));
    m_tmActiveControl->setInterval(kFocusDelay);

    SetFocusLaterTimer(m_tmActiveControl);

    onClick(m_btDokumenti, &TNorvalkMain::btDokumentiClick);
    onClick(m_btPrecuDati, &TNorvalkMain::btPrecuDatiClick);
    onClick(m_bt3D_Operacijas, &TNorvalkMain::bt3D_OperacijasClick);
    onClick(m_btSanemsanasParbaude, &TNorvalkMain::btSanemsanasParbaudeClick);
    onClick(m_btPiegadesApstiprin, &TNorvalkMain::btPiegadesApstiprinClick);
    onClick(m_btIestatisana, &TNorvalkMain::btIestatisanaClick);
    onClick(m_btClose, &TNorvalkMain::btCloseClick);
    wire(m_tmKeybOff, &QTimer::timeout, this, [this] { tmKeybOffTimer(); });
    wire(m_tmActiveControl, &QTimer::timeout, this, [this] { tmActiveControlTimer(); });
    ScreenKeyboard::Follow(this, [this] { return m_tmKeybOff->isActive(); });

    FormCreate();
}

TNorvalkMain::~TNorvalkMain()
{
    // The windows use the module and the goods record, which go with this
    // window's members, before the base class would delete its children.
    const QList<TouchForm*> windows = findChildren<TouchForm*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(windows);
}

namespace {

// A window made on first use with the main window as its owner.
template <typename Window, typename... Args>
Window* once(QPointer<Window>& reference, Args&&... args)
{
    if (!reference)
        reference = new Window(std::forward<Args>(args)...);
    return reference;
}

} // namespace

TSysCon* TNorvalkMain::sysCon() const
{
    return m_sysCon;
}

TEnterPasword* TNorvalkMain::enterPasword() const
{
    return m_enterPasword;
}

TDokIevads* TNorvalkMain::dokIevads() const
{
    return m_dokIevads;
}

TPrecuDati* TNorvalkMain::precuDati() const
{
    return m_precuDati;
}

TOperacijas_3D* TNorvalkMain::operacijas_3D() const
{
    return m_operacijas_3D;
}

TSanemsanasParbaude* TNorvalkMain::sanemsanasParbaude() const
{
    return m_sanemsanasParbaude;
}

TPiegadesApstiprinasana* TNorvalkMain::piegadesApstiprinasana() const
{
    return m_piegadesApstiprinasana;
}

TSysCon* TNorvalkMain::makeSysCon()
{
    TSysCon* window = once(m_sysCon, m_module, this);
    window->setServerPort(m_serverPort);
    return window;
}

TEnterPasword* TNorvalkMain::makeEnterPasword()
{
    return once(m_enterPasword, m_module, this);
}

TDokIevads* TNorvalkMain::makeDokIevads()
{
    return once(m_dokIevads, m_module, m_goodsInfo, this);
}

TPrecuDati* TNorvalkMain::makePrecuDati()
{
    return once(m_precuDati, m_module, m_goodsInfo, this);
}

TOperacijas_3D* TNorvalkMain::makeOperacijas_3D()
{
    return once(m_operacijas_3D, m_module, this);
}

TSanemsanasParbaude* TNorvalkMain::makeSanemsanasParbaude()
{
    return once(m_sanemsanasParbaude, m_module, m_goodsInfo, this);
}

TPiegadesApstiprinasana* TNorvalkMain::makePiegadesApstiprinasana()
{
    return once(m_piegadesApstiprinasana, m_module, this);
}

QPushButton* TNorvalkMain::makeMenuButton(const char* name, const QString& caption, int column,
                                          int row)
{
    auto* button = new TouchButton(caption, m_topPanel);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(TouchLook::font(18));
    button->setGeometry(kMenuColumnX[column], kMenuRowY[row], kMenuButtonWidth, kMenuButtonHeight);
    return button;
}

QString TNorvalkMain::MakerNotice(const QString& shortDate)
{
    // The short date is "dd.mm.yyyy" or "dd.mm.yy"; the year starts at the
    // seventh character of either.
    const QString year = shortDate.size() != 8 ? shortDate.mid(6, 4) : shortDate.mid(6, 2);
    return QStringLiteral("© TOLVEX 2019-%1 Ver. %2").arg(year, Version());
}

void TNorvalkMain::FormCreate()
{
    m_imgLogo->setPixmap(LogoImage::paint(m_imgLogo->size(), devicePixelRatioF()));
    const QString today = ClientFormat::dateToText(QDate::currentDate());
    m_lbStatus->setText(QStringLiteral("Datums=") + today);
    m_module.setKeyboardSuppressionTimer(m_tmKeybOff);
    m_module.clientState().DateSeparator =
        today.contains(QLatin1Char('.')) ? QStringLiteral(".") : QStringLiteral("/");
    m_lbNotice->setText(MakerNotice(today));
    // Nothing connects here: the first menu command does.
    try {
        m_module.openTerminalStore(LocalDatabase::defaultPath());
    } catch (const std::exception& error) {
        // Scanning then needs the server; the status says why.
        m_lbStatus->setText(kNoLocalStore + errorText(error));
    }
    // The terminal's own certificate, made on the first start; an encrypted
    // link presents it. A pair made anew has another fingerprint, which the
    // server knows only once the administrator enrols it again.
    try {
        const TerminalIdentity& identity =
            m_module.loadTerminalIdentity(TerminalIdentity::DefaultFolder());
        if (identity.origin() == TerminalIdentity::Origin::Remade)
            m_lbStatus->setText(kIdentityRemade.arg(identity.damage()));
    } catch (const std::exception& error) {
        m_lbStatus->setText(kNoIdentity + errorText(error));
    }
}

void TNorvalkMain::showEvent(QShowEvent* event)
{
    TouchForm::showEvent(event);
    // Only now is the screen known: draw the logo at its density.
    m_imgLogo->setPixmap(LogoImage::paint(m_imgLogo->size(), devicePixelRatioF()));
}

void TNorvalkMain::FormClose()
{
    m_module.SQLConnection1().setConnected(false);
}

bool TNorvalkMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_rctApaksa && event->type() == QEvent::Resize)
        rctApaksaResize();
    return QWidget::eventFilter(watched, event);
}

void TNorvalkMain::rctApaksaResize()
{
    const int width = m_rctApaksa->width();
    m_imgLogo->move(width / 2 - m_imgLogo->width() / 2, m_imgLogo->y());
    m_btClose->move(width / 2 - m_btClose->width() / 2, m_btClose->y());
    m_lbNotice->move(m_imgLogo->x() + kNoticeIndent, m_lbNotice->y());
}

void TNorvalkMain::setStatus(const QString& text)
{
    m_lbStatus->setText(text);
    // Connecting blocks the event loop; show the text before it does.
    if (m_lbStatus->isVisible())
        m_lbStatus->repaint();
}

bool TNorvalkMain::ConnectToServer()
{
    try {
        const bool wasConnected = m_module.SQLConnection1().connected();
        const Outcome<> connected = ConnectionStep::Connect(
            m_module, m_serverPort, [this](const QString& text) { setStatus(text); });
        if (connected.refused()) {
            ShowMessage(connected.refusal().message);
            return false;
        }
        if (!wasConnected)
            RefreshGoodsCopy();
        return true;
    } catch (const std::exception& error) {
        setStatus(kFailedAt + m_module.SQLConnection1().hostName());
        ShowMessage(kConnectError + errorText(error));
        return false;
    }
}

// The terminal's copy of the catalogue, for looking goods up while the
// server cannot be reached: brought up to date on each new connection (one
// small request when nothing changed).
void TNorvalkMain::RefreshGoodsCopy()
{
    TerminalStore* store = m_module.terminalStore();
    if (!store)
        return;
    try {
        store->goods().refresh(m_module);
    } catch (const std::exception&) {
        // The copy stays as it was; the next connection tries again.
    }
}

void TNorvalkMain::RunServerCommand(const TargetWindow& target, Gate gate)
{
    QWidget* window = target ? target() : nullptr;
    if (!ConnectToServer())
        return;
    const ClientState& state = m_module.clientState();
    // The user logs in and then presses the command again.
    if (!state.LoggedIn)
        showWindow(makeEnterPasword());
    if (!state.LoggedIn || !window)
        return;
    if (gate == Gate::DocumentRights && !hasDocumentRight(state))
        return;
    showWindow(window);
}

// Each command makes its window once and opens it; until a window exists,
// its command ends after connecting and logging in.
void TNorvalkMain::btDokumentiClick()
{
    RunServerCommand([this] { return makeDokIevads(); }, Gate::DocumentRights);
}

void TNorvalkMain::btPrecuDatiClick()
{
    RunServerCommand([this] { return makePrecuDati(); });
}

void TNorvalkMain::bt3D_OperacijasClick()
{
    RunServerCommand([this] { return makeOperacijas_3D(); });
}

void TNorvalkMain::btSanemsanasParbaudeClick()
{
    RunServerCommand([this] { return makeSanemsanasParbaude(); });
}

void TNorvalkMain::btPiegadesApstiprinClick()
{
    RunServerCommand([this] { return makePiegadesApstiprinasana(); });
}

void TNorvalkMain::btIestatisanaClick()
{
    // Settings need neither the server nor a login: they are how the server
    // is found.
    showWindow(makeSysCon());
}

void TNorvalkMain::btCloseClick()
{
    close();
}

void TNorvalkMain::tmActiveControlTimer()
{
    FocusRememberedControl();
}

void TNorvalkMain::tmKeybOffTimer()
{
    // Where there is no on-screen keyboard this asks nothing of anyone.
    ScreenKeyboard::Hide();
}
