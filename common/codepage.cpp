#include "common/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

QByteArray installationCodePage()
{
    const QByteArray configured = qgetenv("NORVALK_CODEPAGE");
    return configured.isEmpty() ? QByteArrayLiteral("windows-1257") : configured;
}

QByteArray toCodePage(const QString& text)
{
    QStringEncoder encoder(installationCodePage().constData(), QStringConverter::Flag::Default);
    if (!encoder.isValid())
        return text.toLatin1();
    return encoder.encode(text);
}

QString fromCodePage(const QByteArray& bytes)
{
    QStringDecoder decoder(installationCodePage().constData(), QStringConverter::Flag::Default);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    return decoder.decode(bytes);
}
