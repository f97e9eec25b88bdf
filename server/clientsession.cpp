#include "clientsession.h"

#include "frame.h"
#include "stockconnection.h"

#include <QTcpSocket>

ClientSession::ClientSession(QTcpSocket* socket, std::shared_ptr<TServerModuleData> module,
                             StockConnection& database, int stallTimeoutMs, QObject* parent)
    : QObject(parent), m_socket(socket), m_module(std::move(module)), m_database(database)
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    m_peer =
        QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
    m_stallTimer.setSingleShot(true);
    m_stallTimer.setInterval(stallTimeoutMs);
    connect(&m_stallTimer, &QTimer::timeout, this,
            [this] { abandon(QStringLiteral("pieprasījums netika saņemts līdz galam")); });
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
        const Decoded<ProviderRequest> decoded = decodeRequest(frame.body);
        m_buffer.remove(0, frame.frameSize);
        if (decoded.value) {
            sendFrame(answer(*decoded.value).frame());
        } else {
            const QString message =
                QStringLiteral("Nederīgs pieprasījums no %1: %2").arg(m_peer, decoded.error);
            emit protocolError(message);
            sendReply(ProviderReply::failure(0, message));
        }
    }
    // Only a frame that has begun arriving can stall.
    if (m_buffer.isEmpty())
        m_stallTimer.stop();
    else if (!m_stallTimer.isActive())
        m_stallTimer.start();
}

ProviderAnswer ClientSession::answer(const ProviderRequest& request)
{
    ProviderAnswer answer = TServerModuleData::needsDatabase(request.operation)
                                ? m_database.run([&](FbAttachment& database) {
                                      return m_module->handle(request, database);
                                  })
                                : ProviderAnswer{m_module->handleWithoutDatabase(request), {}};
    answer.reply.id = request.id;
    if (!answer.reply.ok)
        emit requestFailed(answer.reply.error);
    return answer;
}

void ClientSession::sendReply(const ProviderReply& reply)
{
    sendFrame(encodeReplyFrame(reply));
}

void ClientSession::sendFrame(const QList<QByteArray>& pieces)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    for (const QByteArray& piece : pieces)
        m_socket->write(piece);
    // Hand the reply to the system now rather than on the next turn of the
    // event loop: the terminal is waiting for it.
    m_socket->flush();
}

void ClientSession::abandon(const QString& reason)
{
    emit protocolError(QStringLiteral("Savienojums ar %1 slēgts: %2").arg(m_peer, reason));
    sendReply(ProviderReply::failure(0, reason));
    m_buffer.clear();
    m_stallTimer.stop();
    disconnect(m_socket, &QTcpSocket::readyRead, this, &ClientSession::readIncoming);
    m_socket->disconnectFromHost();
}
