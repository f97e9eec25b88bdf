#pragma once

#include <QDate>
#include <QString>

// The six kinds of stock document, by the codes the windows branch on.
enum class DocumentKind : qint32
{
    Receiving = 0,
    Transfer = 1,
    Inventory = 2,
    Orders = 3,
    WriteOut = 4,
    GoodsInMemory = 5,
};

// What the document header window hands to the lines window on each save:
// which document the scanned lines go into.
struct DocumentContext
{
    DocumentKind DocKind = DocumentKind::Receiving;
    QString DocNumber;             // as typed
    QDate DocDate;                 // invalid for goods in memory
    qint32 DocIsn = 0;             // the header row; for goods in memory the previous one
    qint32 DepartmentIsn = 0;      // for a transfer the source department
    qint32 CounterpartyIsn = 0;    // the client, or for a transfer the destination department
    bool ClientIsSupplier = false; // orders: the client's PIEGADAT is "T"
    double ClientDiscount = 0;     // orders and write-outs: the client's ATLAIDE
};
