#include "common/frame.h"
#include "common/providerprotocol.h"

#include <QCborArray>
#include <QCborMap>
#include <QDateTime>
#include <QTest>
#include <QtEndian>

class TestProviderProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requestRoundTrip();
    void replyRoundTrip();
    void handleRequests();
    void valuesAgainstRegisteredList_data();
    void valuesAgainstRegisteredList();
    void refusesMalformedRequests_data();
    void refusesMalformedRequests();
    void ownerDataWithinLimits_data();
    void ownerDataWithinLimits();
    void repliesStayReadableWhateverTheyEcho_data();
    void repliesStayReadableWhateverTheyEcho();
    void frames_data();
    void frames();
    void framesFedByteByByte();
    void receiveBufferFollowsTheBytes_data();
    void receiveBufferFollowsTheBytes();
};

void TestProviderProtocol::requestRoundTrip()
{
    ProviderRequest request;
    request.id = 4000000000u;
    request.operation = ProviderOperation::GetRecords;
    request.provider = QStringLiteral("dspTempQuery");
    request.commandText = QStringLiteral("SELECT GNOS FROM N_KLPREC WHERE GNOS=:G AND ISN=:I");
    request.params = {RemoteParam::text(QStringLiteral("G"), QStringLiteral("āčēģīķļņšūž'")),
                      RemoteParam::integer(QStringLiteral("I"), -2147483647 - 1),
                      RemoteParam::number(QStringLiteral("D"), 1.5),
                      RemoteParam::dateTime(QStringLiteral("T"),
                                            QDateTime(QDate(2026, 12, 8), QTime(13, 5, 7, 250))),
                      RemoteParam::null(QStringLiteral("N"))};
    request.params[0].direction = ParamDirection::InputOutput;

    const Decoded<ProviderRequest> decoded = decodeRequest(encodeRequest(request));
    QVERIFY2(decoded.value, qPrintable(decoded.error));
    QCOMPARE(decoded.value->id, request.id);
    QCOMPARE(decoded.value->provider, request.provider);
    QCOMPARE(decoded.value->commandText, request.commandText);
    QCOMPARE(decoded.value->params, request.params);
    QCOMPARE(decoded.value->serverClass, QStringLiteral("TServerModuleData"));
}

void TestProviderProtocol::replyRoundTrip()
{
    ProviderReply reply;
    reply.id = 7;
    reply.packet.columns = {{QStringLiteral("ISN"), FieldType::Integer, 4},
                            {QStringLiteral("GEN"), FieldType::BigInt, 8},
                            {QStringLiteral("CENA"), FieldType::Double, 8},
                            {QStringLiteral("GNOS"), FieldType::Text, 100},
                            {QStringLiteral("DATUMS"), FieldType::Date, 4},
                            {QStringLiteral("IEVDAT"), FieldType::DateTime, 8},
                            {QStringLiteral("LAIKS"), FieldType::Time, 4},
                            {QStringLiteral("DATI"), FieldType::Blob, 8},
                            {QStringLiteral("IR"), FieldType::Boolean, 1}};
    reply.packet.rows = {{1, qint64(1) << 40, 12.35, QStringLiteral("Piens 2,5%"),
                          QDate(2026, 1, 31), QDateTime(QDate(2026, 1, 31), QTime(23, 59, 59, 999)),
                          QTime(8, 0), QByteArray("\0\1", 2), true},
                         {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                          QVariant(), QVariant(), QVariant()}};
    reply.recordsReturned = 2;
    reply.providerNames = {QStringLiteral("dspTempQuery")};

    const Decoded<ProviderReply> decoded = decodeReply(encodeReply(reply));
    QVERIFY2(decoded.value, qPrintable(decoded.error));
    QCOMPARE(decoded.value->packet, reply.packet);
    QCOMPARE(decoded.value->recordsReturned, 2);
    QCOMPARE(decoded.value->providerNames, reply.providerNames);

    const Decoded<ProviderReply> failed =
        decodeReply(encodeReply(ProviderReply::failure(9, QStringLiteral("Kļūda ā"))));
    QVERIFY(failed.value);
    QVERIFY(!failed.value->ok);
    QCOMPARE(failed.value->error, QStringLiteral("Kļūda ā"));
}

