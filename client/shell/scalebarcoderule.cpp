#include "scalebarcoderule.h"

#include "scalebarcode.h"
#include "tclientdatamodule.h"

#include <QLineEdit>

void ScaleBarcodeRule(QLineEdit* article, QLineEdit* quantity)
{
    if (!ClientDataModule || !article)
        return;
    QString articleText = article->text();
    QString quantityText = quantity ? quantity->text() : QString();
    if (!ScaleBarcode::Apply(ClientDataModule->clientState(), articleText,
                             quantity ? &quantityText : nullptr))
        return;
    article->setText(articleText);
    if (quantity)
        quantity->setText(quantityText);
}
