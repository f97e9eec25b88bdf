#include "client/core/commonprocedures.h"

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/owndataset.h"
#include "client/core/providerproxy.h"
#include "client/core/remotedataset.h"
#include "client/core/sqlnames.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QDateTime>
#include <QTimer>
#include <QUuid>

namespace {

const QString kReconnectFailed = QStringLiteral("Kļūda atjaunojot savienojumu ar serveri ");

const QString kInsertOperation = QStringLiteral(
    "INSERT INTO O_OPERACIJAS (TAUSTINS, IEVKODS, IEVDAT, DATUMS, NUMURS, BAZE, ISN_BAZE, "
    "PIEZIMES, ISPRECE) VALUES (:TAUSTINS, :IEVKODS, :IEVDAT, :DATUMS, :NUMURS,:BAZE,:ISN_BAZE, "
    ":PIEZIMES, :ISPRECE)");
// The same entry stamped with the identity of the unit that writes it, in
// the remarks column no other entry of ours uses. Its key comes back as the
// floor of the next identity: what the terminal writes later lies above it.
const QString kInsertStampedOperation = QStringLiteral(
    "INSERT INTO O_OPERACIJAS (TAUSTINS, IEVKODS, IEVDAT, DATUMS, NUMURS, BAZE, ISN_BAZE, "
    "PIEZIMES, PIEZIMES2, ISPRECE) VALUES (:TAUSTINS, :IEVKODS, :IEVDAT, :DATUMS, :NUMURS,:BAZE,"
    ":ISN_BAZE, :PIEZIMES, :PIEZIMES2, :ISPRECE) RETURNING ISN INTO :ONCE_LOG");
// The newest key of the operation log.
const QString kLogFloor = QStringLiteral("SELECT GEN_ID(O_OPERACIJASGEN,0) ISN FROM N_ISI");

const QString kInventoryCoversGoods = QStringLiteral(
    "SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV, O_PRATL_PRC "
    "WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PAV.ISNODALA = :ISNODALA "
    "AND O_PRATL_PRC.ISPRECE = :ISPRECE AND O_PRATL_PAV.DATUMS>=:DATUMS");

const QString kUpdateStock = QStringLiteral(
    "EXECUTE PROCEDURE UPDATETEKATLIK(:ISPRECE, :ISNODALA, :DAUDZUMS, :NELEGALIZ, :FLAG)");

const QString kStockAllKinds =
    QStringLiteral("SELECT SUM(ATLIKUMS) ATLIKUMS FROM O_TEKATLIK "
                   "WHERE O_TEKATLIK.ISPRECE = :ISPRECE AND O_TEKATLIK.ISNODALA = :ISNODALA");

const QString kStockOneKind =
    QStringLiteral("SELECT SUM(ATLIKUMS) ATLIKUMS FROM O_TEKATLIK "
                   "WHERE O_TEKATLIK.ISPRECE = :ISPRECE AND O_TEKATLIK.ISNODALA = :ISNODALA "
                   "AND O_TEKATLIK.NELEGALIZ = :NELEGALIZ");

const QString kCertifiedStock =
    QStringLiteral("select ATLIKUMS from PRECVALIDSERT(:ISPRECE, :ISNODALA, :ISSERTIF, :DATUMS)");

// GetLastPrice: the newest receipt of a good and a transfer after it, with
// or without the department, their price as LAUKS in %1.
const QString kLastReceipt =
    QStringLiteral("SELECT FIRST 1 O_PAVADZ.ISN, DAT_SANEM DATUMS, %1 LAUKS FROM O_PRECE, O_PAVADZ "
                   "WHERE O_PRECE.ISPAVADZ = O_PAVADZ.ISN AND (O_PAVADZ.DAT_SANEM+0)<=:DATUMS "
                   "AND O_PRECE.ISPRECE = :ISPRECE ORDER BY DAT_SANEM DESCENDING");
const QString kLastReceiptInDepartment =
    QStringLiteral("SELECT FIRST 1 O_PAVADZ.ISN, DAT_SANEM DATUMS, %1 LAUKS FROM O_PRECE, O_PAVADZ "
                   "WHERE O_PRECE.ISPAVADZ = O_PAVADZ.ISN AND (O_PAVADZ.DAT_SANEM+0)<=:DATUMS "
                   "AND O_PRECE.ISPRECE = :ISPRECE AND O_PAVADZ.ISNODALA = :ISNODALA "
                   "ORDER BY DAT_SANEM DESCENDING");
const QString kLaterTransfer =
    QStringLiteral("SELECT FIRST 1 O_PARPAV.ISN, O_PARPAV.DATUMS, %1 LAUKS FROM O_PARPRC, O_PARPAV "
                   "WHERE O_PARPRC.ISPARVPAV = O_PARPAV.ISN AND (O_PARPAV.DATUMS+0)<=:DATUMS "
                   "AND (O_PARPAV.DATUMS+0)>:DATJAUNS AND O_PARPRC.ISPRECE = :ISPRECE "
                   "ORDER BY DATUMS DESCENDING, ISN DESCENDING ");
const QString kLaterTransferIntoDepartment = QStringLiteral(
    "SELECT FIRST 1 O_PARPAV.ISN, O_PARPAV.DATUMS, %1 LAUKS FROM O_PARPRC, O_PARPAV "
    "WHERE O_PARPRC.ISPARVPAV = O_PARPAV.ISN AND (O_PARPAV.DATUMS+0)<=:DATUMS "
    "AND (O_PARPAV.DATUMS+0)>:DATJAUNS AND O_PARPRC.ISPRECE = :ISPRECE "
    "AND O_PARPAV.ISNODALAUZ = :ISNODALA ORDER BY DATUMS DESCENDING, ISN DESCENDING ");
// The prices over a line's columns that the windows ask for, besides plain
// columns.
const QStringList kPriceFormulas{
    QStringLiteral("PARD_CENA/(1+NODOKLIS/100)"),
    QStringLiteral("PARD_CENA*(1+NODOKLIS/100)"),
    QStringLiteral("CENA*(1+ATLAIDE/100)"),
    QStringLiteral("CENA*(1+ATLAIDE/100)*(1+NODOKLIS/100)"),
    QStringLiteral("CENA*(1+NODOKLIS/100)"),
};

// The variables of a unit's steps, named in %1, %2 ...
const QString kZeroWhenNull = QStringLiteral("%1 = COALESCE(:%1, 0)");
const QString kTakeWhenNotNull = QStringLiteral("%1 = COALESCE(:%2, 0)");
const QString kFirstRowInto = QStringLiteral(" INTO :%1, :%2, :%3 DO LEAVE");
const QString kIntoVariable = QStringLiteral(" INTO :%1");

// One column (%1) of one row of a table (%2).
const QString kLookupNumber = QStringLiteral("SELECT %1 FROM %2 WHERE ISN = :ISN");

const QString kUserRights = QStringLiteral("SELECT IESPEJAS, GNOS FROM O_USERS WHERE GNOS=:GNOS");

const QString kMasterUser = QStringLiteral("CHIEF");
const QString kMasterUserLacks = QStringLiteral("80");

// The name column goes under the alias in %1.
const QString kDepartmentList =
    QStringLiteral("SELECT N_DEPART.ISN, N_DEPART.GNOS %1 FROM N_DEPART WHERE "
                   "(N_DEPART.FLAG_3D IS NULL OR N_DEPART.FLAG_3D='' OR N_DEPART.FLAG_3D='F') ");
// A user limited to some departments: their keys as one text parameter,
// ",3,4,6,", so that the statement is the same however many there are.
const QString kUserDepartments =
    QStringLiteral(" AND POSITION(',' || N_DEPART.ISN || ',' IN CAST(:ISNODALAS AS "
                   "VARCHAR(8191))) > 0 ");
const QString kUserDepartmentsParam = QStringLiteral("ISNODALAS");
const QString kDepartmentListOrder = QStringLiteral(" ORDER BY N_DEPART.GNOS");
constexpr int kDepartmentListLimit = 201;

QDateTime today()
{
    return QDateTime(QDate::currentDate(), QTime(0, 0));
}

QDateTime startOfDay(const QDate& date)
{
    return QDateTime(date, QTime(0, 0));
}

// NELEGALIZ of a stock move: one character, "F" when none is given.
QString stockKind(const QString& nelegaliz)
{
    return nelegaliz.isEmpty() ? QStringLiteral("F") : nelegaliz.left(1);
}

// One try: a failure leaves the connection offline, trying again in the
// background, so the window is not held for several connect timeouts on
// each scan while the link is down; an offline connection fails at once.
void reconnect(ServerConnection& connection)
{
    if (connection.isOffline())
        throw ClientError(kReconnectFailed + connection.offlineReason());
    try {
        connection.setConnected(true);
    } catch (const std::exception& error) {
        throw ClientError(kReconnectFailed + errorText(error));
    }
}

QString receiptPriceExpression(const QString& column)
{
    if (column == QLatin1String("PARD_APGR"))
        return QStringLiteral("PARD_CENA");
    if (column == QLatin1String("PARD_CENA"))
        return QStringLiteral("PARD_CENA/(1+NODOKLIS/100)");
    return column;
}

QString transferPriceExpression(const QString& column)
{
    if (column == QLatin1String("PARD_APGR"))
        return QStringLiteral("PARD_CENA*(1+NODOKLIS/100)");
    if (column == QLatin1String("CENA*(1+ATLAIDE/100)"))
        return QStringLiteral("CENA");
    return column; // PARD_CENA stays as it is
}

// A price statement with its price: a plain column, or one of the known
// formulas; any other text is refused, as a bad name is.
QString withPrice(const QString& statement, const QString& price)
{
    if (kPriceFormulas.contains(price))
        return statement.arg(price);
    return FillNames(statement, {price});
}

// The earliest date a transfer may be after when no receipt bounds it: the
// first of January 1900 as the client's date format reads it. Should the
// format not read it (a locale whose short date is not day, month, year in
// digits), the same date is taken directly.
QDateTime earliestTransferBound(const ClientState& state)
{
    QString separator = state.DateSeparator;
    if (separator.isEmpty())
        separator = QStringLiteral(".");
    bool ok = false;
    const QDate parsed = ClientFormat::textToDate(
        QStringLiteral("01") + separator + QStringLiteral("01") + separator + "1900", &ok);
    return startOfDay(ok ? parsed : QDate(1900, 1, 1));
}

// The values of one log entry, texts cut to the log's column sizes; the two
// keys may be variables of a unit.
UnitValues logValues(const ClientState& state, const QString& key, const QString& number,
                     const QString& table, const UnitArg& goodsIsn, const QString& note,
                     const UnitArg& recordIsn, const QDate& date)
{
    return {{QStringLiteral("TAUSTINS"), key.left(9)},
            {QStringLiteral("IEVKODS"), state.CurrentUser.left(19)},
            {QStringLiteral("IEVDAT"), QDateTime::currentDateTime()},
            {QStringLiteral("DATUMS"), startOfDay(date)},
            {QStringLiteral("NUMURS"), number.left(14)},
            {QStringLiteral("BAZE"), table.left(19)},
            {QStringLiteral("ISN_BAZE"), recordIsn},
            {QStringLiteral("ISPRECE"), goodsIsn},
            {QStringLiteral("PIEZIMES"), note.left(99)}};
}

// A unit's variable that a read left NULL (no row, a NULL sum) becomes 0, as
// a one-request read gives 0.
void zeroWhenNull(UnitOfWork& unit, const QString& variable)
{
    unit.add(FillNames(kZeroWhenNull, {variable}));
}

// The departments the user is limited to (none: all), from the
// comma-separated list the user's row holds. Anything in it but numbers is
// refused rather than sent: the list is a value, never part of a statement.
QList<qint32> userDepartments(const ClientState& state)
{
    const QString list = state.UserDepartments;
    QList<qint32> departments;
    if (list.isEmpty())
        return departments;
    for (const QString& entry : list.split(QLatin1Char(','))) {
        bool ok = false;
        const qint32 isn = entry.trimmed().toInt(&ok);
        if (!ok)
            throw ClientError(
                QStringLiteral("Lietotāja nodaļu sarakstā nav nodaļas numura: '%1'").arg(entry));
        departments << isn;
    }
    return departments;
}

// The departments as kUserDepartments takes them.
QString departmentList(const QList<qint32>& departments)
{
    QString list = QStringLiteral(",");
    for (const qint32 isn : departments)
        list += QString::number(isn) + QLatin1Char(',');
    return list;
}

} // namespace