namespace {

QByteArray requestWith(const std::function<void(QCborMap&)>& change)
{
    ProviderRequest request;
    request.provider = QStringLiteral("dspTempQuery");
    request.params = {RemoteParam::integer(QStringLiteral("I"), 1)};
    QCborMap map = QCborValue::fromCbor(encodeRequest(request)).toMap();
    change(map);
    return map.toCborValue().toCbor();
}

// A request whose owner data is these bytes, as a terminal may send them.
QByteArray requestWithOwner(const QByteArray& owner)
{
    ProviderRequest request;
    request.operation = ProviderOperation::GetParams;
    request.provider = QStringLiteral("dspAkcijas");
    request.ownerData = QStringLiteral("@owner@");
    QByteArray body = encodeRequest(request);
    const QByteArray placeholder = QCborValue(QStringLiteral("@owner@")).toCbor();
    return body.replace(placeholder, owner);
}

// depth containers of that head (tag 100 or a one-item array), one inside
// the other, around the integer 1.
QByteArray nested(char head, int depth)
{
    QByteArray bytes;
    for (int i = 0; i < depth; ++i) {
        bytes.append(head);
        if (head == '\xd8')
            bytes.append(char(100));
    }
    return bytes + '\x01';
}

} // namespace

void TestProviderProtocol::ownerDataWithinLimits_data()
{
    QTest::addColumn<QByteArray>("owner");
    QTest::addColumn<QString>("refusal"); // empty: taken, and echoed as sent

    const char tag = '\xd8';
    const char array = '\x81';
    QTest::newRow("a map") << QCborValue(QCborMap{{1, QStringLiteral("ā")}}).toCbor() << QString();
    // The request's own map is the first level.
    QTest::newRow("63 tags deep") << nested(tag, 63) << QString();
    QTest::newRow("63 arrays deep") << nested(array, 63) << QString();
    QTest::newRow("64 tags deep") << nested(tag, 64) << "more than 64 deep";
    QTest::newRow("100,000 tags deep") << nested(tag, 100000) << "more than 64 deep";
    QTest::newRow("100,000 arrays deep") << nested(array, 100000) << "more than 64 deep";
    QTest::newRow("malformed simple value") << QByteArray("\xf8\x10", 2) << "owner is not readable";
    QTest::newRow("text not UTF-8") << QByteArray("\x62\xc3\x28", 3) << "owner is not readable";
}

void TestProviderProtocol::ownerDataWithinLimits()
{
    QFETCH(QByteArray, owner);
    QFETCH(QString, refusal);
    const Decoded<ProviderRequest> request = decodeRequest(requestWithOwner(owner));
    if (!refusal.isEmpty()) {
        QVERIFY(!request.value);
        QVERIFY2(request.error.contains(refusal), qPrintable(request.error));
        return;
    }
    QVERIFY2(request.value, qPrintable(request.error));
    ProviderReply reply;
    reply.id = 3;
    reply.ownerData = request.value->ownerData;
    const Decoded<ProviderReply> decoded = decodeReply(encodeReply(reply));
    QVERIFY2(decoded.value, qPrintable(decoded.error));
    QVERIFY(decoded.value->ok);
    QCOMPARE(decoded.value->ownerData.toCbor(), owner);
}

void TestProviderProtocol::repliesStayReadableWhateverTheyEcho_data()
{
    // Values Qt made of bytes it could not read whole (written as they are,
    // they are not one CBOR item), and one beyond the nesting limit.
    QTest::addColumn<QCborValue>("value");
    QTest::newRow("100,000 tags") << QCborValue::fromCbor(nested('\xd8', 100000));
    QTest::newRow("2,000 arrays") << QCborValue::fromCbor(nested('\x81', 2000));
    QTest::newRow("malformed simple value") << QCborValue::fromCbor(QByteArray("\xf8\x10", 2));
    // Sound, but one level too deep once inside the reply's map.
    QTest::newRow("64 arrays") << QCborValue::fromCbor(nested('\x81', 64));
}

