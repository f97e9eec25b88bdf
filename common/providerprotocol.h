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

inline constexpr int kProtocolVersion = 1;
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
};

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
