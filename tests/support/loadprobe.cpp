#include "tests/support/loadprobe.h"

#include "common/frame.h"
#include "common/providernames.h"
#include "common/providerprotocol.h"

#include <QDeadlineTimer>
#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
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

RawConnection::~RawConnection()
{
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
    while (sent < bytes.size()) {
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
    return !m_buffer.isEmpty() || waitFor(m_fd, POLLIN, 0);
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
    ProviderRequest request;
    request.operation = ProviderOperation::GetProviderNames;
    for (int i = 0; i < count; ++i) {
        auto connection = std::make_unique<RawConnection>(port);
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
