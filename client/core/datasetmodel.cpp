#include "client/core/datasetmodel.h"

#include "client/core/datasetfield.h"
#include "client/core/remotedataset.h"

DataSetModel::DataSetModel(RemoteDataSet& dataSet, QObject* parent)
    : QAbstractTableModel(parent), m_dataSet(dataSet)
{
    connect(&m_dataSet, &RemoteDataSet::activeChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
}

int DataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_dataSet.recordCount();
}

int DataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_dataSet.packet().columns.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= rowCount() ||
        index.column() >= columnCount())
        return QVariant();
    const DataPacket& packet = m_dataSet.packet();
    const DataSetField field(m_dataSet.name(), packet.columns.at(index.column()),
                             packet.rows.at(index.row()).value(index.column()));
    return field.asString();
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return QVariant();
    return m_dataSet.packet().columns.at(section).name;
}

QString DataSetModel::fieldText(int row, const QString& fieldName) const
{
    const int column = m_dataSet.packet().columnIndex(fieldName);
    if (column < 0 || row < 0 || row >= rowCount())
        return QString();
    return data(index(row, column)).toString();
}
