#pragma once

class QLineEdit;

// The scale-barcode rule for a window's article field, applied when the
// field is left: a code with the installation's scale prefix is split into
// the article code and, when quantity is given, the quantity (scaled by the
// implied decimals). Pass no quantity field where a window has none; then
// only the article is cut out. Uses the client state as loaded by the last
// connection; does nothing before the data module exists.
//
//     void TDokRindas::edArtikulsExit()
//     {
//         ScaleBarcodeRule(edArtikuls, edDaudzums);
//         ...
//     }
void ScaleBarcodeRule(QLineEdit* article, QLineEdit* quantity = nullptr);
