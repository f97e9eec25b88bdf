#include "common/providerprotocol.h"

#include "common/cborreader.h"
#include "common/cborwriter.h"
#include "common/frame.h"
#include "common/packetcodec.h"

#include <QDateTime>
#include <QVarLengthArray>
#include <QtEndian>

#include <array>
#include <limits>

namespace {

constexpr std::array kOperationNames{
    "AS_GetRecords", "AS_Execute",     "AS_GetParams",        "AS_ApplyUpdates",
    "AS_RowRequest", "AS_DataRequest", "AS_GetProviderNames",
};

// The embedded-CBOR tag a data packet travels in.
constexpr quint64 kEncodedCborTag = 24;

[[noreturn]] void refuse(const QString& reason)
{
    throw CborReader::Malformed{reason};
}

// --- writing ---

// A map whose entries are counted as they are written; its head goes in
// front when it is finished.
class MapWriter final
{
public:
    CborWriter& entry(const char* key)
    {
        ++m_count;
        m_writer.utf8(key);
        return m_writer;
    }
    void prepend(QByteArray& out, qsizetype extraEntries = 0) const
    {
        CborWriter(out).map(quint64(m_count + extraEntries));
        out.append(m_entries);
    }

private:
    QByteArray m_entries;
    CborWriter m_writer{m_entries};
    qsizetype m_count = 0;
};

void writeParamValue(CborWriter& out, const RemoteParam& param)
{
    if (param.isNull()) {
        out.null();
        return;
    }
    switch (param.type) {
    case ParamType::Integer:
        out.integer(param.value.toLongLong());
        return;
    case ParamType::Text:
        out.text(param.value.toString());
        return;
    case ParamType::Double:
        out.float64(param.value.toDouble());
        return;
    case ParamType::DateTime:
        out.utf8(dateTimeText(param.value.toDateTime()));
        return;
    case ParamType::Null:
        break;
    }
    out.null();
}

// The values alone, in the order of the list the server registered.
void writeValues(CborWriter& out, const RemoteParams& params)
{
    out.array(quint64(params.size()));
    for (const RemoteParam& param : params)
        writeParamValue(out, param);
}

void writeParams(CborWriter& out, const RemoteParams& params)
{
    out.array(quint64(params.size()));
    for (const RemoteParam& param : params) {
        out.array(4);
        out.text(param.name);
        out.integer(int(param.type));
        out.integer(int(param.direction));
        writeParamValue(out, param);
    }
}

// A value of any type as its CBOR, when that is one item a reader takes
// (Qt writes a value it could not read whole as broken bytes); else nothing.
std::optional<QByteArray> anyItem(const QCborValue& value)
{
    QByteArray bytes = value.toCbor();
    // Checked inside a one-item array, as it will be inside the message's map.
    const QByteArray inMessage = '\x81' + bytes;
    try {
        CborReader reader(inMessage);
        reader.skip();
        if (reader.atEnd())
            return bytes;
    } catch (const CborReader::Malformed&) {
    }
    return std::nullopt;
}

// A request is the terminal's own: a value that cannot be written goes as null.
void writeAny(CborWriter& out, const QCborValue& value)
{
    if (const std::optional<QByteArray> item = anyItem(value))
        out.encoded(*item);
    else
        out.null();
}

void writePacket(CborWriter& out, const DataPacket& packet)
{
    out.tag(kEncodedCborTag);
    out.bytes(encodePacket(packet));
}

// --- reading ---

// The entries of a message, each value kept as its bytes until it is asked
// for. The whole message is checked to be CBOR first.
class Envelope final
{
public:
    explicit Envelope(QByteArrayView body)
    {
        try {
            CborReader whole(body);
            whole.skip();
            if (!whole.atEnd())
                CborReader::fail("message", "has bytes after its end");
        } catch (const CborReader::Malformed& malformed) {
            refuse(malformed.beyondLimits ? malformed.reason
                                          : QStringLiteral("not CBOR: ") + malformed.reason);
        }
        CborReader reader(body);
        qint64 count = 0;
        try {
            count = reader.map("message");
        } catch (const CborReader::Malformed&) {
            refuse(QStringLiteral("the message is not a map"));
        }
        for (qint64 i = 0; i < count; ++i) {
            if (!reader.isText()) {
                reader.skip();
                reader.skip();
                continue;
            }
            const QByteArrayView key = reader.textView("key");
            m_entries.append({key, reader.skip()});
        }
        const std::optional<CborReader> version = value("v");
        const qint64 number =
            version && version->isInteger() ? CborReader(*version).integer("v") : 0;
        if (number < 1 || number > kProtocolVersion)
            refuse(QString::fromLatin1(kUnsupportedVersionText));
        m_version = int(number);
    }