void PrepareDataset(RemoteDataSet& dataSet)
{
    ServerConnection* connection =
        dataSet.remoteServer() ? dataSet.remoteServer()->sqlConnection() : nullptr;
    try {
        dataSet.close();
    } catch (const std::exception&) {
        if (connection)
            connection->setConnected(false);
        dataSet.close();
    }
    // Without a connection the request itself says what is missing.
    if (connection && !connection->connected())
        reconnect(*connection);
}

void LogOperation(TClientDataModule& module, const QString& key, const QString& number,
                  const QString& table, qint32 goodsIsn, const QString& note, qint32 recordIsn,
                  const QDate& date)
{
    OwnDataSet log(module, module.cdsO_OPERACIJAS());
    log->setCommandText(kInsertOperation);
    for (const auto& [name, value] :
         logValues(module.clientState(), key, number, table, goodsIsn, note, recordIsn, date))
        log->setParam(value.toParam(name));
    log->execute();
}

void LogOperation(UnitOfWork& unit, const ClientState& state, const QString& key,
                  const QString& number, const QString& table, const UnitArg& goodsIsn,
                  const QString& note, const UnitArg& recordIsn, const QDate& date)
{
    const UnitValues values = logValues(state, key, number, table, goodsIsn, note, recordIsn, date);
    if (unit.runsOnce())
        unit.stampLogEntry(unit.add(kInsertStampedOperation).set(values));
    else
        unit.add(kInsertOperation).set(values);
}

