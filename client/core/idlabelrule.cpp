#include "client/core/idlabelrule.h"

IdLabel IdLabelRule(const QString& text)
{
    IdLabel label{text, text, false};
    if (!text.contains(QLatin1String("D:A")))
        return label;
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'));
    if (lineFeed >= 0)
        label.article = text.left(lineFeed);
    // 1-based position p of "ID:A" (0 without one); the key is from p + 4 on.
    const qsizetype p = label.article.indexOf(QLatin1String("ID:A")) + 1;
    const qsizetype start = p + 4 - 1;
    label.code = start <= label.article.size() ? label.article.mid(start) : QString();
    label.byIsn = true;
    return label;
}
