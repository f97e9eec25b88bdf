// End-to-end: NorvalkServer headless on a fresh demo database, driven
// through ProviderClient and through raw sockets sending bad frames.

#include "common/frame.h"
#include "common/providerclient.h"
#include "common/providerprotocol.h"
#include "tests/support/testdatabase.h"
#include "tests/support/testserver.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTest>

#include <thread>

class TestServerProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void emptyResultKeepsColumns();
    void sumOverNoRowsIsNull();
    void dateTimeParameterAgainstDateColumn();
    void twoCommandTextsOnOneProvider();
    void designSqlOfProviders();
    void insertReturningGivesOwnKey();
    void executedStatementIsVisibleToOtherSessions();
    void sqlErrorTextReachesClient();
    void otherOperations();
    void badFramesWhileAnotherClientWorks_data();
    void badFramesWhileAnotherClientWorks();
    void requestsThatFollowEachOther_data();
    void requestsThatFollowEachOther();
    void clientVanishingMidRequestLosesNothing();
    void concurrentClientsEachGetTheirOwnKeys();
    void connectAndDisconnectAreLogged();

private:
    ProviderClient& client();
    DataPacket select(const QString& sql, RemoteParams params = {});
    static QByteArray roundTripRaw(QTcpSocket& socket, const QByteArray& bytes);

    TestDatabase m_database;
    TestServer m_server;
    ProviderClient m_client;
};

void TestServerProtocol::initTestCase()
{
    QVERIFY2(m_database.isValid(), qPrintable(m_database.error()));
    QVERIFY(m_server.start(m_database.path(), {QStringLiteral("--stall-timeout"), "1500"}));
    m_client.setHost(QStringLiteral("127.0.0.1"));
    m_client.setPort(m_server.port());
}

ProviderClient& TestServerProtocol::client()
{
    return m_client;
}

DataPacket TestServerProtocol::select(const QString& sql, RemoteParams params)
{
    return m_client.getRecords(QStringLiteral("dspTempQuery"), sql, params);
}

QByteArray TestServerProtocol::roundTripRaw(QTcpSocket& socket, const QByteArray& bytes)
{
    if (!bytes.isEmpty()) {
        socket.write(bytes);
        socket.waitForBytesWritten(2000);
    }
    QByteArray buffer;
    while (parseFrame(buffer, kMaxReplyBody).status != FrameParse::Complete) {
        if (!socket.waitForReadyRead(5000))
            break;
        buffer.append(socket.readAll());
    }
    const FrameParse frame = parseFrame(buffer, kMaxReplyBody);
    return frame.status == FrameParse::Complete ? frame.body.toByteArray() : QByteArray();
}

void TestServerProtocol::emptyResultKeepsColumns()
{
    const DataPacket packet =
        select(QStringLiteral("SELECT ISN, GNOS FROM N_KLPREC WHERE ISN < 0"));
    QCOMPARE(packet.rows.size(), 0);
    QCOMPARE(packet.columns.size(), 2);
    QCOMPARE(packet.columns[0].name, QStringLiteral("ISN"));
    QCOMPARE(packet.columns[1].type, FieldType::Text);
}

void TestServerProtocol::sumOverNoRowsIsNull()
{
    RemoteParams params{RemoteParam::integer(QStringLiteral("ISPRECE"), -1),
                        RemoteParam::integer(QStringLiteral("ISNODALA"), -1),
                        RemoteParam::text(QStringLiteral("NELEGALIZ"), QStringLiteral("F"))};
    // The provider's own SQL: SUM(ATLIKUMS) of one goods item in one department.
    const DataPacket packet =
        client().getRecords(QStringLiteral("dspO_TEKATLIK"), QString(), params);
    QCOMPARE(packet.rows.size(), 1);
    QVERIFY(!packet.rows[0][0].isValid());
}

void TestServerProtocol::dateTimeParameterAgainstDateColumn()
{
    RemoteParams params{
        RemoteParam::dateTime(QStringLiteral("D"), QDateTime(QDate(1900, 1, 2), QTime(0, 0)))};
    const DataPacket packet =
        select(QStringLiteral("SELECT COUNT(*) N FROM O_PAVADZ WHERE DAT_SANEM >= :D"), params);
    QVERIFY(packet.rows.value(0).value(0).toInt() > 0);

    params = {
        RemoteParam::dateTime(QStringLiteral("D"), QDateTime(QDate(3000, 1, 1), QTime(0, 0)))};
    const DataPacket none =
        select(QStringLiteral("SELECT COUNT(*) N FROM O_PAVADZ WHERE DAT_SANEM >= :D"), params);
    QCOMPARE(none.rows.value(0).value(0).toInt(), 0);
}

