#pragma once

#include "common/datapacket.h"
#include "common/remoteparam.h"

#include <QString>

class ServerConnection;

// A client-side provider proxy (the data module's prc* objects): it sends a
// dataset's requests to one server class over one connection, and connects
// that connection first if it is down. The connection is not owned.
//
// Throws ClientError when it has no server class name or no connection, and
// whatever the connection throws (RemoteError) otherwise.
class ProviderProxy final
{
public:
    ProviderProxy(const QString& name, ServerConnection* connection);
    ProviderProxy(const ProviderProxy&) = delete;
    ProviderProxy& operator=(const ProviderProxy&) = delete;

    QString name() const { return m_name; }
    QString serverClassName() const { return m_serverClassName; }
    void setServerClassName(const QString& name) { m_serverClassName = name; }
    ServerConnection* sqlConnection() const { return m_connection; }
    void setSqlConnection(ServerConnection* connection) { m_connection = connection; }

    // AS_GetRecords for all rows. params receives the list as the server
    // sent it back.
    DataPacket getRecords(const QString& provider, const QString& commandText,
                          RemoteParams& params);
    // AS_Execute.
    void execute(const QString& provider, const QString& commandText, RemoteParams& params);

private:
    ServerConnection& readyConnection();

    QString m_name;
    QString m_serverClassName;
    ServerConnection* m_connection;
};
