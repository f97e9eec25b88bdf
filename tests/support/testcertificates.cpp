#include "tests/support/testcertificates.h"

#include "common/certificatefingerprint.h"

#include <QFile>
#include <QProcess>
#include <QSslCertificate>

TestCertificates::Pair TestCertificates::make(const QString& name)
{
    const QString certificate = m_dir.filePath(name + QStringLiteral(".pem"));
    const QString key = m_dir.filePath(name + QStringLiteral(".key"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=") + name, QStringLiteral("-keyout"), key,
                   QStringLiteral("-out"), certificate});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        m_error =
            QStringLiteral("openssl: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
        return {};
    }
    QFile file(certificate);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = certificate + QStringLiteral(": ") + file.errorString();
        return {};
    }
    const QList<QSslCertificate> read = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (read.isEmpty()) {
        m_error = certificate + QStringLiteral(": not a certificate");
        return {};
    }
    return {certificate, key, CertificateFingerprint(read.first().toDer())};
}