    int version() const { return m_version; }

    // A reader at the value of that key, or nothing when the key is absent.
    std::optional<CborReader> value(const char* key) const
    {
        for (const auto& [name, item] : m_entries) {
            if (name == key)
                return CborReader(item);
        }
        return std::nullopt;
    }

    qint32 int32(const char* key, qint32 fallback) const
    {
        std::optional<CborReader> item = value(key);
        return item ? item->int32(key) : fallback;
    }
    QString string(const char* key) const
    {
        std::optional<CborReader> item = value(key);
        return item ? item->text(key) : QString();
    }
    // A value Qt cannot read whole (a malformed simple value, a text that is
    // not UTF-8) is refused: half-read, it would be written back broken.
    QCborValue any(const char* key) const
    {
        for (const auto& [name, item] : m_entries) {
            if (name != key)
                continue;
            QCborParserError error;
            QCborValue value = QCborValue::fromCbor(item.toByteArray(), &error);
            if (error.error != QCborError::NoError)
                refuse(QStringLiteral("%1 is not readable: %2")
                           .arg(QLatin1String(key), error.errorString()));
            return value;
        }
        return QCborValue();
    }

private:
    QVarLengthArray<std::pair<QByteArrayView, QByteArrayView>, 16> m_entries;
    int m_version = 1;
};

// The value of a parameter whose type is known; null for any type.
void readParamValue(CborReader& reader, RemoteParam& param)
{
    if (reader.isNull() || param.type == ParamType::Null) {
        reader.skip();
        return;
    }
    switch (param.type) {
    case ParamType::Integer:
        param.value = reader.int32("integer parameter");
        break;
    case ParamType::Text:
        param.value = reader.text("text parameter");
        break;
    case ParamType::Double:
        param.value = reader.number("double parameter");
        break;
    case ParamType::DateTime: {
        const QDateTime dateTime = parseDateTimeText(reader.textView("date-time parameter"));
        if (!dateTime.isValid())
            refuse(QStringLiteral("bad date-time"));
        param.value = dateTime;
        break;
    }
    case ParamType::Null:
        break;
    }
}

RemoteParam readParam(CborReader& reader)
{
    if (reader.array("parameter") != 4)
        refuse(QStringLiteral("a parameter is not [name, type, direction, value]"));
    RemoteParam param;
    param.name = reader.text("parameter name");
    const qint64 type = reader.integer("parameter type");
    const qint64 direction = reader.integer("parameter direction");
    if (type < 0 || type > int(ParamType::Null) || direction < 0 ||
        direction > int(ParamDirection::InputOutput))
        refuse(QStringLiteral("unknown parameter type or direction"));
    param.type = ParamType(type);
    param.direction = ParamDirection(direction);
    readParamValue(reader, param);
    return param;
}

RemoteParams readParams(const Envelope& envelope)
{
    RemoteParams params;
    std::optional<CborReader> reader = envelope.value("params");
    if (!reader)
        return params;
    const qint64 count = reader->array("parameters");
    params.reserve(qMin<qint64>(count, 256));
    for (qint64 i = 0; i < count; ++i)
        params.append(readParam(*reader));
    return params;
}

DataPacket readPacket(const Envelope& envelope, const char* key)
{
    std::optional<CborReader> reader = envelope.value(key);
    if (!reader)
        return DataPacket();
    if (!reader->isTag() || reader->tag("packet") != kEncodedCborTag)
        refuse(QStringLiteral("a data packet is not embedded CBOR"));
    QByteArrayView bytes;
    try {
        bytes = reader->bytesView("packet");
    } catch (const CborReader::Malformed&) {
        refuse(QStringLiteral("a data packet is not embedded CBOR"));
    }
    QString error;
    std::optional<DataPacket> packet = decodePacket(bytes, &error);
    if (!packet)
        refuse(QStringLiteral("bad data packet: %1").arg(error));
    return std::move(*packet);
}

template <typename T, typename Decoder>
Decoded<T> decodeGuarded(QByteArrayView body, Decoder decoder)
{
    try {
        return {decoder(Envelope(body)), QString()};
    } catch (const CborReader::Malformed& malformed) {
        return {std::nullopt, malformed.reason};
    }
}

std::optional<quint32> readHandle(const Envelope& envelope)
{
    std::optional<CborReader> reader = envelope.value("handle");
    if (!reader)
        return std::nullopt;
    const qint64 handle = reader->integer("handle");
    if (handle < 0 || handle > std::numeric_limits<quint32>::max())
        refuse(QStringLiteral("handle is out of range"));
    return quint32(handle);
}

quint32 readId(const Envelope& envelope)
{
    std::optional<CborReader> reader = envelope.value("id");
    if (!reader)
        refuse(QStringLiteral("id is not an integer"));
    const qint64 id = reader->integer("id");
    if (id < 0 || id > std::numeric_limits<quint32>::max())
        refuse(QStringLiteral("id is out of range"));
    return quint32(id);
}

} // namespace

