#include "tests/support/loadprobe.h"

#include "common/certificatefingerprint.h"
#include "common/frame.h"
#include "common/providernames.h"
#include "common/providerprotocol.h"

#include <QDeadlineTimer>
#include <QFile>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void failSystem(const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

[[noreturn]] void failTls(const char* what)
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    throw std::runtime_error(std::string(what) + ": " + text);
}

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0 && errno != EINTR)
        failSystem("poll");
    return ready > 0;
}

} // namespace

ProcessMemory processMemory(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read /proc/" + std::to_string(pid) + "/status");
    ProcessMemory memory;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const auto kib = [&line] { return line.mid(6).trimmed().split(' ').value(0).toLongLong(); };
        if (line.startsWith("VmRSS:"))
            memory.residentKiB = kib();
        else if (line.startsWith("VmHWM:"))
            memory.peakKiB = kib();
    }
    return memory;
}

RawConnection::RawConnection(quint16 port, int receiveBuffer)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        failSystem("socket");
    if (receiveBuffer > 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(m_fd);
        errno = error;
        failSystem("connect");
    }
}

RawConnection::RawConnection(quint16 port, const RawTls& tls, int receiveBuffer)
    : RawConnection(port, receiveBuffer)
{
    try {
        startTls(tls);
    } catch (...) {
        SSL_free(m_ssl);
        ::close(m_fd);
        throw;
    }
}

void RawConnection::startTls(const RawTls& tls)
{
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                              SSL_CTX_free);
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_3_VERSION) != 1)
        failTls("TLS context");
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    if (!tls.certificate.isEmpty() &&
        (SSL_CTX_use_certificate_file(context.get(), QFile::encodeName(tls.certificate).constData(),
                                      SSL_FILETYPE_PEM) != 1 ||
         SSL_CTX_use_PrivateKey_file(context.get(), QFile::encodeName(tls.key).constData(),
                                     SSL_FILETYPE_PEM) != 1))
        failTls("client certificate");
    // The connection keeps its own reference to the context.
    m_ssl = SSL_new(context.get());
    if (!m_ssl || SSL_set_fd(m_ssl, m_fd) != 1)
        failTls("TLS connection");
    SSL_set_mode(m_ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // The handshake on the blocking socket, bounded; afterwards the socket
    // does not block, as the plain probe's sends and reads do not.
    const timeval limit{30, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (SSL_connect(m_ssl) != 1)
        failTls("TLS handshake");
    const timeval none{0, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
}

QString RawConnection::peerFingerprint() const
{
    if (!m_ssl)
        return QString();
    X509* peer = SSL_get1_peer_certificate(m_ssl);
    if (!peer)
        return QString();
    unsigned char* der = nullptr;
    const int size = i2d_X509(peer, &der);
    const QString fingerprint =
        size > 0 ? CertificateFingerprint(QByteArray(reinterpret_cast<const char*>(der), size))
                 : QString();
    OPENSSL_free(der);
    X509_free(peer);
    return fingerprint;
}

bool RawConnection::takeTls()
{
    char chunk[65536];
    for (;;) {
        const int got = SSL_read(m_ssl, chunk, int(sizeof chunk));
        if (got > 0) {
            m_buffer.append(chunk, got);
            continue;
        }
        const int error = SSL_get_error(m_ssl, got);
        ERR_clear_error();
        // Nothing more for now (a session ticket is no data).
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return true;
        m_ended = true;
        return false;
    }
}

RawConnection::~RawConnection()
{
    if (m_ssl)
        SSL_free(m_ssl);
    if (m_fd >= 0)
        ::close(m_fd);
}

void RawConnection::send(const QByteArray& bytes)
{
    if (sendWithin(bytes, 30000) != bytes.size())
        throw std::runtime_error("the server took no more bytes for 30 s");
}

qint64 RawConnection::sendWithin(const QByteArray& bytes, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    qint64 sent = 0;
    while (m_ssl && sent < bytes.size()) {
        const int written = SSL_write(m_ssl, bytes.constData() + sent, int(bytes.size() - sent));
        if (written > 0) {
            sent += written;
            continue;
        }
        const int error = SSL_get_error(m_ssl, written);
        ERR_clear_error();
        if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ)
            throw std::runtime_error("TLS send failed");
        const short event = error == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN;
        if (deadline.hasExpired() || !waitFor(m_fd, event, int(deadline.remainingTime())))
            break;
    }
    while (!m_ssl && sent < bytes.size()) {
        const ssize_t written = ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent),
                                       MSG_DONTWAIT | MSG_NOSIGNAL);
        if (written > 0) {
            sent += written;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            failSystem("send");
        if (deadline.hasExpired() || !waitFor(m_fd, POLLOUT, int(deadline.remainingTime())))
            break;
    }
    return sent;
}

