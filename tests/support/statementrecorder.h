#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

class ProviderClient;

// Records every statement text a terminal's connection sends, so that a test
// can prove the statement catalogue holds each of them: a text missing from
// it would be refused by a server with its statement lock on.
//
//     StatementRecorder recorder;
//     recorder.attach(module.SQLConnection1().client());
//     ... drive the windows or data classes ...
//     QVERIFY2(recorder.missing(TerminalStatements()).isEmpty(), ...);
//
// Texts the provider runs as its own (an empty command text) are not
// recorded. The recorder may go before the client: what the client calls
// then records into nothing.
class StatementRecorder final
{
public:
    StatementRecorder();
    StatementRecorder(const StatementRecorder&) = delete;
    StatementRecorder& operator=(const StatementRecorder&) = delete;

    // From now on, every statement the client sends is recorded.
    void attach(ProviderClient& client);

    // The texts recorded, sorted, each once.
    QStringList texts() const;
    // Those of them that catalogue does not hold, sorted.
    QStringList missing(const QStringList& catalogue) const;
    // The missing texts for a failure message: each cut to its start, one a
    // line; empty when none is missing.
    QString describeMissing(const QStringList& catalogue) const;
    void clear();
    // Off: statements a test sends for its own reference, not as the
    // terminal would, go unrecorded until it is on again.
    void setRecording(bool on) { m_state->recording = on; }

private:
    struct State
    {
        QSet<QString> texts;
        bool recording = true;
    };
    std::shared_ptr<State> m_state;
};
