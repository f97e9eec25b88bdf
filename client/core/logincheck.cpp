#include "client/core/logincheck.h"

#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/remotedataset.h"
#include "client/core/settingsfile.h"
#include "client/core/tclientdatamodule.h"

namespace {

// NODALAS is read twice, as the user table has always been queried.
const QString kUserRow =
    QStringLiteral("SELECT GNOS, PASWORD, NODALAS, FULLNAME, ISAGENTS, NODALAS, AIZLIEGTCENAS, "
                   "NERADITIEPCENU FROM O_USERS WHERE GNOS=:GNOS");

const QString kUnknownUser = QStringLiteral("Šāds lietotājs nav reģistrēts sistēmā !!!");
const QString kWrongPassword = QStringLiteral("Nav ievadīta pareiza parole !!!");

const QString kSection = QStringLiteral("UserData");
const QString kUserName = QStringLiteral("UserName");

// The level of every right the terminal asks about.
constexpr int kRightLevel = 2;

bool hasRight(TClientDataModule& module, const QString& user, const char* code)
{
    return UserHasRight(module, user, QString::fromLatin1(code), kRightLevel);
}

void grantEverything(ClientState& login)
{
    login.RightReceive = true;
    login.RightInventory = true;
    login.RightWriteOut = true;
    login.RightTransfer = true;
    login.RightOrders = true;
    login.RightNewGoods = true;
    login.HidePurchasePrice = false;
    login.UserDepartments.clear();
    login.UserForbiddenPrices.clear();
}

} // namespace

LoginCheck::LoginCheck(TClientDataModule& module)
    : m_module(module), m_user(module, module.cdsTempQuery())
{
}

QStringList LoginCheck::Statements()
{
    return {kUserRow};
}

QString LoginCheck::LastUserName()
{
    return IniReadString(kSection, kUserName, MasterUser());
}

Outcome<> LoginCheck::Authorise(const QString& userName, const QString& password)
{
    RemoteDataSet& user = *m_user;
    user.close();
    user.setCommandText(kUserRow);
    user.setTextParam(QStringLiteral("GNOS"), EncodeText(userName));
    user.open();
    if (user.fieldByName(QStringLiteral("GNOS")).asString().isEmpty())
        return Outcome<>::refuse(kUnknownUser, QStringLiteral("edUserName"));

    // A character outside the code page encodes to one byte of another
    // character, so equal encodings alone do not prove the same password.
    const QString storedPassword = user.fieldByName(QStringLiteral("PASWORD")).asString();
    if (EncodeText(password) != storedPassword || password.size() != storedPassword.size())
        return Outcome<>::refuse(kWrongPassword, QStringLiteral("edPasword"));

    // The new login is put together apart and taken over only when every
    // query has answered: a failure half way must not leave a user logged in
    // without a department limit.
    ClientState login = m_module.clientState();
    login.LoggedIn = true;
    login.CurrentUser = userName;
    login.AgentIsn = user.fieldByName(QStringLiteral("ISAGENTS")).asInteger();
    if (userName == MasterUser()) {
        grantEverything(login);
    } else {
        // The user's row stays open in this check's own dataset while the
        // rights are read.
        login.RightReceive = hasRight(m_module, userName, "11");
        login.RightInventory = hasRight(m_module, userName, "15");
        login.RightWriteOut = hasRight(m_module, userName, "18");
        login.RightNewGoods = hasRight(m_module, userName, "00");
        login.RightTransfer = hasRight(m_module, userName, "13");
        login.RightOrders = hasRight(m_module, userName, "17");
        login.HidePurchasePrice =
            user.fieldByName(QStringLiteral("NERADITIEPCENU")).asString() == QLatin1String("T");
        // NODALAS ends with a comma after every department.
        QString departments = user.fieldByName(QStringLiteral("NODALAS")).asString();
        if (departments.size() > 1)
            departments.chop(1);
        login.UserDepartments = departments;
        login.UserForbiddenPrices = user.fieldByName(QStringLiteral("AIZLIEGTCENAS")).asString();
    }
    m_module.clientState() = login;
    IniWriteString(kSection, kUserName, userName);
    return Done{};
}
