#pragma once

#include "goodsinfo.h"

#include <QString>

// Looks a goods item up by one of its six article codes or, with byIsn, by
// its key written in decimal digits, and fills goods with it and the price
// that applies: the department's price level, or the partner's special price.
//
// Returns false after showing "Nav atrasts artikuls : <code>" when nothing
// matches, which includes a key that is not a whole number and a code longer
// than 250 characters; goods then keeps its contents. Errors of the server or the
// connection propagate, as does the field-not-found ClientError of a
// PriceCode above 16, by which time Isn, VatRate and HasSpecialPrice are
// already overwritten. Leaves cdsFindN_KLPREC and cdsSpecCenas open on their
// last result.
bool FindGoods(GoodsInfo& goods, const QString& code, bool byIsn);
