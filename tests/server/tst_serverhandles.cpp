// End-to-end: statement texts registered under handles once per
// connection, against norvalk-serverd on a fresh demo database; through
// ProviderClient and through a raw socket that builds its requests by hand.

#include "common/frame.h"
#include "common/providerclient.h"
#include "common/providerprotocol.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString kTempQuery = QStringLiteral("dspTempQuery");
const QString kUpdate = QStringLiteral("dspUpdate");
const QString kLookUp = QStringLiteral("SELECT ISN, GNOS FROM N_KLPREC WHERE ISN = :ISN");
const QString kInsertGroup = QStringLiteral("INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS)");
const QString kCountGroup = QStringLiteral("SELECT COUNT(*) FROM N_PRGRUP WHERE GNOS = :GNOS");

// A terminal on a socket of its own, sending requests as they are given.
class RawTerminal final
{
public:
    explicit RawTerminal(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        m_socket.waitForConnected(5000);
    }
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

    // The reply's body as it came.
    QByteArray roundTrip(const QByteArray& body)
    {
        m_socket.write(makeFrame(body));
        m_socket.waitForBytesWritten(5000);
        while (parseFrame(m_buffer, kMaxReplyBody).status != FrameParse::Complete) {
            if (!m_socket.waitForReadyRead(10000))
                return QByteArray();
            m_buffer.append(m_socket.readAll());
        }
        const FrameParse frame = parseFrame(m_buffer, kMaxReplyBody);
        const QByteArray reply = frame.body.toByteArray();
        m_buffer.remove(0, frame.frameSize);
        return reply;
    }
    ProviderReply send(const ProviderRequest& request)
    {
        const Decoded<ProviderReply> reply = decodeReply(roundTrip(encodeRequest(request)));
        return reply.value ? *reply.value : ProviderReply::failure(0, reply.error);
    }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

ProviderRequest statement(ProviderOperation operation, const QString& provider, const QString& sql,
                          const RemoteParams& params)
{
    ProviderRequest request;
    request.operation = operation;
    request.provider = provider;
    request.commandText = sql;
    request.params = params;
    return request;
}

// The look-up of goods item 3, registering its text under the handle.
ProviderRequest lookUpRegistered(quint32 handle)
{
    ProviderRequest request = statement(ProviderOperation::GetRecords, kTempQuery, kLookUp,
                                        {RemoteParam::integer(QStringLiteral("ISN"), 3)});
    request.handle = handle;
    return request;
}

// A scanned line's save as the documents write it: one statement with many
// parameters of every kind, named per line slot, a few kilobytes of text.
ProviderRequest lineSave(int line)
{
    ProviderRequest request;
    request.operation = ProviderOperation::GetRecords;
    request.provider = kTempQuery;
    QStringList conditions;
    for (int slot = 1; slot <= 15; ++slot) {
        const QString prefix = QStringLiteral("P%1_").arg(slot);
        conditions
            << QStringLiteral("COALESCE(CAST(:%1ISPRECE AS INTEGER), 0) >= -1000000").arg(prefix)
            << QStringLiteral("COALESCE(CAST(:%1DAUDZUMS AS DOUBLE PRECISION), 0) "
                              ">= -1000000")
                   .arg(prefix)
            << QStringLiteral("COALESCE(CAST(:%1PIEZIME AS VARCHAR(40)), '') <> "
                              "'nekad šāda piezīme'")
                   .arg(prefix);
        request.params << RemoteParam::integer(prefix + QStringLiteral("ISPRECE"),
                                               line * 100 + slot)
                       << RemoteParam::number(prefix + QStringLiteral("DAUDZUMS"), line + 0.25)
                       << (slot % 3 == 0 ? RemoteParam::null(prefix + QStringLiteral("PIEZIME"))
                                         : RemoteParam::text(prefix + QStringLiteral("PIEZIME"),
                                                             QStringLiteral("r%1").arg(line)));
    }
    request.commandText = QStringLiteral("SELECT COUNT(*) N FROM N_ISI WHERE ") +
                          conditions.join(QStringLiteral(" AND ")) +
                          QStringLiteral(" /* %1 */").arg(QString(1200, u'x'));
    return request;
}

} // namespace

class TestServerHandles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void handleRequestsAnswerAsWholeOnes();
    void unknownHandleRunsNothing();
    void badValuesFailOnlyTheirRequest();
    void evictedHandleIsSentAgainAndRunsOnce();
    void scannedLineStaysSmall();
    void handlesOutliveReloadNotRestart();