void TestServerProtocol::twoCommandTextsOnOneProvider()
{
    const DataPacket goods = select(QStringLiteral("SELECT FIRST 1 GNOS FROM N_KLPREC"));
    const DataPacket departments =
        select(QStringLiteral("SELECT COUNT(*) C, MAX(CENKODS) K FROM N_DEPART"));
    QCOMPARE(goods.columns.value(0).name, QStringLiteral("GNOS"));
    QCOMPARE(departments.columns.size(), 2);
    QCOMPARE(departments.columns[1].name, QStringLiteral("K"));
}

void TestServerProtocol::designSqlOfProviders()
{
    RemoteParams none;
    const DataPacket departments =
        client().getRecords(QStringLiteral("dspN_DEPART"), QString(), none);
    QCOMPARE(departments.columns.value(1).name, QStringLiteral("NODALA"));
    QVERIFY(!departments.rows.isEmpty());
    QStringList names;
    for (const QVariantList& row : departments.rows) {
        QVERIFY(row[0].toInt() > 1);
        names.append(row[1].toString());
    }
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(names, sorted);
    const DataPacket flagged =
        select(QStringLiteral("SELECT COUNT(*) FROM N_DEPART WHERE ISN > 1 AND FLAG_3D = 'T'"));
    const DataPacket all = select(QStringLiteral("SELECT COUNT(*) FROM N_DEPART WHERE ISN > 1"));
    QVERIFY(flagged.rows[0][0].toInt() > 0);
    QCOMPARE(departments.rows.size(), all.rows[0][0].toInt() - flagged.rows[0][0].toInt());

    RemoteParams promotion{RemoteParam::integer(QStringLiteral("ISNODALA"), -5),
                           RemoteParam::integer(QStringLiteral("ISPRECE"), -5)};
    const DataPacket nothing =
        client().getRecords(QStringLiteral("dspAkcijas"), QString(), promotion);
    QCOMPARE(nothing.rows.size(), 0);
    QCOMPARE(nothing.columns.size(), 3);
    QCOMPARE(nothing.columns[2].name, QStringLiteral("CENA_UZ"));

    const DataPacket anyPromotion =
        select(QStringLiteral("SELECT FIRST 1 V.ISNODALA, R.ISPRECE FROM O_PARCPV V, O_PARCPR R "
                              "WHERE V.ISN = R.ISPARCPV AND V.PZ_VEIDS = 1"));
    QVERIFY(!anyPromotion.rows.isEmpty());
    promotion = {RemoteParam::integer(QStringLiteral("ISNODALA"), anyPromotion.rows[0][0].toInt()),
                 RemoteParam::integer(QStringLiteral("ISPRECE"), anyPromotion.rows[0][1].toInt())};
    const DataPacket found =
        client().getRecords(QStringLiteral("dspAkcijas"), QString(), promotion);
    QVERIFY(!found.rows.isEmpty());
    for (qsizetype i = 1; i < found.rows.size(); ++i)
        QVERIFY(found.rows[i - 1][1].toDate() >= found.rows[i][1].toDate());
}

void TestServerProtocol::insertReturningGivesOwnKey()
{
    RemoteParams params{RemoteParam::text(QStringLiteral("NUMURS"), QStringLiteral("R-1")),
                        RemoteParam::integer(QStringLiteral("ISNODALA"), 2)};
    const DataPacket inserted = client().getRecords(
        QStringLiteral("dspUpdate"),
        QStringLiteral("INSERT INTO O_PRATL_PAV (NR_PAVADZ, ISNODALA, DATUMS, NEAPSTIPR) "
                       "VALUES (:NUMURS, :ISNODALA, CURRENT_DATE, 'F') RETURNING ISN"),
        params);
    QCOMPARE(inserted.rows.size(), 1);
    const qint64 key = inserted.rows[0][0].toLongLong();
    const DataPacket generator =
        select(QStringLiteral("SELECT GEN_ID(O_PRATL_PAVGEN,0) ISN FROM N_ISI"));
    QCOMPARE(generator.rows[0][0].toLongLong(), key);
    const DataPacket row =
        select(QStringLiteral("SELECT NR_PAVADZ FROM O_PRATL_PAV WHERE ISN = %1").arg(key));
    QCOMPARE(row.rows.value(0).value(0).toString(), QStringLiteral("R-1"));
}

