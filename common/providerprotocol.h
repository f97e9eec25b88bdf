#pragma once

#include "common/datapacket.h"
#include "common/packetcodec.h"
#include "common/remoteparam.h"

#include <QByteArrayView>
#include <QCborValue>
#include <QStringList>

#include <optional>

// The provider operations a terminal may call on its session's module, with
// their arguments and results, and their CBOR encoding. The byte layout is
// described in docs/protocol.md; these functions are pure and never touch a
// socket, so they can be tested and fuzzed on plain bytes.

// The highest version this side speaks; every lower one is served as well.
// Version 2 adds statement handles and bare parameter values; a message of
// version 1 reads and means exactly what it always did.
inline constexpr int kProtocolVersion = 2;
inline constexpr int kHandleProtocolVersion = 2;
// The server's answer to a message of a version it does not speak; a
// terminal that sees it for a version-2 request speaks version 1 instead.
inline constexpr char kUnsupportedVersionText[] = "unsupported protocol version";
inline constexpr char kServerClassName[] = "TServerModuleData";

enum class ProviderOperation : quint8
{
    GetRecords,
    Execute,
    GetParams,
    ApplyUpdates,
    RowRequest,
    DataRequest,
    GetProviderNames,
};

// "AS_GetRecords" and so on; the method name on the wire.
QString operationName(ProviderOperation operation);
std::optional<ProviderOperation> operationFromName(const QString& name);

struct ProviderRequest
{
    quint32 id = 0; // echoed in the reply
    ProviderOperation operation = ProviderOperation::GetRecords;
    QString serverClass = QString::fromLatin1(kServerClassName);
    QString provider;
    qint32 recordCount = -1; // AS_GetRecords: -1 = all rows
    qint32 options = 0;
    QString commandText; // empty: the provider's own SQL
    RemoteParams params;
    QCborValue ownerData;
    DataPacket delta; // AS_ApplyUpdates: changed rows
    qint32 maxErrors = -1;
    DataPacket row; // AS_RowRequest
    qint32 requestType = 0;
    QCborValue data; // AS_DataRequest

    // Version 2, AS_GetRecords and AS_Execute only. With a handle and
    // withText, the request registers its command text and its parameters'
    // names, types and directions under the handle for the connection; with
    // a handle and no text, the server takes both from what it registered.
    std::optional<quint32> handle;
    bool withText = true;
    // Sends the parameters as bare values in the order of the registered
    // list ("values") instead of whole ("params"); only with a handle and no
    // text. A decoded request holds the "values" array as it came, to be
    // checked against the registered list (paramsFromValues).
    bool bareValues = false;
    QByteArray values;
    int version = 1; // as decoded; encoding writes the lowest that carries the request
};

// The parameters of a registered list with the values of a request's bare
// "values" array, each checked against its parameter's type; nothing (and
// the reason in error) when the count or a type does not match.
std::optional<RemoteParams> paramsFromValues(const RemoteParams& registered, QByteArrayView values,
                                             QString* error);

struct ProviderReply
{
    quint32 id = 0;
    bool ok = true;
    QString error; // the server's text when !ok
    DataPacket packet;
    qint32 recordsReturned = 0;
    RemoteParams params; // the in/out parameter list, as sent back
    QCborValue ownerData;
    qint32 errorCount = 0; // AS_ApplyUpdates
    QStringList providerNames;
    QCborValue data; // AS_DataRequest
    // Failed: the handle of the request is not (or no longer) known to the
    // server, and nothing was run; the terminal sends the request again with
    // its text.
    bool unknownHandle = false;
    int version = 1; // that of the request it answers

    static ProviderReply failure(quint32 id, const QString& message);
};

template <typename T> struct Decoded
{
    std::optional<T> value;
    QString error; // why the bytes were refused
};

QByteArray encodeRequest(const ProviderRequest& request);
Decoded<ProviderRequest> decodeRequest(QByteArrayView body);

QByteArray encodeReply(const ProviderReply& reply);
Decoded<ProviderReply> decodeReply(QByteArrayView body);

// The whole frame of a reply, as pieces to send in order: the frame's header
// with the envelope, then the data packet's own pieces. With packet given it
// stands for reply.packet, already encoded (the server streams rows from the
// database that way), and is never copied.
QList<QByteArray> encodeReplyFrame(const ProviderReply& reply,
                                   const EncodedPacket* packet = nullptr);
