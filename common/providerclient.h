#pragma once

#include "common/providerprotocol.h"
#include "common/remoteerror.h"

#include <QHash>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QSslSocket;
class QTcpSocket;

// The terminal's side of the provider protocol: one TCP connection to
// NorvalkServer and one request at a time, waited for on the calling thread
// (the terminal works request by request, as the scanner does).
//
// Every call throws RemoteError: Kind::Server with the server's text when the
// server refused the request or the connection (that closes it) or the
// statement failed, Kind::Transport when the server could not be reached or
// the connection dropped mid-request. A connection found closed before a
// request is sent is opened again first, so a server restarted between two
// requests costs nothing; one that drops while a request is in flight is not
// retried, because the server may have run it.
//
// A statement text goes to the server once per connection: the first request
// registers it under a handle, later ones send the handle and the bare
// parameter values. A handle the server no longer knows is answered without
// running anything, and the request goes again with its text; a server that
// does not speak handles gets whole requests for the rest of the connection.
// Callers see none of this.
//
// A link that dies without a word (shop Wi-Fi out of reach) is noticed by the
// kernel within about five seconds, between requests and in the middle of
// one: keep-alive probes after two idle seconds, and a limit on how long
// sent data may stay unacknowledged. A request waiting for its reply then
// fails at once rather than after the reply timeout, which stays for a
// statement the server is still running.
//
// Encrypted: with a pinned server certificate the connection is TLS 1.3. No
// chain is checked (a shop's server has a self-signed certificate); the
// fingerprint of the certificate the server presents must be the pinned one,
// or the connection is closed before any request goes out and the caller
// gets RemoteError (Kind::Server) naming the fingerprint presented. That is
// no broken link: the server was reached. The client presents its own
// certificate, when it has one, in every handshake.
class ProviderClient final
{
public:
    ProviderClient();
    ~ProviderClient();
    ProviderClient(const ProviderClient&) = delete;
    ProviderClient& operator=(const ProviderClient&) = delete;

