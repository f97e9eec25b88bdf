#pragma once

#include "providerprotocol.h"

#include <QHash>

class FbAttachment;

// One client session's view of the provider catalogue. The session server
// makes one per connected terminal; requests of that session are handled one
// at a time, on whichever database worker picks them up, with that worker's
// attachment. Database errors become failed replies carrying the database's
// text; only a lost database connection is thrown,
// for the pool to handle.
class TServerModuleData final
{
public:
    // Only reads and statements reach the database; the other operations are
    // answered from the catalogue, also while the database cannot be opened.
    static bool needsDatabase(ProviderOperation operation);

    ProviderReply handle(const ProviderRequest& request, FbAttachment& database);
    ProviderReply handleWithoutDatabase(const ProviderRequest& request);

    // Command text of the last request per provider (kept as the provider
    // queries keep it; terminals do not rely on it).
    QString lastCommandText(const QString& provider) const;

private:
    // AS_GetRecords returns the rows; AS_Execute runs the same way and drops them.
    ProviderReply runStatement(const ProviderRequest& request, FbAttachment& database);
    ProviderReply applyUpdates(const ProviderRequest& request) const;

    QHash<QString, QString> m_lastCommandText;
};
