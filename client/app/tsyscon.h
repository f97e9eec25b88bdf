#pragma once

#include "client/core/systemsettings.h"
#include "client/widgets/touchform.h"

class TClientDataModule;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The settings window: the server address and the four switches of the
// settings file's "SysCon" section. It is filled from the file each time it
// is shown and writes every control back when it closes, without checking
// anything; the values take effect at the next menu command, which reads
// the file again. When the file cannot be written the error is shown and the
// window stays open with the user's edits.
//
// The encrypted link: the window shows the fingerprint of the server
// certificate the terminal accepted (or that the link is plain) and the
// terminal's own, which the administrator enrols on the server. The button
// fetches the certificate of the server at the address in the field, shows
// its fingerprint and, when the user agrees, stores it at once as the one to
// accept (a first contact, as SSH does it; likewise when the server has a new
// certificate and the terminal refuses the old one).
class TSysCon final : public TouchForm
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSysCon)

public:
    TSysCon(TClientDataModule& module, QWidget* owner);

    // Shown on a device whose settings file names no server yet: a private
    // address of the shop network, saved only when the window is closed.
    static QString DefaultHostName() { return SystemSettings::DefaultHostName(); }

    QLabel* lbTitle() const { return m_lbTitle; }
    QLineEdit* edIP_Adrese() const { return m_edIP_Adrese; }
    QCheckBox* chkIzrDaudzums1() const { return m_chkIzrDaudzums1; }
    QCheckBox* chkIzrDzestAtlaidi() const { return m_chkIzrDzestAtlaidi; }
    QCheckBox* chkIzrPardCenaNoNodalas() const { return m_chkIzrPardCenaNoNodalas; }
    QCheckBox* chkNeraditEkranaKlaviaturu() const { return m_chkNeraditEkranaKlaviaturu; }
    QLabel* lbServeraNospiedums() const { return m_lbServeraNospiedums; }
    QLabel* lbTerminalaNospiedums() const { return m_lbTerminalaNospiedums; }
    QPushButton* btServeraSertifikats() const { return m_btServeraSertifikats; }
    QPushButton* btUpgrade() const { return m_btUpgrade; }

    // The port the server listens on (the main window's), for fetching its
    // certificate.
    void setServerPort(quint16 port) { m_serverPort = port; }

    // A fingerprint on two lines of 16 pairs, which fit the narrow window.
    static QString TwoLines(const QString& fingerprint);
    QPushButton* btClose() const { return m_btClose; }

protected:
    void FormShow() override;
    void FormClose() override;

private:
    void btCloseClick();
    void btUpgradeClick();
    void btServeraSertifikatsClick();
    void showFingerprints();
    bool edIP_AdreseKeyDown(QKeyEvent& key);

    QCheckBox* makeSwitch(const char* name, const QString& caption, int top);

    QLabel* m_lbTitle = nullptr;
    QLineEdit* m_edIP_Adrese = nullptr;
    QCheckBox* m_chkIzrDaudzums1 = nullptr;
    QCheckBox* m_chkIzrDzestAtlaidi = nullptr;
    QCheckBox* m_chkIzrPardCenaNoNodalas = nullptr;
    QCheckBox* m_chkNeraditEkranaKlaviaturu = nullptr;
    QLabel* m_lbServeraNospiedums = nullptr;
    QLabel* m_lbTerminalaNospiedums = nullptr;
    QPushButton* m_btServeraSertifikats = nullptr;
    QPushButton* m_btUpgrade = nullptr;
    QPushButton* m_btClose = nullptr;
    TClientDataModule& m_module;
    quint16 m_serverPort;
};
