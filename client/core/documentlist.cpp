#include "client/core/documentlist.h"

#include "client/core/commonprocedures.h"
#include "client/core/documentkinds.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"

#include <QDateTime>

QString DocumentListSql(DocumentKind kind, DocumentListView view)
{
    const DocumentKindInfo& info = KindInfo(kind);
    return view == DocumentListView::Header ? info.headerList : info.operationsList;
}

void OpenDocumentList(RemoteDataSet& documents, DocumentKind kind, const QDate& from,
                      const QDate& to, DocumentListView view)
{
    PrepareDataset(documents);
    const QString sql = DocumentListSql(kind, view);
    if (sql.isEmpty())
        return;
    documents.setCommandText(sql);
    documents.setDateTimeParam(QStringLiteral("DAT_NO"), QDateTime(from, QTime(0, 0)));
    documents.setDateTimeParam(QStringLiteral("DAT_LIDZ"), QDateTime(to, QTime(0, 0)));
    documents.open();
}
