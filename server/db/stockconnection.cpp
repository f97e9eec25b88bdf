#include "server/db/stockconnection.h"

#include "server/db/databaseerror.h"
#include "server/db/stockdatabase.h"

namespace {

const QString kWriteLostText =
    QStringLiteral("Savienojums ar datu bāzi pārtrūka, kamēr izmaiņas tika saglabātas; tās var "
                   "būt saglabātas vai nē, pārbaudiet pirms atkārtošanas !!!\n");

} // namespace

ProviderAnswer StockConnection::run(const Job& job)
{
    m_attachment.clearConflicts();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool wasOpen = m_attachment.isOpen();
        m_attachment.clearWriteMark();
        try {
            if (!wasOpen)
                openStockDatabase(m_attachment, m_databasePath);
            return job(m_attachment);
        } catch (const DatabaseError& error) {
            m_attachment.close();
            // A write the database may have applied is not sent again: the
            // terminal is told, and its user looks before trying again.
            if (error.connectionLost() && m_attachment.writeSent())
                return ProviderAnswer::failure(kWriteLostText + error.message());
            if (!error.connectionLost() || !wasOpen || attempt > 0)
                return ProviderAnswer::failure(error.message());
        }
    }
    return ProviderAnswer::failure(QStringLiteral("Datu bāze nav pieejama"));
}
