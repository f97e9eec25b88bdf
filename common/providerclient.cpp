#include "common/providerclient.h"

#include "common/frame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>

ProviderClient::ProviderClient() = default;

ProviderClient::~ProviderClient() = default;

void ProviderClient::connectToServer()
{
    disconnectFromServer();
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_socket->connectToHost(m_host, m_port);
    if (!m_socket->waitForConnected(m_connectTimeoutMs)) {
        const QString reason = m_socket->errorString();
        m_socket.reset();
        throw RemoteError(RemoteError::Kind::Transport,
                          QStringLiteral("%1:%2: %3").arg(m_host).arg(m_port).arg(reason));
    }
}

void ProviderClient::disconnectFromServer()
{
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket.reset();
}

bool ProviderClient::isConnected() const
{
    // Between requests nothing is due from the server, so a zero wait only
    // lets the socket notice a server that has closed its end.
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->waitForReadyRead(0);
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void ProviderClient::ensureConnected()
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState ||
        m_socket->bytesAvailable() > 0) {
        connectToServer();
        return;
    }
    // A server that went away since the last reply has closed its end (or
    // said why it closes); between requests nothing else is due. One look at
    // the socket, without taking anything, finds either.
    char next = 0;
    const ssize_t got =
        ::recv(int(m_socket->socketDescriptor()), &next, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        connectToServer();
}

void ProviderClient::failTransport(const QString& message)
{
    disconnectFromServer();
    throw RemoteError(RemoteError::Kind::Transport, message);
}

// The reply is read straight from the socket: the terminal waits on this
// thread anyway, and Qt's wait would add a poll, a size query, a signal and
// a copy through its own buffer to every request.
QByteArray ProviderClient::readFrame()
{
    QByteArray buffer = m_socket->readAll(); // what an event loop may have taken in
    const int descriptor = int(m_socket->socketDescriptor());
    const QDeadlineTimer deadline(m_replyTimeoutMs);
    bool moreWaiting = false; // the last read filled the room: a large reply is coming in
    for (;;) {
        const FrameParse frame = parseFrame(buffer, kMaxReplyBody);
        if (frame.status == FrameParse::TooLarge)
            failTransport(
                QStringLiteral("Servera atbilde ir pārāk liela (%1 baiti)").arg(frame.bodySize));
        if (frame.status == FrameParse::Complete) {
            if (frame.frameSize != buffer.size())
                failTransport(QStringLiteral("Serveris atsūtīja negaidītus datus"));
            return frame.body.toByteArray();
        }
        if (deadline.hasExpired())
            failTransport(QStringLiteral("Serveris neatbild"));
        // The reply cannot be there before the request has been served, so
        // the wait comes before the read rather than after a read that finds nothing.
        pollfd ready{descriptor, POLLIN, 0};
        if (!moreWaiting && ::poll(&ready, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        const qsizetype room = receiveCapacity(buffer, 16 * 1024, kMaxReplyBody);
        if (buffer.capacity() < room)
            buffer.reserve(room);
        const qsizetype had = buffer.size();
        buffer.resize(buffer.capacity());
        const ssize_t got =
            ::recv(descriptor, buffer.data() + had, size_t(buffer.size() - had), MSG_DONTWAIT);
        const int error = errno;
        buffer.resize(had + qMax<qsizetype>(0, got));
        moreWaiting = got > 0 && had + got == buffer.capacity();
        if (got == 0)
            failTransport(QStringLiteral("Savienojums ar serveri pārtrūka: serveris slēdza "
                                         "savienojumu"));
        if (got < 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR)
            failTransport(QStringLiteral("Savienojums ar serveri pārtrūka: %1")
                              .arg(QString::fromLocal8Bit(std::strerror(error))));
    }
}

ProviderReply ProviderClient::call(ProviderRequest request)
{
    ensureConnected();
    request.id = m_nextId++;
    m_socket->write(makeFrame(encodeRequest(request)));
    // A request fits the socket's buffer at once: waiting comes only after.
    m_socket->flush();
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(m_replyTimeoutMs))
            failTransport(QStringLiteral("Neizdevās nosūtīt pieprasījumu serverim: %1")
                              .arg(m_socket->errorString()));
    }
    const QByteArray body = readFrame();
    Decoded<ProviderReply> decoded = decodeReply(body);
    if (!decoded.value)
        failTransport(QStringLiteral("Nesaprotama servera atbilde: %1").arg(decoded.error));
    ProviderReply& reply = *decoded.value;
    // A failure numbered 0 is the server saying why it will not go on with
    // this connection (a refused terminal, a frame it could not read): the
    // user needs its text, and the connection is over.
    if (reply.id == 0 && !reply.ok) {
        disconnectFromServer();
        throw RemoteError(RemoteError::Kind::Server, reply.error);
    }
    if (reply.id != request.id)
        failTransport(QStringLiteral("Servera atbilde neatbilst pieprasījumam"));
    if (!reply.ok)
        throw RemoteError(RemoteError::Kind::Server, reply.error);
    return std::move(reply);
}

DataPacket ProviderClient::getRecords(const QString& provider, const QString& commandText,
                                      RemoteParams& params, qint32 recordCount, qint32 options,
                                      const QString& serverClass)
{
    ProviderRequest request;
    request.operation = ProviderOperation::GetRecords;
    request.serverClass = serverClass;
    request.provider = provider;
    request.commandText = commandText;
    request.params = params;
    request.recordCount = recordCount;
    request.options = options;
    ProviderReply reply = call(std::move(request));
    if (!reply.params.isEmpty())
        params = reply.params;
    return std::move(reply.packet);
}

void ProviderClient::execute(const QString& provider, const QString& commandText,
                             RemoteParams& params, const QString& serverClass)
{
    ProviderRequest request;
    request.operation = ProviderOperation::Execute;
    request.serverClass = serverClass;
    request.provider = provider;
    request.commandText = commandText;
    request.params = params;
    ProviderReply reply = call(std::move(request));
    if (!reply.params.isEmpty())
        params = reply.params;
}

RemoteParams ProviderClient::getParams(const QString& provider)
{
    ProviderRequest request;
    request.operation = ProviderOperation::GetParams;
    request.provider = provider;
    return call(std::move(request)).params;
}

DataPacket ProviderClient::applyUpdates(const QString& provider, const DataPacket& delta,
                                        qint32 maxErrors, qint32& errorCount)
{
    ProviderRequest request;
    request.operation = ProviderOperation::ApplyUpdates;
    request.provider = provider;
    request.delta = delta;
    request.maxErrors = maxErrors;
    ProviderReply reply = call(std::move(request));
    errorCount = reply.errorCount;
    return std::move(reply.packet);
}

DataPacket ProviderClient::rowRequest(const QString& provider, const DataPacket& row,
                                      qint32 requestType)
{
    ProviderRequest request;
    request.operation = ProviderOperation::RowRequest;
    request.provider = provider;
    request.row = row;
    request.requestType = requestType;
    return call(std::move(request)).packet;
}

QCborValue ProviderClient::dataRequest(const QString& provider, const QCborValue& data)
{
    ProviderRequest request;
    request.operation = ProviderOperation::DataRequest;
    request.provider = provider;
    request.data = data;
    return call(std::move(request)).data;
}

QStringList ProviderClient::getProviderNames()
{
    ProviderRequest request;
    request.operation = ProviderOperation::GetProviderNames;
    return call(std::move(request)).providerNames;
}
