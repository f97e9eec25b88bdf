#pragma once

#include "client/core/findgoods.h"
#include "client/core/outcome.h"
#include "client/core/owndataset.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class TClientDataModule;

// What is checked: goods received against their waybills (O_PAVADZ with
// lines in O_PRECE) or goods transferred against their transfer documents
// (O_PARPAV with lines in O_PARPRC).
enum class CheckKind
{
    Receiving,
    Transfer,
};

// The data work of the receiving and transfer check: a counted quantity of
// one article booked as checked quantity (DAUDZUMS_PARB) onto the lines of
// the documents named, or, when the article is on none of them, noted in the
// first document's list of goods not found.
//
// The documents are named by a hyphen-separated number list ("2-02.05" is
// the documents "2" and "02.05", taken literally) and a period of document
// dates. The numbers and dates travel as parameters, so no typed text
// becomes part of a statement. The quantities booked onto the lines of one
// check go as one unit: all of them are stored or, when the database fails,
// none. The unit works out what each line takes from the line as stored
// when it runs, and the note grows in the database, so two terminals
// checking the same goods at once both count. Errors of the server
// propagate (RemoteError), except those of the document query, which are
// refused with their text.
class ReceivingCheck final
{
public:
    // What a check did, with the texts the window shows in this order: a
    // warning (the count differs from what the documents still expect),
    // the status line, a notice after it. Empty texts are not shown.
    struct Result
    {
        QString warning;
        QString status;
        QString notice;
    };

    // What a check is to store: the count onto the article's lines (their
    // keys, in the order the server gave them), or, when the article is on
    // none of the documents, an entry for the note of the first document.
    // result is what the window shows once it is stored. What each line
    // takes is worked out as it is stored, from the line as it then is.
    struct Booking
    {
        CheckKind kind = CheckKind::Receiving;
        QList<qint32> lines;
        qint32 goodsIsn = 0;
        double count = 0;
        qint32 noteDocument = 0;
        QString noteEntry;
        Result result;
    };

    explicit ReceivingCheck(TClientDataModule& module);

    // Every statement a check can send, of both kinds: for the terminal's
    // statement catalogue.
    static QStringList Statements();

    // The document numbers of a number list, empty ones included.
    static QStringList WaybillNumbers(const QString& numberList);

    // Looks the article up for the preview (nothing for an empty field);
    // false when it is not found, which FindGoods has reported. The check
    // that follows for the same article does not ask again.
    bool Preview(GoodsInfo& goods, const QString& article);
    // The price line of the preview.
    static QString PriceText(const GoodsInfo& goods);

    // One check ("Saglabāt"). A quantity that is no number counts as 0.
    // Refuses missing input (focus on the field), an article that is not
    // found, a document query that fails and a number list that names no
    // document with lines.
    Outcome<Result> Check(GoodsInfo& goods, CheckKind kind, const QString& numberList,
                          const QDate& from, const QDate& to, const QString& article,
                          const QString& quantityText);

    // The two halves of Check: the checks and reads, refused as Check
    // refuses, and then the writes. Another terminal may store its own
    // check of the same lines in between.
    Outcome<Booking> Prepare(GoodsInfo& goods, CheckKind kind, const QString& numberList,
                             const QDate& from, const QDate& to, const QString& article,
                             const QString& quantityText);
    Result Store(const Booking& booking);

private:
    TClientDataModule& m_module;
    OwnDataSet m_query;
    OwnDataSet m_update;
    RememberedLookUp m_lookUp;
};
