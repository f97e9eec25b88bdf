#pragma once

#include "client/core/documentcontext.h"

#include <QDate>
#include <QString>
#include <QStringList>

class RemoteDataSet;

// The documents of one kind in a period, as the document header window and
// the 3D operations window list them, in cdsPavadzimes. Every statement gives
// the columns ISN, NR_PAVADZ, DATUMS, KLIENTS (for a transfer the destination
// department) and NODALA. The two windows' statements differ only for
// receiving (the header window casts the number to text) and inventory (the
// column order and the blank client).
enum class DocumentListView
{
    Header,
    Operations3D,
};

// The statement for a kind, with the period as DAT_NO and DAT_LIDZ; empty for
// goods in memory, which have no header rows.
QString DocumentListSql(DocumentKind kind, DocumentListView view);

// The statements of every kind for both windows: for the terminal's
// statement catalogue.
QStringList DocumentListStatements();

// Prepares documents (the dataset a list shows, the module's cdsPavadzimes)
// and, except for goods in memory (which leave it closed and the list empty),
// opens it on the documents dated from to to. Server errors propagate.
void OpenDocumentList(RemoteDataSet& documents, DocumentKind kind, const QDate& from,
                      const QDate& to, DocumentListView view);