UnitIdentity NewUnitIdentity(TClientDataModule& module)
{
    ServerConnection& connection = module.SQLConnection1();
    if (connection.logFloor() <= 0 && connection.connected()) {
        try {
            OwnDataSet query(module, module.cdsTempQuery());
            query->setCommandText(kLogFloor);
            query->open();
            connection.noteLogFloor(query->fieldByName(QStringLiteral("ISN")).asInteger());
        } catch (const std::exception&) {
            // Only slower: the check then reads the log from its start.
        }
    }
    return UnitIdentity{QStringLiteral("NV:") + QUuid::createUuid().toString(QUuid::WithoutBraces),
                        connection.logFloor()};
}

void UpdateStock(UnitOfWork& unit, const UnitArg& goodsIsn, const UnitArg& departmentIsn, int flag,
                 const QString& nelegaliz, const UnitArg& quantity)
{
    if (flag != 0 && flag != 1)
        return;
    // The inventory check runs in the database, just before the move it guards.
    if (flag == 1)
        unit.beginIf(QStringLiteral("NOT EXISTS (") + kInventoryCoversGoods + QLatin1Char(')'))
            .set(QStringLiteral("ISNODALA"), departmentIsn)
            .set(QStringLiteral("ISPRECE"), goodsIsn)
            .set(QStringLiteral("DATUMS"), today());
    unit.add(kUpdateStock)
        .set(QStringLiteral("ISPRECE"), goodsIsn)
        .set(QStringLiteral("ISNODALA"), departmentIsn)
        .set(QStringLiteral("DAUDZUMS"), quantity)
        .set(QStringLiteral("NELEGALIZ"), stockKind(nelegaliz))
        .set(QStringLiteral("FLAG"), flag);
    if (flag == 1)
        unit.endIf();
}

