#pragma once

#include "client/core/clientstate.h"

#include <QString>

// The scale-barcode rule: a scanned code that starts with the installation's
// prefix carries an article code and a quantity at the positions N_ISI2 gives
// (loaded into the client state by the connection step). The article fields
// of the windows apply it to their texts when they are left
// (TouchForm::applyScaleBarcodeRule).
class ScaleBarcodeRule final
{
public:
    ScaleBarcodeRule() = delete;

    // Whether the rule applies to code: a prefix and an article position are
    // configured and code begins with the prefix exactly (case-sensitive).
    static bool Applies(const ClientState& state, const QString& code);

    // Applies the rule to the article text and, when given, the quantity
    // text. With quantity null only the article is cut out of the code (the
    // goods-data screen has no quantity field). Returns whether the rule
    // applied; when it did not, both texts are left untouched.
    static bool Apply(const ClientState& state, QString& article, QString* quantity);
};
