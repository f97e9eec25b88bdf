#include "common/providerclient.h"

#include "common/certificatefingerprint.h"
#include "common/frame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Longer texts go whole every time: they are rare, and a handle's worth is
// in the many short statements of a working day.
constexpr qsizetype kMaxHandledText = 64 * 1024;
// A terminal's statements are a fixed few; more than this means texts built
// with values in them, and the table starts over rather than grow.
constexpr qsizetype kMaxKeptHandles = 1024;

bool isStatement(ProviderOperation operation)
{
    return operation == ProviderOperation::GetRecords || operation == ProviderOperation::Execute;
}

// The same text with another parameter list (other names, order, types or
// directions) is another registration: the server rebuilds the parameters
// from the list it registered.
QString handleKey(const ProviderRequest& request)
{
    QString key = request.commandText;
    for (const RemoteParam& param : request.params) {
        key += QChar(0);
        key += param.name;
        key += QChar(1);
        key += QChar(u'0' + int(param.type));
        key += QChar(u'0' + int(param.direction));
    }
    return key;
}

// A reply to a request with a handle carries only the parameters the
// statement may give back; a whole reply carries the whole list.
void takeParams(RemoteParams& params, const ProviderReply& reply, bool withHandle)
{
    if (!withHandle) {
        if (!reply.params.isEmpty())
            params = reply.params;
        return;
    }
    for (const RemoteParam& param : reply.params)
        setParam(params, param);
}

// Short keep-alive timers and a bound on unacknowledged data: the system's
// defaults notice a dead peer after two hours, and data sent into a dead
// link is retried for a quarter of an hour. Either way a terminal would sit
// on "waiting for the server" long after the Wi-Fi has gone.
void setLinkTimers(QTcpSocket& socket)
{
    const int descriptor = int(socket.socketDescriptor());
    if (descriptor < 0)
        return;
    const int on = 1;
    const int idleSeconds = 2;
    const int probeIntervalSeconds = 1;
    const int probes = 3;
    const unsigned int unacknowledgedMs = ProviderClient::kDeadLinkMs;
    ::setsockopt(descriptor, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, &probeIntervalSeconds,
                 sizeof probeIntervalSeconds);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    // While data is unacknowledged the kernel sends no keep-alive probes;
    // this bounds that case, and with keep-alive on it also bounds the probes.
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs,
                 sizeof unacknowledgedMs);
}

// TLS 1.3 and nothing older, and no chain to check: the server's
// certificate is usually self-signed and is pinned by its fingerprint instead.
void setTlsBasics(QSslSocket& socket)
{
    QSslConfiguration configuration = socket.sslConfiguration();
    configuration.setProtocol(QSsl::TlsV1_3OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.setSslConfiguration(configuration);
}

const QString kNoCertificate = QStringLiteral("nav sertifikāta");

} // namespace

ProviderClient::ProviderClient() = default;

ProviderClient::~ProviderClient() = default;

void ProviderClient::setTls(const QString& serverFingerprint, const QSslCertificate& certificate,
                            const QSslKey& key)
{
    const QString normal = NormalizeFingerprint(serverFingerprint);
    m_pin = normal.isEmpty() ? serverFingerprint.trimmed() : normal;
    m_certificate = certificate;
    m_key = key;
}

QString ProviderClient::pinMismatchText(const QString& presented)
{
    return QStringLiteral("Servera sertifikāts neatbilst iestatītajam (%1). Ja serverim ir jauns "
                          "sertifikāts, administrators to var pieņemt iestatījumos.")
        .arg(presented.isEmpty() ? kNoCertificate : presented);
}

void ProviderClient::configureTls(QSslSocket& socket) const
{
    setTlsBasics(socket);
    if (!m_certificate.isNull() && !m_key.isNull()) {
        socket.setLocalCertificate(m_certificate);
        socket.setPrivateKey(m_key);
    }
}

std::unique_ptr<QTcpSocket> ProviderClient::newSocket() const
{
    if (!usesTls())
        return std::make_unique<QTcpSocket>();
    auto socket = std::make_unique<QSslSocket>();
    configureTls(*socket);
    return socket;
}

