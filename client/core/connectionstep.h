#pragma once

#include "client/core/outcome.h"

#include <QString>
#include <QStringList>

#include <functional>

class TClientDataModule;
struct ClientState;

// The data work of the main window's connection step: what it reads from the
// settings file, the reconnection, and what it loads from the database once
// connected. The window shows the status texts and the messages.
//
// The load reads through a dataset of its own (like cdsTempQuery) and lets
// RemoteError and ClientError reach the caller.
class ConnectionStep final
{
public:
    ConnectionStep() = delete;

    // The whole step, each time a menu command needs the server: the local
    // switches into the client state (keyboard hiding turned on when they
    // ask for it), the connection dropped and made anew to the address of
    // the settings file on port (encrypted when the file names an accepted
    // server certificate), the installation settings loaded and the
    // decimal separator probed. status receives the texts to show while it
    // connects. Refuses (no field) when no address is set. An error
    // propagates after the half-made connection has been dropped.
    static Outcome<> Connect(TClientDataModule& module, quint16 port,
                             const std::function<void(const QString&)>& status);

    // The server address set in the settings window; empty when none is set.
    static QString HostNameSetting();
    // The statements a connection step sends: for the terminal's statement
    // catalogue.
    static QStringList Statements();

    // Copies the four local switches of the settings file into the state.
    static void CopyLocalSwitches(ClientState& state);

    // The installation's scale-barcode layout and certified-stock flags from
    // N_ISI2. An empty table reads as no prefix and zeros, which turns the
    // scale-barcode rule off.
    static void LoadInstallationSettings(TClientDataModule& module);

    // Whether typed numbers take a decimal point or a comma: the one the
    // client's number format reads (either is accepted when typed).
    static void ProbeDecimalSeparator(ClientState& state);
};
