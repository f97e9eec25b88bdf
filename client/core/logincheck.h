#pragma once

#include <QString>

class TClientDataModule;

// The check behind the login window: the typed name and password against
// O_USERS, compared in their stored (encoded) form, and on success the
// user's name, rights, departments and display restrictions in the client
// state. The window shows the messages and moves the focus.
//
// Reads the user's row through cdsTempQuery and each right through
// cdsO_USERS (UserHasRight). Server errors propagate; when they happen before
// the user is accepted, the client state is unchanged.
class LoginCheck final
{
public:
    enum class Outcome
    {
        Accepted,
        UnknownUser,
        WrongPassword
    };

    LoginCheck() = delete;

    // userName as the window shows it after upper-casing; the password is
    // compared exactly, case and length included.
    static Outcome Check(TClientDataModule& module, const QString& userName,
                         const QString& password);

    // The built-in master user, who holds every right whatever O_USERS says.
    static QString MasterUser() { return QStringLiteral("CHIEF"); }
};
