#include "client/core/keyedlist.h"

#include "client/core/remotedataset.h"

KeyedList ReadKeyedList(RemoteDataSet& dataSet, const QString& nameField, int limit)
{
    KeyedList list;
    for (dataSet.first(); !dataSet.eof() && list.size() < limit; dataSet.next()) {
        list.names << dataSet.fieldByName(nameField).asString();
        list.isns << dataSet.fieldByName(QStringLiteral("ISN")).asInteger();
    }
    return list;
}