void UpdateStock(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn, int flag,
                 const QString& nelegaliz, double quantity)
{
    const QString kind = stockKind(nelegaliz);
    OwnDataSet own(module, module.cdsTempQuery());
    RemoteDataSet& query = *own;
    PrepareDataset(query);
    bool blocked = false;
    if (flag == 1) {
        query.setCommandText(kInventoryCoversGoods);
        query.setIntegerParam(QStringLiteral("ISNODALA"), departmentIsn);
        query.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
        query.setDateTimeParam(QStringLiteral("DATUMS"), today());
        query.open();
        blocked = query.fieldByName(QStringLiteral("ISN")).asInteger() > 0;
    }
    if (flag == 0 || (flag == 1 && !blocked)) {
        query.close();
        query.setCommandText(kUpdateStock);
        query.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
        query.setIntegerParam(QStringLiteral("ISNODALA"), departmentIsn);
        query.setDoubleParam(QStringLiteral("DAUDZUMS"), quantity);
        query.setTextParam(QStringLiteral("NELEGALIZ"), kind);
        query.setIntegerParam(QStringLiteral("FLAG"), flag);
        query.execute();
    }
}

double GetStock(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn,
                const QString& nelegaliz)
{
    OwnDataSet own(module, module.cdsO_TEKATLIK());
    RemoteDataSet& stock = *own;
    PrepareDataset(stock);
    const bool allKinds = nelegaliz == QLatin1String("K") || nelegaliz.isEmpty();
    stock.setCommandText(allKinds ? kStockAllKinds : kStockOneKind);
    stock.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
    stock.setIntegerParam(QStringLiteral("ISNODALA"), departmentIsn);
    if (!allKinds)
        stock.setTextParam(QStringLiteral("NELEGALIZ"), nelegaliz);
    stock.open();
    return stock.fieldByName(QStringLiteral("ATLIKUMS")).asFloat();
}

