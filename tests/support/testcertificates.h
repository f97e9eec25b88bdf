#pragma once

#include <QString>
#include <QTemporaryDir>

// Self-signed certificates for the tests of the encrypted link, made with the
// openssl program in a temporary folder of their own and removed with the
// object: each make() a new key pair (EC P-256), as a shop's server or a
// terminal would have.
class TestCertificates final
{
public:
    struct Pair
    {
        QString certificate; // PEM file
        QString key;         // PEM file, unencrypted
        QString fingerprint; // SHA-256, as CertificateFingerprint gives it
    };

    // Empty paths (and the reason in error()) when openssl failed.
    Pair make(const QString& name);
    QString error() const { return m_error; }
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_error;
};
