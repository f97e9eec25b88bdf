#include "server/db/stockdatabase.h"

#include "server/db/fbattachment.h"

QString stockDatabasePassword()
{
    const QByteArray configured = qgetenv("NORVALK_DB_PASSWORD");
    return configured.isEmpty() ? QStringLiteral("tundrapix") : QString::fromLocal8Bit(configured);
}

void openStockDatabase(FbAttachment& attachment, const QString& path)
{
    FbConnectParams params;
    params.database = path;
    params.user = QStringLiteral("SYSDBA");
    params.password = stockDatabasePassword();
    attachment.open(params);
    if (attachment.databaseCharacterSet() == QLatin1String("UTF8")) {
        attachment.close();
        params.characterSet = QStringLiteral("UTF8");
        attachment.open(params);
    }
}