void ProviderClient::startConnecting(QTcpSocket& socket) const
{
    if (auto* encrypted = qobject_cast<QSslSocket*>(&socket))
        encrypted->connectToHostEncrypted(m_host, m_port);
    else
        socket.connectToHost(m_host, m_port);
}

QString ProviderClient::fetchServerFingerprint(const QString& host, quint16 port, int timeoutMs)
{
    QSslSocket socket;
    setTlsBasics(socket);
    socket.connectToHostEncrypted(host, port);
    if (!socket.waitForEncrypted(timeoutMs)) {
        const QString reason = socket.errorString();
        socket.abort();
        throw RemoteError(RemoteError::Kind::Transport,
                          QStringLiteral("%1:%2: %3").arg(host).arg(port).arg(reason));
    }
    const QSslCertificate presented = socket.peerCertificate();
    socket.disconnectFromHost();
    socket.abort();
    if (presented.isNull())
        throw RemoteError(RemoteError::Kind::Transport,
                          QStringLiteral("%1:%2: %3").arg(host).arg(port).arg(kNoCertificate));
    return CertificateFingerprint(presented.toDer());
}

// Notes the fingerprint of the certificate the server presented and returns it.
QString ProviderClient::presentedBy(const QTcpSocket& socket)
{
    const auto* encrypted = qobject_cast<const QSslSocket*>(&socket);
    const QSslCertificate peer = encrypted ? encrypted->peerCertificate() : QSslCertificate();
    m_presented = peer.isNull() ? QString() : CertificateFingerprint(peer.toDer());
    return m_presented;
}

// Before any request: the server must be the one whose certificate was
// accepted, or nothing of the terminal's goes to it.
void ProviderClient::checkPin(QTcpSocket& socket)
{
    if (!presentedBy(socket).isEmpty() && m_presented == m_pin)
        return;
    disconnectFromServer();
    throw RemoteError(RemoteError::Kind::Server, pinMismatchText(m_presented));
}

void ProviderClient::connectToServer()
{
    disconnectFromServer();
    if (usesTls()) {
        auto socket = std::make_unique<QSslSocket>();
        QSslSocket& encrypted = *socket;
        configureTls(encrypted);
        m_socket = std::move(socket);
        m_encrypted = true;
        encrypted.connectToHostEncrypted(m_host, m_port);
        if (!encrypted.waitForEncrypted(m_connectTimeoutMs)) {
            const QString reason = encrypted.errorString();
            failLink(QStringLiteral("%1:%2: %3").arg(m_host).arg(m_port).arg(reason));
        }
        // The plain socket underneath exists only now.
        encrypted.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        encrypted.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        setLinkTimers(encrypted);
        checkPin(encrypted);
        return;
    }
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_socket->connectToHost(m_host, m_port);
    if (!m_socket->waitForConnected(m_connectTimeoutMs)) {
        const QString reason = m_socket->errorString();
        failLink(QStringLiteral("%1:%2: %3").arg(m_host).arg(m_port).arg(reason));
    }
    setLinkTimers(*m_socket);
}

void ProviderClient::adoptConnection(std::unique_ptr<QTcpSocket>&& socket)
{
    disconnectFromServer();
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    const auto* encrypted = qobject_cast<QSslSocket*>(socket.get());
    // A plain socket to a server that is to be encrypted, or a handshake
    // not yet done, is no connection to send on.
    if (usesTls() && (!encrypted || !encrypted->isEncrypted()))
        return;
    if (encrypted && (presentedBy(*socket).isEmpty() || m_presented != m_pin))
        throw RemoteError(RemoteError::Kind::Server, pinMismatchText(m_presented));
    m_socket = std::move(socket);
    m_encrypted = encrypted != nullptr;
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    setLinkTimers(*m_socket);
}

