#include "logincheck.h"

#include "clientstate.h"
#include "commonprocedures.h"
#include "remotedataset.h"
#include "tclientdatamodule.h"

namespace {

// NODALAS is read twice, as the user table has always been queried.
const QString kUserRow =
    QStringLiteral("SELECT GNOS, PASWORD, NODALAS, FULLNAME, ISAGENTS, NODALAS, AIZLIEGTCENAS, "
                   "NERADITIEPCENU FROM O_USERS WHERE GNOS=:GNOS");

// The level of every right the terminal asks about.
constexpr int kRightLevel = 2;

} // namespace

LoginCheck::Outcome LoginCheck::Check(TClientDataModule& module, const QString& userName,
                                      const QString& password)
{
    RemoteDataSet& user = module.cdsTempQuery();
    user.close();
    user.setCommandText(kUserRow);
    user.setTextParam(QStringLiteral("GNOS"), EncodeText(userName));
    user.open();
    if (user.fieldByName(QStringLiteral("GNOS")).asString().isEmpty())
        return Outcome::UnknownUser;

    // A character outside the code page encodes to one byte of another
    // character, so equal encodings alone do not prove the same password.
    const QString storedPassword = user.fieldByName(QStringLiteral("PASWORD")).asString();
    if (EncodeText(password) != storedPassword || password.size() != storedPassword.size())
        return Outcome::WrongPassword;

    ClientState& state = module.clientState();
    state.LoggedIn = true;
    state.CurrentUser = userName;
    state.AgentIsn = user.fieldByName(QStringLiteral("ISAGENTS")).asInteger();

    if (userName == MasterUser()) {
        state.RightReceive = true;
        state.RightInventory = true;
        state.RightWriteOut = true;
        state.RightTransfer = true;
        state.RightOrders = true;
        state.RightNewGoods = true;
        state.HidePurchasePrice = false;
        state.UserDepartments.clear();
        state.UserForbiddenPrices.clear();
        return Outcome::Accepted;
    }

    // The user's row stays open in cdsTempQuery: the rights are read through
    // cdsO_USERS.
    state.RightReceive = UserHasRight(state.CurrentUser, QStringLiteral("11"), kRightLevel);
    state.RightInventory = UserHasRight(state.CurrentUser, QStringLiteral("15"), kRightLevel);
    state.RightWriteOut = UserHasRight(state.CurrentUser, QStringLiteral("18"), kRightLevel);
    state.RightNewGoods = UserHasRight(state.CurrentUser, QStringLiteral("00"), kRightLevel);
    state.RightTransfer = UserHasRight(state.CurrentUser, QStringLiteral("13"), kRightLevel);
    state.RightOrders = UserHasRight(state.CurrentUser, QStringLiteral("17"), kRightLevel);
    state.HidePurchasePrice =
        user.fieldByName(QStringLiteral("NERADITIEPCENU")).asString() == QLatin1String("T");
    // NODALAS ends with a comma after every department.
    QString departments = user.fieldByName(QStringLiteral("NODALAS")).asString();
    if (departments.size() > 1)
        departments.chop(1);
    state.UserDepartments = departments;
    state.UserForbiddenPrices = user.fieldByName(QStringLiteral("AIZLIEGTCENAS")).asString();
    return Outcome::Accepted;
}
