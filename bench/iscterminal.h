#pragma once

#include "bench/benchrun.h"

// A terminal straight on the database through the Firebird client library's
// ISC API, the thinnest way there is: the reference the server is held to.
enum class IscStyle
{
    // The look-up prepared once; one read-only read-committed transaction
    // open for the whole run (it still sees every commit); per look-up only
    // execute, fetch and close the cursor.
    PreparedOnce,
    // The same, but the statement is prepared and dropped for every call.
    PrepareEach
};

// database is what the client library attaches, "127.0.0.1:/path" for the
// Firebird server.
TerminalFactory iscTerminals(const QString& database, const QString& password, IscStyle style);
