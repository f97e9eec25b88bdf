#include "clientsession.h"

#include "databasepool.h"
#include "fbattachment.h"
#include "frame.h"

#include <QTcpSocket>

ClientSession::ClientSession(QTcpSocket* socket, std::shared_ptr<TServerModuleData> module,
                             DatabasePool& pool, int stallTimeoutMs, QObject* parent)
    : QObject(parent), m_socket(socket), m_pool(pool), m_module(std::move(module))
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_peer =
        QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(stallTimeoutMs);
    connect(&m_stallTimer, &QTimer::timeout, this, &ClientSession::onStalled);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientSession::readIncoming);
    connect(m_socket, &QTcpSocket::disconnected, this, &ClientSession::closed);
}

ClientSession::~ClientSession()
{
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->flush();
}

void ClientSession::readIncoming()
{
    m_buffer.append(m_socket->readAll());
    takeFrames();
}

void ClientSession::takeFrames()
{
    for (;;) {
        const FrameParse frame = parseFrame(m_buffer, kMaxRequestBody);
        if (frame.status == FrameParse::TooLarge) {
            abandon(QStringLiteral("pieprasījums %1 baitu apmērā pārsniedz %2 baitu robežu")
                        .arg(frame.bodySize)
                        .arg(kMaxRequestBody));
            return;
        }
        if (frame.status == FrameParse::Incomplete)
            break;
        Decoded<ProviderRequest> decoded = decodeRequest(frame.body);
        m_buffer.remove(0, frame.frameSize);
        if (!decoded.value) {
            const QString message =
                QStringLiteral("Nederīgs pieprasījums no %1: %2").arg(m_peer, decoded.error);
            emit protocolError(message);
            enqueue({ProviderRequest{}, message});
            continue;
        }
        enqueue({std::move(*decoded.value), QString()});
        if (!m_socket->isOpen())
            return;
    }
    // Only a frame that has begun arriving can stall.
    if (m_buffer.isEmpty())
        m_stallTimer.stop();
    else if (!m_stallTimer.isActive())
        m_stallTimer.start();
}

void ClientSession::enqueue(Pending pending)
{
    if (m_queue.size() >= kMaxQueuedRequests) {
        abandon(QStringLiteral("pārāk daudz neatbildētu pieprasījumu"));
        return;
    }
    m_queue.enqueue(std::move(pending));
    startNext();
}

void ClientSession::startNext()
{
    if (m_inFlight || m_queue.isEmpty())
        return;
    Pending pending = m_queue.dequeue();
    if (!pending.refusal.isEmpty()) {
        sendReply(ProviderReply::failure(0, pending.refusal));
        startNext();
        return;
    }
    ProviderRequest request = std::move(pending.request);
    if (!TServerModuleData::needsDatabase(request.operation)) {
        sendReply(m_module->handleWithoutDatabase(request));
        startNext();
        return;
    }
    m_inFlight = true;
    m_inFlightId = request.id;
    m_pool.submit([module = m_module, request = std::move(request)](
                      FbAttachment& database) { return module->handle(request, database); },
                  this, [this](ProviderReply reply) { finishRequest(std::move(reply)); });
}

void ClientSession::finishRequest(ProviderReply reply)
{
    m_inFlight = false;
    reply.id = m_inFlightId;
    if (!reply.ok)
        emit requestFailed(reply.error);
    sendReply(reply);
    startNext();
    if (!m_inFlight)
        emit idle();
}

void ClientSession::sendReply(const ProviderReply& reply)
{
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(makeFrame(encodeReply(reply)));
}

void ClientSession::abandon(const QString& reason)
{
    emit protocolError(QStringLiteral("Savienojums ar %1 slēgts: %2").arg(m_peer, reason));
    sendReply(ProviderReply::failure(0, reason));
    m_buffer.clear();
    m_queue.clear();
    m_stallTimer.stop();
    disconnect(m_socket, &QTcpSocket::readyRead, this, &ClientSession::readIncoming);
    m_socket->disconnectFromHost();
}

void ClientSession::onStalled()
{
    abandon(QStringLiteral("pieprasījums netika saņemts līdz galam"));
}
