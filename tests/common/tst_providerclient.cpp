// The terminal's side of the protocol against a scripted server on
// loopback: which replies become the server's errors and which break the
// connection.

#include "common/frame.h"
#include "common/providerclient.h"
#include "common/providerprotocol.h"

#include <QTest>

#include <functional>
#include <map>
#include <vector>

#include <arpa/inet.h>
#include <chrono>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A listening socket on 127.0.0.1 at a free port.
int listenOnLoopback(quint16& port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return listener;
}

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
        m_listener = listenOnLoopback(m_port);
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

// Accepts one connection on 127.0.0.1 and answers each request as the case
// says, until the terminal closes; keeps the requests as they came.
class ScriptedSession final
{
public:
    using Answer = std::function<ProviderReply(const ProviderRequest&)>;

    explicit ScriptedSession(Answer answer)
    {
        m_listener = listenOnLoopback(m_port);
        m_thread = std::thread([this, answer] {
            const int connection = ::accept(m_listener, nullptr, nullptr);
            QByteArray buffer;
            char chunk[4096];
            for (;;) {
                const FrameParse frame = parseFrame(buffer, kMaxRequestBody);
                if (frame.status != FrameParse::Complete) {
                    const ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
                    if (got <= 0)
                        break;
                    buffer.append(chunk, qsizetype(got));
                    continue;
                }
                const Decoded<ProviderRequest> request = decodeRequest(frame.body);
                buffer.remove(0, frame.frameSize);
                if (!request.value)
                    break;
                m_requests.push_back(*request.value);
                const QByteArray reply = makeFrame(encodeReply(answer(*request.value)));
                ::send(connection, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
            }
            ::close(connection);
        });
    }
    ~ScriptedSession() { finish(); }

    // Waits for the terminal to have gone; the requests are complete then.
    const std::vector<ProviderRequest>& finish()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1;
        return m_requests;
    }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::vector<ProviderRequest> m_requests;
};

ProviderReply servedReply(const ProviderRequest& request)
{
    ProviderReply reply;
    reply.id = request.id;
    reply.version = request.version;
    reply.packet.columns = {{QStringLiteral("N"), FieldType::Integer, 4}};
    reply.packet.rows = {{QVariant(qint32(request.id))}};
    reply.recordsReturned = 1;
    return reply;
}

} // namespace

class TestProviderClient : public QObject
{
    Q_OBJECT

private slots:
    void repliesTheClientTakes_data();
    void repliesTheClientTakes();
    void serverOlderThanHandlesGetsWholeRequests();
    void forgottenHandleIsSentAgainWithItsText();
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

void TestProviderClient::serverOlderThanHandlesGetsWholeRequests()
{
    // As a version-1 server answers any message of another version.
    ScriptedSession server([](const ProviderRequest& request) {
        if (request.version != 1)
            return ProviderReply::failure(0,
                                          QStringLiteral("Nederīgs pieprasījums no 127.0.0.1:1: %1")
                                              .arg(QLatin1String(kUnsupportedVersionText)));
        ProviderReply reply = servedReply(request);
        reply.params = request.params;
        return reply;
    });
    const QString sql = QStringLiteral("SELECT GNOS FROM N_KLPREC WHERE ISN = :I");
    {
        ProviderClient client;
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(server.port());
        client.setReplyTimeout(10000);
        for (int i = 0; i < 3; ++i) {
            RemoteParams params{RemoteParam::integer(QStringLiteral("I"), i)};
            const DataPacket rows = client.getRecords(QStringLiteral("dspTempQuery"), sql, params);
            QCOMPARE(rows.rows.size(), 1);
            QCOMPARE(params.value(0).value.toInt(), i);
        }
        QVERIFY(client.isConnected());
    }
    const std::vector<ProviderRequest>& requests = server.finish();
    // One refused try, then every request whole on the same connection.
    QCOMPARE(requests.size(), size_t(4));
    QCOMPARE(requests[0].version, 2);
    for (size_t i = 1; i < requests.size(); ++i) {
        QCOMPARE(requests[i].version, 1);
        QCOMPARE(requests[i].commandText, sql);
        QCOMPARE(requests[i].params.value(0).value.toInt(), int(i - 1));
    }
}

void TestProviderClient::forgottenHandleIsSentAgainWithItsText()
{
    // Knows a handle only until it has been used once by handle: then it
    // "evicts" it, so that every other request by handle finds it unknown.
    std::map<quint32, bool> known;
    ScriptedSession server([&known](const ProviderRequest& request) {
        if (request.handle && request.withText) {
            known[*request.handle] = true;
        } else if (request.handle) {
            if (!known[*request.handle]) {
                ProviderReply unknown = ProviderReply::failure(request.id, QStringLiteral("?"));
                unknown.unknownHandle = true;
                unknown.version = 2;
                return unknown;
            }
            known[*request.handle] = false;
        }
        // Only the output parameter comes back, as to any request by handle.
        ProviderReply reply = servedReply(request);
        reply.params = {RemoteParam::integer(QStringLiteral("K"), qint32(request.id) * 10)};
        reply.params[0].direction = ParamDirection::Output;
        return reply;
    });
    const QString sql = QStringLiteral("EXECUTE PROCEDURE P_NEXT(:I)");
    quint64 sentAfterFirst = 0;
    {
        ProviderClient client;
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(server.port());
        client.setReplyTimeout(10000);
        for (int i = 0; i < 4; ++i) {
            RemoteParams params{RemoteParam::integer(QStringLiteral("I"), i),
                                RemoteParam::null(QStringLiteral("K"))};
            params[1].direction = ParamDirection::Output;
            const DataPacket rows = client.getRecords(QStringLiteral("dspTempQuery"), sql, params);
            QCOMPARE(rows.rows.size(), 1);
            // The inputs stay as they were; the output is the server's.
            QCOMPARE(params.size(), 2);
            QCOMPARE(params[0].value.toInt(), i);
            QCOMPARE(params[1].value.toInt(), rows.rows[0][0].toInt() * 10);
            if (i == 0)
                sentAfterFirst = client.bytesSent();
        }
        QVERIFY(client.bytesSent() > sentAfterFirst);
        QVERIFY(client.bytesReceived() > 0);
    }
    const std::vector<ProviderRequest>& requests = server.finish();
    // text; handle; handle (unknown) + text again; handle.
    QCOMPARE(requests.size(), size_t(5));
    const bool expectText[] = {true, false, false, true, false};
    for (size_t i = 0; i < requests.size(); ++i) {
        QCOMPARE(requests[i].handle, requests[0].handle);
        QCOMPARE(requests[i].withText, expectText[i]);
        QCOMPARE(requests[i].commandText, expectText[i] ? sql : QString());
        QCOMPARE(requests[i].bareValues, !expectText[i]);
    }
    QCOMPARE(requests[3].params.value(0).value.toInt(), 2);
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
