#pragma once

#include "client/core/clientstate.h"
#include "client/core/providerproxy.h"
#include "client/core/remotedataset.h"
#include "client/core/serverconnection.h"
#include "client/core/terminalidentity.h"
#include "client/core/terminalstore.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

// The client's data module: its one connection to NorvalkServer, the twelve
// remote datasets (each with its own provider proxy, which only the dataset
// uses) and the client state. The main window owns it and hands it to each
// window it makes; there is no global one, so two modules (two main windows
// in one test) never meet.
//
// The twelve datasets name the providers and keep the rows of the two lists
// bound to them (cdsPreces, cdsPavadzimes). A data class that reads or writes
// makes its own datasets like them (OwnDataSet), so no caller depends on what
// another left in a shared one. Creating the module never connects.
// Everything here is used from the user-interface thread only, one request
// at a time.
class TClientDataModule final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TClientDataModule)

public:
    explicit TClientDataModule(QObject* owner = nullptr);

    ServerConnection& SQLConnection1() { return m_SQLConnection1; }

    RemoteDataSet& cdsFindN_KLPREC() { return m_cdsFindN_KLPREC; }
    RemoteDataSet& cdsTempQuery() { return m_cdsTempQuery; }
    RemoteDataSet& cdsUpdate() { return m_cdsUpdate; }
    RemoteDataSet& cdsN_DEPART() { return m_cdsN_DEPART; }
    RemoteDataSet& cdsN_KLIENT() { return m_cdsN_KLIENT; }
    RemoteDataSet& cdsO_OPERACIJAS() { return m_cdsO_OPERACIJAS; }
    RemoteDataSet& cdsO_USERS() { return m_cdsO_USERS; }
    RemoteDataSet& cdsO_TEKATLIK() { return m_cdsO_TEKATLIK; }
    RemoteDataSet& cdsPreces() { return m_cdsPreces; }
    RemoteDataSet& cdsAkcijas() { return m_cdsAkcijas; }
    RemoteDataSet& cdsPavadzimes() { return m_cdsPavadzimes; }
    RemoteDataSet& cdsSpecCenas() { return m_cdsSpecCenas; }

    // All twelve, in declaration order.
    QList<RemoteDataSet*> dataSets();

    ClientState& clientState() { return m_clientState; }

    // What the terminal keeps on its own disk to go on without the server;
    // none until opened (the main window opens the terminal's file, a test
    // a file of its own; without one a window works only with the server).
    // Opening throws ClientError when the file cannot be used.
    TerminalStore* terminalStore() { return m_terminalStore.get(); }
    void openTerminalStore(const QString& path)
    {
        m_terminalStore = std::make_unique<TerminalStore>(path);
    }
    void closeTerminalStore() { m_terminalStore.reset(); }

    // The terminal's own key pair; none until loaded (the main window loads
    // the terminal's at start, a test one of its own). Loading hands the
    // certificate to SQLConnection1, which presents it whenever the link is
    // encrypted. Throws ClientError when no pair can be read or made.
    const TerminalIdentity* terminalIdentity() const
    {
        return m_terminalIdentity ? &*m_terminalIdentity : nullptr;
    }
    const TerminalIdentity& loadTerminalIdentity(const QString& folder);

    // The timer that hides the on-screen keyboard while it runs. The module
    // has one of its own until the main window hands over its tmKeybOff; a
    // handed-over timer that is destroyed falls back to the module's own.
    QTimer* keyboardSuppressionTimer();
    void setKeyboardSuppressionTimer(QTimer* timer) { m_keyboardTimer = timer; }

private:
    void DataModuleCreate();

    ServerConnection m_SQLConnection1;
    ProviderProxy m_prcFindN_KLPREC;
    RemoteDataSet m_cdsFindN_KLPREC;
    ProviderProxy m_prcTempQuery;
    RemoteDataSet m_cdsTempQuery;
    ProviderProxy m_prcUpdate;
    RemoteDataSet m_cdsUpdate;
    ProviderProxy m_prcN_DEPART;
    RemoteDataSet m_cdsN_DEPART;
    ProviderProxy m_prcN_KLIENT;
    RemoteDataSet m_cdsN_KLIENT;
    ProviderProxy m_prcO_OPERACIJAS;
    RemoteDataSet m_cdsO_OPERACIJAS;
    ProviderProxy m_prcO_USERS;
    RemoteDataSet m_cdsO_USERS;
    ProviderProxy m_prcO_TEKATLIK;
    RemoteDataSet m_cdsO_TEKATLIK;
    ProviderProxy m_prcPreces;
    RemoteDataSet m_cdsPreces;
    ProviderProxy m_prcAkcijas;
    RemoteDataSet m_cdsAkcijas;
    ProviderProxy m_prcPavadzimes;
    RemoteDataSet m_cdsPavadzimes;
    ProviderProxy m_prcSpecCenas;
    RemoteDataSet m_cdsSpecCenas;

    ClientState m_clientState;
    std::unique_ptr<TerminalStore> m_terminalStore;
    std::optional<TerminalIdentity> m_terminalIdentity;
    QTimer m_ownKeyboardTimer;
    QPointer<QTimer> m_keyboardTimer;
};