void TestServerProtocol::executedStatementIsVisibleToOtherSessions()
{
    ProviderClient other;
    other.setHost(QStringLiteral("127.0.0.1"));
    other.setPort(m_server.port());
    RemoteParams params{
        RemoteParam::text(QStringLiteral("GNOS"), QStringLiteral("Grupa āčēģīķļņšūž"))};
    const QString count = QStringLiteral("SELECT COUNT(*) FROM N_PRGRUP WHERE GNOS = :GNOS");
    QCOMPARE(other.getRecords(QStringLiteral("dspTempQuery"), count, params).rows[0][0].toInt(), 0);
    client().execute(QStringLiteral("dspUpdate"),
                     QStringLiteral("INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS)"), params);
    QCOMPARE(other.getRecords(QStringLiteral("dspTempQuery"), count, params).rows[0][0].toInt(), 1);
    const DataPacket back =
        other.getRecords(QStringLiteral("dspTempQuery"),
                         QStringLiteral("SELECT GNOS FROM N_PRGRUP WHERE GNOS = :GNOS"), params);
    QCOMPARE(back.rows[0][0].toString(), QStringLiteral("Grupa āčēģīķļņšūž"));
}

void TestServerProtocol::sqlErrorTextReachesClient()
{
    try {
        select(QStringLiteral("SELECT NO_SUCH_COLUMN FROM N_KLPREC"));
        QFAIL("the statement should have failed");
    } catch (const RemoteError& error) {
        QCOMPARE(error.kind(), RemoteError::Kind::Server);
        QVERIFY2(error.message().contains(QLatin1String("NO_SUCH_COLUMN")),
                 qPrintable(error.message()));
    }
    // The session goes on.
    QCOMPARE(select(QStringLiteral("SELECT 1 FROM N_ISI")).rows.size(), 1);

    try {
        RemoteParams none;
        client().getRecords(QStringLiteral("dspNoSuchProvider"), QString(), none);
        QFAIL("an unknown provider should fail");
    } catch (const RemoteError& error) {
        QVERIFY(error.message().contains(QLatin1String("dspNoSuchProvider")));
    }
}

void TestServerProtocol::otherOperations()
{
    QCOMPARE(client().getProviderNames().size(), 11);
    const RemoteParams params = client().getParams(QStringLiteral("dspAkcijas"));
    QCOMPARE(params.size(), 2);
    QCOMPARE(params[0].name, QStringLiteral("ISNODALA"));

    DataPacket delta;
    delta.columns = {{QStringLiteral("ISN"), FieldType::Integer, 4}};
    delta.rows = {{1}, {2}};
    qint32 errors = 0;
    const DataPacket failed = client().applyUpdates(QStringLiteral("dspUpdate"), delta, -1, errors);
    QCOMPARE(errors, 2);
    QCOMPARE(failed.rows.size(), 2);
    QVERIFY(!failed.rows[0].last().toString().isEmpty());

    DataPacket empty;
    QCOMPARE(client().applyUpdates(QStringLiteral("dspUpdate"), empty, -1, errors).rows.size(), 0);
    QCOMPARE(errors, 0);
    client().rowRequest(QStringLiteral("dspUpdate"), empty, 0);
    QVERIFY(client().dataRequest(QStringLiteral("dspUpdate"), QCborValue(1)).isNull());
}

void TestServerProtocol::badFramesWhileAnotherClientWorks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("expectsClose");

    ProviderRequest request;
    request.provider = QStringLiteral("dspTempQuery");
    request.commandText = QStringLiteral("SELECT 1 FROM N_ISI");
    const QByteArray good = makeFrame(encodeRequest(request));
    QByteArray unknownOperation = encodeRequest(request);
    unknownOperation.replace("AS_GetRecords", "AS_GetRekords");
    // Owner data of 100,000 tags, one inside the other, around the number 1.
    ProviderRequest names;
    names.operation = ProviderOperation::GetProviderNames;
    QByteArray deepOwner = encodeRequest(names);
    deepOwner[0] = char(deepOwner[0] + 1); // the map has one entry more
    deepOwner += QCborValue(QStringLiteral("owner")).toCbor() + QByteArray(100000, '\xc6') + '\x01';

    // Every bad frame gets a failed reply; the ones the stream cannot recover
    // from also end the connection.
    QTest::newRow("garbage body") << makeFrame("not cbor at all") << false;
    QTest::newRow("unknown operation") << makeFrame(unknownOperation) << false;
    QTest::newRow("owner nested 100,000 deep") << makeFrame(deepOwner) << false;
    QTest::newRow("oversized header") << QByteArray("\x7f\xff\xff\xff", 4) << true;
    QTest::newRow("half a frame, then silence") << good.left(good.size() / 2) << true;
}

