#pragma once

#include "client/core/outcome.h"
#include "client/core/owndataset.h"

#include <QString>
#include <QStringList>

class TClientDataModule;

// The data work of the login window: the typed name and password against
// O_USERS, compared in their stored (encoded) form, and on success the
// user's name, rights, departments and display restrictions in the client
// state; the name is remembered in the settings file for the next login.
//
// Reads the user's row through a dataset of its own (like cdsTempQuery) and
// each right through UserHasRight. Server errors propagate, and the client
// state is then exactly as it was: a login is taken over whole or not at all.
// Settings-file errors propagate too.
class LoginCheck final
{
public:
    explicit LoginCheck(TClientDataModule& module);

    // The user name last logged in with ("CHIEF" on a new device).
    static QString LastUserName();
    // The statements a login sends (the rights are read through the common
    // procedures): for the terminal's statement catalogue.
    static QStringList Statements();

    // userName as the window shows it after upper-casing; the password is
    // compared exactly, case and length included. Refuses an unknown user
    // (focus on the name) and a wrong password (focus on the password).
    Outcome<> Authorise(const QString& userName, const QString& password);

    // The built-in master user, who holds every right whatever O_USERS says.
    static QString MasterUser() { return QStringLiteral("CHIEF"); }

private:
    TClientDataModule& m_module;
    OwnDataSet m_user;
};