void GetStock(UnitOfWork& unit, const UnitArg& goodsIsn, const UnitArg& departmentIsn,
              const QString& nelegaliz, const QString& into)
{
    const bool allKinds = nelegaliz == QLatin1String("K") || nelegaliz.isEmpty();
    UnitOfWork::Step& read =
        unit.add((allKinds ? kStockAllKinds : kStockOneKind) + FillNames(kIntoVariable, {into}))
            .set(QStringLiteral("ISPRECE"), goodsIsn)
            .set(QStringLiteral("ISNODALA"), departmentIsn);
    if (!allKinds)
        read.set(QStringLiteral("NELEGALIZ"), nelegaliz);
    zeroWhenNull(unit, into);
}

double GetCertifiedStock(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn,
                         qint32 certificateIsn, const QDate& date)
{
    OwnDataSet own(module, module.cdsO_TEKATLIK());
    RemoteDataSet& stock = *own;
    PrepareDataset(stock);
    stock.setCommandText(kCertifiedStock);
    stock.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
    stock.setIntegerParam(QStringLiteral("ISNODALA"), departmentIsn);
    stock.setIntegerParam(QStringLiteral("ISSERTIF"), certificateIsn);
    stock.setDateTimeParam(QStringLiteral("DATUMS"), startOfDay(date));
    stock.open();
    return stock.fieldByName(QStringLiteral("ATLIKUMS")).asFloat();
}

void GetCertifiedStock(UnitOfWork& unit, qint32 goodsIsn, qint32 departmentIsn,
                       qint32 certificateIsn, const QDate& date, const QString& into)
{
    unit.add(QStringLiteral("FOR ") + kCertifiedStock + FillNames(kIntoVariable, {into}) +
             QStringLiteral(" DO LEAVE"))
        .set(QStringLiteral("ISPRECE"), goodsIsn)
        .set(QStringLiteral("ISNODALA"), departmentIsn)
        .set(QStringLiteral("ISSERTIF"), certificateIsn)
        .set(QStringLiteral("DATUMS"), startOfDay(date));
    zeroWhenNull(unit, into);
}

double LookupNumber(TClientDataModule& module, const QString& table, qint32 isn,
                    const QString& column)
{
    OwnDataSet own(module, module.cdsTempQuery());
    RemoteDataSet& query = *own;
    PrepareDataset(query);
    query.setCommandText(FillNames(kLookupNumber, {column, table}));
    query.setIntegerParam(QStringLiteral("ISN"), isn);
    query.open();
    return query.fieldByName(column).asFloat();
}

void LookupNumber(UnitOfWork& unit, const QString& table, const UnitArg& isn, const QString& column,
                  const QString& into)
{
    // FOR ... DO LEAVE takes the first row, as the one-request read does.
    unit.add(
            FillNames(QStringLiteral("FOR ") + kLookupNumber + QStringLiteral(" INTO :%3 DO LEAVE"),
                      {column, table, into}))
        .set(QStringLiteral("ISN"), isn);
    zeroWhenNull(unit, into);
}

