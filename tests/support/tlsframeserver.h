#pragma once

#include "tests/support/testcertificates.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>

class QSslServer;
class QSslSocket;

// A small TLS server on 127.0.0.1 that speaks frames, for the terminal's
// side of the encrypted link while the real server is tested on its own: TLS
// 1.3 with the given certificate, asks for the client's certificate and takes
// any, and answers every request on a thread of its own (the client waits on
// the test's) with a successful reply carrying the request's data back. It
// notes the certificate each connection's client presented and how many
// requests came.
class TlsFrameServer final
{
public:
    // On a port the system picks, or on that one.
    explicit TlsFrameServer(const TestCertificates::Pair& identity, quint16 port = 0);
    ~TlsFrameServer();
    TlsFrameServer(const TlsFrameServer&) = delete;
    TlsFrameServer& operator=(const TlsFrameServer&) = delete;

    bool listening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    int requests() const { return m_requests; }
    int handshakes() const { return m_handshakes; }
    // One per finished handshake; empty for a client without a certificate.
    QStringList clientFingerprints() const;

    // The file's bytes (a certificate or key of TestCertificates), empty when
    // it cannot be read.
    static QByteArray readFile(const QString& path);

private:
    void takeConnections();
    void answer(QSslSocket& socket);

    QThread m_thread;
    QObject m_receiver; // lives on m_thread: the server's calls run there
    std::unique_ptr<QSslServer> m_server;
    QHash<QSslSocket*, QByteArray> m_buffers;
    quint16 m_port = 0;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_handshakes{0};
    mutable QMutex m_mutex;
    QStringList m_clientFingerprints;
};
