#include "common/encodetext.h"

#include "common/codepage.h"

QString EncodeText(const QString& text)
{
    QByteArray bytes = toCodePage(text);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int position = int(i) + 1;
        bytes[i] = char((quint8(bytes[i]) + 2 * position + 5) % 256);
    }
    return fromCodePage(bytes);
}
