#pragma once

#include "client/core/keyedlist.h"
#include "client/core/outcome.h"
#include "client/core/owndataset.h"

#include <QString>
#include <QStringList>

#include <optional>

class TClientDataModule;
struct GoodsInfo;

// The data work of the goods-data window: the department list behind its
// combo, the article look-up into the shared goods record, the stock of the
// goods in the chosen department, its promotions, and new goods.
//
// The goods record is the one the main window owns (GoodsInfo&), shared with
// the other windows: stock and promotions are those of the goods last found
// anywhere in the client. Reads and writes go over the module's connection
// through datasets of its own; errors of the server propagate
// (RemoteError), as does a VAT text that is no number (ClientError), and the
// new goods are then not stored.
class GoodsData final
{
public:
    // New goods carry only this much of the typed article code.
    static constexpr int StoredArticleLength = 25;
    // The sale prices the window shows: 1 to 15 (the sixteenth is not shown).
    static constexpr int ShownPrices = 15;

    explicit GoodsData(TClientDataModule& module);

    // The departments for the combo, read once: while none are loaded yet.
    const KeyedList& LoadDepartments();
    const KeyedList& departments() const { return m_departments; }
    qint32 departmentIsn(int index) const { return m_departments.isnAt(index); }

    // Whether the user's forbidden-price list ("|2||7|") names sale price
    // number level as a whole number between bars.
    static bool PriceForbidden(const QString& forbiddenPrices, int level);

    // Looks the article up by code (the scale-barcode rule already applied).
    // False when the field is empty or nothing is found; FindGoods has then
    // reported the code and the record keeps the goods shown before.
    bool LookUp(GoodsInfo& goods, const QString& article);

    // Stock of the goods in the department at that combo index, every
    // NELEGALIZ kind summed; nothing when no department is chosen.
    std::optional<double> Stock(const GoodsInfo& goods, int departmentIndex);

    // Opens promotions() on the promotions of the goods in the department at
    // that combo index (the provider's own statement). With no department
    // chosen the dataset is left closed, so the grid shows nothing; returns
    // whether it was opened.
    bool OpenPromotions(const GoodsInfo& goods, int departmentIndex);
    // The promotion rows (like the module's cdsAkcijas), for the grid that
    // shows them.
    RemoteDataSet& promotions() { return *m_promotions; }

    // The check made when the new article field is left: refuses, with the
    // message and no field to focus, when goods with that article exist.
    // An empty article is not checked.
    Outcome<> CheckNewArticle(const QString& article);

    // Stores new goods in group 1 with its log entry, as one unit, and
    // returns the key the database gave them. Refuses a user without the
    // new-goods right, an empty article or name, and an article that goods
    // already have. An empty VAT text is 0.
    Outcome<qint32> SaveNewGoods(const QString& article, const QString& name,
                                 const QString& vatText);

    static QString StoredArticle(const QString& typed) { return typed.left(StoredArticleLength); }

    // Every statement the goods window's data work can send: for the
    // terminal's statement catalogue.
    static QStringList Statements();

private:
    bool articleTaken(const QString& article);

    TClientDataModule& m_module;
    OwnDataSet m_promotions;
    OwnDataSet m_update;
    KeyedList m_departments;
};