void TestServerProtocol::badFramesWhileAnotherClientWorks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, expectsClose);

    QTcpSocket rogue;
    rogue.connectToHost(QStringLiteral("127.0.0.1"), m_server.port());
    QVERIFY(rogue.waitForConnected(3000));
    rogue.write(bytes);
    // The well-behaved terminal is served while the rogue one waits.
    QCOMPARE(select(QStringLiteral("SELECT 1 FROM N_ISI")).rows.size(), 1);

    const QByteArray replyBody = roundTripRaw(rogue, QByteArray());
    const Decoded<ProviderReply> reply = decodeReply(replyBody);
    QVERIFY2(reply.value, qPrintable(reply.error));
    QVERIFY(!reply.value->ok);
    QVERIFY(!reply.value->error.isEmpty());
    if (expectsClose) {
        QTRY_VERIFY_WITH_TIMEOUT(
            (rogue.waitForReadyRead(50), rogue.state() != QAbstractSocket::ConnectedState), 5000);
    } else {
        QCOMPARE(rogue.state(), QAbstractSocket::ConnectedState);
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_server.standardOutput().contains(QStringLiteral("Kļūda :")), 5000);
}

void TestServerProtocol::requestsThatFollowEachOther_data()
{
    QTest::addColumn<int>("firstPart"); // bytes of the second request sent with the first
    QTest::newRow("both in one write") << -1;
    QTest::newRow("the second's header with the first") << 3;
    QTest::newRow("the second only after the first reply") << 0;
}

// A session waits for the next request as soon as it has answered one; what
// came meanwhile, whole or in part, must still be served, in order.
void TestServerProtocol::requestsThatFollowEachOther()
{
    QFETCH(int, firstPart);
    QList<QByteArray> frames;
    for (quint32 id : {7u, 8u}) {
        ProviderRequest request;
        request.id = id;
        request.operation = ProviderOperation::GetRecords;
        request.serverClass = QString::fromLatin1(kServerClassName);
        request.provider = QStringLiteral("dspTempQuery");
        request.commandText = QStringLiteral("SELECT %1 FROM N_ISI").arg(id);
        frames.append(makeFrame(encodeRequest(request)));
    }
    const qsizetype split = firstPart < 0 ? frames[1].size() : firstPart;

    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_server.port());
    QVERIFY(socket.waitForConnected(3000));
    QByteArray received;
    const auto nextReply = [&]() -> Decoded<ProviderReply> {
        while (parseFrame(received, kMaxReplyBody).status != FrameParse::Complete &&
               socket.waitForReadyRead(5000))
            received.append(socket.readAll());
        const FrameParse frame = parseFrame(received, kMaxReplyBody);
        if (frame.status != FrameParse::Complete)
            return {std::nullopt, QStringLiteral("no reply")};
        const QByteArray body = frame.body.toByteArray();
        received.remove(0, frame.frameSize);
        return decodeReply(body);
    };

    socket.write(frames[0] + frames[1].left(split));
    QVERIFY(socket.waitForBytesWritten(2000));
    const Decoded<ProviderReply> first = nextReply();
    QVERIFY2(first.value, qPrintable(first.error));
    QCOMPARE(first.value->id, 7u);
    QVERIFY2(first.value->ok, qPrintable(first.value->error));
    QCOMPARE(first.value->recordsReturned, 1);

    if (split < frames[1].size()) {
        socket.write(frames[1].mid(split));
        QVERIFY(socket.waitForBytesWritten(2000));
    }
    const Decoded<ProviderReply> second = nextReply();
    QVERIFY2(second.value, qPrintable(second.error));
    QCOMPARE(second.value->id, 8u);
    QVERIFY2(second.value->ok, qPrintable(second.value->error));
    QCOMPARE(second.value->recordsReturned, 1);
    QVERIFY(received.isEmpty());
}

