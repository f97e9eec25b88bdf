#include "processlog.h"

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
    m_droppedByLastAdd = 0;
    if (m_items.size() > kMaxItems) {
        m_items.removeFirst();
        m_droppedByLastAdd = 1;
    }
    const QStringList added = itemsFor(text, now);
    m_items.append(added);
    return added;
}
