#include "client/core/operations3d.h"

#include "client/core/documentlist.h"
#include "client/core/tclientdatamodule.h"

RemoteDataSet& Operations3D::documents()
{
    return m_module.cdsPavadzimes();
}

void Operations3D::RefreshList(DocumentKind kind, const QDate& from, const QDate& to)
{
    OpenDocumentList(documents(), kind, from, to, DocumentListView::Operations3D);
}
