// The terminal's side of the protocol against a scripted server on
// loopback: which replies become the server's errors and which break the
// connection.

#include "common/frame.h"
#include "common/providerclient.h"
#include "common/providerprotocol.h"

#include <QTest>

#include <arpa/inet.h>
#include <chrono>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct Delivery
{
    qsizetype piece = 0; // 0: all at once
    bool cutShort = false;
};

// Accepts one connection on 127.0.0.1, reads its first request when told
// to, sends the one reply the case gives and closes. The reply goes in one
// send, or in pieces of the given size with a pause after each, and may be
// cut off before its last piece.
class ScriptedServer final
{
public:
    enum class Numbering
    {
        Zero,    // a refusal sent before any request came
        Request, // the request's own number
        Other,   // some other number
    };

    ScriptedServer(Numbering numbering, ProviderReply reply, Delivery delivery = {})
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, numbering, reply, delivery]() mutable {
            const int connection = ::accept(m_listener, nullptr, nullptr);
            if (numbering != Numbering::Zero)
                reply.id = readRequestId(connection) + (numbering == Numbering::Other ? 1 : 0);
            const QByteArray frame = makeFrame(encodeReply(reply));
            const qsizetype piece = delivery.piece > 0 ? delivery.piece : frame.size();
            for (qsizetype at = 0; at < frame.size(); at += piece) {
                const qsizetype size = qMin(piece, frame.size() - at);
                if (delivery.cutShort && at + size == frame.size())
                    break;
                ::send(connection, frame.constData() + at, size_t(size), MSG_NOSIGNAL);
                if (size < frame.size())
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            ::shutdown(connection, SHUT_WR);
            char drain[256];
            while (::recv(connection, drain, sizeof drain, 0) > 0) {
            }
            ::close(connection);
        });
    }
    ~ScriptedServer()
    {
        m_thread.join();
        ::close(m_listener);
    }

    quint16 port() const { return m_port; }

private:
    static quint32 readRequestId(int connection)
    {
        QByteArray buffer;
        char chunk[4096];
        for (;;) {
            const FrameParse frame = parseFrame(buffer, kMaxRequestBody);
            if (frame.status == FrameParse::Complete) {
                const Decoded<ProviderRequest> request = decodeRequest(frame.body);
                return request.value ? request.value->id : 0;
            }
            const ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
            if (got <= 0)
                return 0;
            buffer.append(chunk, qsizetype(got));
        }
    }

    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

} // namespace

class TestProviderClient : public QObject
{
    Q_OBJECT

private slots:
    void repliesTheClientTakes_data();
    void repliesTheClientTakes();
    void replyInPieces_data();
    void replyInPieces();
};

void TestProviderClient::repliesTheClientTakes_data()
{
    QTest::addColumn<int>("numbering");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind"); // -1: no error
    QTest::addColumn<QString>("text");
    const QString refusal = QStringLiteral("Serverim jau pieslēgts lielākais atļautais skaits !!!");
    QTest::newRow("refused before the request") << int(ScriptedServer::Numbering::Zero) << false
                                                << int(RemoteError::Kind::Server) << refusal;
    QTest::newRow("the request failed") << int(ScriptedServer::Numbering::Request) << false
                                        << int(RemoteError::Kind::Server) << refusal;
    QTest::newRow("the request served")
        << int(ScriptedServer::Numbering::Request) << true << -1 << QString();
    QTest::newRow("a reply to another request")
        << int(ScriptedServer::Numbering::Other) << true << int(RemoteError::Kind::Transport)
        << QStringLiteral("Servera atbilde neatbilst pieprasījumam");
    QTest::newRow("a success numbered 0")
        << int(ScriptedServer::Numbering::Zero) << true << int(RemoteError::Kind::Transport)
        << QStringLiteral("Servera atbilde neatbilst pieprasījumam");
}

void TestProviderClient::repliesTheClientTakes()
{
    QFETCH(int, numbering);
    QFETCH(bool, ok);
    QFETCH(int, kind);
    QFETCH(QString, text);
    ProviderReply reply = ok ? ProviderReply() : ProviderReply::failure(0, text);
    reply.providerNames = {QStringLiteral("dspTempQuery")};
    ScriptedServer server(ScriptedServer::Numbering(numbering), reply);
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    client.setReplyTimeout(10000);
    try {
        const QStringList names = client.getProviderNames();
        QCOMPARE(kind, -1);
        QCOMPARE(names, reply.providerNames);
    } catch (const RemoteError& error) {
        QCOMPARE(int(error.kind()), kind);
        QVERIFY2(error.message().startsWith(text), qPrintable(error.message()));
    }
}

void TestProviderClient::replyInPieces_data()
{
    QTest::addColumn<int>("names"); // 20,000 make a reply of several hundred kilobytes
    QTest::addColumn<int>("piece");
    QTest::addColumn<bool>("cutShort");
    QTest::newRow("small, a few bytes at a time") << 3 << 3 << false;
    QTest::newRow("large, in pieces") << 20000 << 100000 << false;
    QTest::newRow("large, at once") << 20000 << 0 << false;
    QTest::newRow("small, cut off") << 3 << 5 << true;
    QTest::newRow("large, cut off") << 20000 << 100000 << true;
}

// The client reads the socket itself: a reply that comes in pieces, or is
// larger than its first buffer, arrives whole; one cut off is a lost connection.
void TestProviderClient::replyInPieces()
{
    QFETCH(int, names);
    QFETCH(int, piece);
    QFETCH(bool, cutShort);
    ProviderReply reply;
    for (int i = 0; i < names; ++i)
        reply.providerNames.append(QStringLiteral("dspProvider%1").arg(i));
    ScriptedServer server(ScriptedServer::Numbering::Request, reply, {piece, cutShort});
    ProviderClient client;
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(server.port());
    client.setReplyTimeout(10000);
    try {
        const QStringList received = client.getProviderNames();
        QVERIFY(!cutShort);
        QCOMPARE(received, reply.providerNames);
    } catch (const RemoteError& error) {
        QVERIFY2(cutShort, qPrintable(error.message()));
        QCOMPARE(error.kind(), RemoteError::Kind::Transport);
        QVERIFY2(error.message().startsWith(QStringLiteral("Savienojums ar serveri pārtrūka")),
                 qPrintable(error.message()));
    }
    QVERIFY(!client.isConnected() || !cutShort);
}

QTEST_GUILESS_MAIN(TestProviderClient)
#include "tst_providerclient.moc"
