#include "tests/support/statementrecorder.h"

#include "common/providerclient.h"

#include <algorithm>

StatementRecorder::StatementRecorder() : m_texts(std::make_shared<QSet<QString>>()) {}

StatementRecorder::~StatementRecorder()
{
    // A client that outlives the recorder keeps a set nobody reads; the
    // recorder only stops looking at it.
    m_texts.reset();
}

void StatementRecorder::attach(ProviderClient& client)
{
    const std::weak_ptr<QSet<QString>> texts = m_texts;
    client.setStatementObserver([texts](const QString& text) {
        if (text.isEmpty())
            return;
        if (const auto set = texts.lock())
            set->insert(text);
    });
}

QStringList StatementRecorder::texts() const
{
    QStringList list(m_texts->cbegin(), m_texts->cend());
    std::sort(list.begin(), list.end());
    return list;
}

QStringList StatementRecorder::missing(const QStringList& catalogue) const
{
    const QSet<QString> known(catalogue.cbegin(), catalogue.cend());
    QStringList absent;
    for (const QString& text : texts()) {
        if (!known.contains(text))
            absent << text;
    }
    return absent;
}

QString StatementRecorder::describeMissing(const QStringList& catalogue) const
{
    QStringList lines;
    for (const QString& text : missing(catalogue))
        lines << QStringLiteral("not in the statement catalogue: ") +
                     QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).left(400);
    return lines.join(QLatin1Char('\n'));
}

void StatementRecorder::clear()
{
    m_texts->clear();
}