void TestProviderProtocol::repliesStayReadableWhateverTheyEcho()
{
    QFETCH(QCborValue, value);
    for (const bool asOwner : {true, false}) {
        ProviderReply reply;
        reply.id = 5;
        (asOwner ? reply.ownerData : reply.data) = value;
        const Decoded<ProviderReply> decoded = decodeReply(encodeReply(reply));
        QVERIFY2(decoded.value, qPrintable(decoded.error));
        QCOMPARE(decoded.value->id, quint32(5));
        QVERIFY(!decoded.value->ok);
    }
}

void TestProviderProtocol::handleRequests()
{
    ProviderRequest request;
    request.operation = ProviderOperation::Execute;
    request.provider = QStringLiteral("dspUpdate");
    request.commandText = QStringLiteral("UPDATE N_KLPREC SET GNOS = :G WHERE ISN = :I");
    request.params = {RemoteParam::text(QStringLiteral("G"), QStringLiteral("Piens")),
                      RemoteParam::integer(QStringLiteral("I"), 12)};

    // Without a handle a request is version 1, as it always was.
    const QByteArray whole = encodeRequest(request);
    QCOMPARE(QCborValue::fromCbor(whole).toMap().value(QStringLiteral("v")).toInteger(), 1);
    QVERIFY(!QCborValue::fromCbor(whole).toMap().contains(QStringLiteral("handle")));

    request.handle = 42;
    const Decoded<ProviderRequest> registration = decodeRequest(encodeRequest(request));
    QVERIFY2(registration.value, qPrintable(registration.error));
    QCOMPARE(registration.value->version, 2);
    QCOMPARE(registration.value->handle, std::optional<quint32>(42));
    QVERIFY(registration.value->withText);
    QVERIFY(!registration.value->bareValues);
    QCOMPARE(registration.value->commandText, request.commandText);
    QCOMPARE(registration.value->params, request.params);

    request.withText = false;
    request.bareValues = true;
    const QByteArray compact = encodeRequest(request);
    const QCborMap compactMap = QCborValue::fromCbor(compact).toMap();
    QVERIFY(!compactMap.contains(QStringLiteral("sql")));
    QVERIFY(!compactMap.contains(QStringLiteral("params")));
    QVERIFY(compact.size() < whole.size() - request.commandText.size());
    const Decoded<ProviderRequest> byHandle = decodeRequest(compact);
    QVERIFY2(byHandle.value, qPrintable(byHandle.error));
    QVERIFY(!byHandle.value->withText);
    QVERIFY(byHandle.value->bareValues);
    QVERIFY(byHandle.value->commandText.isEmpty());
    QString error;
    const std::optional<RemoteParams> rebuilt =
        paramsFromValues(registration.value->params, byHandle.value->values, &error);
    QVERIFY2(rebuilt, qPrintable(error));
    QCOMPARE(*rebuilt, request.params);

    // A version-1 message passes over the keys it never had, as a server of
    // that version did: it runs its text with its parameters.
    QCborMap old = QCborValue::fromCbor(whole).toMap();
    old[QStringLiteral("handle")] = 42;
    old[QStringLiteral("values")] = QCborArray{1};
    const Decoded<ProviderRequest> oldDecoded = decodeRequest(old.toCborValue().toCbor());
    QVERIFY2(oldDecoded.value, qPrintable(oldDecoded.error));
    QCOMPARE(oldDecoded.value->version, 1);
    QVERIFY(!oldDecoded.value->handle);
    QVERIFY(!oldDecoded.value->bareValues);
    QCOMPARE(oldDecoded.value->params, request.params);

    // The unknown-handle marker travels on a failed reply, with the version.
    ProviderReply unknown = ProviderReply::failure(9, QStringLiteral("nepazīst"));
    unknown.unknownHandle = true;
    unknown.version = 2;
    const Decoded<ProviderReply> unknownBack = decodeReply(encodeReply(unknown));
    QVERIFY2(unknownBack.value, qPrintable(unknownBack.error));
    QVERIFY(!unknownBack.value->ok);
    QVERIFY(unknownBack.value->unknownHandle);
    QCOMPARE(unknownBack.value->version, 2);
    const Decoded<ProviderReply> plainFailure =
        decodeReply(encodeReply(ProviderReply::failure(9, QStringLiteral("x"))));
    QVERIFY(plainFailure.value && !plainFailure.value->unknownHandle);
    QCOMPARE(plainFailure.value->version, 1);
}

