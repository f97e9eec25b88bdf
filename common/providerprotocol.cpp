#include "providerprotocol.h"

#include "packetcodec.h"

#include <QCborArray>
#include <QCborMap>
#include <QDateTime>

#include <array>

namespace {

constexpr std::array kOperationNames{
    "AS_GetRecords", "AS_Execute",     "AS_GetParams",        "AS_ApplyUpdates",
    "AS_RowRequest", "AS_DataRequest", "AS_GetProviderNames",
};

const QString kDateTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// Thrown inside the decoders only; the public functions turn it into an error text.
struct Malformed
{
    QString reason;
};

[[noreturn]] void refuse(const QString& reason)
{
    throw Malformed{reason};
}

qint64 requireInteger(const QCborValue& value, const char* what)
{
    if (!value.isInteger())
        refuse(QStringLiteral("%1 is not an integer").arg(QLatin1String(what)));
    return value.toInteger();
}

qint32 requireInt32(const QCborValue& value, const char* what)
{
    const qint64 number = requireInteger(value, what);
    if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        refuse(QStringLiteral("%1 is out of range").arg(QLatin1String(what)));
    return qint32(number);
}

QString requireString(const QCborValue& value, const char* what)
{
    if (!value.isString())
        refuse(QStringLiteral("%1 is not a text").arg(QLatin1String(what)));
    return value.toString();
}

QDateTime parseDateTime(const QCborValue& value)
{
    const QDateTime dateTime =
        QDateTime::fromString(requireString(value, "date-time"), kDateTimeFormat);
    if (!dateTime.isValid())
        refuse(QStringLiteral("bad date-time"));
    return dateTime;
}

// Optional map entries: absent keys keep the default, present ones must have the right type.
qint32 optionalInt32(const QCborMap& map, const char* key, qint32 fallback)
{
    const QCborValue value = map.value(QLatin1String(key));
    return value.isUndefined() ? fallback : requireInt32(value, key);
}

QString optionalString(const QCborMap& map, const char* key)
{
    const QCborValue value = map.value(QLatin1String(key));
    return value.isUndefined() ? QString() : requireString(value, key);
}

QCborValue optionalValue(const QCborMap& map, const char* key)
{
    const QCborValue value = map.value(QLatin1String(key));
    return value.isUndefined() ? QCborValue() : value;
}

// --- parameters ---

QCborValue encodeParamValue(const RemoteParam& param)
{
    if (param.isNull())
        return QCborValue(QCborValue::Null);
    switch (param.type) {
    case ParamType::Integer:
        return QCborValue(param.value.toLongLong());
    case ParamType::Text:
        return QCborValue(param.value.toString());
    case ParamType::Double:
        return QCborValue(param.value.toDouble());
    case ParamType::DateTime:
        return QCborValue(param.value.toDateTime().toString(kDateTimeFormat));
    case ParamType::Null:
        break;
    }
    return QCborValue(QCborValue::Null);
}

QCborArray encodeParams(const RemoteParams& params)
{
    QCborArray array;
    for (const RemoteParam& param : params) {
        array.append(
            QCborArray{param.name, int(param.type), int(param.direction), encodeParamValue(param)});
    }
    return array;
}

RemoteParam decodeParam(const QCborValue& item)
{
    const QCborArray fields = item.toArray();
    if (!item.isArray() || fields.size() != 4)
        refuse(QStringLiteral("a parameter is not [name, type, direction, value]"));
    RemoteParam param;
    param.name = requireString(fields[0], "parameter name");
    const qint64 type = requireInteger(fields[1], "parameter type");
    const qint64 direction = requireInteger(fields[2], "parameter direction");
    if (type < 0 || type > int(ParamType::Null) || direction < 0 ||
        direction > int(ParamDirection::InputOutput))
        refuse(QStringLiteral("unknown parameter type or direction"));
    param.type = ParamType(type);
    param.direction = ParamDirection(direction);
    const QCborValue value = fields[3];
    if (value.isNull() || param.type == ParamType::Null)
        return param;
    switch (param.type) {
    case ParamType::Integer:
        param.value = requireInt32(value, "integer parameter");
        break;
    case ParamType::Text:
        param.value = requireString(value, "text parameter");
        break;
    case ParamType::Double:
        if (!value.isDouble() && !value.isInteger())
            refuse(QStringLiteral("double parameter is not a number"));
        param.value = value.toDouble();
        break;
    case ParamType::DateTime:
        param.value = parseDateTime(value);
        break;
    case ParamType::Null:
        break;
    }
    return param;
}

RemoteParams decodeParams(const QCborValue& value)
{
    RemoteParams params;
    if (value.isUndefined())
        return params;
    if (!value.isArray())
        refuse(QStringLiteral("parameters are not a list"));
    for (const QCborValue& item : value.toArray())
        params.append(decodeParam(item));
    return params;
}

// --- data packets ---

// A packet travels as embedded CBOR (tag 24 around its bytes), so the
// envelope stays a small map and the rows are streamed on both sides.
QCborValue packetValue(const DataPacket& packet)
{
    return QCborValue(QCborKnownTags::EncodedCbor, encodePacket(packet));
}

DataPacket packetFrom(const QCborValue& value)
{
    if (value.isUndefined())
        return DataPacket();
    if (!value.isTag() || value.tag() != QCborTag(QCborKnownTags::EncodedCbor) ||
        !value.taggedValue().isByteArray())
        refuse(QStringLiteral("a data packet is not embedded CBOR"));
    QString error;
    std::optional<DataPacket> packet = decodePacket(value.taggedValue().toByteArray(), &error);
    if (!packet)
        refuse(QStringLiteral("bad data packet: %1").arg(error));
    return std::move(*packet);
}

// --- envelopes ---

QCborMap decodeEnvelope(QByteArrayView body)
{
    QCborParserError parseError;
    const QCborValue root = QCborValue::fromCbor(body.toByteArray(), &parseError);
    if (parseError.error != QCborError::NoError)
        refuse(QStringLiteral("not CBOR: %1").arg(parseError.errorString()));
    if (!root.isMap())
        refuse(QStringLiteral("the message is not a map"));
    const QCborMap map = root.toMap();
    const QCborValue version = map.value(QStringLiteral("v"));
    if (!version.isInteger() || version.toInteger() != kProtocolVersion)
        refuse(QStringLiteral("unsupported protocol version"));
    return map;
}

template <typename T, typename Decoder>
Decoded<T> decodeGuarded(QByteArrayView body, Decoder decoder)
{
    try {
        return {decoder(decodeEnvelope(body)), QString()};
    } catch (const Malformed& malformed) {
        return {std::nullopt, malformed.reason};
    }
}

quint32 decodeId(const QCborMap& map)
{
    const qint64 id = requireInteger(map.value(QStringLiteral("id")), "id");
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

QByteArray encodeRequest(const ProviderRequest& request)
{
    QCborMap map{
        {QStringLiteral("v"), kProtocolVersion},
        {QStringLiteral("id"), qint64(request.id)},
        {QStringLiteral("op"), operationName(request.operation)},
        {QStringLiteral("class"), request.serverClass},
        {QStringLiteral("provider"), request.provider},
    };
    switch (request.operation) {
    case ProviderOperation::GetRecords:
        map.insert(QStringLiteral("count"), request.recordCount);
        map.insert(QStringLiteral("options"), request.options);
        [[fallthrough]];
    case ProviderOperation::Execute:
        map.insert(QStringLiteral("sql"), request.commandText);
        map.insert(QStringLiteral("params"), encodeParams(request.params));
        break;
    case ProviderOperation::ApplyUpdates:
        map.insert(QStringLiteral("delta"), packetValue(request.delta));
        map.insert(QStringLiteral("maxErrors"), request.maxErrors);
        break;
    case ProviderOperation::RowRequest:
        map.insert(QStringLiteral("row"), packetValue(request.row));
        map.insert(QStringLiteral("reqType"), request.requestType);
        break;
    case ProviderOperation::DataRequest:
        map.insert(QStringLiteral("data"), request.data);
        break;
    case ProviderOperation::GetParams:
    case ProviderOperation::GetProviderNames:
        break;
    }
    if (!request.ownerData.isUndefined())
        map.insert(QStringLiteral("owner"), request.ownerData);
    return map.toCborValue().toCbor();
}

Decoded<ProviderRequest> decodeRequest(QByteArrayView body)
{
    return decodeGuarded<ProviderRequest>(body, [](const QCborMap& map) {
        ProviderRequest request;
        request.id = decodeId(map);
        const QString name = requireString(map.value(QStringLiteral("op")), "op");
        const auto operation = operationFromName(name);
        if (!operation)
            refuse(QStringLiteral("unknown operation %1").arg(name.left(64)));
        request.operation = *operation;
        request.serverClass = optionalString(map, "class");
        request.provider = optionalString(map, "provider");
        request.recordCount = optionalInt32(map, "count", -1);
        request.options = optionalInt32(map, "options", 0);
        request.commandText = optionalString(map, "sql");
        request.params = decodeParams(map.value(QStringLiteral("params")));
        request.ownerData = optionalValue(map, "owner");
        request.delta = packetFrom(map.value(QStringLiteral("delta")));
        request.maxErrors = optionalInt32(map, "maxErrors", -1);
        request.row = packetFrom(map.value(QStringLiteral("row")));
        request.requestType = optionalInt32(map, "reqType", 0);
        request.data = optionalValue(map, "data");
        return request;
    });
}

QByteArray encodeReply(const ProviderReply& reply)
{
    QCborMap map{
        {QStringLiteral("v"), kProtocolVersion},
        {QStringLiteral("id"), qint64(reply.id)},
        {QStringLiteral("ok"), reply.ok},
    };
    if (!reply.ok) {
        map.insert(QStringLiteral("error"), reply.error);
        return map.toCborValue().toCbor();
    }
    if (!reply.packet.columns.isEmpty())
        map.insert(QStringLiteral("packet"), packetValue(reply.packet));
    map.insert(QStringLiteral("recs"), reply.recordsReturned);
    if (!reply.params.isEmpty())
        map.insert(QStringLiteral("params"), encodeParams(reply.params));
    if (!reply.ownerData.isUndefined())
        map.insert(QStringLiteral("owner"), reply.ownerData);
    if (reply.errorCount != 0)
        map.insert(QStringLiteral("errors"), reply.errorCount);
    if (!reply.providerNames.isEmpty())
        map.insert(QStringLiteral("names"), QCborArray::fromStringList(reply.providerNames));
    if (!reply.data.isUndefined())
        map.insert(QStringLiteral("data"), reply.data);
    return map.toCborValue().toCbor();
}

Decoded<ProviderReply> decodeReply(QByteArrayView body)
{
    return decodeGuarded<ProviderReply>(body, [](const QCborMap& map) {
        ProviderReply reply;
        reply.id = decodeId(map);
        const QCborValue ok = map.value(QStringLiteral("ok"));
        if (!ok.isBool())
            refuse(QStringLiteral("ok is not a boolean"));
        reply.ok = ok.toBool();
        if (!reply.ok) {
            reply.error = optionalString(map, "error");
            return reply;
        }
        reply.packet = packetFrom(map.value(QStringLiteral("packet")));
        reply.recordsReturned = optionalInt32(map, "recs", 0);
        reply.params = decodeParams(map.value(QStringLiteral("params")));
        reply.ownerData = optionalValue(map, "owner");
        reply.errorCount = optionalInt32(map, "errors", 0);
        const QCborValue names = map.value(QStringLiteral("names"));
        if (!names.isUndefined()) {
            if (!names.isArray())
                refuse(QStringLiteral("provider names are not a list"));
            for (const QCborValue& name : names.toArray())
                reply.providerNames.append(requireString(name, "provider name"));
        }
        reply.data = optionalValue(map, "data");
        return reply;
    });
}
