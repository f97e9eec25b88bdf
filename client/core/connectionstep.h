#pragma once

#include <QString>

class TClientDataModule;
struct ClientState;

// The data work of the main window's connection step: what it reads from the
// settings file and what it loads from the database once connected. The
// window keeps the order of the steps, the status texts and the messages.
//
// The load uses the module's cdsTempQuery (closing it first, leaving it open
// on the last read) and let RemoteError and ClientError reach the caller.
class ConnectionStep final
{
public:
    ConnectionStep() = delete;

    // The server address set in the settings window; empty when none is set.
    static QString HostNameSetting();

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
