#pragma once

#include "client/core/outcome.h"
#include "client/core/owndataset.h"

#include <QString>
#include <QStringList>

class TClientDataModule;

// The data work of the delivery confirmation: the QR code printed on a
// transfer document names the transfer, and confirming it stamps the
// delivery time (O_PARPAV.DAT_PIEGADE). Only transfers are stamped; a
// receiving document's key names no transfer.
//
// The code's first line counts, and in it the text after the first "ID:B"
// is the transfer's key in decimal digits. Errors of the server propagate
// (RemoteError).
class DeliveryConfirmation final
{
public:
    struct Result
    {
        qint32 transferIsn = 0;
        bool found = false; // a transfer with that key was stamped
        QString status;     // for the status line
    };

    explicit DeliveryConfirmation(TClientDataModule& module);

    // The transfer key a scanned code carries; refuses (focus on the field)
    // an empty code, a first line without the marker, and a key that is
    // missing, not a whole number or 0.
    static Outcome<qint32> TransferIsn(const QString& scanned);
    // The statements a confirmation sends: for the terminal's statement
    // catalogue.
    static QStringList Statements();

    // Stamps the current date and time into the transfer the code names.
    Outcome<Result> Confirm(const QString& scanned);

private:
    OwnDataSet m_query;
};
