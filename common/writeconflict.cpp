#include "common/writeconflict.h"

bool isWriteConflictText(const QString& databaseText)
{
    // The last: two terminals making the same stock row at once, the other's
    // still uncommitted.
    return databaseText.contains(QLatin1String("update conflicts"), Qt::CaseInsensitive) ||
           databaseText.startsWith(QLatin1String("deadlock"), Qt::CaseInsensitive) ||
           databaseText.contains(QLatin1String("lock conflict"), Qt::CaseInsensitive) ||
           databaseText.contains(QLatin1String("visible to active transactions"),
                                 Qt::CaseInsensitive);
}
