#pragma once

#include "providerprotocol.h"
#include "tservermoduledata.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <memory>

class QTcpSocket;
class StockConnection;

// One connected terminal: buffers its bytes, cuts them into frames, runs each
// request with the session's own TServerModuleData on its worker's database
// attachment and writes the replies back in order. Lives on the worker's
// thread.
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
    ClientSession(QTcpSocket* socket, std::shared_ptr<TServerModuleData> module,
                  StockConnection& database, int stallTimeoutMs, QObject* parent = nullptr);
    ~ClientSession() override;

signals:
    void protocolError(const QString& message);
    void requestFailed(const QString& message);
    void closed();

private:
    void readIncoming();
    void takeFrames();
    ProviderAnswer answer(const ProviderRequest& request);
    void sendReply(const ProviderReply& reply);
    void sendFrame(const QList<QByteArray>& pieces);
    void abandon(const QString& reason);

    QTcpSocket* m_socket;
    std::shared_ptr<TServerModuleData> m_module;
    StockConnection& m_database;
    QString m_peer;
    QByteArray m_buffer;
    QTimer m_stallTimer;
};