void ProviderClient::disconnectFromServer()
{
    // A new connection may lead to another server, or to this one restarted.
    forgetHandles();
    m_encrypted = false;
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

bool ProviderClient::checkLink()
{
    if (!m_socket)
        return true;
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->waitForReadyRead(0); // only lets the socket see what happened
    QString broken;
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        // Qt has seen the end already; a close or reset came from a live host.
        if (m_socket->error() != QAbstractSocket::RemoteHostClosedError &&
            m_socket->error() != QAbstractSocket::UnknownSocketError)
            broken = m_socket->errorString();
    } else {
        char next = 0;
        const ssize_t got =
            ::recv(int(m_socket->socketDescriptor()), &next, 1, MSG_PEEK | MSG_DONTWAIT);
        const int error = errno;
        if (got < 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR &&
            error != ECONNRESET)
            broken = QString::fromLocal8Bit(std::strerror(error));
    }
    if (broken.isEmpty())
        return true;
    const QString message = QStringLiteral("Savienojums ar serveri pārtrūka: %1").arg(broken);
    disconnectFromServer();
    if (m_linkLost)
        m_linkLost(message);
    return false;
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
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (m_encrypted) {
        // Over TLS the bytes may be the engine's own (a close, a ticket from
        // a server that sends them): Qt takes them in, and only a close or
        // anything for the caller means a new connection.
        m_socket->waitForReadyRead(0);
        if (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesAvailable() == 0)
            return;
    }
    connectToServer();
}

void ProviderClient::forgetHandles()
{
    m_handles.clear();
    m_nextHandle = 1;
    m_serverTakesHandles = true;
}

// Gives a statement its handle: with the text the first time, bare values
// after. Returns the key the handle is kept under (empty: sent whole).
QString ProviderClient::useHandle(ProviderRequest& request)
{
    if (!m_handlesWanted || !m_serverTakesHandles || !isStatement(request.operation) ||
        request.commandText.size() > kMaxHandledText)
        return QString();
    QString key = handleKey(request);
    auto found = m_handles.find(key);
    if (found == m_handles.end()) {
        if (m_handles.size() >= kMaxKeptHandles)
            m_handles.clear();
        found = m_handles.insert(key, Handle{m_nextHandle++, false});
    }
    request.handle = found->number;
    request.withText = !found->registered;
    request.bareValues = found->registered;
    return key;
}

void ProviderClient::failTransport(const QString& message)
{
    disconnectFromServer();
    throw RemoteError(RemoteError::Kind::Transport, message);
}

void ProviderClient::failLink(const QString& message)
{
    disconnectFromServer();
    if (m_linkLost)
        m_linkLost(message);
    throw RemoteError(RemoteError::Kind::Transport, message);
}

// The reply's body once the buffer holds all of it; nothing yet, or a
// transport error for a reply too large or followed by more.
std::optional<QByteArray> ProviderClient::wholeReply(const QByteArray& buffer)
{
    const FrameParse frame = parseFrame(buffer, kMaxReplyBody);
    if (frame.status == FrameParse::TooLarge)
        failTransport(
            QStringLiteral("Servera atbilde ir pārāk liela (%1 baiti)").arg(frame.bodySize));
    if (frame.status != FrameParse::Complete)
        return std::nullopt;
    if (frame.frameSize != buffer.size())
        failTransport(QStringLiteral("Serveris atsūtīja negaidītus datus"));
    return frame.body.toByteArray();
}

