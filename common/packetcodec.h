#pragma once

#include "datapacket.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The CBOR form of a data packet: { "cols": [[name, type, size]...],
// "rows": [[value...]...] }, written and read as a stream. Row sets are
// the bulk of the traffic, and a stream spares building a value tree per
// cell on either side. decodePacket checks every type against its column
// and returns nothing, with the reason, for bytes that do not fit.
QByteArray encodePacket(const DataPacket& packet);
std::optional<DataPacket> decodePacket(QByteArrayView bytes, QString* error);
