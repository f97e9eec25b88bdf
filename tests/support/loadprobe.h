#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

// Plain pieces for loading a NorvalkServer from outside the way idle shop
// terminals and a misbehaving client do, and for reading the server's
// memory as the kernel counts it. Everything stays on 127.0.0.1 and throws
// std::runtime_error on failure.

struct ProcessMemory
{
    qint64 residentKiB = 0; // VmRSS
    qint64 peakKiB = 0;     // VmHWM: the most it has held since it started
};

ProcessMemory processMemory(qint64 pid);

// Whether the servers the tests start run under a sanitizer: this build's
// own under AddressSanitizer or ThreadSanitizer, or those of the instrumented
// build NORVALK_SERVER_BIN names (scripts/sanitize thread). A server's memory
// is then mostly the sanitizer's (shadow memory, red zones, freed blocks held
// back to catch late uses), no budget of the server's own can be read from
// it, and the runtime holds descriptors of its own.
inline bool ServersRunUnderSanitizer()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    return !qEnvironmentVariableIsEmpty("NORVALK_SERVER_BIN");
#endif
}

struct ssl_st;

// TLS for the probes, as a terminal or a tool speaks it to a server with the
// encrypted link on: TLS 1.3, the server's certificate not checked (the
// tests know whom they reach on loopback), the client's own certificate and
// key (PEM files) presented when given.
struct RawTls
{
    QString certificate;
    QString key;
};

// A blocking socket to a server on loopback that sends raw frames and reads
// replies only when told to; over TLS when given RawTls (the handshake is
// done when the constructor returns).
class RawConnection final
{
public:
    // receiveBuffer > 0 shrinks the kernel's receive buffer, so that replies
    // nobody reads stay with the server instead of piling up in this process.
    explicit RawConnection(quint16 port, int receiveBuffer = 0);
    RawConnection(quint16 port, const RawTls& tls, int receiveBuffer = 0);
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    void send(const QByteArray& bytes);
    // Sends what the peer takes within timeoutMs; returns the bytes sent.
    qint64 sendWithin(const QByteArray& bytes, int timeoutMs);
    // Whether something (bytes or the end) has come that readFrame would take.
    bool readable();
    // The body of the next reply frame; waits up to timeoutMs for it.
    QByteArray readFrame(int timeoutMs);

    // Over TLS: the fingerprint of the certificate the server presented.
    QString peerFingerprint() const;

private:
    void startTls(const RawTls& tls);
    // Over TLS: reads what is there into the buffer without waiting; false
    // when the connection has ended.
    bool takeTls();

    int m_fd = -1;
    QByteArray m_buffer;
    ssl_st* m_ssl = nullptr;
    bool m_ended = false;
};

// Terminals that connect, are served one request (so the server has taken
// them on) and then sit idle, as terminals between two scans do.
class IdleTerminals final
{
public:
    void open(quint16 port, int count);
    void open(quint16 port, int count, const RawTls& tls);
    void closeAll();
    int count() const { return int(m_connections.size()); }

private:
    void openEach(int count, const std::function<std::unique_ptr<RawConnection>()>& connect);

    std::vector<std::unique_ptr<RawConnection>> m_connections;
};

// A request frame for AS_GetRecords on dspTempQuery with that statement.
QByteArray selectFrame(const QString& sql, quint32 id);
// A statement that returns rows rows of one 1000-character text each (about 1 kB a row).
QString generatedRowsSql(int rows);
