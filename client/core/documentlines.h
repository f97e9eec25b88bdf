#pragma once

#include "client/core/documentcontext.h"
#include "client/core/findgoods.h"
#include "client/core/goodsinfo.h"
#include "client/core/linequeue.h"
#include "client/core/outcome.h"
#include "client/core/owndataset.h"
#include "client/core/unitofwork.h"
#include "common/datapacket.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class RemoteDataSet;
class TClientDataModule;
class UnitOfWork;

// The data work of the document lines window: what each kind shows, the
// article look-up with its pre-filled values, saving a line with everything
// it moves, the document's lines and total, and deleting a line.
//
// A scanned line costs the terminal two requests: the look-up (one unit: the
// goods, the price level, the pre-filled price or stock, the certificates)
// and the save (one unit: checks, line, log, stock, sale price, container
// line, and the saved lines as the list shows them with the new total). The
// list is read whole when the window opens a document and when its tab is
// opened without the window holding it; saves and deletions are applied to
// the rows it holds. Each save and each deletion is one unit the database
// applies whole or not at all.
//
// Works on the shared goods record (the main window's) and the module's
// datasets: cdsTempQuery (look-ups, deletions), cdsUpdate (saves) and
// cdsPreces, which holds the lines listed.
class DocumentLines final
{
public:
    // What the window shows and enables for a kind.
    struct KindSetup
    {
        QString title;
        QString priceLabel;     // lbIepCena; empty: as it was
        QString salePriceLabel; // lbPardCena; empty: as it was
        bool priceVisible = true;
        bool discountVisible = true;
        bool salePriceVisible = true;
        bool salePriceEnabled = true;
        bool certificateVisible = true;
        std::optional<QString> discountText;
        std::optional<QString> quantityText;
    };

    // One entry of the certificate list: its text and the certificate it
    // stands for, kept together so that the two cannot fall out of step.
    struct Certificate
    {
        QString text;
        qint32 isn = 0;
    };

    // The fields after a look-up; a field left unset keeps its text.
    struct LookedUp
    {
        QString article;  // after the scale-barcode rule and an identity label's cut
        QString quantity; // the scale barcode's quantity, or as it was
        bool found = false;
        QString notice; // not found: what the window tells the user
        QString name;
        std::optional<QString> price;
        std::optional<QString> salePrice;
        std::optional<QString> prefilledQuantity;
        bool clearDiscount = false;
        QList<Certificate> certificates;
    };

    // The line as the fields hold it.
    struct Entry
    {
        QString article;
        QString quantity;
        QString discount;
        QString price;
        QString salePrice;
        std::optional<qint32> certificateIsn; // the chosen certificate, if any
    };

    // A line of the list as it stood when its delete button was tapped, with
    // the document it belongs to: what its deletion logs and reverses, even
    // when the list or the document has changed since.
    struct LocatedLine
    {
        DocumentContext document;
        QString lineTable;
        qint32 isn = 0;
        qint32 goodsIsn = 0;
        double quantity = 0;
    };

    struct Saved
    {
        // Kept on the terminal to be sent when the server answers again;
        // the list and the total do not show it yet.
        bool queued = false;
        qint32 lineIsn = 0;
        QString total; // "Summa : 12,30", the header's total as stored
        // The fields for the next line of the kind.
        QString quantity;
        bool clearDiscount = true;
    };

    DocumentLines(TClientDataModule& module, GoodsInfo& goods);

    // Every statement the window's data work can send: the look-up, save and
    // deletion units of every kind with every setting and goods that shape
    // them, and the lists. For the terminal's statement catalogue; module is
    // a data module of its own, never connected.
    static QStringList Statements(TClientDataModule& module);

    // A document to work on (each time the window is opened for one).
    KindSetup Activate(const DocumentContext& context);
    const DocumentContext& context() const { return m_context; }
    QString LineTable() const { return m_lineTable; }

    // The article field was left: scale barcode, identity label, the goods,
    // and what the kind pre-fills. Nothing at all for an empty article.
    LookedUp LookUp(const QString& article, const QString& quantity);

    // Saves the line: the checks (each refusal with its message and field),
    // then one unit; a failure of the unit refuses with the save's own
    // message and leaves nothing stored. article receives the text cut at a
    // scanned line feed.
    Outcome<Saved> Save(Entry entry, QString& article);

    // The save's own message before the server's text.
    static const QString SaveFailed;
    // The refusal a save's unit ended with, if it refused (the stock checks).
    static std::optional<Refusal> SaveRefusal(const RemoteDataSet& update);

