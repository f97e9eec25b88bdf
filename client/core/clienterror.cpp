#include "client/core/clienterror.h"

#include "common/remoteerror.h"

QString errorText(const std::exception& error)
{
    if (const auto* client = dynamic_cast<const ClientError*>(&error))
        return client->message();
    if (const auto* remote = dynamic_cast<const RemoteError*>(&error))
        return remote->message();
    return QString::fromUtf8(error.what());
}
