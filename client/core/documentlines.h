#pragma once

#include "client/core/documentcontext.h"
#include "client/core/findgoods.h"
#include "client/core/goodsinfo.h"
#include "client/core/outcome.h"
#include "client/core/owndataset.h"

#include <QList>
#include <QMap>
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
// A scanned line costs the terminal five requests: the look-up (the goods,
// the pre-filled price or stock, the certificates) and the save (one unit:
// checks, line, log, stock, sale price, container line) with the refreshed
// list. Each save and each deletion is one unit the database applies whole
// or not at all.
//
// Works on the shared goods record (the main window's) and the module's
// datasets: cdsFindN_KLPREC and cdsSpecCenas (look-up), cdsTempQuery
// (prices, certificates, deletions), cdsUpdate (saves) and cdsPreces, which
// holds the lines listed.
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
        qint32 lineIsn = 0;
        // The fields for the next line of the kind.
        QString quantity;
        bool clearDiscount = true;
    };

    DocumentLines(TClientDataModule& module, GoodsInfo& goods);

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

    // Reloads cdsPreces with the document's lines (the inventory only when
    // full) and returns the total as the window shows it, "Summa : 12,30".
    QString RefreshLines(bool full);

    // The line of that list item in cdsPreces; none when the item names no
    // line (the inventory placeholder, a line gone).
    std::optional<LocatedLine> LocateLine(const QString& itemText);
    // Deletes that line: its log entry, its stock reversed, the row itself,
    // as one unit. Throws what the server throws, and then nothing is stored.
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
    };
    // The checks of the fields and the goods, before anything is sent.
    Outcome<LineValues> ReadEntry(const Entry& entry, QString& article);
    // The parts of the save's unit, in the order they run.
    void AddStockChecks(UnitOfWork& unit, const LineValues& values);
    void AddLine(UnitOfWork& unit, const LineValues& values);
    void AddSalePrice(UnitOfWork& unit, const LineValues& values);
    void AddContainerLookUp(UnitOfWork& unit);
    void AddContainerLine(UnitOfWork& unit);
    Outcome<Saved> Answer(const RemoteDataSet& update, const LineValues& values);

    qint32 PriceLevel(const QString& table, qint32 isn, const QString& column);
    void SetPriceInputs();
    void Prefill(LookedUp& result);
    QList<Certificate> LoadCertificates();

    TClientDataModule& m_module;
    OwnDataSet m_query;
    OwnDataSet m_update;
    GoodsInfo& m_goods;
    DocumentContext m_context;
    QString m_lineTable;
    // The look-up's price levels, read once per opening of the window: they
    // belong to the document's departments and client, not to the goods. A
    // receipt's save reads its department's level afresh.
    QMap<QString, qint32> m_priceLevels;
    // The goods found as the article field was left, saved without asking again.
    RememberedLookUp m_lookUp;
};
