#pragma once

#include <QString>

// What the terminal knows about its user, its settings and the installation
// while it runs. The data module carries one for the whole run; the
// connection step refreshes the settings mirrors and installation values,
// login fills the user's part, and nothing resets a login.
struct ClientState
{
    QString CurrentUser;         // upper case, as typed at login
    QString UserDepartments;     // "3,5,8": N_DEPART keys the user may work in; empty = all
    QString UserForbiddenPrices; // O_USERS.AIZLIEGTCENAS
    QString ScalePrefix;         // N_ISI2.DEK_PREFIX
    QString DateSeparator;       // "." or "/", from the short date text of today
    bool LoggedIn = false;
    bool RightReceive = false;
    bool RightInventory = false;
    bool RightWriteOut = false;
    bool RightTransfer = false;
    bool RightOrders = false;
    bool RightNewGoods = false;
    bool HidePurchasePrice = false;
    // Copies of the settings file's switches of the same names.
    bool IzrDaudzums1 = false;
    bool IzrDzestAtlaidi = false;
    bool IzrPardCenaNoNodalas = false;
    bool NeraditEkranaKlaviaturu = false;
    bool UseCertifiedStock = false;  // N_ISI2.ISISERTARATLIK = "T"
    bool ShowCertifiedStock = false; // N_ISI2.SHOWSERTATLIK = "T"
    // Whether a number the server sent, read as text, showed a ".".
    bool DecimalPointIsDot = false;
    qint32 AgentIsn = 0;
    // Scale-barcode layout from N_ISI2: article and quantity start and length
    // (1-based), and the quantity's implied decimals.
    qint32 DekArtSak = 0;
    qint32 DekArtGar = 0;
    qint32 DekDaudzSak = 0;
    qint32 DekDaudzGar = 0;
    qint32 DekDecimalz = 0;
};
