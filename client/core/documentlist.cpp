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

QStringList DocumentListStatements()
{
    QStringList statements;
    for (const DocumentKind kind : kAllDocumentKinds) {
        for (const DocumentListView view :
             {DocumentListView::Header, DocumentListView::Operations3D}) {
            const QString sql = DocumentListSql(kind, view);
            if (!sql.isEmpty())
                statements << sql;
        }
    }
    return statements;
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
