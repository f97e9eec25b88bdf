#pragma once

#include <QString>

// The "SysCon" section of the settings file: the server address and the four
// switches, as the settings window shows and writes them. The client state
// holds copies of the switches that the connection step refreshes; the
// windows read those, not the file.
struct SystemSettings
{
    QString HostName;
    bool IzrDaudzums1 = false;
    bool IzrDzestAtlaidi = false;
    bool IzrPardCenaNoNodalas = false;
    bool NeraditEkranaKlaviaturu = false;

    // Offered on a device whose settings file names no server yet: a private
    // address of the shop network.
    static QString DefaultHostName() { return QStringLiteral("192.168.10.5"); }

    // The section as it stands; a missing address reads as defaultHostName,
    // a missing switch as false.
    static SystemSettings Read(const QString& defaultHostName = DefaultHostName());

    // "ServerCertificate": the fingerprint of the server certificate the
    // administrator accepted in the settings window; empty (as on every
    // installation until then) keeps the link plain TCP. The connection
    // step reads it with the address; only accepting a certificate writes
    // it (Write leaves it alone). The write throws as Write does.
    static QString ServerCertificate();
    static void SetServerCertificate(const QString& fingerprint);

    // Writes all five back, an empty address too: it is how a terminal is
    // told to stop connecting. Throws ClientError when the file cannot be
    // written.
    void Write() const;
};
