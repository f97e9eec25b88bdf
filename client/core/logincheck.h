#pragma once

#include "client/core/outcome.h"

#include <QString>

class TClientDataModule;

// The data work of the login window: the typed name and password against
// O_USERS, compared in their stored (encoded) form, and on success the
// user's name, rights, departments and display restrictions in the client
// state.
//
// Reads the user's row through cdsTempQuery and each right through
// cdsO_USERS (UserHasRight). Server errors propagate, and the client state
// is then exactly as it was: a login is taken over whole or not at all.
class LoginCheck final
{
public:
    explicit LoginCheck(TClientDataModule& module) : m_module(module) {}

    // userName as the window shows it after upper-casing; the password is
    // compared exactly, case and length included. Refuses an unknown user
    // (focus on the name) and a wrong password (focus on the password).
    Outcome<> Authorise(const QString& userName, const QString& password);

    // The built-in master user, who holds every right whatever O_USERS says.
    static QString MasterUser() { return QStringLiteral("CHIEF"); }

private:
    TClientDataModule& m_module;
};