// The reply is read straight from the socket: the terminal waits on this
// thread anyway, and Qt's wait would add a poll, a size query, a signal and
// a copy through its own buffer to every request.
QByteArray ProviderClient::readFrame()
{
    if (m_encrypted)
        return readTlsFrame();
    QByteArray buffer = m_socket->readAll(); // what an event loop may have taken in
    m_bytesReceived += quint64(buffer.size());
    const int descriptor = int(m_socket->socketDescriptor());
    const QDeadlineTimer deadline(m_replyTimeoutMs);
    bool moreWaiting = false; // the last read filled the room: a large reply is coming in
    for (;;) {
        if (std::optional<QByteArray> body = wholeReply(buffer))
            return *body;
        if (deadline.hasExpired())
            failLink(QStringLiteral("Serveris neatbild"));
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
        m_bytesReceived += quint64(qMax<ssize_t>(0, got));
        moreWaiting = got > 0 && had + got == buffer.capacity();
        if (got == 0)
            failLink(QStringLiteral("Savienojums ar serveri pārtrūka: serveris slēdza "
                                    "savienojumu"));
        if (got < 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR)
            failLink(QStringLiteral("Savienojums ar serveri pārtrūka: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(error))));
    }
}

// The same over TLS, where the bytes on the socket are not the reply's: Qt
// decrypts them into its own buffer.
QByteArray ProviderClient::readTlsFrame()
{
    QByteArray buffer;
    const QDeadlineTimer deadline(m_replyTimeoutMs);
    for (;;) {
        // Only what Qt holds, straight into the reply: readAll() would take
        // a buffer of its own size first, even for nothing.
        if (const qint64 available = m_socket->bytesAvailable(); available > 0) {
            const qsizetype had = buffer.size();
            buffer.resize(had + qsizetype(available));
            const qint64 got = m_socket->read(buffer.data() + had, available);
            buffer.resize(had + qsizetype(qMax<qint64>(0, got)));
            m_bytesReceived += quint64(qMax<qint64>(0, got));
        }
        if (std::optional<QByteArray> body = wholeReply(buffer))
            return *body;
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
                failLink(QStringLiteral("Savienojums ar serveri pārtrūka: serveris slēdza "
                                        "savienojumu"));
            failLink(
                QStringLiteral("Savienojums ar serveri pārtrūka: %1").arg(m_socket->errorString()));
        }
        if (deadline.hasExpired())
            failLink(QStringLiteral("Serveris neatbild"));
        m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
}

ProviderReply ProviderClient::call(ProviderRequest request)
{
    if (m_statementObserver && isStatement(request.operation))
        m_statementObserver(request.commandText);
    ensureConnected();
    const QString key = useHandle(request);
    ProviderReply reply = exchange(request);
    if (request.handle && !request.withText && !reply.ok && reply.unknownHandle) {
        // The server let the text go (or is not the one that registered it)
        // and ran nothing: the same request goes again, with its text.
        request.withText = true;
        request.bareValues = false;
        reply = exchange(request);
    }
    if (request.handle && reply.id == 0 && !reply.ok &&
        reply.error.endsWith(QLatin1String(kUnsupportedVersionText))) {
        // A server older than handles refused the message unread: it is sent
        // whole, as that server knows it, for the rest of the connection.
        m_handles.clear();
        m_serverTakesHandles = false;
        request.handle.reset();
        request.withText = true;
        request.bareValues = false;
        ensureConnected();
        reply = exchange(request);
    }
    // A failure numbered 0 is the server saying why it will not go on with
    // this connection (a refused terminal, a frame it could not read): the
    // user needs its text, and the connection is over.
    if (reply.id == 0 && !reply.ok) {
        disconnectFromServer();
        throw RemoteError(RemoteError::Kind::Server, reply.error);
    }
    if (!reply.ok)
        throw RemoteError(RemoteError::Kind::Server, reply.error);
    if (request.handle) {
        const auto found = m_handles.find(key);
        if (found != m_handles.end())
            found->registered = true;
    }
    return reply;
}

// One request out, its reply (successful or not) back.
ProviderReply ProviderClient::exchange(ProviderRequest& request)
{
    request.id = m_nextId++;
    const QByteArray frame = makeFrame(encodeRequest(request));
    m_bytesSent += quint64(frame.size());
    m_socket->write(frame);
    // A request fits the socket's buffer at once: waiting comes only after.
    m_socket->flush();
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(m_replyTimeoutMs))
            failLink(QStringLiteral("Neizdevās nosūtīt pieprasījumu serverim: %1")
                         .arg(m_socket->errorString()));
    }
    const QByteArray body = readFrame();
    Decoded<ProviderReply> decoded = decodeReply(body);
    if (!decoded.value)
        failTransport(QStringLiteral("Nesaprotama servera atbilde: %1").arg(decoded.error));
    ProviderReply& reply = *decoded.value;
    if (reply.id != request.id && (reply.ok || reply.id != 0))
        failTransport(QStringLiteral("Servera atbilde neatbilst pieprasījumam"));
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
    takeParams(params, reply, reply.version >= kHandleProtocolVersion);
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
    takeParams(params, reply, reply.version >= kHandleProtocolVersion);
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
