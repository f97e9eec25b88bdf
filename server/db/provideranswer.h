#pragma once

#include "common/packetcodec.h"
#include "common/providerprotocol.h"

// What a session's module answers one request with: the reply, and for a
// read its rows, encoded as they came from the database. frame() puts the
// two together for the socket without copying the rows.
struct ProviderAnswer
{
    ProviderReply reply;
    EncodedPacket rows;

    static ProviderAnswer failure(const QString& message)
    {
        return {ProviderReply::failure(0, message), {}};
    }
    QList<QByteArray> frame() const
    {
        return rows.hasColumns && reply.ok ? encodeReplyFrame(reply, &rows)
                                           : encodeReplyFrame(reply);
    }
};
