#include "server/net/allowlist.h"

#include <QRegularExpression>

namespace {

QHostAddress plain(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4) : address;
}

} // namespace

std::optional<AllowList> AllowList::parse(const QString& text, QString* error)
{
    AllowList list;
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    for (const QString& entry : text.split(separators, Qt::SkipEmptyParts)) {
        QPair<QHostAddress, int> network;
        if (entry.contains(QLatin1Char('/'))) {
            network = QHostAddress::parseSubnet(entry);
        } else {
            const QHostAddress address = plain(QHostAddress(entry));
            network = {address, address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128};
        }
        if (network.first.isNull() || network.second < 0) {
            if (error)
                *error = entry;
            return std::nullopt;
        }
        list.m_networks.append(network);
    }
    return list;
}

bool AllowList::allows(const QHostAddress& address) const
{
    if (allowsEveryone())
        return true;
    const QHostAddress peer = plain(address);
    for (const auto& network : m_networks) {
        if (peer.isInSubnet(network))
            return true;
    }
    return false;
}

QString AllowList::describe() const
{
    QStringList entries;
    for (const auto& [address, prefix] : m_networks)
        entries.append(QStringLiteral("%1/%2").arg(address.toString()).arg(prefix));
    return entries.join(QStringLiteral(", "));
}
