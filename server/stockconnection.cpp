#include "stockconnection.h"

#include "databaseerror.h"
#include "stockdatabase.h"

ProviderReply StockConnection::run(const Job& job)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool wasOpen = m_attachment.isOpen();
        try {
            if (!wasOpen)
                openStockDatabase(m_attachment, m_databasePath);
            return job(m_attachment);
        } catch (const DatabaseError& error) {
            m_attachment.close();
            if (!error.connectionLost() || !wasOpen || attempt > 0)
                return ProviderReply::failure(0, error.message());
        }
    }
    return ProviderReply::failure(0, QStringLiteral("Datu bāze nav pieejama"));
}
