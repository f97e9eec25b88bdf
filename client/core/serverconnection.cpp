#include "client/core/serverconnection.h"

#include "common/remoteerror.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace {

const QString kLinkLost = QStringLiteral("Savienojums ar serveri pārtrūka: ");
// The keep-alive gives a dead link up within seconds; a look this often
// tells the status line soon after, and costs one system call.
constexpr int kLinkWatchMs = 1000;

} // namespace

ServerConnection::ServerConnection(const QString& name) : m_name(name)
{
    m_client.setHost(QStringLiteral("localhost"));
    m_client.setPort(DefaultPort);
    m_client.setLinkLostHandler([this](const QString& reason) { goOffline(reason); });
    m_retryTimer.setSingleShot(true);
    m_attemptTimeout.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &ServerConnection::attempt);
    connect(&m_attemptTimeout, &QTimer::timeout, this, &ServerConnection::attemptFailed);
    m_linkWatch.setInterval(kLinkWatchMs);
    connect(&m_linkWatch, &QTimer::timeout, this, &ServerConnection::watchLink);
}

ServerConnection::~ServerConnection()
{
    // The client outlives nothing that would call back into a half-gone object.
    m_client.setLinkLostHandler({});
    stopAttempts();
}

void ServerConnection::setConnectTimeout(int milliseconds)
{
    m_connectTimeoutMs = milliseconds;
    m_client.setConnectTimeout(milliseconds);
}

void ServerConnection::setServerCertificate(const QString& fingerprint)
{
    m_serverCertificate = fingerprint;
    m_client.setTls(m_serverCertificate, m_clientCertificate, m_clientKey);
}

void ServerConnection::setClientCertificate(const QSslCertificate& certificate, const QSslKey& key)
{
    m_clientCertificate = certificate;
    m_clientKey = key;
    m_client.setTls(m_serverCertificate, m_clientCertificate, m_clientKey);
}

void ServerConnection::setRetryPauses(int firstMs, int maxMs)
{
    m_firstPauseMs = qMax(1, firstMs);
    m_maxPauseMs = qMax(m_firstPauseMs, maxMs);
    if (!m_offline)
        m_nextPauseMs = m_firstPauseMs;
}

void ServerConnection::setConnected(bool on)
{
    if (!on) {
        m_linkWatch.stop();
        // Whoever drops the connection on purpose connects anew next (or is
        // closing): the background attempts are not theirs to wait for.
        m_offline = false;
        stopAttempts();
        m_client.disconnectFromServer();
        return;
    }
    // A link that died since the last request goes offline here, rather
    // than costing this request a connect into the dead link.
    if (m_client.checkLink() && connected())
        return;
    if (m_offline) {
        // Waiting on a connect for every scan is what offline saves; the
        // background attempts bring the connection back.
        if (m_offlineRefused)
            throw RemoteError(RemoteError::Kind::Server, m_offlineReason);
        throw RemoteError(RemoteError::Kind::Transport, m_offlineReason.startsWith(kLinkLost)
                                                            ? m_offlineReason
                                                            : kLinkLost + m_offlineReason);
    }
    m_client.connectToServer(); // a failure goes offline through the handler
    goOnline();
}

void ServerConnection::watchLink()
{
    // A broken link goes offline through the handler, which stops the watch;
    // a connection the server closed is opened again by the next request.
    m_client.checkLink();
}

void ServerConnection::goOffline(const QString& reason)
{
    m_linkWatch.stop();
    m_offlineReason = reason;
    m_offlineRefused = false;
    if (!m_offline) {
        m_offline = true;
        m_attempts = 0;
        m_nextPauseMs = m_firstPauseMs;
    }
    scheduleAttempt();
    if (m_reportedOnline) {
        m_reportedOnline = false;
        emit onlineChanged(false);
    }
}

void ServerConnection::goOnline()
{
    m_offline = false;
    stopAttempts();
    m_linkWatch.start();
    if (!m_reportedOnline) {
        m_reportedOnline = true;
        emit onlineChanged(true);
    }
}

void ServerConnection::scheduleAttempt()
{
    if (m_retryTimer.isActive() || m_attemptTimeout.isActive())
        return;
    m_retryPauseMs = m_nextPauseMs;
    m_nextPauseMs = qMin(m_nextPauseMs * 2, m_maxPauseMs);
    m_retryTimer.start(m_retryPauseMs);
    emit retryScheduled(m_retryPauseMs);
}

void ServerConnection::attempt()
{
    ++m_attempts;
    m_probe = m_client.newSocket();
    QTcpSocket* probe = m_probe.get();
    const auto ready = [this, probe] {
        if (m_probe.get() != probe)
            return; // this attempt has ended meanwhile
        m_attemptTimeout.stop();
        m_probe->disconnect(this);
        try {
            m_client.adoptConnection(std::move(m_probe));
        } catch (const RemoteError& refused) {
            // A server with another certificate: reached, and refused. The
            // attempts go on (the old certificate may come back) and a
            // request is told why; the probe is left to the next attempt.
            m_offlineReason = refused.message();
            m_offlineRefused = true;
            attemptFailed();
            return;
        }
        m_offlineRefused = false;
        goOnline();
    };
    // Encrypted, the connection is ready once the handshake is done; taken
    // over after the socket's own signal has returned, since the windows
    // told it is online send requests on it at once, and a request waited
    // for inside the TLS engine's signal never gets its reply.
    if (auto* encrypted = qobject_cast<QSslSocket*>(probe))
        connect(encrypted, &QSslSocket::encrypted, this, ready, Qt::QueuedConnection);
    else
        connect(probe, &QTcpSocket::connected, this, ready);
    connect(probe, &QTcpSocket::errorOccurred, this, [this] {
        m_offlineReason = QStringLiteral("%1:%2: %3")
                              .arg(m_client.host())
                              .arg(m_client.port())
                              .arg(m_probe->errorString());
        m_offlineRefused = false;
        attemptFailed();
    });
    m_attemptTimeout.start(m_connectTimeoutMs);
    m_client.startConnecting(*probe);
}

void ServerConnection::attemptFailed()
{
    m_attemptTimeout.stop();
    if (m_probe) {
        m_probe->disconnect(this);
        m_probe->abort();
    }
    if (m_offline)
        scheduleAttempt();
}

void ServerConnection::stopAttempts()
{
    m_retryTimer.stop();
    m_attemptTimeout.stop();
    m_retryPauseMs = 0;
    m_nextPauseMs = m_firstPauseMs;
    if (m_probe) {
        m_probe->disconnect(this);
        m_probe->abort();
    }
    // Deleting inside the probe's own signal is not safe; the next attempt or
    // the destructor does it.
}
