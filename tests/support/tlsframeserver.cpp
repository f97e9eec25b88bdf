#include "tests/support/tlsframeserver.h"

#include "common/certificatefingerprint.h"
#include "common/frame.h"
#include "common/providerprotocol.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

TlsFrameServer::TlsFrameServer(const TestCertificates::Pair& identity, quint16 port)
{
    m_receiver.moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        &m_receiver,
        [this, identity, port] {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setProtocol(QSsl::TlsV1_3OrLater);
            configuration.setLocalCertificate(
                QSslCertificate(readFile(identity.certificate), QSsl::Pem));
            configuration.setPrivateKey(QSslKey(readFile(identity.key), QSsl::Ec, QSsl::Pem));
            // Asks for the client's certificate and takes any.
            configuration.setPeerVerifyMode(QSslSocket::QueryPeer);
            m_server = std::make_unique<QSslServer>();
            m_server->setSslConfiguration(configuration);
            QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable,
                             m_server.get(), [this] { takeConnections(); });
            if (m_server->listen(QHostAddress::LocalHost, port))
                m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

TlsFrameServer::~TlsFrameServer()
{
    QMetaObject::invokeMethod(
        &m_receiver, [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QStringList TlsFrameServer::clientFingerprints() const
{
    QMutexLocker lock(&m_mutex);
    return m_clientFingerprints;
}

QByteArray TlsFrameServer::readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TlsFrameServer::takeConnections()
{
    while (QTcpSocket* next = m_server->nextPendingConnection()) {
        auto* socket = qobject_cast<QSslSocket*>(next);
        const QSslCertificate client = socket->peerCertificate();
        ++m_handshakes;
        {
            QMutexLocker lock(&m_mutex);
            m_clientFingerprints << (client.isNull() ? QString()
                                                     : CertificateFingerprint(client.toDer()));
        }
        QObject::connect(socket, &QSslSocket::readyRead, socket,
                         [this, socket] { answer(*socket); });
        QObject::connect(socket, &QSslSocket::disconnected, socket, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
        answer(*socket);
    }
}

void TlsFrameServer::answer(QSslSocket& socket)
{
    QByteArray& buffer = m_buffers[&socket];
    buffer += socket.readAll();
    for (;;) {
        const FrameParse frame = parseFrame(buffer, kMaxRequestBody);
        if (frame.status != FrameParse::Complete)
            return;
        const Decoded<ProviderRequest> request = decodeRequest(frame.body.toByteArray());
        buffer.remove(0, frame.frameSize);
        ++m_requests;
        ProviderReply reply;
        reply.ok = request.value.has_value();
        reply.id = request.value ? request.value->id : 0;
        reply.error = request.error;
        if (request.value)
            reply.data = request.value->data;
        socket.write(makeFrame(encodeReply(reply)));
    }
}