private:
    void point(ProviderClient& client) const;
    int groupCount(const QString& name);
    QList<quint64> scanLines(ProviderClient& client, int lines);

    TestDatabase m_database;
    TestServer m_server;
};

void TestServerHandles::initTestCase()
{
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    QVERIFY(m_server.start(m_database.path(), {QStringLiteral("--workers"), QStringLiteral("1")}));
}

void TestServerHandles::point(ProviderClient& client) const
{
    client.setHost(QStringLiteral("127.0.0.1"));
    client.setPort(m_server.port());
    client.setReplyTimeout(30000);
}

int TestServerHandles::groupCount(const QString& name)
{
    ProviderClient client;
    point(client);
    RemoteParams params{RemoteParam::text(QStringLiteral("GNOS"), name)};
    return client.getRecords(kTempQuery, kCountGroup, params).rows.value(0).value(0).toInt();
}

void TestServerHandles::handleRequestsAnswerAsWholeOnes()
{
    RemoteParams params{RemoteParam::integer(QStringLiteral("ISN"), 3)};
    RawTerminal whole(m_server.port());
    const ProviderRequest v1 =
        statement(ProviderOperation::GetRecords, kTempQuery, kLookUp, params);
    const QByteArray v1Body = whole.roundTrip(encodeRequest(v1));
    const QCborMap v1Reply = QCborValue::fromCbor(v1Body).toMap();
    // A version-1 request is answered as it always was: version 1, every
    // parameter echoed.
    QCOMPARE(v1Reply.value(QStringLiteral("v")).toInteger(), 1);
    QVERIFY(v1Reply.value(QStringLiteral("ok")).toBool());
    const Decoded<ProviderReply> expected = decodeReply(v1Body);
    QVERIFY2(expected.value, qPrintable(expected.error));
    const RemoteParam* echoed = findParam(expected.value->params, QStringLiteral("ISN"));
    QVERIFY(echoed);
    QCOMPARE(*echoed, params[0]);
    QCOMPARE(expected.value->packet.rows.size(), 1);

    ProviderRequest registration = v1;
    registration.handle = 1;
    RawTerminal terminal(m_server.port());
    const QByteArray registered = terminal.roundTrip(encodeRequest(registration));
    ProviderRequest byHandle = registration;
    byHandle.withText = false;
    byHandle.bareValues = true;
    const QByteArray answered = terminal.roundTrip(encodeRequest(byHandle));
    for (const QByteArray& body : {registered, answered}) {
        const QCborMap map = QCborValue::fromCbor(body).toMap();
        QCOMPARE(map.value(QStringLiteral("v")).toInteger(), 2);
        QVERIFY2(map.value(QStringLiteral("ok")).toBool(),
                 qPrintable(map.value(QStringLiteral("error")).toString()));
        // Only inputs were sent: nothing of them comes back.
        QVERIFY(!map.contains(QStringLiteral("params")));
        const Decoded<ProviderReply> reply = decodeReply(body);
        QVERIFY2(reply.value, qPrintable(reply.error));
        QCOMPARE(reply.value->packet.columns, expected.value->packet.columns);
        QCOMPARE(reply.value->packet.rows, expected.value->packet.rows);
    }
    // Of the parameters, only those the statement may give back come back.
    ProviderRequest withOutput = registration;
    withOutput.handle = 2;
    withOutput.params << RemoteParam::null(QStringLiteral("KOPA"));
    withOutput.params.last().direction = ParamDirection::Output;
    const ProviderReply outputReply = terminal.send(withOutput);
    QVERIFY2(outputReply.ok, qPrintable(outputReply.error));
    QCOMPARE(outputReply.params.size(), 1);
    QCOMPARE(outputReply.params[0].name, QStringLiteral("KOPA"));

    // Another connection does not share the first one's handles.
    RawTerminal other(m_server.port());
    const ProviderReply foreign = other.send(byHandle);
    QVERIFY(!foreign.ok);
    QVERIFY(foreign.unknownHandle);

    // The same through the client, over many requests, and for a write.
    ProviderClient client;
    point(client);
    for (int i = 0; i < 3; ++i) {
        RemoteParams again = params;
        const DataPacket rows = client.getRecords(kTempQuery, kLookUp, again);
        QCOMPARE(rows.rows, expected.value->packet.rows);
        QCOMPARE(again, params);
    }
    const QString name = QStringLiteral("Rokturis %1").arg(QDateTime::currentMSecsSinceEpoch());
    for (int i = 0; i < 2; ++i) {
        RemoteParams insert{RemoteParam::text(QStringLiteral("GNOS"), name + QString::number(i))};
        client.execute(kUpdate, kInsertGroup, insert);
    }
    QCOMPARE(groupCount(name + QStringLiteral("0")), 1);
    QCOMPARE(groupCount(name + QStringLiteral("1")), 1);
}

