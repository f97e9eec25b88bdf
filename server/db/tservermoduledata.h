#pragma once

#include "server/db/provideranswer.h"
#include "server/db/statementhandles.h"

#include <QString>

#include <functional>
#include <memory>

class FbAttachment;
class StatementCatalogue;
class UnitsInFlight;

// One client session's view of the provider catalogue. The session server
// makes one per connected terminal; the session's requests are handled one
// at a time on its worker, with that worker's attachment. Database errors
// become failed replies carrying the database's text, and so does a result
// over the reply limit; only a lost database connection is thrown, for the
// worker's connection to open again and retry. The statement texts the
// terminal has registered under handles live here, for the connection's life.
//
// With a statement catalogue, a text a terminal sends (whole, or registering
// a handle) runs only when it is in the catalogue or is a provider's own SQL,
// unless the session has said its terminal may send free SQL. A refused
// request is answered with kRefusedText and reaches no statement; its handle
// is not kept. The first refusal of the session is reported once through the
// log callback (the session logs the reply's text of every failed request
// besides: the server's log leaves kRefusedText out, see ServerHost).
class TServerModuleData final
{
public:
    // What the terminal is told; the same for every refused text, so that it
    // tells nothing about the catalogue.
    static const QString kRefusedText;
    using Log = std::function<void(const QString& line)>;

    // Only reads and statements reach the database; the other operations are
    // answered from the catalogue, also while the database cannot be opened.
    static bool needsDatabase(ProviderOperation operation);

    // unitsInFlight is the server's, shared by every session; none: units
    // that carry an identity run without waiting for each other.
    // statements: none, every text runs. log: where the session's one line
    // about refused statements goes (called on the session's worker).
    explicit TServerModuleData(std::shared_ptr<UnitsInFlight> unitsInFlight = nullptr,
                               std::shared_ptr<const StatementCatalogue> statements = nullptr,
                               Log log = {});
    ~TServerModuleData();

    // Who the session's terminal is, for the log, and whether it may send
    // statements outside the catalogue (the administrator's tools on the
    // server's own host). The session sets it once it knows.
    void setTerminal(const QString& name, bool freeSql)
    {
        m_terminalName = name;
        m_freeSql = freeSql;
    }

    ProviderAnswer handle(const ProviderRequest& request, FbAttachment& database);
    ProviderReply handleWithoutDatabase(const ProviderRequest& request);

private:
    // AS_GetRecords returns the rows; AS_Execute runs the same way and drops
    // them. A result that would not fit in one reply is refused as it grows.
    ProviderAnswer runStatement(const ProviderRequest& request, FbAttachment& database);
    ProviderReply applyUpdates(const ProviderRequest& request) const;
    // A request with a handle as a whole one: registers it, or fills in the
    // text and parameters it was registered with. Null when the handle is
    // not known here (nothing may run then).
    const ProviderRequest* resolve(const ProviderRequest& request, ProviderRequest& resolved);
    // Whether the text may run in this session; reports the session's first refusal.
    bool allows(const QString& commandText);

    // The texts of this session's terminal; statements stay prepared per
    // attachment, by text, so a handle only spares the bytes.
    StatementHandles m_handles;
    std::shared_ptr<UnitsInFlight> m_unitsInFlight;
    std::shared_ptr<const StatementCatalogue> m_statements;
    Log m_log;
    bool m_refusalLogged = false;
    QString m_terminalName;
    bool m_freeSql = false;
};
