#pragma once

#include "server/db/provideranswer.h"

#include <QString>

#include <functional>

#include "server/db/fbattachment.h"

// One worker's attachment to the stock database. It is opened on first use
// and opened again after it was lost; a job that finds an attachment cut by
// the database server meanwhile gets one more try on a fresh one, unless it
// had already handed the database a statement that may change data (the
// change may have been applied). While the database cannot be opened, jobs
// fail with the database's text.
class StockConnection final
{
public:
    using Job = std::function<ProviderAnswer(FbAttachment&)>;

    explicit StockConnection(QString databasePath) : m_databasePath(std::move(databasePath)) {}

    ProviderAnswer run(const Job& job);
    void close() { m_attachment.close(); }
    void dropStatements() noexcept { m_attachment.dropStatements(); }
    int cachedStatementCount() const { return m_attachment.cachedStatementCount(); }
    // What the last job's statements met of other workers' writes of the
    // same rows, and ran again for.
    FbAttachment::Conflicts conflicts() const { return m_attachment.conflicts(); }
    // Any thread: fails the statement that runs now, if one does.
    void cancel() noexcept { m_attachment.cancelOperation(); }

private:
    const QString m_databasePath;
    FbAttachment m_attachment;
};
