#include "server/app/processlog.h"

QString ProcessLog::shortDateText(const QDate& date)
{
    return date.toString(QStringLiteral("dd.MM.yyyy"));
}

QStringList ProcessLog::itemsFor(const QString& text, const QDateTime& now)
{
    QString line = shortDateText(now.date()).left(5) + QLatin1Char('-') +
                   now.time().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + text;
    QString overflow;
    if (line.size() > kMaxLineLength) {
        overflow = line.mid(kMaxLineLength);
        line.truncate(kMaxLineLength);
    }

    QStringList items;
    if (!line.contains(QLatin1Char('\n'))) {
        items.append(line);
    } else {
        // Windows breaks are CR LF; Firebird's messages break with LF alone, so
        // the character before a feed is dropped only when it is a CR.
        qsizetype feed;
        while ((feed = line.indexOf(QLatin1Char('\n'))) >= 0) {
            const bool carriageReturn = feed > 0 && line[feed - 1] == QLatin1Char('\r');
            items.append(line.left(carriageReturn ? feed - 1 : feed));
            line = line.mid(feed + 1);
        }
        if (!line.isEmpty())
            items.append(line);
    }
    if (!overflow.isEmpty())
        items.append(overflow);
    return items;
}

QStringList ProcessLog::add(const QString& text, const QDateTime& now)
{
    const QStringList added = itemsFor(text, now);
    // A line of one item drops the oldest once the log holds more than the
    // limit; a line that splits into several makes room for all of them, or
    // texts full of line breaks would grow the log without end.
    m_droppedByLastAdd =
        qBound<qsizetype>(0, m_items.size() + added.size() - (kMaxItems + 1), m_items.size());
    m_items.erase(m_items.begin(), m_items.begin() + m_droppedByLastAdd);
    m_items.append(added);
    return added;
}