void TestProviderProtocol::valuesAgainstRegisteredList_data()
{
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QString>("refusal"); // empty: taken
    const QString when = QStringLiteral("2026-12-09T10:15:00.500");
    const auto values = [](const QCborArray& array) { return array.toCborValue().toCbor(); };
    QTest::newRow("one of each") << values({7, QStringLiteral("x"), 2.5, when, nullptr})
                                 << QString();
    QTest::newRow("null for every type")
        << values({nullptr, nullptr, nullptr, nullptr, nullptr}) << QString();
    QTest::newRow("integer for a double")
        << values({7, QStringLiteral("x"), 3, when, nullptr}) << QString();
    QTest::newRow("too few") << values({7, QStringLiteral("x"), 2.5, when}) << "4 values for 5";
    QTest::newRow("too many") << values({7, QStringLiteral("x"), 2.5, when, nullptr, 1})
                              << "6 values for 5";
    QTest::newRow("text for an integer")
        << values({QStringLiteral("7"), QStringLiteral("x"), 2.5, when, nullptr}) << "integer";
    QTest::newRow("integer for a text") << values({7, 8, 2.5, when, nullptr}) << "text";
    QTest::newRow("integer over 32 bits")
        << values({qint64(1) << 40, QStringLiteral("x"), 2.5, when, nullptr}) << "range";
    QTest::newRow("text for a double")
        << values({7, QStringLiteral("x"), QStringLiteral("2.5"), when, nullptr}) << "number";
    QTest::newRow("bad date-time")
        << values({7, QStringLiteral("x"), 2.5, QStringLiteral("09.12.2026"), nullptr})
        << "date-time";
    QTest::newRow("not a list") << QCborValue(7).toCbor() << "list";
}

void TestProviderProtocol::valuesAgainstRegisteredList()
{
    QFETCH(QByteArray, values);
    QFETCH(QString, refusal);
    const RemoteParams registered{
        RemoteParam::integer(QStringLiteral("I"), 1), RemoteParam::text(QStringLiteral("T"), {}),
        RemoteParam::number(QStringLiteral("D"), 0), RemoteParam::dateTime(QStringLiteral("W"), {}),
        RemoteParam::null(QStringLiteral("N"))};
    QString error;
    const std::optional<RemoteParams> params = paramsFromValues(registered, values, &error);
    if (!refusal.isEmpty()) {
        QVERIFY(!params);
        QVERIFY2(error.contains(refusal), qPrintable(error));
        return;
    }
    QVERIFY2(params, qPrintable(error));
    QCOMPARE(params->size(), registered.size());
    const QCborArray sent = QCborValue::fromCbor(values).toArray();
    for (qsizetype i = 0; i < registered.size(); ++i) {
        QCOMPARE((*params)[i].name, registered[i].name);
        QCOMPARE((*params)[i].type, registered[i].type);
        QCOMPARE((*params)[i].isNull(), sent[i].isNull());
    }
    if (!sent[0].isNull()) {
        QCOMPARE((*params)[0].value.toInt(), 7);
        QCOMPARE((*params)[2].value.toDouble(), sent[2].toDouble());
        QCOMPARE((*params)[3].value.toDateTime(),
                 QDateTime(QDate(2026, 12, 9), QTime(10, 15, 0, 500)));
    }
}

