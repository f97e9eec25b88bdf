#pragma once

#include "client/core/goodsinfo.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class LocalDatabase;
class TClientDataModule;

// What one refresh of the goods copy cost and changed.
struct CatalogueRefresh
{
    int requests = 0;         // provider requests sent
    int goodsBlocks = 0;      // blocks of goods keys whose checksum differed
    int goodsRows = 0;        // goods rows fetched (changed or new ones)
    bool groups = false;      // the goods groups were fetched again
    bool departments = false; // the departments' price levels were fetched again
    bool newSource = false;   // the copy came from another database (or none) and began afresh
    quint64 bytesSent = 0;    // on the wire, frame headers included
    quint64 bytesReceived = 0;
};

// The terminal's copy of the goods catalogue, in its local file, so that
// a scanned article is still found while NorvalkServer cannot be reached:
// the goods rows with the columns the look-up reads, the goods groups and
// each department's price level.
//
// refresh() brings it up to date over the module's connection at little
// cost: the server sends one checksum per block of 512 goods keys (and one
// for the groups, one for the departments), and only where a block's
// checksum differs from the copy's are its rows compared and the changed
// ones fetched again. find() answers as FindGoods does, from the copy alone,
// without any request. docs/offline.md has the details and the figures.
//
// Errors of the local file throw ClientError (from LocalDatabase); errors of the server or the
// connection propagate from refresh() as RemoteError. Everything here is
// used from the user-interface thread only.
class GoodsCatalogueCopy final
{
public:
    // The copy in that file (its tables are made when missing). The database
    // must outlive the copy.
    explicit GoodsCatalogueCopy(LocalDatabase& database);
    ~GoodsCatalogueCopy();
    GoodsCatalogueCopy(const GoodsCatalogueCopy&) = delete;
    GoodsCatalogueCopy& operator=(const GoodsCatalogueCopy&) = delete;

    // Keys per block: a changed goods row costs fetching its block again.
    static constexpr int BlockShift = 9;
    static constexpr qint32 BlockSize = 1 << BlockShift;

    // Brings the copy up to date. Each fetched run of blocks replaces its
    // rows in one local transaction, so a refresh that a dropped connection
    // cuts short leaves a copy whose every block is whole, and the next
    // refresh goes on from there.
    CatalogueRefresh refresh(TClientDataModule& module);
    // The statements a refresh sends: for the terminal's statement catalogue.
    static QStringList Statements();

    // Looks the code up as FindGoods does, with goods.PriceCode set to
    // priceCode first, as a caller sets it before FindGoods: the same code
    // columns compared the same way, the goods' group required, the same VAT
    // range and price level. The partner's special prices are not in the
    // copy: with a partner and a level below 2 the price is the level 1
    // price and HasSpecialPrice stays false. Where several goods share the
    // code the lowest key wins (the server's choice is unordered). Returns
    // false when nothing matches; goods then keeps its contents. A priceCode
    // above 16 throws ClientError as FindGoods does, by which time Isn,
    // VatRate and HasSpecialPrice are overwritten.
    bool find(GoodsInfo& goods, const QString& code, bool byIsn, qint32 priceCode) const;

    // The department's price level (N_DEPART.CENKODS, NULL read as 0) as the
    // copy knows it; none when the copy has no such department.
    std::optional<qint32> departmentPriceCode(qint32 departmentIsn) const;

    // Goods rows in the copy.
    int goodsCount() const;

private:
    class Store;
    std::unique_ptr<Store> m_store;
};
