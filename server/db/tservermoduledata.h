#pragma once

#include "server/db/provideranswer.h"

class FbAttachment;

// One client session's view of the provider catalogue. The session server
// makes one per connected terminal; the session's requests are handled one
// at a time on its worker, with that worker's attachment. Database errors
// become failed replies carrying the database's text, and so does a result
// over the reply limit; only a lost database connection is thrown, for the
// worker's connection to open again and retry.
class TServerModuleData final
{
public:
    // Only reads and statements reach the database; the other operations are
    // answered from the catalogue, also while the database cannot be opened.
    static bool needsDatabase(ProviderOperation operation);

    ProviderAnswer handle(const ProviderRequest& request, FbAttachment& database);
    ProviderReply handleWithoutDatabase(const ProviderRequest& request);

private:
    // AS_GetRecords returns the rows; AS_Execute runs the same way and drops
    // them. A result that would not fit in one reply is refused as it grows.
    ProviderAnswer runStatement(const ProviderRequest& request, FbAttachment& database);
    ProviderReply applyUpdates(const ProviderRequest& request) const;
};
