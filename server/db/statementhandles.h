#pragma once

#include "common/remoteparam.h"

#include <QString>

#include <list>
#include <unordered_map>

// The statement texts one terminal has registered under handles of its own
// choosing, with the names, types and directions of the parameters they came
// with, so that later requests send only the handle and the bare values. A
// connection's texts are few but a terminal is not trusted to keep them so:
// at most kMaxHandles of them, taking at most kMaxBytes of memory together,
// are kept, and the least recently used go first. A handle the server has
// let go is answered as unknown and the terminal registers it again, so
// forgetting costs a round trip, never a wrong statement.
class StatementHandles final
{
public:
    static constexpr qsizetype kMaxHandles = 256;
    static constexpr qsizetype kMaxBytes = 1024 * 1024;

    struct Statement
    {
        QString text;
        RemoteParams params; // names, types and directions; no values
    };

    // Registers (or replaces) the handle. A text too large for the budget on
    // its own is not kept.
    void remember(quint32 handle, const QString& text, const RemoteParams& params);
    // The registered statement, now the most recently used; null when unknown.
    const Statement* find(quint32 handle);
    // Lets the handle go; nothing when unknown.
    void forget(quint32 handle);

    qsizetype size() const { return qsizetype(m_entries.size()); }
    qsizetype bytes() const { return m_bytes; }

private:
    struct Entry
    {
        Statement statement;
        qsizetype bytes = 0;
        std::list<quint32>::iterator use;
    };

    std::unordered_map<quint32, Entry> m_entries;
    std::list<quint32> m_uses; // most recently used first
    qsizetype m_bytes = 0;
};