void TestProviderProtocol::refusesMalformedRequests_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << QByteArray() << "CBOR";
    QTest::newRow("not cbor") << QByteArray("\xff\xff\xff", 3) << "CBOR";
    QTest::newRow("not a map") << QCborValue(42).toCbor() << "map";
    QTest::newRow("other version")
        << requestWith([](QCborMap& m) { m[QStringLiteral("v")] = 99; }) << "version";
    QTest::newRow("a version after this one")
        << requestWith([](QCborMap& m) { m[QStringLiteral("v")] = kProtocolVersion + 1; })
        << kUnsupportedVersionText;
    QTest::newRow("handle out of range") << requestWith([](QCborMap& m) {
        m[QStringLiteral("v")] = 2;
        m[QStringLiteral("handle")] = qint64(1) << 32;
    }) << "handle";
    QTest::newRow("values without a handle") << requestWith([](QCborMap& m) {
        m[QStringLiteral("v")] = 2;
        m[QStringLiteral("values")] = QCborArray{1};
    }) << "values";
    QTest::newRow("values with the text") << requestWith([](QCborMap& m) {
        m[QStringLiteral("v")] = 2;
        m[QStringLiteral("handle")] = 3;
        m[QStringLiteral("values")] = QCborArray{1};
    }) << "values";
    QTest::newRow("unknown operation")
        << requestWith([](QCborMap& m) { m[QStringLiteral("op")] = QStringLiteral("AS_Drop"); })
        << "unknown operation";
    QTest::newRow("no id") << requestWith([](QCborMap& m) { m.remove(QStringLiteral("id")); })
                           << "id";
    QTest::newRow("sql not text") << requestWith([](QCborMap& m) { m[QStringLiteral("sql")] = 5; })
                                  << "sql";
    QTest::newRow("param type out of range") << requestWith([](QCborMap& m) {
        m[QStringLiteral("params")] = QCborArray{QCborArray{QStringLiteral("I"), 17, 0, 1}};
    }) << "unknown parameter type";
    QTest::newRow("integer param not integer") << requestWith([](QCborMap& m) {
        m[QStringLiteral("params")] = QCborArray{QCborArray{QStringLiteral("I"), 0, 0, 1.5}};
    }) << "integer";
    QTest::newRow("integer param over 32 bits") << requestWith([](QCborMap& m) {
        m[QStringLiteral("params")] =
            QCborArray{QCborArray{QStringLiteral("I"), 0, 0, qint64(1) << 33}};
    }) << "range";
    QTest::newRow("bad date-time") << requestWith([](QCborMap& m) {
        m[QStringLiteral("params")] =
            QCborArray{QCborArray{QStringLiteral("T"), 3, 0, QStringLiteral("31.12.2026")}};
    }) << "date-time";
    const auto embeddedDelta = [](const QCborMap& packet) {
        return requestWith([packet](QCborMap& m) {
            m[QStringLiteral("op")] = QStringLiteral("AS_ApplyUpdates");
            m[QStringLiteral("delta")] =
                QCborValue(QCborKnownTags::EncodedCbor, QCborValue(packet).toCbor());
        });
    };
    const QCborArray oneIntegerColumn{QCborArray{QStringLiteral("A"), 0, 4}};
    QTest::newRow("row longer than columns")
        << embeddedDelta({{QStringLiteral("cols"), oneIntegerColumn},
                          {QStringLiteral("rows"), QCborArray{QCborArray{1, 2}}}})
        << "row";
    QTest::newRow("text in an integer column")
        << embeddedDelta({{QStringLiteral("cols"), oneIntegerColumn},
                          {QStringLiteral("rows"), QCborArray{QCborArray{QStringLiteral("x")}}}})
        << "integer";
    QTest::newRow("unknown column type")
        << embeddedDelta(
               {{QStringLiteral("cols"), QCborArray{QCborArray{QStringLiteral("A"), 42, 4}}},
                {QStringLiteral("rows"), QCborArray{}}})
        << "column type";
    QTest::newRow("packet not embedded") << requestWith([](QCborMap& m) {
        m[QStringLiteral("op")] = QStringLiteral("AS_ApplyUpdates");
        m[QStringLiteral("delta")] = QCborMap{};
    }) << "embedded";
}

void TestProviderProtocol::refusesMalformedRequests()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);
    const Decoded<ProviderRequest> decoded = decodeRequest(body);
    QVERIFY(!decoded.value);
    QVERIFY2(decoded.error.contains(reason), qPrintable(decoded.error));
}

