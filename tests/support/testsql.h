#pragma once

#include "common/providerclient.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QVariant>

// Statements for a test's own rows, sent to the test server over a
// connection of their own, so that whatever the code under test holds open
// is left as it left it. Errors throw RemoteError.
class TestSql final
{
public:
    void setPort(quint16 port);
    // Over TLS, pinning the server and showing certificate and key as its own:
    // the server's own pair gives the administrator's free SQL on its host.
    void setTls(const QString& serverFingerprint, const QString& certificateFile,
                const QString& keyFile);

    // A statement with text parameters.
    void run(const QString& sql, const QMap<QString, QString>& textParams = {});
    // The first value of the first row of a select; invalid when there is none.
    QVariant value(const QString& sql);

private:
    ProviderClient m_client;
};

// A date as a literal in a statement's text: '31.12.2026'.
inline QString sqlDate(const QDate& date)
{
    return QLatin1Char('\'') + date.toString(QStringLiteral("dd.MM.yyyy")) + QLatin1Char('\'');
}
