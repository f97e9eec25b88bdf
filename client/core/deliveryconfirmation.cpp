#include "client/core/deliveryconfirmation.h"

#include "client/core/commonprocedures.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"

#include <QDateTime>

namespace {

// The key and number come back from the update itself, so the window can
// say whether a transfer was stamped: an unknown key updates nothing.
const QString kStampDelivery =
    QStringLiteral("UPDATE O_PARPAV SET DAT_PIEGADE=:DAT_PIEGADE WHERE O_PARPAV.ISN = :ISN");
const QString kReturning = QStringLiteral(" RETURNING ISN, NR_PAVADZ");

const QString kMarker = QStringLiteral("ID:B");

const QString kNoCode = QStringLiteral("Nav ievadīts QR kods !!!");
const QString kNotAWaybill = QStringLiteral("QR nav atpazīstams kā pavadzīmes saturs !!!");
const QString kNoIdentifier = QStringLiteral("QR kods nesatur pavadzīmes identifikatoru !!!");
const QString kStamped = QStringLiteral("Piegāde apstiprināta pavadzīmei Nr. %1");
const QString kUnknownTransfer = QStringLiteral("Pārvietošanas pavadzīme (ISN %1) nav atrasta");

const QString kField = QStringLiteral("edQR_Kods");

// A whole number as the code writes it: leading blanks, an optional sign and
// digits, nothing else. A carriage return or a blank left at the end makes it
// no number.
qint32 strictInteger(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && text.at(start) == QLatin1Char(' '))
        ++start;
    if (start < text.size() &&
        (text.at(start) == QLatin1Char('-') || text.at(start) == QLatin1Char('+')))
        ++start;
    if (start == text.size())
        return 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9'))
            return 0;
    }
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

} // namespace

Outcome<qint32> DeliveryConfirmation::TransferIsn(const QString& scanned)
{
    if (scanned.isEmpty())
        return Outcome<qint32>::refuse(kNoCode, kField);
    const QString line = scanned.left(scanned.indexOf(QLatin1Char('\n')));
    const qsizetype marker = line.indexOf(kMarker);
    if (marker < 0)
        return Outcome<qint32>::refuse(kNotAWaybill, kField);
    const qint32 isn = strictInteger(line.mid(marker + kMarker.size()));
    if (isn == 0)
        return Outcome<qint32>::refuse(kNoIdentifier, kField);
    return isn;
}

QStringList DeliveryConfirmation::Statements()
{
    return {kStampDelivery + kReturning};
}

DeliveryConfirmation::DeliveryConfirmation(TClientDataModule& module)
    : m_query(module, module.cdsTempQuery())
{
}

Outcome<DeliveryConfirmation::Result> DeliveryConfirmation::Confirm(const QString& scanned)
{
    const Outcome<qint32> isn = TransferIsn(scanned);
    if (isn.refused())
        return isn.refusal();
    RemoteDataSet& query = *m_query;
    PrepareDataset(query);
    query.setCommandText(kStampDelivery + kReturning);
    query.setDateTimeParam(QStringLiteral("DAT_PIEGADE"), QDateTime::currentDateTime());
    query.setIntegerParam(QStringLiteral("ISN"), isn.result());
    query.open();
    Result result;
    result.transferIsn = isn.result();
    result.found = query.fieldByName(QStringLiteral("ISN")).asInteger() == isn.result();
    result.status = result.found
                        ? kStamped.arg(query.fieldByName(QStringLiteral("NR_PAVADZ")).asString())
                        : kUnknownTransfer.arg(isn.result());
    return result;
}