    // Lines saved while the server could not be reached and not yet sent,
    // refused ones not counted; 0 without the terminal's store.
    int QueuedCount();
    // Those the database refused when they were sent, each with its
    // message, for the worker to correct or drop; and dropping one.
    QList<QueuedLine> RefusedLines();
    void DropRefused(const QString& identity);
    // Sends up to count of them (LineSender). True when the server could
    // not be reached.
    bool SendQueued(int count);

    // Reloads cdsPreces with the document's lines (the inventory only when
    // full) and returns the total as the window shows it, "Summa : 12,30".
    QString RefreshLines(bool full);
    // The list tab was opened: the whole list, read only when cdsPreces does
    // not hold it for this document yet. Returns the total.
    QString ShowList();
    // The total as it stood after the last read, save or deletion.
    QString TotalText() const;

    // The line of that list item in cdsPreces; none when the item names no
    // line (the inventory placeholder, a line gone).
    std::optional<LocatedLine> LocateLine(const QString& itemText);
    // Deletes that line: its log entry, its stock reversed, the row itself,
    // as one unit, and takes it out of the list held. Throws what the server
    // throws, and then nothing is stored.
    void DeleteLine(const LocatedLine& line);

private:
    // A line's figures as read from its fields.
    struct LineValues
    {
        double quantity = 0;
        double price = 0;
        double salePrice = 0;
        double discount = 0;
        std::optional<qint32> chosenCertificate; // the certificate picked, if any
        bool setsSalePrice = false; // a receipt's sale price becomes the department's price
        bool operator==(const LineValues&) const = default;
    };
    // A save whose reply never came: the server may have stored it. Saved
    // again with the same goods and figures, it goes with the same identity,
    // so that it is stored once whichever of the two sends reached the
    // database.
    struct UnansweredSave
    {
        UnitIdentity identity;
        DocumentContext document;
        qint32 goodsIsn = 0;
        LineValues values;
    };
    UnitIdentity SaveIdentity(const LineValues& values);
    Outcome<Saved> SavedEarlier(qint32 lineIsn);
    LookedUp LookUpInCopy(const QString& code, bool byIsn, LookedUp result);
    // Keeps the save's unit in the terminal's queue, behind the lines there.
    Outcome<Saved> Queue(const UnitOfWork& unit, const LineValues& values, const QString& article);
    void FillAfterSave(Saved& saved) const;
    // The checks of the fields and the goods, before anything is sent.
    Outcome<LineValues> ReadEntry(const Entry& entry, QString& article);
    // The units of a save, a look-up (false: the code cannot name goods, and
    // nothing is added) and a deletion, built as they are sent.
    void BuildSave(UnitOfWork& unit, const LineValues& values);
    bool BuildLookUp(UnitOfWork& unit, const QString& code, bool byIsn);
    void BuildDelete(UnitOfWork& unit, const LocatedLine& line);
    // The parts of the save's unit, in the order they run.
    void AddStockChecks(UnitOfWork& unit, const LineValues& values);
    void AddLine(UnitOfWork& unit, const LineValues& values);
    void AddSalePrice(UnitOfWork& unit, const LineValues& values);
    void AddContainerLookUp(UnitOfWork& unit);
    void AddContainerLine(UnitOfWork& unit);
    Outcome<Saved> Answer(RemoteDataSet& update, const LineValues& values);

    // The parts of the look-up's unit.
    void AddPriceLevel(UnitOfWork& unit);
    void AddPrefill(UnitOfWork& unit);
    void AddCertificates(UnitOfWork& unit);
    void ReadPrefill(const RemoteDataSet& row, LookedUp& result);
    QList<Certificate> ReadCertificates(RemoteDataSet& rows);
    void AddSavedLines(UnitOfWork& unit);

    // What cdsPreces holds, so that saves and deletions can be applied to it.
    bool HoldsWholeList(const DocumentContext& document) const;
    void ApplyToList(RemoteDataSet& savedRows, double total);
    void RemoveFromList(qint32 lineIsn, double total);
    void HoldList(DataPacket rows, double total);

    TClientDataModule& m_module;
    OwnDataSet m_query;
    OwnDataSet m_update;
    GoodsInfo& m_goods;
    DocumentContext m_context;
    QString m_lineTable;
    // The document whose whole list cdsPreces holds (not the inventory's
    // placeholder), if any.
    std::optional<DocumentContext> m_listed;
    double m_total = 0;
    std::optional<UnansweredSave> m_unanswered;
    // The goods found as the article field was left, saved without asking again.
    RememberedLookUp m_lookUp;
};
