#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// Which terminals may connect: addresses and networks in CIDR form, IPv4
// and IPv6 ("192.168.10.0/24, 10.0.0.7, fd00::/8"). An empty list lets
// everyone in. An IPv4 terminal reaching an IPv6 socket (::ffff:a.b.c.d)
// is matched as the IPv4 address it is.
class AllowList final
{
public:
    // Entries separated by commas, semicolons or blanks; nothing when one of
    // them is neither an address nor a network, with that entry in *error.
    static std::optional<AllowList> parse(const QString& text, QString* error);

    bool allowsEveryone() const { return m_networks.isEmpty(); }
    bool allows(const QHostAddress& address) const;
    // The entries in their canonical form, for the log.
    QString describe() const;

private:
    QList<QPair<QHostAddress, int>> m_networks;
};
