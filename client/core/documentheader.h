#pragma once

#include "client/core/documentcontext.h"
#include "client/core/keyedlist.h"
#include "client/core/outcome.h"
#include "client/core/owndataset.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

class TClientDataModule;
class UnitOfWork;
struct ClientState;

// The data work of the document header window: its department and
// counterparty lists, new document numbers, finding or creating the header
// row of the document the user names, and the list of documents of a period.
//
// Uses cdsN_DEPART, cdsN_KLIENT, cdsTempQuery, cdsUpdate and cdsPavadzimes,
// which holds the document list for as long as the window shows it. Server
// errors of the searches and of the number proposal propagate; those of the
// save and of the list come back as refusals with their messages.
class DocumentHeader final
{
public:
    struct Input
    {
        DocumentKind kind = DocumentKind::Receiving;
        QString number;
        QString dateText;
        int departmentIndex = -1;
        int counterpartyIndex = -1;
    };

    // A document picked from the list, as the header fields then show it.
    struct Picked
    {
        QString number;
        QString dateText;
        int departmentIndex = -1;   // -1 when the department is not offered
        QString clientSearch;       // the search text, for clients
        int counterpartyIndex = -1; // -1 when not found
    };

    explicit DocumentHeader(TClientDataModule& module);

    // Every statement the window's data work can send, for every kind: for
    // the terminal's statement catalogue.
    static QStringList Statements();

    // The departments the user may work in, at most 201.
    const KeyedList& LoadDepartments();
    const KeyedList& departments() const { return m_departments; }

    // The counterparties a kind offers: for a transfer the departments (read
    // at once), for the others the clients whose name contains typed (read
    // only when open is set; otherwise the list is just emptied), suppliers
    // only for receiving and buyers only for write-outs. At most 1001.
    const KeyedList& SearchCounterparties(DocumentKind kind, const QString& typed, bool open);
    const KeyedList& counterparties() const { return m_counterparties; }

    // A new number for an order, write-out or transfer of the chosen
    // department; empty for the kinds that have none.
    Outcome<QString> ProposeNumber(DocumentKind kind, int departmentIndex);

    // Checks the header fields, then finds the document's header row or
    // creates it with its log entry (one unit), and returns the context the
    // lines window works in. Goods in memory touch nothing.
    Outcome<DocumentContext> Save(const Input& input);
    qint32 DocIsn() const { return m_docIsn; }

    // The documents of the kind dated from..to, into the module's
    // cdsPavadzimes, which the window's list shows.
    Outcome<> RefreshDocumentList(DocumentKind kind, const QDate& from, const QDate& to);
    // The listed document an item names (its text is the row's ISN); nothing
    // when it names none.
    std::optional<Picked> PickDocument(DocumentKind kind, const QString& itemText);

private:
    struct ClientTerms
    {
        bool supplier = false;
        double discount = 0;
        qint32 creditDays = 0;
        qint32 paymentKind = 1;
    };

    Outcome<> CheckInput(const Input& input, QDate& date) const;
    ClientTerms ReadClientTerms(qint32 clientIsn);
    qint32 FindOrCreate(const Input& input, const QDate& date, const ClientTerms& terms);
    // The department's counter (an N_DEPART column) advanced, or when it holds
    // no number the next after the highest of the documents' table.
    QString CounterNumber(const QString& counter, const QString& documents, qint32 departmentIsn);
    QString NextAfterHighest(const QString& table);
    // The unit that finds the document's header row or makes it with its
    // log entry; its result ISN is the row's key.
    static void BuildFindOrCreate(UnitOfWork& unit, const ClientState& state, const Input& input,
                                  const QDate& date, qint32 department, qint32 counterparty,
                                  const ClientTerms& terms);

    TClientDataModule& m_module;
    OwnDataSet m_clients;
    OwnDataSet m_query;
    OwnDataSet m_update;
    KeyedList m_departments;
    KeyedList m_counterparties;
    qint32 m_docIsn = 0;
};