QString operationName(ProviderOperation operation)
{
    return QString::fromLatin1(kOperationNames[size_t(operation)]);
}

std::optional<ProviderOperation> operationFromName(const QString& name)
{
    for (size_t i = 0; i < kOperationNames.size(); ++i) {
        if (name == QLatin1String(kOperationNames[i]))
            return ProviderOperation(i);
    }
    return std::nullopt;
}

ProviderReply ProviderReply::failure(quint32 id, const QString& message)
{
    ProviderReply reply;
    reply.id = id;
    reply.ok = false;
    reply.error = message;
    return reply;
}

std::optional<RemoteParams> paramsFromValues(const RemoteParams& registered, QByteArrayView values,
                                             QString* error)
{
    try {
        CborReader reader(values);
        const qint64 count = reader.array("values");
        if (count != registered.size())
            refuse(QStringLiteral("%1 values for %2 registered parameters")
                       .arg(count)
                       .arg(registered.size()));
        RemoteParams params = registered;
        for (RemoteParam& param : params) {
            param.value = QVariant();
            readParamValue(reader, param);
        }
        return params;
    } catch (const CborReader::Malformed& malformed) {
        if (error)
            *error = malformed.reason;
        return std::nullopt;
    }
}

QByteArray encodeRequest(const ProviderRequest& request)
{
    const bool statement = request.operation == ProviderOperation::GetRecords ||
                           request.operation == ProviderOperation::Execute;
    const bool handle = statement && request.handle.has_value();
    MapWriter map;
    map.entry("v").integer(handle ? kHandleProtocolVersion : 1);
    map.entry("id").integer(request.id);
    map.entry("op").utf8(kOperationNames[size_t(request.operation)]);
    map.entry("class").text(request.serverClass);
    map.entry("provider").text(request.provider);
    switch (request.operation) {
    case ProviderOperation::GetRecords:
        map.entry("count").integer(request.recordCount);
        map.entry("options").integer(request.options);
        [[fallthrough]];
    case ProviderOperation::Execute:
        if (handle)
            map.entry("handle").integer(*request.handle);
        if (!handle || request.withText)
            map.entry("sql").text(request.commandText);
        if (handle && !request.withText && request.bareValues)
            writeValues(map.entry("values"), request.params);
        else
            writeParams(map.entry("params"), request.params);
        break;
    case ProviderOperation::ApplyUpdates:
        writePacket(map.entry("delta"), request.delta);
        map.entry("maxErrors").integer(request.maxErrors);
        break;
    case ProviderOperation::RowRequest:
        writePacket(map.entry("row"), request.row);
        map.entry("reqType").integer(request.requestType);
        break;
    case ProviderOperation::DataRequest:
        writeAny(map.entry("data"), request.data);
        break;
    case ProviderOperation::GetParams:
    case ProviderOperation::GetProviderNames:
        break;
    }
    if (!request.ownerData.isUndefined())
        writeAny(map.entry("owner"), request.ownerData);
    QByteArray body;
    map.prepend(body);
    return body;
}

Decoded<ProviderRequest> decodeRequest(QByteArrayView body)
{
    return decodeGuarded<ProviderRequest>(body, [](const Envelope& map) {
        ProviderRequest request;
        request.id = readId(map);
        const QString name = map.string("op");
        const auto operation = operationFromName(name);
        if (!operation)
            refuse(QStringLiteral("unknown operation %1").arg(name.left(64)));
        request.operation = *operation;
        request.serverClass = map.string("class");
        request.provider = map.string("provider");
        request.recordCount = map.int32("count", -1);
        request.options = map.int32("options", 0);
        request.version = map.version();
        request.commandText = map.string("sql");
        request.params = readParams(map);
        // A version-1 message means what it always did: keys it never had
        // are passed over, as a server of that version passed them over.
        if (request.version >= kHandleProtocolVersion) {
            request.handle = readHandle(map);
            request.withText = !request.handle || map.value("sql").has_value();
            if (std::optional<CborReader> values = map.value("values")) {
                if (!request.handle || request.withText)
                    refuse(QStringLiteral("values come only with a handle and without sql"));
                request.bareValues = true;
                request.values = CborReader(*values).skip().toByteArray();
            }
        }
        request.ownerData = map.any("owner");
        request.delta = readPacket(map, "delta");
        request.maxErrors = map.int32("maxErrors", -1);
        request.row = readPacket(map, "row");
        request.requestType = map.int32("reqType", 0);
        request.data = map.any("data");
        return request;
    });
}