void TestProviderProtocol::frames_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("frameSize");

    const QByteArray body("hello");
    const QByteArray frame = makeFrame(body);
    QTest::newRow("empty") << QByteArray() << int(FrameParse::Incomplete) << 0;
    QTest::newRow("half header") << frame.left(2) << int(FrameParse::Incomplete) << 0;
    QTest::newRow("half body") << frame.left(6) << int(FrameParse::Incomplete) << 0;
    QTest::newRow("exact") << frame << int(FrameParse::Complete) << int(frame.size());
    QTest::newRow("two frames") << frame + makeFrame("x") << int(FrameParse::Complete)
                                << int(frame.size());
    QTest::newRow("empty body") << makeFrame(QByteArray()) << int(FrameParse::Complete) << 4;
    // Refused from the header alone: none of the announced body has arrived.
    QTest::newRow("over the limit")
        << QByteArray("\x00\x40\x00\x01", 4) << int(FrameParse::TooLarge) << 0;
    QTest::newRow("at the limit, incomplete")
        << QByteArray("\x00\x40\x00\x00", 4) << int(FrameParse::Incomplete) << 0;
}

void TestProviderProtocol::frames()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, status);
    QFETCH(int, frameSize);
    const FrameParse parse = parseFrame(buffer, kMaxRequestBody);
    QCOMPARE(int(parse.status), status);
    if (status == FrameParse::Complete) {
        QCOMPARE(int(parse.frameSize), frameSize);
        QCOMPARE(parse.body.size(), parse.bodySize);
    }
}

void TestProviderProtocol::framesFedByteByByte()
{
    ProviderRequest request;
    request.provider = QStringLiteral("dspN_DEPART");
    const QByteArray stream = makeFrame(encodeRequest(request)) + makeFrame(encodeRequest(request));
    QByteArray buffer;
    int decodedCount = 0;
    for (char byte : stream) {
        buffer.append(byte);
        const FrameParse parse = parseFrame(buffer, kMaxRequestBody);
        if (parse.status != FrameParse::Complete)
            continue;
        QVERIFY(decodeRequest(parse.body).value.has_value());
        buffer.remove(0, parse.frameSize);
        ++decodedCount;
    }
    QCOMPARE(decodedCount, 2);
    QVERIFY(buffer.isEmpty());
}

void TestProviderProtocol::receiveBufferFollowsTheBytes_data()
{
    QTest::addColumn<int>("announced"); // the body size in the header
    QTest::addColumn<int>("sent");      // bytes of the frame that arrive, header included
    QTest::newRow("half of the largest request") << int(kMaxRequestBody) << 2 * 1024 * 1024;
    QTest::newRow("all of the largest request") << int(kMaxRequestBody) << int(kMaxRequestBody) + 4;
    QTest::newRow("a small request whole") << 700 << 704;
    QTest::newRow("a header alone") << int(kMaxRequestBody) << 4;
    QTest::newRow("half a header") << int(kMaxRequestBody) << 2;
}

void TestProviderProtocol::receiveBufferFollowsTheBytes()
{
    QFETCH(int, announced);
    QFETCH(int, sent);
    QByteArray stream(kFrameHeaderSize, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(announced), stream.data());
    stream = (stream + QByteArray(announced, 'x')).left(sent);
    // Fed in reads of up to 64 KiB, the way a session reads its socket.
    QByteArray buffer;
    qsizetype capacity = 0;
    int growths = 0;
    for (qsizetype at = 0; at < stream.size(); at += 64 * 1024) {
        const QByteArrayView chunk =
            QByteArrayView(stream).sliced(at).first(qMin<qsizetype>(64 * 1024, stream.size() - at));
        if (buffer.size() + chunk.size() > capacity) {
            capacity = receiveCapacity(buffer, chunk.size(), kMaxRequestBody);
            QVERIFY(capacity >= buffer.size() + chunk.size());
            ++growths;
        }
        buffer.append(chunk);
    }
    // About what has come, never what the header announced beyond it.
    QVERIFY2(capacity <= sent + sent / 4, qPrintable(QString::number(capacity)));
    QVERIFY(capacity <= qMax(sent, announced + int(kFrameHeaderSize)));
    QVERIFY2(growths <= 24, qPrintable(QString::number(growths)));
}

QTEST_APPLESS_MAIN(TestProviderProtocol)
#include "tst_providerprotocol.moc"
