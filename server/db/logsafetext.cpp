#include "server/db/logsafetext.h"

#include <QStringList>

#include <algorithm>

namespace {

// Longer than any error Firebird gives; shorter than a statement.
constexpr qsizetype kMaxLoggedLength = 300;
constexpr qsizetype kMaxNameLength = 63;

const QString kHidden = QStringLiteral("…");

bool isName(QStringView text)
{
    if (text.isEmpty() || text.size() > kMaxNameLength)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'$';
    });
}

// Whether the text before a quoted run says that a name follows: a word such
// as "table" and a space, or the dot of "TABLE"."COLUMN".
bool namesFollow(QStringView before)
{
    static const QStringList kWords{
        QStringLiteral("table "),    QStringLiteral("column "),    QStringLiteral("constraint "),
        QStringLiteral("index "),    QStringLiteral("procedure "), QStringLiteral("exception "),
        QStringLiteral("trigger "),  QStringLiteral("view "),      QStringLiteral("generator "),
        QStringLiteral("function "), QStringLiteral("domain "),    QStringLiteral("relation "),
        QStringLiteral("TABLE "),    QStringLiteral("COLUMN "),    QStringLiteral("PROCEDURE ")};
    if (before.endsWith(QLatin1String("\".")))
        return true;
    return std::any_of(kWords.cbegin(), kWords.cend(),
                       [before](const QString& word) { return before.endsWith(word); });
}

} // namespace

QString logSafeText(const QString& text)
{
    QString safe;
    safe.reserve(qMin(text.size(), kMaxLoggedLength) + 8);
    qsizetype at = 0;
    while (at < text.size() && safe.size() < kMaxLoggedLength) {
        const QChar c = text.at(at);
        if (c != u'"' && c != u'\'') {
            safe.append(c);
            ++at;
            continue;
        }
        // An unclosed quote hides the rest: it is the start of a value.
        qsizetype close = text.indexOf(c, at + 1);
        if (close < 0)
            close = text.size();
        const QStringView inside = QStringView(text).mid(at + 1, close - at - 1);
        safe.append(c);
        safe.append(c == u'"' && isName(inside) && namesFollow(QStringView(safe).chopped(1))
                        ? inside.toString()
                        : kHidden);
        if (close < text.size())
            safe.append(c);
        at = close + 1;
    }
    if (at < text.size())
        safe.append(kHidden);
    return safe;
}
