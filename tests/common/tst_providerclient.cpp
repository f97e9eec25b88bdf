// The terminal's side of the protocol against a scripted server on
// loopback: which replies become the server's errors and which break the
// connection.

#include "common/frame.h"
#include "common/providerclient.h"
#include "common/providerprotocol.h"

#include <QTest>

#include <arpa/inet.h>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Accepts one connection on 127.0.0.1, reads its first request when told
// to, sends the one reply the case gives and closes.
class ScriptedServer final
{
public:
    enum class Numbering
    {
        Zero,    // a refusal sent before any request came
        Request, // the request's own number
        Other,   // some other number
    };

    ScriptedServer(Numbering numbering, ProviderReply reply)
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
        m_thread = std::thread([this, numbering, reply]() mutable {
            const int connection = ::accept(m_listener, nullptr, nullptr);
            if (numbering != Numbering::Zero)
                reply.id = readRequestId(connection) + (numbering == Numbering::Other ? 1 : 0);
            const QByteArray frame = makeFrame(encodeReply(reply));
            ::send(connection, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL);
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

QTEST_GUILESS_MAIN(TestProviderClient)
#include "tst_providerclient.moc"
