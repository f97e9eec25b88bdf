#include "tests/support/statementrecorder.h"

#include "common/providerclient.h"

#include <algorithm>

StatementRecorder::StatementRecorder() : m_state(std::make_shared<State>()) {}

void StatementRecorder::attach(ProviderClient& client)
{
    // A client that outlives the recorder records into nothing.
    const std::weak_ptr<State> weak = m_state;
    client.setStatementObserver([weak](const QString& text) {
        const std::shared_ptr<State> state = weak.lock();
        if (state && state->recording && !text.isEmpty())
            state->texts.insert(text);
    });
}

QStringList StatementRecorder::texts() const
{
    QStringList list(m_state->texts.cbegin(), m_state->texts.cend());
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
    m_state->texts.clear();
}