void TestServerHandles::unknownHandleRunsNothing()
{
    const QString name = QStringLiteral("Nezināms %1").arg(QDateTime::currentMSecsSinceEpoch());
    RawTerminal terminal(m_server.port());
    ProviderRequest insert = statement(ProviderOperation::Execute, kUpdate, kInsertGroup,
                                       {RemoteParam::text(QStringLiteral("GNOS"), name)});
    insert.id = 77;
    insert.handle = 5;
    insert.withText = false; // never registered
    const ProviderReply reply = terminal.send(insert);
    QVERIFY(!reply.ok);
    QVERIFY(reply.unknownHandle);
    QCOMPARE(reply.id, quint32(77));
    QVERIFY(!reply.error.isEmpty());
    // The connection goes on, and the handle can be registered now.
    insert.withText = true;
    QVERIFY(terminal.send(insert).ok);
    QVERIFY(terminal.isConnected());
    QCOMPARE(groupCount(name), 1);
    QVERIFY(!m_server.standardOutput().contains(reply.error));
}

void TestServerHandles::badValuesFailOnlyTheirRequest()
{
    RawTerminal terminal(m_server.port());
    ProviderRequest lookUp = lookUpRegistered(9);
    QVERIFY(terminal.send(lookUp).ok);

    const auto byValues = [&](const QCborArray& values) {
        QCborMap map;
        map[QStringLiteral("v")] = 2;
        map[QStringLiteral("id")] = 11;
        map[QStringLiteral("op")] = QStringLiteral("AS_GetRecords");
        map[QStringLiteral("class")] = QStringLiteral("TServerModuleData");
        map[QStringLiteral("provider")] = kTempQuery;
        map[QStringLiteral("handle")] = 9;
        map[QStringLiteral("values")] = values;
        const Decoded<ProviderReply> reply =
            decodeReply(terminal.roundTrip(map.toCborValue().toCbor()));
        return reply.value ? *reply.value : ProviderReply::failure(0, reply.error);
    };
    const struct
    {
        QCborArray values;
        const char* reason;
    } refused[] = {
        {QCborArray{QStringLiteral("3")}, "integer"},
        {QCborArray{3, 4}, "2 values for 1"},
        {QCborArray{}, "0 values for 1"},
        {QCborArray{2.5}, "integer"},
    };
    for (const auto& bad : refused) {
        const ProviderReply reply = byValues(bad.values);
        QCOMPARE(reply.id, quint32(11));
        QVERIFY(!reply.ok);
        QVERIFY(!reply.unknownHandle);
        QVERIFY2(reply.error.contains(QLatin1String(bad.reason)), qPrintable(reply.error));
    }
    const ProviderReply null = byValues(QCborArray{nullptr});
    QVERIFY2(null.ok, qPrintable(null.error));
    QCOMPARE(null.packet.rows.size(), 0);
    const ProviderReply three = byValues(QCborArray{3});
    QVERIFY2(three.ok, qPrintable(three.error));
    QCOMPARE(three.packet.rows.value(0).value(0).toInt(), 3);
    QVERIFY(terminal.isConnected());
}

void TestServerHandles::evictedHandleIsSentAgainAndRunsOnce()
{
    const QString name = QStringLiteral("Izlikts %1").arg(QDateTime::currentMSecsSinceEpoch());
    ProviderClient client;
    point(client);
    RemoteParams first{RemoteParam::text(QStringLiteral("GNOS"), name + QStringLiteral("a"))};
    client.execute(kUpdate, kInsertGroup, first);
    // More texts than the server keeps for a connection: the insert's goes.
    RemoteParams none;
    for (int i = 0; i < 300; ++i)
        client.getRecords(kTempQuery, QStringLiteral("SELECT %1 FROM N_ISI").arg(i), none);
    const quint64 before = client.bytesSent();
    RemoteParams second{RemoteParam::text(QStringLiteral("GNOS"), name + QStringLiteral("b"))};
    client.execute(kUpdate, kInsertGroup, second);
    // Sent by handle, refused unread, sent again with the text.
    const quint64 resent = client.bytesSent() - before;
    QCOMPARE(groupCount(name + QStringLiteral("a")), 1);
    QCOMPARE(groupCount(name + QStringLiteral("b")), 1);
    // Registered again, it goes by handle from now on.
    const quint64 registeredAgain = client.bytesSent();
    RemoteParams third{RemoteParam::text(QStringLiteral("GNOS"), name + QStringLiteral("c"))};
    client.execute(kUpdate, kInsertGroup, third);
    QVERIFY(client.bytesSent() - registeredAgain + quint64(kInsertGroup.size()) < resent);
    QCOMPARE(groupCount(name + QStringLiteral("c")), 1);
}