bool RawConnection::readable()
{
    if (!m_buffer.isEmpty() || m_ended)
        return true;
    if (!m_ssl)
        return waitFor(m_fd, POLLIN, 0);
    // Bytes on the socket may be only the server's session tickets.
    if (SSL_pending(m_ssl) == 0 && !waitFor(m_fd, POLLIN, 0))
        return false;
    return !takeTls() || !m_buffer.isEmpty();
}

QByteArray RawConnection::readFrame(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const FrameParse frame = parseFrame(m_buffer, kMaxReplyBody);
        if (frame.status == FrameParse::Complete) {
            const QByteArray body = frame.body.toByteArray();
            m_buffer.remove(0, frame.frameSize);
            return body;
        }
        if (frame.status == FrameParse::TooLarge)
            throw std::runtime_error("reply over the reply limit");
        if (m_ssl) {
            if (m_ended || !takeTls())
                throw std::runtime_error("the server closed the connection");
            if (parseFrame(m_buffer, kMaxReplyBody).status == FrameParse::Incomplete &&
                SSL_pending(m_ssl) == 0 &&
                !waitFor(m_fd, POLLIN, int(qMax<qint64>(0, deadline.remainingTime()))))
                throw std::runtime_error("no reply in time");
            continue;
        }
        if (!waitFor(m_fd, POLLIN, int(qMax<qint64>(0, deadline.remainingTime()))))
            throw std::runtime_error("no reply in time");
        char chunk[65536];
        const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (got == 0)
            throw std::runtime_error("the server closed the connection");
        if (got < 0 && errno != EINTR)
            failSystem("recv");
        if (got > 0)
            m_buffer.append(chunk, got);
    }
}

void IdleTerminals::open(quint16 port, int count)
{
    openEach(count, [port] { return std::make_unique<RawConnection>(port); });
}

void IdleTerminals::open(quint16 port, int count, const RawTls& tls)
{
    openEach(count, [port, &tls] { return std::make_unique<RawConnection>(port, tls); });
}

void IdleTerminals::openEach(int count,
                             const std::function<std::unique_ptr<RawConnection>()>& connect)
{
    ProviderRequest request;
    request.operation = ProviderOperation::GetProviderNames;
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<RawConnection> connection = connect();
        request.id = quint32(i + 1);
        connection->send(makeFrame(encodeRequest(request)));
        const Decoded<ProviderReply> reply = decodeReply(connection->readFrame(30000));
        if (!reply.value || !reply.value->ok)
            throw std::runtime_error(
                "an idle terminal was not served: " +
                (reply.value ? reply.value->error : reply.error).toStdString());
        m_connections.push_back(std::move(connection));
    }
}

void IdleTerminals::closeAll()
{
    m_connections.clear();
}

QByteArray selectFrame(const QString& sql, quint32 id)
{
    ProviderRequest request;
    request.id = id;
    request.provider = QString::fromLatin1(ProviderNames::TempQuery);
    request.commandText = sql;
    return makeFrame(encodeRequest(request));
}

QString generatedRowsSql(int rows)
{
    return QStringLiteral("EXECUTE BLOCK RETURNS (N INTEGER, T VARCHAR(1000)) AS BEGIN N = 0; "
                          "WHILE (N < %1) DO BEGIN N = N + 1; T = LPAD('', 1000, 'x'); SUSPEND; "
                          "END END")
        .arg(rows);
}
