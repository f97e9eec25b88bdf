#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class RemoteDataSet;

// The entries of a combo box and the key behind each, in the same order: a
// department list, a list of clients.
struct KeyedList
{
    QStringList names;
    QList<qint32> isns;

    int size() const { return int(names.size()); }
    // The key at a combo index, 0 when the index names no entry.
    qint32 isnAt(int index) const { return index >= 0 && index < isns.size() ? isns[index] : 0; }
};

// The rows of an open dataset as a keyed list: the text of nameField and the
// integer ISN of each row, in order, at most limit rows.
KeyedList ReadKeyedList(RemoteDataSet& dataSet, const QString& nameField, int limit);
