#pragma once

#include "common/providerclient.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <memory>

class QTcpSocket;

// The terminal's one connection to NorvalkServer (the data module's
// SQLConnection1). It starts disconnected; the connection step sets the host
// and connects, and the common procedures reconnect it when a request finds
// it down.
//
// setConnected(true) throws RemoteError (Kind::Transport) when the server
// cannot be reached. A connection that the server dropped is noticed by the
// next request (which fails, or quietly reconnects when the drop was seen
// before sending), or by connected() once the event loop has run.
//
// Offline: once the server could not be reached or the link broke (a
// connect that failed, a reply that never came because the link died, an
// idle link given up, seen by a look once a second while the event loop
// runs), the connection is offline. While it is, setConnected(true), and so
// every request, fails at once with RemoteError (Kind::Transport) and the
// reason, instead of waiting on a connect timeout for each scan. Meanwhile
// the connection tries again in the background, driven by the event loop and
// never waiting on it, after a pause that grows from one second to fifteen;
// the first attempt that connects brings it back online. onlineChanged tells
// a status line each change. setConnected(false) ends the offline state (and
// the attempts): the connection step drops the connection before it
// connects anew, and that connect, like the login's, waits for the live
// server as before.
class ServerConnection final : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 DefaultPort = 211;
    static constexpr int DefaultFirstRetryPauseMs = 1000;
    static constexpr int DefaultMaxRetryPauseMs = 15000;

    explicit ServerConnection(const QString& name);
    ~ServerConnection() override;
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    QString name() const { return m_name; }

    // Takes effect at the next connect.
    QString hostName() const { return m_client.host(); }
    void setHostName(const QString& host) { m_client.setHost(host); }
    quint16 port() const { return m_client.port(); }
    void setPort(quint16 port) { m_client.setPort(port); }
    void setConnectTimeout(int milliseconds);

    // TLS: the pinned fingerprint of the server's certificate (the settings
    // file's "ServerCertificate"; empty: plain TCP, as before) and the
    // terminal's own certificate, presented whenever TLS is on. Take effect
    // at the next connect. A server presenting another certificate is
    // refused (RemoteError, Kind::Server) before anything is sent to it.
    QString serverCertificate() const { return m_serverCertificate; }
    void setServerCertificate(const QString& fingerprint);
    void setClientCertificate(const QSslCertificate& certificate, const QSslKey& key);

    bool connected() const { return m_client.isConnected(); }
    void setConnected(bool on);

    // See the offline state above. The reason is the error that started it.
    bool isOffline() const { return m_offline; }
    QString offlineReason() const { return m_offlineReason; }
    // The pause before the background attempt now waited for (0 when none
    // is), and the attempts made since the connection went offline.
    int retryPauseMs() const { return m_retryPauseMs; }
    int reconnectAttempts() const { return m_attempts; }
    // The first pause and the most it grows to (doubling each time).
    void setRetryPauses(int firstMs, int maxMs);

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

signals:
    // false when the connection goes offline, true when it is up again
    // after that (by a background attempt or a connect of its own). Emitted
    // on changes only.
    void onlineChanged(bool online);
    // While offline: the next background attempt comes after pauseMs.
    void retryScheduled(int pauseMs);

private:
    void goOffline(const QString& reason);
    void goOnline();
    void scheduleAttempt();
    void attempt();
    void attemptFailed();
    void stopAttempts();
    void watchLink();

    QString m_name;
    ProviderClient m_client;
    QString m_serverCertificate;
    QSslCertificate m_clientCertificate;
    QSslKey m_clientKey;
    // The offline reason is a server whose certificate was refused: told as
    // the refusal it is, not as a broken link.
    bool m_offlineRefused = false;
    quint64 m_requests = 0;
    qint32 m_logFloor = 0;

    int m_connectTimeoutMs = 5000;

    bool m_offline = false;
    bool m_reportedOnline = true; // what onlineChanged last said
    QString m_offlineReason;
    int m_firstPauseMs = DefaultFirstRetryPauseMs;
    int m_maxPauseMs = DefaultMaxRetryPauseMs;
    int m_nextPauseMs = DefaultFirstRetryPauseMs;
    int m_retryPauseMs = 0;
    int m_attempts = 0;
    QTimer m_retryTimer;
    QTimer m_attemptTimeout;
    QTimer m_linkWatch; // between requests, whether the open link has died
    // The background attempt's socket; kept after a failure until the next
    // attempt, as it cannot be deleted inside its own signal.
    std::unique_ptr<QTcpSocket> m_probe;
};
