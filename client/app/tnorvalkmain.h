#pragma once

#include "client/core/goodsinfo.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/touchform.h"
#include "common/norvalkversion.h"

#include <QPointer>

#include <functional>

class QLabel;
class QPushButton;
class QTimer;
class TDokIevads;
class TEnterPasword;
class TOperacijas_3D;
class TPiegadesApstiprinasana;
class TPrecuDati;
class TSanemsanasParbaude;
class TSysCon;

// The terminal's start screen and menu. It makes the client data module,
// shows the date and the connection status, and opens every other window.
// Before each menu command that needs the server it runs ConnectToServer,
// which reloads the settings, reconnects and loads the installation's
// settings into the client state; the first such command asks for a login.
//
// It owns the data module, the shared goods record and the windows it opens,
// and hands each window the module and the record it works with. It also
// owns the two
// timers other windows use: tmActiveControl (FocusLater) and tmKeybOff, which
// SetKeyboardSuppression drives. Closing it disconnects and ends the program.
class TNorvalkMain final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TNorvalkMain)

public:
    explicit TNorvalkMain(QWidget* parent = nullptr);
    ~TNorvalkMain() override;

    static QString Version() { return QString::fromLatin1(NorvalkVersion::Text); }
    // The notice over the logo for the client's short date text of today.
    static QString MakerNotice(const QString& shortDate);

    // The server's port, applied at each connection; the host comes from
    // the settings file.
    quint16 serverPort() const { return m_serverPort; }
    void setServerPort(quint16 port) { m_serverPort = port; }

    // Reads the settings, reconnects and loads the client state. Reports a
    // missing address or a failed connection itself and returns false.
    bool ConnectToServer();
    void RefreshGoodsCopy();

    TClientDataModule& dataModule() { return m_module; }
    // The goods record the look-up windows share.
    GoodsInfo& goodsInfo() { return m_goodsInfo; }

    // The windows made so far; null until first needed.
    TSysCon* sysCon() const;
    TEnterPasword* enterPasword() const;
    TDokIevads* dokIevads() const;
    TPrecuDati* precuDati() const;
    TOperacijas_3D* operacijas_3D() const;
    TSanemsanasParbaude* sanemsanasParbaude() const;
    TPiegadesApstiprinasana* piegadesApstiprinasana() const;
    // Each window made once, with this window as owner, and then reused.
    TSysCon* makeSysCon();
    TEnterPasword* makeEnterPasword();
    TDokIevads* makeDokIevads();
    TPrecuDati* makePrecuDati();
    TOperacijas_3D* makeOperacijas_3D();
    TSanemsanasParbaude* makeSanemsanasParbaude();
    TPiegadesApstiprinasana* makePiegadesApstiprinasana();

    // What a menu command opens: makes the window on first use and returns
    // it; null when there is none.
    using TargetWindow = std::function<QWidget*()>;
    enum class Gate
    {
        LoggedIn,      // any logged-in user
        DocumentRights // a user with at least one document right
    };
    // The steps of every server menu command: make the target, connect, ask
    // for a login when no user is logged in, else show the target.
    void RunServerCommand(const TargetWindow& target, Gate gate = Gate::LoggedIn);

    QPushButton* btDokumenti() const { return m_btDokumenti; }
    QPushButton* btPrecuDati() const { return m_btPrecuDati; }
    QPushButton* bt3D_Operacijas() const { return m_bt3D_Operacijas; }
    QPushButton* btSanemsanasParbaude() const { return m_btSanemsanasParbaude; }
    QPushButton* btPiegadesApstiprin() const { return m_btPiegadesApstiprin; }
    QPushButton* btIestatisana() const { return m_btIestatisana; }
    QPushButton* btClose() const { return m_btClose; }
    QWidget* rctApaksa() const { return m_rctApaksa; }
    QLabel* imgLogo() const { return m_imgLogo; }
    QLabel* lbNotice() const { return m_lbNotice; }
    QLabel* lbStatus() const { return m_lbStatus; }
    QTimer* tmKeybOff() const { return m_tmKeybOff; }
    QTimer* tmActiveControl() const { return m_tmActiveControl; }

protected:
    void FormClose() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void btDokumentiClick();
    void btPrecuDatiClick();
    void bt3D_OperacijasClick();
    void btSanemsanasParbaudeClick();
    void btPiegadesApstiprinClick();
    void btIestatisanaClick();
    void btCloseClick();
    void tmActiveControlTimer();
    void tmKeybOffTimer();
    void rctApaksaResize();

    void setStatus(const QString& text);
    QPushButton* makeMenuButton(const char* name, const QString& caption, int column, int row);

    QWidget* m_topPanel = nullptr;
    QPushButton* m_btDokumenti = nullptr;
    QPushButton* m_btPrecuDati = nullptr;
    QPushButton* m_bt3D_Operacijas = nullptr;
    QPushButton* m_btSanemsanasParbaude = nullptr;
    QPushButton* m_btPiegadesApstiprin = nullptr;
    QPushButton* m_btIestatisana = nullptr;
    QWidget* m_rctApaksa = nullptr;
    QLabel* m_imgLogo = nullptr;
    QLabel* m_lbNotice = nullptr;
    QPushButton* m_btClose = nullptr;
    QLabel* m_lbStatus = nullptr;
    QTimer* m_tmKeybOff = nullptr;
    QTimer* m_tmActiveControl = nullptr;

    // Declared before the windows' references: the windows are destroyed
    // first (the destructor sees to it), as they use both.
    TClientDataModule m_module;
    GoodsInfo m_goodsInfo;
    QPointer<TSysCon> m_sysCon;
    QPointer<TEnterPasword> m_enterPasword;
    QPointer<TDokIevads> m_dokIevads;
    QPointer<TPrecuDati> m_precuDati;
    QPointer<TOperacijas_3D> m_operacijas_3D;
    QPointer<TSanemsanasParbaude> m_sanemsanasParbaude;
    QPointer<TPiegadesApstiprinasana> m_piegadesApstiprinasana;
    quint16 m_serverPort;
};