QList<QByteArray> encodeReplyFrame(const ProviderReply& reply, const EncodedPacket* packet)
{
    // What the reply echoes must be readable, or the whole reply would not be.
    std::optional<QByteArray> owner = QByteArray();
    std::optional<QByteArray> data = QByteArray();
    if (reply.ok && !reply.ownerData.isUndefined())
        owner = anyItem(reply.ownerData);
    if (reply.ok && !reply.data.isUndefined())
        data = anyItem(reply.data);
    if (!owner || !data)
        return encodeReplyFrame(ProviderReply::failure(
            reply.id, QStringLiteral("the owner data or the data of the reply is not one CBOR "
                                     "item within the protocol's limits")));
    MapWriter map;
    map.entry("v").integer(reply.version);
    map.entry("id").integer(reply.id);
    map.entry("ok").boolean(reply.ok);
    EncodedPacket ownPacket;
    if (!reply.ok) {
        map.entry("error").text(reply.error);
        if (reply.unknownHandle)
            map.entry("unknownHandle").boolean(true);
        packet = nullptr;
    } else {
        map.entry("recs").integer(reply.recordsReturned);
        if (!reply.params.isEmpty())
            writeParams(map.entry("params"), reply.params);
        if (!owner->isEmpty())
            map.entry("owner").encoded(*owner);
        if (reply.errorCount != 0)
            map.entry("errors").integer(reply.errorCount);
        if (!reply.providerNames.isEmpty()) {
            CborWriter& names = map.entry("names");
            names.array(quint64(reply.providerNames.size()));
            for (const QString& name : reply.providerNames)
                names.text(name);
        }
        if (!data->isEmpty())
            map.entry("data").encoded(*data);
        if (!packet && !reply.packet.columns.isEmpty()) {
            const QByteArray bytes = encodePacket(reply.packet);
            ownPacket.rows = bytes;
            ownPacket.hasColumns = true;
            packet = &ownPacket;
        }
        if (packet && !packet->hasColumns)
            packet = nullptr;
    }
    // The packet goes last, as a byte string whose bytes are the packet's
    // own pieces, sent as they are.
    QByteArray head(kFrameHeaderSize, Qt::Uninitialized);
    map.prepend(head, packet ? 1 : 0);
    if (packet) {
        CborWriter tail(head);
        tail.utf8("packet");
        tail.tag(kEncodedCborTag);
        head.append(CborWriter::bytesHead(quint64(packet->size())));
    }
    const qint64 bodySize = head.size() - kFrameHeaderSize + (packet ? packet->size() : 0);
    qToBigEndian<quint32>(quint32(bodySize), head.data());
    QList<QByteArray> pieces{head};
    if (packet) {
        if (!packet->head.isEmpty())
            pieces.append(packet->head);
        if (!packet->rows.isEmpty())
            pieces.append(packet->rows);
    }
    return pieces;
}

QByteArray encodeReply(const ProviderReply& reply)
{
    QList<QByteArray> pieces = encodeReplyFrame(reply);
    QByteArray body = pieces.takeFirst().mid(kFrameHeaderSize);
    for (const QByteArray& piece : std::as_const(pieces))
        body.append(piece);
    return body;
}

Decoded<ProviderReply> decodeReply(QByteArrayView body)
{
    return decodeGuarded<ProviderReply>(body, [](const Envelope& map) {
        ProviderReply reply;
        reply.id = readId(map);
        std::optional<CborReader> ok = map.value("ok");
        if (!ok)
            refuse(QStringLiteral("ok is not a boolean"));
        reply.ok = ok->boolean("ok");
        reply.version = map.version();
        if (!reply.ok) {
            reply.error = map.string("error");
            if (std::optional<CborReader> unknown = map.value("unknownHandle"))
                reply.unknownHandle = unknown->boolean("unknownHandle");
            return reply;
        }
        reply.packet = readPacket(map, "packet");
        reply.recordsReturned = map.int32("recs", 0);
        reply.params = readParams(map);
        reply.ownerData = map.any("owner");
        reply.errorCount = map.int32("errors", 0);
        if (std::optional<CborReader> names = map.value("names")) {
            const qint64 count = names->array("provider names");
            for (qint64 i = 0; i < count; ++i)
                reply.providerNames.append(names->text("provider name"));
        }
        reply.data = map.any("data");
        return reply;
    });
}
