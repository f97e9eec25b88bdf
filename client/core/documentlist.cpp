#include "client/core/documentlist.h"

#include "client/core/commonprocedures.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"

#include <QDateTime>

namespace {

const QString kHeaderReceiving = QStringLiteral(
    "SELECT O_PAVADZ.ISN, CAST(O_PAVADZ.NR_PAVADZ AS VARCHAR(15)) NR_PAVADZ, "
    "O_PAVADZ.DAT_SANEM DATUMS, N_KLIENT.GNOS KLIENTS, N_DEPART.GNOS NODALA "
    "FROM O_PAVADZ, N_KLIENT, N_DEPART WHERE O_PAVADZ.ISKLIENT = N_KLIENT.ISN "
    "AND O_PAVADZ.ISNODALA = N_DEPART.ISN AND O_PAVADZ.DAT_SANEM BETWEEN :DAT_NO AND :DAT_LIDZ "
    "ORDER BY O_PAVADZ.DAT_SANEM");

const QString k3DReceiving = QStringLiteral(
    "SELECT O_PAVADZ.ISN, O_PAVADZ.NR_PAVADZ, O_PAVADZ.DAT_SANEM DATUMS, N_KLIENT.GNOS KLIENTS, "
    "N_DEPART.GNOS NODALA FROM O_PAVADZ, N_KLIENT, N_DEPART "
    "WHERE O_PAVADZ.ISKLIENT = N_KLIENT.ISN AND O_PAVADZ.ISNODALA = N_DEPART.ISN "
    "AND O_PAVADZ.DAT_SANEM BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PAVADZ.DAT_SANEM");

const QString kTransfers = QStringLiteral(
    "SELECT O_PARPAV.ISN, O_PARPAV.NR_PAVADZ, O_PARPAV.DATUMS, N_DEPART_NO.GNOS NODALA, "
    "N_DEPART_UZ.GNOS KLIENTS FROM O_PARPAV, N_DEPART N_DEPART_NO, N_DEPART N_DEPART_UZ "
    "WHERE O_PARPAV.ISNODALANO = N_DEPART_NO.ISN AND O_PARPAV.ISNODALAUZ = N_DEPART_UZ.ISN "
    "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PARPAV.DATUMS");

const QString kHeaderInventories = QStringLiteral(
    "SELECT O_PRATL_PAV.ISN, O_PRATL_PAV.NR_PAVADZ, O_PRATL_PAV.DATUMS, "
    "CAST('' AS VARCHAR(250)) KLIENTS, N_DEPART.GNOS NODALA FROM O_PRATL_PAV, N_DEPART "
    "WHERE O_PRATL_PAV.ISNODALA = N_DEPART.ISN "
    "AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PRATL_PAV.DATUMS");

const QString k3DInventories = QStringLiteral(
    "SELECT O_PRATL_PAV.ISN, O_PRATL_PAV.NR_PAVADZ, O_PRATL_PAV.DATUMS, N_DEPART.GNOS NODALA, "
    "CAST(' ' AS VARCHAR(250)) KLIENTS FROM O_PRATL_PAV, N_DEPART "
    "WHERE O_PRATL_PAV.ISNODALA = N_DEPART.ISN "
    "AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PRATL_PAV.DATUMS");

// Orders; write-outs are the same statement on O_PAVOUT.
const QString kOrders = QStringLiteral(
    "SELECT O_PASPAV.ISN, O_PASPAV.NR_PAVADZ, O_PASPAV.DATUMS, N_KLIENT.GNOS KLIENTS, "
    "N_DEPART.GNOS NODALA FROM O_PASPAV, N_KLIENT, N_DEPART "
    "WHERE O_PASPAV.ISKLIENT = N_KLIENT.ISN AND O_PASPAV.ISNODALA = N_DEPART.ISN "
    "AND O_PASPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PASPAV.DATUMS");

} // namespace

QString DocumentListSql(DocumentKind kind, DocumentListView view)
{
    const bool header = view == DocumentListView::Header;
    switch (kind) {
    case DocumentKind::Receiving:
        return header ? kHeaderReceiving : k3DReceiving;
    case DocumentKind::Transfer:
        return kTransfers;
    case DocumentKind::Inventory:
        return header ? kHeaderInventories : k3DInventories;
    case DocumentKind::Orders:
        return kOrders;
    case DocumentKind::WriteOut:
        return QString(kOrders).replace(QStringLiteral("O_PASPAV"), QStringLiteral("O_PAVOUT"));
    case DocumentKind::GoodsInMemory:
        break;
    }
    return QString();
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