void GetLastPrice(UnitOfWork& unit, const ClientState& state, const UnitArg& goodsIsn,
                  qint32 departmentIsn, const QString& receiptColumn, const QDate& date,
                  const QString& transferColumn, const QString& into)
{
    const bool oneDepartment = departmentIsn != 0;
    const QString found = into + QStringLiteral("_ISN");
    const QString day = into + QStringLiteral("_DATUMS");
    const QString field = into + QStringLiteral("_LAUKS");
    const QString after = into + QStringLiteral("_DATJAUNS");
    unit.declare(found, ParamType::Integer);
    unit.declare(day, ParamType::DateTime);
    unit.declare(field, ParamType::Double);
    unit.declare(after, ParamType::DateTime);
    const auto firstRowInto = [&](const QString& select) {
        return QStringLiteral("FOR ") + select + FillNames(kFirstRowInto, {found, day, field});
    };

    unit.add(FillNames(QStringLiteral("%1 = 0"), {into}));
    unit.add(FillNames(QStringLiteral("%1 = :BOUND"), {after}))
        .set(QStringLiteral("BOUND"), earliestTransferBound(state));
    UnitOfWork::Step& receipt =
        unit.add(firstRowInto(withPrice(oneDepartment ? kLastReceiptInDepartment : kLastReceipt,
                                        receiptPriceExpression(receiptColumn))))
            .set(QStringLiteral("DATUMS"), startOfDay(date))
            .set(QStringLiteral("ISPRECE"), goodsIsn);
    if (oneDepartment)
        receipt.set(QStringLiteral("ISNODALA"), departmentIsn);
    unit.beginIf(FillNames(QStringLiteral("COALESCE(:%1, 0) <> 0"), {found}));
    unit.add(FillNames(kTakeWhenNotNull, {into, field}));
    unit.add(FillNames(QStringLiteral("%1 = :%2"), {after, day}));
    unit.endIf();
    if (transferColumn.isEmpty())
        return;

    unit.add(FillNames(QStringLiteral("%1 = NULL"), {found}));
    UnitOfWork::Step& transfer =
        unit.add(firstRowInto(
                     withPrice(oneDepartment ? kLaterTransferIntoDepartment : kLaterTransfer,
                               transferPriceExpression(transferColumn))))
            .set(QStringLiteral("DATUMS"), startOfDay(date))
            .set(QStringLiteral("DATJAUNS"), UnitArg::variable(after))
            .set(QStringLiteral("ISPRECE"), goodsIsn);
    if (oneDepartment)
        transfer.set(QStringLiteral("ISNODALA"), departmentIsn);
    unit.beginIf(FillNames(QStringLiteral("COALESCE(:%1, 0) > 0"), {found}));
    unit.add(FillNames(kTakeWhenNotNull, {into, field}));
    unit.endIf();
}

double GetLastPrice(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn,
                    const QString& receiptColumn, const QDate& date, const QString& transferColumn)
{
    double price = 0;
    QDateTime after = earliestTransferBound(module.clientState());
    const bool oneDepartment = departmentIsn != 0;

    OwnDataSet own(module, module.cdsTempQuery());
    RemoteDataSet& query = *own;
    PrepareDataset(query);
    query.setCommandText(withPrice(oneDepartment ? kLastReceiptInDepartment : kLastReceipt,
                                   receiptPriceExpression(receiptColumn)));
    query.setDateTimeParam(QStringLiteral("DATUMS"), startOfDay(date));
    query.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
    if (oneDepartment)
        query.setIntegerParam(QStringLiteral("ISNODALA"), departmentIsn);
    query.open();
    if (query.fieldByName(QStringLiteral("ISN")).asInteger() != 0) {
        price = query.fieldByName(QStringLiteral("LAUKS")).asFloat();
        after = query.fieldByName(QStringLiteral("DATUMS")).asDateTime();
    }

    if (transferColumn.isEmpty())
        return price;
    query.close();
    query.setCommandText(withPrice(oneDepartment ? kLaterTransferIntoDepartment : kLaterTransfer,
                                   transferPriceExpression(transferColumn)));
    query.setDateTimeParam(QStringLiteral("DATUMS"), startOfDay(date));
    query.setDateTimeParam(QStringLiteral("DATJAUNS"), after);
    query.setIntegerParam(QStringLiteral("ISPRECE"), goodsIsn);
    if (oneDepartment)
        query.setIntegerParam(QStringLiteral("ISNODALA"), departmentIsn);
    query.open();
    if (query.fieldByName(QStringLiteral("ISN")).asInteger() > 0)
        price = query.fieldByName(QStringLiteral("LAUKS")).asFloat();
    return price;
}