void TestServerProtocol::clientVanishingMidRequestLosesNothing()
{
    const QString marker = QStringLiteral("Pazudušais %1").arg(QDateTime::currentMSecsSinceEpoch());
    ProviderRequest request;
    request.operation = ProviderOperation::Execute;
    request.provider = QStringLiteral("dspUpdate");
    request.commandText = QStringLiteral("INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS)");
    request.params = {RemoteParam::text(QStringLiteral("GNOS"), marker)};
    quint16 vanishedPort = 0;
    {
        QTcpSocket vanishing;
        vanishing.connectToHost(QStringLiteral("127.0.0.1"), m_server.port());
        QVERIFY(vanishing.waitForConnected(3000));
        vanishedPort = vanishing.localPort();
        vanishing.write(makeFrame(encodeRequest(request)));
        vanishing.waitForBytesWritten(2000);
        vanishing.abort();
    }
    // The whole request was received, so it runs; only a statement still
    // running when the server notices the terminal gone (a slow machine) is
    // cancelled, and then it leaves nothing behind.
    const QString cancelled = QStringLiteral("127.0.0.1:%1 atvienojās; tā pieprasījuma izpilde "
                                             "tika pārtraukta")
                                  .arg(vanishedPort);
    RemoteParams params{RemoteParam::text(QStringLiteral("GNOS"), marker)};
    const auto stored = [&] {
        return select(QStringLiteral("SELECT COUNT(*) FROM N_PRGRUP WHERE GNOS = :GNOS"), params)
            .rows[0][0]
            .toInt();
    };
    // The log folds a long line where it likes.
    const auto wasCancelled = [&] {
        return m_server.standardOutput().remove(u'\n').contains(cancelled);
    };
    QTRY_VERIFY_WITH_TIMEOUT(stored() == 1 || wasCancelled(), 5000);
    QCOMPARE(stored(), wasCancelled() ? 0 : 1);
}

void TestServerProtocol::concurrentClientsEachGetTheirOwnKeys()
{
    constexpr int kClients = 8;
    constexpr int kInsertsEach = 25;
    std::vector<std::thread> threads;
    std::vector<QList<qint64>> keys(kClients);
    std::vector<QString> failures(kClients);
    const quint16 port = m_server.port();
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&, c] {
            try {
                ProviderClient terminal;
                terminal.setHost(QStringLiteral("127.0.0.1"));
                terminal.setPort(port);
                for (int i = 0; i < kInsertsEach; ++i) {
                    RemoteParams params{RemoteParam::text(QStringLiteral("GNOS"),
                                                          QStringLiteral("T%1-%2").arg(c).arg(i))};
                    const DataPacket row = terminal.getRecords(
                        QStringLiteral("dspUpdate"),
                        QStringLiteral(
                            "INSERT INTO N_PRGRUP (GNOS) VALUES (:GNOS) RETURNING ISN, GNOS"),
                        params);
                    if (row.rows.value(0).value(1).toString() !=
                        QStringLiteral("T%1-%2").arg(c).arg(i))
                        throw std::runtime_error("RETURNING gave another row");
                    keys[c].append(row.rows[0][0].toLongLong());
                }
            } catch (const std::exception& error) {
                failures[c] = QString::fromUtf8(error.what());
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QSet<qint64> all;
    for (int c = 0; c < kClients; ++c) {
        QVERIFY2(failures[c].isEmpty(), qPrintable(failures[c]));
        QCOMPARE(keys[c].size(), kInsertsEach);
        for (qint64 key : keys[c])
            all.insert(key);
    }
    QCOMPARE(all.size(), kClients * kInsertsEach);
}

void TestServerProtocol::connectAndDisconnectAreLogged()
{
    {
        ProviderClient visitor;
        visitor.setHost(QStringLiteral("127.0.0.1"));
        visitor.setPort(m_server.port());
        visitor.connectToServer();
        QTRY_VERIFY_WITH_TIMEOUT(
            m_server.standardOutput().contains(QStringLiteral("Pievienojies. Savienojumu skaits:")),
            5000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        m_server.standardOutput().contains(QStringLiteral("Atvienojies. Savienojumu skaits:")),
        5000);
}

QTEST_GUILESS_MAIN(TestServerProtocol)
#include "tst_serverprotocol.moc"
