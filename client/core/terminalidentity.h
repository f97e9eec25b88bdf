#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// The terminal's own key pair: an EC P-256 key and a self-signed certificate
// for it, which the terminal presents to the server whenever the link is
// encrypted, so that a server with enrolment on knows which terminal it is.
// The administrator enrols it by its fingerprint (shown in the settings
// window).
//
// Two files beside the terminal's own file (the key readable by its owner
// only). The first start makes them; later starts read the same pair back. A
// file that cannot be read as the pair (damaged, cut short, the key of
// another certificate, one of the two missing) is made anew, and the caller
// is told: the new certificate has another fingerprint, which the
// administrator must enrol again. Each file is written whole beside itself
// and then renamed over the old one, so a crash leaves either the old or the
// new file, never half of one.
class TerminalIdentity final
{
public:
    // How the pair came to be at this load.
    enum class Origin
    {
        Loaded,  // read back as made before
        Created, // none there: a first start
        Remade,  // the files were there but unusable; damage() says why
    };

    // Loads the pair from folder, or makes and stores one. Throws ClientError
    // when none can be made or stored.
    static TerminalIdentity LoadOrCreate(const QString& folder);
    // The terminal's: the folder of its own file.
    static QString DefaultFolder();

    static QString CertificateFileName() { return QStringLiteral("norvalk-terminal.crt"); }
    static QString KeyFileName() { return QStringLiteral("norvalk-terminal.key"); }

    QSslCertificate certificate() const { return m_certificate; }
    QSslKey key() const { return m_key; }
    // In the form the administrator enrols it (CertificateFingerprint).
    QString fingerprint() const { return m_fingerprint; }
    Origin origin() const { return m_origin; }
    QString damage() const { return m_damage; }

private:
    TerminalIdentity() = default;

    QSslCertificate m_certificate;
    QSslKey m_key;
    QString m_fingerprint;
    Origin m_origin = Origin::Loaded;
    QString m_damage;
};
