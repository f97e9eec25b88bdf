#pragma once

#include <QString>

// Whether the database's text refuses a write because another transaction
// holds or has just changed the same row: the terminal then sends its unit
// again, and the server counts it.
bool isWriteConflictText(const QString& databaseText);
