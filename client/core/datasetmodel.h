#pragma once

#include <QAbstractTableModel>

class RemoteDataSet;

// The rows a remote dataset holds, as a table for the lists and grids bound
// to it: one row per record, one column per field, each shown as its text in
// the client's formats. It follows the dataset: every open refills it and
// every close empties it, so all views of one dataset show its latest rows.
// The dataset must outlive the model.
class DataSetModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DataSetModel)

public:
    explicit DataSetModel(RemoteDataSet& dataSet, QObject* parent = nullptr);

    RemoteDataSet& dataSet() const { return m_dataSet; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The field of that name in a row as text; empty when there is no such
    // row or field.
    QString fieldText(int row, const QString& fieldName) const;

private:
    RemoteDataSet& m_dataSet;
};
