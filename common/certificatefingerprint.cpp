#include "common/certificatefingerprint.h"

#include <QCryptographicHash>

namespace {

constexpr int kDigestBytes = 32;

QString Grouped(const QByteArray& digest)
{
    return QString::fromLatin1(digest.toHex(':').toUpper());
}

} // namespace

QString CertificateFingerprint(const QByteArray& der)
{
    return Grouped(QCryptographicHash::hash(der, QCryptographicHash::Sha256));
}

QString NormalizeFingerprint(const QString& text)
{
    QString hex = text.trimmed();
    const qsizetype equals = hex.lastIndexOf(QLatin1Char('='));
    if (equals >= 0)
        hex = hex.mid(equals + 1);
    hex.remove(QLatin1Char(':'));
    hex.remove(QLatin1Char(' '));
    if (hex.size() != 2 * kDigestBytes)
        return QString();
    for (const QChar c : hex) {
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c))
            return QString();
    }
    return Grouped(QByteArray::fromHex(hex.toLatin1()));
}