// The bytes of each scanned line (look-up and save, both ways), as the
// client's counters see them.
QList<quint64> TestServerHandles::scanLines(ProviderClient& client, int lines)
{
    QList<quint64> bytes;
    for (int line = 1; line <= lines; ++line) {
        const quint64 before = client.bytesSent() + client.bytesReceived();
        RemoteParams lookUp{RemoteParam::integer(QStringLiteral("ISN"), 3)};
        if (client.getRecords(kTempQuery, kLookUp, lookUp).rows.size() != 1)
            return {};
        ProviderRequest save = lineSave(line);
        const DataPacket saved = client.getRecords(kTempQuery, save.commandText, save.params);
        if (saved.rows.value(0).value(0).toInt() != 1)
            return {};
        bytes << client.bytesSent() + client.bytesReceived() - before;
    }
    return bytes;
}

void TestServerHandles::scannedLineStaysSmall()
{
    ProviderClient wholeClient;
    point(wholeClient);
    wholeClient.setStatementHandles(false);
    const QList<quint64> whole = scanLines(wholeClient, 3);
    ProviderClient client;
    point(client);
    const QList<quint64> byHandle = scanLines(client, 50);
    QCOMPARE(whole.size(), 3);
    QCOMPARE(byHandle.size(), 50);
    qInfo("save: %lld characters of text, %lld parameters; a scanned line both ways: whole %llu "
          "bytes; by handle line 1 %llu, line 2 %llu, line 50 %llu",
          qint64(lineSave(1).commandText.size()), qint64(lineSave(1).params.size()), whole[1],
          byHandle.first(), byHandle[1], byHandle.last());
    // Whole requests carry the text every time.
    QVERIFY(whole[1] > quint64(lineSave(1).commandText.size()));
    QVERIFY(byHandle.first() > whole[1] / 2); // the texts go once
    for (qsizetype line = 1; line < byHandle.size(); ++line) {
        QVERIFY2(byHandle[line] <= 2048, qPrintable(QString::number(byHandle[line])));
        // Nothing grows with the lines: only the values' own widths differ.
        QVERIFY(qAbs(qint64(byHandle[line]) - qint64(byHandle[1])) < 64);
    }
}

void TestServerHandles::handlesOutliveReloadNotRestart()
{
    RawTerminal terminal(m_server.port());
    ProviderRequest lookUp = lookUpRegistered(21);
    QVERIFY(terminal.send(lookUp).ok);
    // Prepared statements are dropped on a reload; the texts of a connection are not.
    QVERIFY(m_server.reload());
    QTRY_VERIFY(m_server.standardOutput().contains(
        QStringLiteral("Iestatījumi tiek pārlasīti; vaicājumi tiks sagatavoti no jauna")));
    lookUp.withText = false;
    lookUp.bareValues = true;
    const ProviderReply afterReload = terminal.send(lookUp);
    QVERIFY2(afterReload.ok, qPrintable(afterReload.error));
    QCOMPARE(afterReload.packet.rows.size(), 1);

    // A restarted server knows no handle: the client, finding its connection
    // closed, opens a new one and registers its texts again; the insert runs once.
    const QString name = QStringLiteral("Restarts %1").arg(QDateTime::currentMSecsSinceEpoch());
    ProviderClient client;
    point(client);
    RemoteParams first{RemoteParam::text(QStringLiteral("GNOS"), name + QStringLiteral("a"))};
    client.execute(kUpdate, kInsertGroup, first);
    const quint16 port = m_server.port();
    QCOMPARE(m_server.stop(), 0);
    QVERIFY(m_server.start(m_database.path(), {QStringLiteral("--workers"), QStringLiteral("1")},
                           port));
    RemoteParams second{RemoteParam::text(QStringLiteral("GNOS"), name + QStringLiteral("b"))};
    client.execute(kUpdate, kInsertGroup, second);
    QCOMPARE(groupCount(name + QStringLiteral("a")), 1);
    QCOMPARE(groupCount(name + QStringLiteral("b")), 1);
}

QTEST_GUILESS_MAIN(TestServerHandles)
#include "tst_serverhandles.moc"
