#pragma once

#include <QDateTime>
#include <QStringList>

// The server's rolling log of connects, disconnects and errors. Every line
// goes through add(): it is stamped with day, month and time, cut at 100
// characters (the rest becomes one more item) and split at line breaks; the
// oldest items go once the log holds more than 3000, so that it never holds
// more than 3001 whatever the texts.
class ProcessLog final
{
public:
    static constexpr qsizetype kMaxItems = 3000;
    static constexpr qsizetype kMaxLineLength = 100;

    // The items one log line becomes, without touching the log.
    static QStringList itemsFor(const QString& text, const QDateTime& now);
    // "dd.mm.yyyy" as the server machine writes dates.
    static QString shortDateText(const QDate& date);

    // Appends the items of one line and returns them.
    QStringList add(const QString& text, const QDateTime& now = QDateTime::currentDateTime());
    // Items removed from the front by the last add(): as many as it added
    // beyond the limit.
    qsizetype droppedByLastAdd() const { return m_droppedByLastAdd; }
    const QStringList& items() const { return m_items; }

private:
    QStringList m_items;
    qsizetype m_droppedByLastAdd = 0;
};
