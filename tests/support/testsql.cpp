#include "tests/support/testsql.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

void TestSql::setPort(quint16 port)
{
    m_client.setHost(QStringLiteral("127.0.0.1"));
    m_client.setPort(port);
}

void TestSql::setTls(const QString& serverFingerprint, const QString& certificateFile,
                     const QString& keyFile)
{
    QFile certificate(certificateFile);
    QFile key(keyFile);
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        qFatal("TestSql: cannot read %s or %s", qPrintable(certificateFile), qPrintable(keyFile));
    m_client.setTls(serverFingerprint, QSslCertificate(certificate.readAll(), QSsl::Pem),
                    QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
}

void TestSql::run(const QString& sql, const QMap<QString, QString>& textParams)
{
    RemoteParams params;
    for (auto it = textParams.cbegin(); it != textParams.cend(); ++it)
        params.append(RemoteParam::text(it.key(), it.value()));
    m_client.execute(QStringLiteral("dspTempQuery"), sql, params);
}

QVariant TestSql::value(const QString& sql)
{
    RemoteParams none;
    const DataPacket packet = m_client.getRecords(QStringLiteral("dspTempQuery"), sql, none);
    return packet.rows.isEmpty() ? QVariant() : packet.rows.first().value(0);
}
