#pragma once

#include "client/core/documentcontext.h"

#include <QString>

struct ClientState;

// Whom a document is made out to, besides its department.
enum class Counterparty
{
    None,       // inventory, goods in memory
    Department, // a transfer's destination department
    Client,     // a client, perhaps only suppliers or only buyers
};

// How a saved line moves current stock (a deletion moves it back).
enum class StockMove
{
    None,
    IntoDepartment,          // receiving
    OutOfDepartment,         // write-out
    DepartmentToDestination, // transfer: out of the department, into the destination
};

// Which price levels the article look-up asks for.
enum class PriceLevelFrom
{
    First,              // level 1
    Department,         // the department's CENKODS
    Destination,        // the destination department's CENKODS
    ClientOrDepartment, // the client's CENUGRUPA (with its special prices), or the
                        // department's when IzrPardCenaNoNodalas is set
};

// What the price field starts with after a look-up.
enum class PriceStart
{
    None,
    SalePrice,               // the goods' sale price
    LastPurchase,            // the last purchase price, or a later transfer's
    LastPurchaseForSupplier, // that with VAT when the client also supplies, else the sale price
};

// Where the look-up shows the department's current stock.
enum class StockShown
{
    None,
    InQuantity,  // an inventory line starts from the stock
    InSalePrice, // read-only, where the sale price would be
};

// How a line's typed prices are stored (P price, S sale price, D discount,
// V the goods' VAT rate).
enum class LinePrices
{
    None,          // goods in memory keep no price
    AsTyped,       // CENA P, PARD_CENA S, ATLAIDE D
    SaleNetOfVat,  // CENA P, PARD_CENA S / (1 + V/100)
    SalePriceOnly, // PARD_CENA P
    NetOfVat,      // CENA P / (1 + V/100), ATLAIDE D
};

// Everything the six document kinds differ in, one row each: the windows
// and data classes ask here instead of branching on the kind.
struct DocumentKindInfo
{
    DocumentKind kind;

    // Captions: the header window's radio button (also the 3D operations
    // window's) and its text, the 3D window's text, the two windows' titles.
    QString radioButton;
    QString caption;
    QString operationsCaption; // empty: not offered by the 3D operations window
    QString headerTitle;
    QString linesTitle;

    // Tables. Goods in memory have no header, so no header column either.
    QString headerTable;
    QString lineTable;
    QString headerColumn; // the line table's column naming the header

    // The right a user needs; none for goods in memory.
    bool ClientState::*right;

    // The header window.
    Counterparty counterparty;
    QString clientFilter;        // appended to the client search; empty: any client
    QString departmentCaption;   // lbNodalaNo
    QString counterpartyCaption; // lbKlientsNodala
    QString noCounterparty;      // the refusal when none is chosen
    bool proposesNumber;         // btJaunsNumurs offered
    QString numberCounter;       // N_DEPART's counter; empty: after the highest number
    bool readsClientTerms;       // the client's discount, credit and payment kind
    bool clientMaySupply;        // a client who also supplies is priced as a supplier
    QString findHeader;          // by NR_PAVADZ, ISNODALA, DATUMS and the counterparty
    QString insertHeader;
    QString headerList;     // the documents of a period, DAT_NO to DAT_LIDZ
    QString operationsList; // the same as the 3D operations window lists them

    // The lines window.
    QString priceLabel;     // lbIepCena; empty: as it was
    QString salePriceLabel; // lbPardCena; empty: as it was
    bool priceShown;
    bool priceHiddenByUser; // hidden for users whose purchase prices are hidden
    bool discountShown;
    bool discountFromClient; // starts with the client's discount
    bool salePriceShown;
    bool salePriceEnabled;
    bool certificatesShown;
    bool writeOutSettings; // IzrDaudzums1 and IzrDzestAtlaidi apply
    PriceLevelFrom priceLevel;
    PriceStart priceStart;
    StockShown stockShown;
    bool specialPriceClearsDiscount;

    // Saving and listing lines.
    bool checksStock; // a line may not take more than the department holds
    StockMove stockMove;
    LinePrices linePrices;
    bool setsCatalogueSalePrice; // the sale price becomes the department's level
    QString insertLine;
    QString insertContainer;  // empty: no container line
    QString lines;            // by ISPAVADZ, the header's ISN (all rows without a header)
    QString linesPlaceholder; // until the whole list is asked for; empty: none

    bool hasHeader() const { return !headerTable.isEmpty(); }
    // The list narrowed to the lines :LINE and :CONTAINER, in the same
    // columns: what a save hands back for the list the window holds.
    QString linesByIsn() const;
    // The document's total as the list shows it (KOPSUMMA of its first row;
    // no row when the document has no lines).
    QString linesTotal() const;
};

const DocumentKindInfo& KindInfo(DocumentKind kind);

// The kinds in the order the header window offers them.
constexpr DocumentKind kAllDocumentKinds[] = {
    DocumentKind::Receiving, DocumentKind::Transfer, DocumentKind::Inventory,
    DocumentKind::Orders,    DocumentKind::WriteOut, DocumentKind::GoodsInMemory,
};

// Whether the logged-in user may work with documents of the kind; goods in
// memory need no right.
bool MayUseKind(const ClientState& state, DocumentKind kind);
