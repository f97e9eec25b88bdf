#pragma once

#include "client/core/keyedlist.h"
#include "common/encodetext.h"

#include <QDate>
#include <QString>
#include <QStringList>

class RemoteDataSet;
class TClientDataModule;
class UnitArg;
class UnitOfWork;
struct ClientState;
struct UnitIdentity;

// The procedures every screen shares. Each takes what it works with: the
// data module whose connection a request goes over (each call reads through
// a dataset of its own, so no caller's rows in the module's datasets are
// touched), or the client state it reads.
//
// None of them shows a message: server errors (RemoteError) and conversion
// errors (ClientError) reach the caller, whose window shows them.

// Closes the dataset and makes sure its connection is up, trying once; a
// connection it cannot restore throws ClientError ("Kļūda atjaunojot
// savienojumu ar serveri " and the reason), so the request is not sent. An
// offline connection (see ServerConnection) throws the same at once, without
// trying: it is trying in the background.
void PrepareDataset(RemoteDataSet& dataSet);

// One row of the operation log in the current user's name, texts cut to the
// log's column sizes.
void LogOperation(TClientDataModule& module, const QString& key, const QString& number,
                  const QString& table, qint32 goodsIsn, const QString& note, qint32 recordIsn,
                  const QDate& date);
// The same entry as a statement of a unit; the keys may be unit variables.
void LogOperation(UnitOfWork& unit, const ClientState& state, const QString& key,
                  const QString& number, const QString& table, const UnitArg& goodsIsn,
                  const QString& note, const UnitArg& recordIsn, const QDate& date);

// A new identity for a unit that must run at most once, made as the worker
// presses the key. Its log floor is the newest operation log key the
// connection has seen; before the first, it is read from the server (one
// request per connection's life), and without a server it is 0, which only
// makes the check for an earlier send read the whole log.
UnitIdentity NewUnitIdentity(TClientDataModule& module);

// Moves the stock of a good in a department by quantity (signed). With flag 1
// nothing moves while an inventory of that department dated today or later
// lists the good; flag 0 always moves; other flags never do.
void UpdateStock(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn, int flag,
                 const QString& nelegaliz, double quantity);
// The same move as statements of a unit, the inventory check included.
void UpdateStock(UnitOfWork& unit, const UnitArg& goodsIsn, const UnitArg& departmentIsn, int flag,
                 const QString& nelegaliz, const UnitArg& quantity);

// Stock of a good in a department: of every NELEGALIZ value for "K" or empty,
// else of that value only. 0 when there is none.
double GetStock(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn,
                const QString& nelegaliz);
// The same stock read inside a unit, into its DOUBLE PRECISION variable into
// (0 when there is none).
void GetStock(UnitOfWork& unit, const UnitArg& goodsIsn, const UnitArg& departmentIsn,
              const QString& nelegaliz, const QString& into);

double GetCertifiedStock(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn,
                         qint32 certificateIsn, const QDate& date);
// The same stock read inside a unit, into its DOUBLE PRECISION variable into.
void GetCertifiedStock(UnitOfWork& unit, qint32 goodsIsn, qint32 departmentIsn,
                       qint32 certificateIsn, const QDate& date, const QString& into);

// One number of one row: column of table where ISN = isn (0 when NULL).
double LookupNumber(TClientDataModule& module, const QString& table, qint32 isn,
                    const QString& column);
// The same read inside a unit, into its DOUBLE PRECISION variable into.
void LookupNumber(UnitOfWork& unit, const QString& table, const UnitArg& isn, const QString& column,
                  const QString& into);

// The price of a good as last set on or before date: from the newest receipt
// into the department (0 = any) and any transfer into it after that receipt.
// 0 when there is neither. An empty transferColumn skips transfers.
double GetLastPrice(TClientDataModule& module, qint32 goodsIsn, qint32 departmentIsn,
                    const QString& receiptColumn, const QDate& date, const QString& transferColumn);
// The same price worked out inside a unit, into its DOUBLE PRECISION
// variable into; the unit gets a few variables of its own named after into.
// The state gives the date separator its earliest bound is read with.
void GetLastPrice(UnitOfWork& unit, const ClientState& state, const UnitArg& goodsIsn,
                  qint32 departmentIsn, const QString& receiptColumn, const QDate& date,
                  const QString& transferColumn, const QString& into);

// Whether the user holds the right code at level (O_USERS.IESPEJAS).
bool UserHasRight(TClientDataModule& module, const QString& user, const QString& code, int level);
// The flag of one right at level in a rights text such as "11_TFT;13_FFT".
bool RightFlag(const QString& rights, const QString& code, int level);

// The department list statement, with the name column under alias and, when
// the state's user is limited to some departments, the condition that takes
// them as one text parameter (:ISNODALAS), whatever their number. A
// departments list that holds anything but numbers throws ClientError.
QString DepartmentListSql(const ClientState& state, const QString& alias);
// Puts that statement and the user's departments as its values into dataSet.
void SetDepartmentList(const ClientState& state, RemoteDataSet& dataSet, const QString& alias);

// Every form DepartmentListSql takes with alias: all departments, and a
// user's. For the terminal's statement catalogue.
QStringList DepartmentListStatements(const QString& alias);

// The departments a department combo offers: DepartmentListSql("NODALA")
// through cdsN_DEPART, at most 201 of them.
KeyedList LoadDepartmentList(TClientDataModule& module);

// The statements these procedures send on their own, as the terminal uses
// them: the log floor, a user's rights, the stock of every kind, the
// department combo's list. Their steps in units are listed with the units.
QStringList CommonStatements();

// Runs or stops the module's timer that keeps the on-screen keyboard hidden.
void SetKeyboardSuppression(TClientDataModule& module, bool on);

// A typed number with its decimal separator made the client's: "," to "."
// when the state's DecimalPointIsDot, else "." to ",".
QString NormalizeDecimalText(const ClientState& state, const QString& text);

// A number field as the windows read it: normalised, trimmed and converted
// with the client's number format. Only a finite decimal number converts: a
// text that is none ("abc", "nan", "inf", "1e400", "0x10") reads as 0, and
// sets ok to false where the caller asks. Every typed number goes through
// here.
double ReadNumberField(const ClientState& state, const QString& text, bool* ok = nullptr);

// The way to insert a row and learn its key: the dataset's command text is
// an INSERT ... RETURNING ISN, its parameters are set, and this opens it (one
// AS_GetRecords) and returns the ISN the database gave that very row. Unlike
// reading the generator afterwards, no other terminal's insert can come in
// between. Leaves the dataset open on the returned row. Throws ClientError
// when no key comes back.
//
//     PrepareDataset(cds);
//     cds.setCommandText("INSERT INTO O_PAVADZ (...) VALUES (...) RETURNING ISN");
//     cds.setIntegerParam(...);
//     const qint32 isn = InsertReturningIsn(cds);
qint32 InsertReturningIsn(RemoteDataSet& dataSet);

// The new record's key that a statement or a unit handed back in the named
// column of the dataset's row. Throws ClientError when none came back: work
// carried on with key 0 would attach its rows to nothing.
qint32 ReturnedKey(const RemoteDataSet& dataSet, const QString& column);