bool UserHasRight(TClientDataModule& module, const QString& user, const QString& code, int level)
{
    if (user == kMasterUser)
        return code != kMasterUserLacks;
    OwnDataSet own(module, module.cdsO_USERS());
    RemoteDataSet& users = *own;
    PrepareDataset(users);
    users.setCommandText(kUserRights);
    users.setTextParam(QStringLiteral("GNOS"), EncodeText(user));
    users.open();
    if (users.fieldByName(QStringLiteral("GNOS")).asString().trimmed().isEmpty())
        return false;
    return RightFlag(users.fieldByName(QStringLiteral("IESPEJAS")).asString(), code, level);
}

bool RightFlag(const QString& rights, const QString& code, int level)
{
    if (level < 0 || code.isEmpty())
        return false;
    // A right is written as its code, "_" and one flag per level: 11_TFT.
    // Only a whole entry counts: "11_" inside "111_TTT" is another right.
    const QString entry = code + QLatin1Char('_');
    for (qsizetype start = rights.indexOf(entry); start >= 0;
         start = rights.indexOf(entry, start + 1)) {
        if (start > 0 && rights.at(start - 1).isLetterOrNumber())
            continue;
        const qsizetype flag = start + entry.size() + level;
        return flag < rights.size() && rights.at(flag) == QLatin1Char('T');
    }
    return false;
}

QString DepartmentListSql(const ClientState& state, const QString& alias)
{
    QString sql = FillNames(kDepartmentList, {alias});
    if (!userDepartments(state).isEmpty())
        sql += kUserDepartments;
    return sql + kDepartmentListOrder;
}

QStringList DepartmentListStatements(const QString& alias)
{
    ClientState state;
    QStringList statements{DepartmentListSql(state, alias)};
    state.UserDepartments = QStringLiteral("1");
    statements << DepartmentListSql(state, alias);
    return statements;
}

void SetDepartmentList(const ClientState& state, RemoteDataSet& dataSet, const QString& alias)
{
    dataSet.setCommandText(DepartmentListSql(state, alias));
    const QList<qint32> departments = userDepartments(state);
    if (!departments.isEmpty())
        dataSet.setTextParam(kUserDepartmentsParam, departmentList(departments));
}

QStringList CommonStatements()
{
    // GetStock is sent on its own for the stock of every kind only (the
    // goods window); the rest of the procedures' one-request forms serve
    // tests and tools, and the terminal sends their texts inside units.
    return QStringList{kLogFloor, kUserRights, kStockAllKinds}
           << DepartmentListStatements(QStringLiteral("NODALA"));
}

void SetKeyboardSuppression(TClientDataModule& module, bool on)
{
    QTimer* timer = module.keyboardSuppressionTimer();
    if (!on)
        timer->stop();
    else if (!timer->isActive())
        timer->start();
}

KeyedList LoadDepartmentList(TClientDataModule& module)
{
    OwnDataSet own(module, module.cdsN_DEPART());
    RemoteDataSet& departments = *own;
    PrepareDataset(departments);
    SetDepartmentList(module.clientState(), departments, QStringLiteral("NODALA"));
    departments.open();
    return ReadKeyedList(departments, QStringLiteral("NODALA"), kDepartmentListLimit);
}

QString NormalizeDecimalText(const ClientState& state, const QString& text)
{
    QString normalized = text;
    if (state.DecimalPointIsDot)
        normalized.replace(QLatin1Char(','), QLatin1Char('.'));
    else
        normalized.replace(QLatin1Char('.'), QLatin1Char(','));
    return normalized;
}

double ReadNumberField(const ClientState& state, const QString& text, bool* ok)
{
    return ClientFormat::textToDouble(NormalizeDecimalText(state, text).trimmed(), ok);
}

qint32 InsertReturningIsn(RemoteDataSet& dataSet)
{
    dataSet.close(); // an open dataset would hand back its old row
    dataSet.open();
    return ReturnedKey(dataSet, QStringLiteral("ISN"));
}

qint32 ReturnedKey(const RemoteDataSet& dataSet, const QString& column)
{
    const qint32 isn = dataSet.eof() ? 0 : dataSet.fieldByName(column).asInteger();
    if (isn <= 0)
        throw ClientError(
            QStringLiteral("%1: serveris neatdeva jaunā ieraksta atslēgu").arg(dataSet.name()));
    return isn;
}
