#pragma once

#include <QString>

class FbAttachment;

// How the server attaches to the stock database: user SYSDBA with the
// installation's password; a database whose character set is UTF8 is
// attached again with UTF8 as the connection character set, any other is
// read in the installation's 8-bit code page. Throws DatabaseError.
void openStockDatabase(FbAttachment& attachment, const QString& path);

// The installation's database password (NORVALK_DB_PASSWORD overrides it).
QString stockDatabasePassword();
