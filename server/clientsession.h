#pragma once

#include "providerprotocol.h"
#include "tservermoduledata.h"

#include <QByteArray>
#include <QObject>
#include <QQueue>
#include <QTimer>

#include <memory>

class DatabasePool;
class QTcpSocket;

// One connected terminal: buffers its bytes, cuts them into frames, hands
// the requests one at a time to the database pool with the session's own
// TServerModuleData, and writes the replies back in order.
//
// A frame that announces more than the request limit, or a frame that stays
// half-received longer than the stall timeout, ends the connection; a frame
// that is not a valid request gets a failed reply and the session goes on.
// Each such event is reported through protocolError() for the log.
class ClientSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClientSession)

public:
    static constexpr int kMaxQueuedRequests = 64;

    ClientSession(QTcpSocket* socket, std::shared_ptr<TServerModuleData> module, DatabasePool& pool,
                  int stallTimeoutMs, QObject* parent = nullptr);
    ~ClientSession() override;

    bool isBusy() const { return m_inFlight; }
    QString peerName() const { return m_peer; }

signals:
    void protocolError(const QString& message);
    void requestFailed(const QString& message);
    void closed();
    void idle(); // no request in flight or queued

private:
    // A request to run, or the reason a frame was refused; both get their
    // reply in the order the frames came.
    struct Pending
    {
        ProviderRequest request;
        QString refusal;
    };

    void readIncoming();
    void takeFrames();
    void enqueue(Pending pending);
    void startNext();
    void finishRequest(ProviderReply reply);
    void sendReply(const ProviderReply& reply);
    void abandon(const QString& reason);
    void onStalled();

    QTcpSocket* m_socket;
    DatabasePool& m_pool;
    std::shared_ptr<TServerModuleData> m_module;
    QString m_peer;
    QByteArray m_buffer;
    QQueue<Pending> m_queue;
    bool m_inFlight = false;
    quint32 m_inFlightId = 0;
    QTimer m_stallTimer;
};
