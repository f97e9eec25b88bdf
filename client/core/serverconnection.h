#pragma once

#include "common/providerclient.h"

#include <QString>

#include <algorithm>

// The terminal's one connection to NorvalkServer (the data module's
// SQLConnection1). It starts disconnected; the connection step sets the host
// and connects, and the common procedures reconnect it when a request finds
// it down.
//
// setConnected(true) throws RemoteError (Kind::Transport) when the server
// cannot be reached. A connection that the server dropped is noticed by the
// next request (which fails, or quietly reconnects when the drop was seen
// before sending), or by connected() once the event loop has run.
class ServerConnection final
{
public:
    static constexpr quint16 DefaultPort = 211;

    explicit ServerConnection(const QString& name);
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    QString name() const { return m_name; }

    // Takes effect at the next connect.
    QString hostName() const { return m_client.host(); }
    void setHostName(const QString& host) { m_client.setHost(host); }
    quint16 port() const { return m_client.port(); }
    void setPort(quint16 port) { m_client.setPort(port); }
    void setConnectTimeout(int milliseconds) { m_client.setConnectTimeout(milliseconds); }

    bool connected() const { return m_client.isConnected(); }
    void setConnected(bool on);

    // For the provider proxies, which send every request through it.
    ProviderClient& client() { return m_client; }

    // The provider requests sent so far: what a terminal on shop Wi-Fi pays
    // a round trip for each.
    quint64 requestCount() const { return m_requests; }
    void countRequest() { ++m_requests; }
    // The bytes those requests and their replies took on the wire, frame
    // headers included.
    quint64 bytesSent() const { return m_client.bytesSent(); }
    quint64 bytesReceived() const { return m_client.bytesReceived(); }

    // The newest operation log key a reply has shown: no entry written later
    // can lie at or below it (the log's generator only rises).
    qint32 logFloor() const { return m_logFloor; }
    void noteLogFloor(qint32 key) { m_logFloor = std::max(m_logFloor, key); }

private:
    QString m_name;
    ProviderClient m_client;
    quint64 m_requests = 0;
    qint32 m_logFloor = 0;
};
