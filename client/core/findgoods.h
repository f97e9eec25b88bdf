#pragma once

#include "client/core/goodsinfo.h"

#include <QString>
#include <QStringList>

#include <optional>

class RemoteDataSet;
class TClientDataModule;
class UnitOfWork;

// Looks a goods item up by one of its six article codes or, with byIsn, by
// its key written in decimal digits, and fills goods with it and the price
// that applies: the department's price level, or the partner's special price.
//
// Returns false when nothing matches (the window then shows
// GoodsNotFoundMessage(code)), which includes a key that is not a whole number and a code longer
// than 250 characters; goods then keeps its contents. Errors of the server or the
// connection propagate, as does the field-not-found ClientError of a
// PriceCode above 16, by which time Isn, VatRate and HasSpecialPrice are
// already overwritten. Reads over the module's connection through datasets
// of its own, like cdsFindN_KLPREC and cdsSpecCenas.
bool FindGoods(TClientDataModule& module, GoodsInfo& goods, const QString& code, bool byIsn);

// The same look-up as statements of a unit, for a window that asks for the
// goods and what goes with them in one request: the first goods row for the
// code goes into results named as FindGoods' columns (ISN NULL when nothing
// matches) and, for a partner (clientIsn above 0), the partner's special
// price. False when the code cannot name any goods; nothing is added then.
bool FindGoods(UnitOfWork& unit, const QString& code, bool byIsn, qint32 clientIsn);
// Fills goods from the result row of such a unit, as FindGoods does from its
// own: goods.PriceCode and ClientIsn must already be set. False when nothing
// matched; goods then keeps its contents.
bool ReadFoundGoods(const RemoteDataSet& row, GoodsInfo& goods);

// The statements FindGoods sends on its own (the goods by code and by key,
// the partner's special prices): for the terminal's statement catalogue. Its
// unit form is listed with the units that use it.
QStringList FindGoodsStatements();

// What a window tells the user when FindGoods found nothing for code.
QString GoodsNotFoundMessage(const QString& code);

// Looks goods up as FindGoods does and remembers what it found, so that a
// window which looks the article up as its field is left need not ask the
// server again as the line is saved.
class RememberedLookUp final
{
public:
    explicit RememberedLookUp(TClientDataModule& module) : m_module(module) {}

    // Always asks the server.
    bool Find(GoodsInfo& goods, const QString& code, bool byIsn = false);
    // Answers from memory when the code is the one last found and the shared
    // record still holds those goods (no other window has filled it since);
    // otherwise asks as Find does.
    bool Recall(GoodsInfo& goods, const QString& code, bool byIsn = false);
    // What a look-up of the window's own (FindGoods in a unit) found.
    void Remember(const QString& code, bool byIsn, const GoodsInfo& goods)
    {
        m_last = Found{code, byIsn, goods};
    }
    void Forget() { m_last.reset(); }

private:
    struct Found
    {
        QString code;
        bool byIsn = false;
        GoodsInfo goods;
    };
    TClientDataModule& m_module;
    std::optional<Found> m_last;
};
