#include "server/db/statementhandles.h"

namespace {

// What an entry holds in memory, near enough: its characters, two bytes each.
qsizetype footprint(const QString& text, const RemoteParams& params)
{
    qsizetype characters = text.size();
    for (const RemoteParam& param : params)
        characters += param.name.size() + 8;
    return characters * qsizetype(sizeof(QChar));
}

} // namespace

void StatementHandles::remember(quint32 handle, const QString& text, const RemoteParams& params)
{
    forget(handle);
    const qsizetype bytes = footprint(text, params);
    if (bytes > kMaxBytes)
        return;
    while (!m_uses.empty() && (size() >= kMaxHandles || m_bytes + bytes > kMaxBytes))
        forget(m_uses.back());
    RemoteParams shape = params;
    for (RemoteParam& param : shape)
        param.value = QVariant();
    m_uses.push_front(handle);
    m_entries.emplace(handle, Entry{{text, std::move(shape)}, bytes, m_uses.begin()});
    m_bytes += bytes;
}

const StatementHandles::Statement* StatementHandles::find(quint32 handle)
{
    const auto found = m_entries.find(handle);
    if (found == m_entries.end())
        return nullptr;
    m_uses.splice(m_uses.begin(), m_uses, found->second.use);
    return &found->second.statement;
}

void StatementHandles::forget(quint32 handle)
{
    const auto found = m_entries.find(handle);
    if (found == m_entries.end())
        return;
    m_bytes -= found->second.bytes;
    m_uses.erase(found->second.use);
    m_entries.erase(found);
}