    void setHost(const QString& host) { m_host = host; }
    QString host() const { return m_host; }
    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }
    void setConnectTimeout(int milliseconds) { m_connectTimeoutMs = milliseconds; }
    void setReplyTimeout(int milliseconds) { m_replyTimeoutMs = milliseconds; }
    // Off: every request goes whole, as version 1 (a one-shot tool gains
    // nothing from handles; a comparison of the two wants both).
    void setStatementHandles(bool on) { m_handlesWanted = on; }

    // TLS on when serverFingerprint is not empty: the server must present the
    // certificate with that fingerprint (any form NormalizeFingerprint takes;
    // a text that is no fingerprint matches nothing rather than turning TLS
    // off). Empty: plain TCP. The certificate and key, when given, are shown
    // to the server. Takes effect at the next connect.
    void setTls(const QString& serverFingerprint,
                const QSslCertificate& certificate = QSslCertificate(),
                const QSslKey& key = QSslKey());
    bool usesTls() const { return !m_pin.isEmpty(); }
    QString pinnedFingerprint() const { return m_pin; }
    // The fingerprint of the certificate the server presented at the last
    // encrypted connect, a refused one too (empty before any).
    QString presentedFingerprint() const { return m_presented; }
    // The message of a refused server certificate.
    static QString pinMismatchText(const QString& presented);

    // First contact: connects with TLS, accepts whatever certificate the
    // server presents, sends nothing and returns that certificate's
    // fingerprint. Throws RemoteError (Kind::Transport) when no encrypted
    // connection could be made (no server, or one without TLS).
    static QString fetchServerFingerprint(const QString& host, quint16 port, int timeoutMs);

    // A socket for a connection opened without waiting (see adoptConnection):
    // with TLS on a QSslSocket set up as this client's, whose connection is
    // ready at its encrypted() signal; without, a QTcpSocket ready at
    // connected(). startConnecting begins the connect either way.
    std::unique_ptr<QTcpSocket> newSocket() const;
    void startConnecting(QTcpSocket& socket) const;

    // The time within which a dead link is noticed: the keep-alive probes
    // start after two idle seconds and the link is given up once nothing has
    // been acknowledged for this long.
    static constexpr int kDeadLinkMs = 5000;

    void connectToServer();
    void disconnectFromServer();
    // Takes a socket already connected to the server (opened without waiting,
    // by someone driving an event loop) as the connection. With TLS on it
    // must be a socket from newSocket() whose handshake is done; its server
    // certificate is checked as a connect's is: when it is not the pinned
    // one, RemoteError (Kind::Server) and the socket stays the caller's (it
    // may be inside its own signal, where it must not be deleted).
    void adoptConnection(std::unique_ptr<QTcpSocket>&& socket);
    // Called with the error's text whenever the server could not be reached
    // or the link broke (not for a reply it could not read), just before
    // that error is thrown: the terminal's connection goes offline on it.
    void setLinkLostHandler(std::function<void(const QString&)> handler)
    {
        m_linkLost = std::move(handler);
    }
    // Called with the command text of every statement request (AS_GetRecords,
    // AS_Execute) as it is about to go, whether whole or registering a handle:
    // the texts a server holding a statement catalogue checks. Tests record
    // them to prove the catalogue complete.
    void setStatementObserver(std::function<void(const QString&)> observer)
    {
        m_statementObserver = std::move(observer);
    }
    // True while the socket is up, as far as can be seen without a request.
    bool isConnected() const;
    // Between requests: whether the link of an open connection has broken
    // (the kernel gave it up, or the network said the server cannot be
    // reached). One that has, is dropped and reported to the link-lost
    // handler; false then. A connection the server closed is not a broken
    // link: the next request opens another. Never throws.
    bool checkLink();

    // The in/out parameters come back as the server bound them.
    DataPacket getRecords(const QString& provider, const QString& commandText, RemoteParams& params,
                          qint32 recordCount = -1, qint32 options = 0,
                          const QString& serverClass = QString::fromLatin1(kServerClassName));
    void execute(const QString& provider, const QString& commandText, RemoteParams& params,
                 const QString& serverClass = QString::fromLatin1(kServerClassName));
    RemoteParams getParams(const QString& provider);
    // Returns the rows that failed; errorCount receives their number.
    DataPacket applyUpdates(const QString& provider, const DataPacket& delta, qint32 maxErrors,
                            qint32& errorCount);
    DataPacket rowRequest(const QString& provider, const DataPacket& row, qint32 requestType);
    QCborValue dataRequest(const QString& provider, const QCborValue& data);
    QStringList getProviderNames();

    // Sends any request and returns the server's successful reply.
    ProviderReply call(ProviderRequest request);

    // Whole frames, headers included, since the client was made: what a
    // terminal on a slow link pays for.
    quint64 bytesSent() const { return m_bytesSent; }
    quint64 bytesReceived() const { return m_bytesReceived; }

private:
    struct Handle
    {
        quint32 number = 0;
        bool registered = false; // the server has run a request with its text
    };

    void configureTls(QSslSocket& socket) const;
    QString presentedBy(const QTcpSocket& socket);
    void checkPin(QTcpSocket& socket);
    void ensureConnected();
    void forgetHandles();
    QString useHandle(ProviderRequest& request);
    ProviderReply exchange(ProviderRequest& request);
    std::optional<QByteArray> wholeReply(const QByteArray& buffer);
    QByteArray readFrame();
    QByteArray readTlsFrame();
    [[noreturn]] void failTransport(const QString& message);
    [[noreturn]] void failLink(const QString& message);

    std::unique_ptr<QTcpSocket> m_socket;
    QString m_host = QStringLiteral("localhost");
    quint16 m_port = 211;
    int m_connectTimeoutMs = 5000;
    int m_replyTimeoutMs = 120000;
    quint32 m_nextId = 1;
    // Per connection: statement text and parameter list -> handle.
    QHash<QString, Handle> m_handles;
    quint32 m_nextHandle = 1;
    bool m_serverTakesHandles = true;
    bool m_handlesWanted = true;
    quint64 m_bytesSent = 0;
    quint64 m_bytesReceived = 0;
    std::function<void(const QString&)> m_linkLost;
    QString m_pin; // empty: plain TCP
    QSslCertificate m_certificate;
    QSslKey m_key;
    QString m_presented;
    bool m_encrypted = false; // the open connection is TLS
    std::function<void(const QString&)> m_statementObserver;
};
