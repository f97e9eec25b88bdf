#include "client/core/terminalidentity.h"

#include "client/core/clienterror.h"
#include "client/core/localdatabase.h"
#include "common/certificatefingerprint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <functional>
#include <memory>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct OpenSslFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(X509* certificate) const { X509_free(certificate); }
    void operator()(BIO* bio) const { BIO_free(bio); }
    void operator()(BIGNUM* number) const { BN_free(number); }
};
template <typename T> using Owned = std::unique_ptr<T, OpenSslFree>;

// Long enough to outlive the device: the server pins the certificate by its
// fingerprint and does not look at the dates.
constexpr long kValidDays = 50L * 365;
constexpr mode_t kKeyMode = 0600;
constexpr mode_t kCertificateMode = 0644;

[[noreturn]] void failOpenSsl(const char* what)
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    ERR_clear_error();
    throw ClientError(QStringLiteral("Neizdevās izveidot termināļa sertifikātu (%1): %2")
                          .arg(QString::fromLatin1(what), QString::fromLatin1(text)));
}

QByteArray pemOf(const std::function<int(BIO*)>& write, const char* what)
{
    Owned<BIO> memory(BIO_new(BIO_s_mem()));
    if (!memory || write(memory.get()) != 1)
        failOpenSsl(what);
    char* data = nullptr;
    const long size = BIO_get_mem_data(memory.get(), &data);
    return QByteArray(data, qsizetype(size));
}

struct PemPair
{
    QByteArray certificate;
    QByteArray key;
};

PemPair makePair()
{
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    if (!key)
        failOpenSsl("EC P-256");
    Owned<X509> certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), 2) != 1)
        failOpenSsl("X509");
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        failOpenSsl("serial");
    serial[0] &= 0x7F; // a positive number
    Owned<BIGNUM> number(BN_bin2bn(serial, sizeof serial, nullptr));
    if (!number || !BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())))
        failOpenSsl("serial");
    // A day back: a terminal's clock may be behind the server's.
    if (!X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24L * 3600) ||
        !X509_time_adj_ex(X509_getm_notAfter(certificate.get()), int(kValidDays), 0, nullptr))
        failOpenSsl("dates");
    // The device's name, for the administrator who reads the certificate.
    const QByteArray commonName =
        (QStringLiteral("Norvalk terminal ") + QSysInfo::machineHostName()).left(64).toUtf8();
    X509_NAME* name = X509_get_subject_name(certificate.get());
    if (X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.constData()),
                                   int(commonName.size()), -1, 0) != 1 ||
        X509_set_issuer_name(certificate.get(), name) != 1 ||
        X509_set_pubkey(certificate.get(), key.get()) != 1 ||
        X509_sign(certificate.get(), key.get(), EVP_sha256()) <= 0)
        failOpenSsl("X509");
    PemPair pair;
    pair.certificate =
        pemOf([&](BIO* out) { return PEM_write_bio_X509(out, certificate.get()); }, "PEM");
    pair.key = pemOf(
        [&](BIO* out) {
            return PEM_write_bio_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
        },
        "PEM");
    return pair;
}

// Empty when the two texts are a certificate and its own private key; else
// what is wrong with them.
QString checkPair(const QByteArray& certificatePem, const QByteArray& keyPem)
{
    Owned<BIO> certificateIn(
        BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size())));
    Owned<X509> certificate(PEM_read_bio_X509(certificateIn.get(), nullptr, nullptr, nullptr));
    Owned<BIO> keyIn(BIO_new_mem_buf(keyPem.constData(), int(keyPem.size())));
    Owned<EVP_PKEY> key(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    if (!certificate)
        return QStringLiteral("sertifikātu nevar nolasīt");
    if (!key)
        return QStringLiteral("atslēgu nevar nolasīt");
    const bool matches = X509_check_private_key(certificate.get(), key.get()) == 1;
    ERR_clear_error();
    return matches ? QString() : QStringLiteral("atslēga neatbilst sertifikātam");
}

// The whole file beside itself, then renamed over the old one.
void writeWhole(const QString& path, const QByteArray& data, mode_t mode)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".new";
    const auto fail = [&path](const char* what) {
        throw ClientError(QStringLiteral("%1: %2 (%3)")
                              .arg(QDir::toNativeSeparators(path),
                                   QString::fromLocal8Bit(std::strerror(errno)),
                                   QString::fromLatin1(what)));
    };
    const int file = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (file < 0)
        fail("open");
    // A file left from an earlier try may have other rights.
    bool written = ::fchmod(file, mode) == 0;
    for (qsizetype at = 0; written && at < data.size();) {
        const ssize_t put = ::write(file, data.constData() + at, size_t(data.size() - at));
        if (put < 0 && errno == EINTR)
            continue;
        written = put > 0;
        at += qMax<ssize_t>(0, put);
    }
    written = written && ::fsync(file) == 0;
    const int error = errno;
    ::close(file);
    if (!written || ::rename(temporary.constData(), target.constData()) != 0) {
        if (written)
            fail("rename");
        ::unlink(temporary.constData());
        errno = error;
        fail("write");
    }
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(64 * 1024) : QByteArray();
}

} // namespace

QString TerminalIdentity::DefaultFolder()
{
    return QFileInfo(LocalDatabase::defaultPath()).absolutePath();
}

TerminalIdentity TerminalIdentity::LoadOrCreate(const QString& folder)
{
    const QDir dir(folder);
    const QString certificatePath = dir.filePath(CertificateFileName());
    const QString keyPath = dir.filePath(KeyFileName());
    const bool hasCertificate = QFileInfo::exists(certificatePath);
    const bool hasKey = QFileInfo::exists(keyPath);

    TerminalIdentity identity;
    PemPair pair{readFile(certificatePath), readFile(keyPath)};
    if (!hasCertificate && !hasKey) {
        identity.m_origin = Origin::Created;
    } else if (!hasCertificate || !hasKey) {
        identity.m_origin = Origin::Remade;
        identity.m_damage =
            QStringLiteral("nav faila %1").arg(hasKey ? CertificateFileName() : KeyFileName());
    } else {
        identity.m_damage = checkPair(pair.certificate, pair.key);
        if (!identity.m_damage.isEmpty())
            identity.m_origin = Origin::Remade;
    }

    if (identity.m_origin != Origin::Loaded) {
        if (!QDir().mkpath(folder))
            throw ClientError(
                QStringLiteral("%1: mapi nevar izveidot").arg(QDir::toNativeSeparators(folder)));
        pair = makePair();
        // The key first: a crash between the two leaves a pair that does not
        // match, which the next start makes anew, never a certificate whose
        // key is gone.
        writeWhole(keyPath, pair.key, kKeyMode);
        writeWhole(certificatePath, pair.certificate, kCertificateMode);
    } else {
        // Whoever copied the files in may have left the key readable to all.
        ::chmod(QFile::encodeName(keyPath).constData(), kKeyMode);
    }

    identity.m_certificate = QSslCertificate(pair.certificate, QSsl::Pem);
    identity.m_key = QSslKey(pair.key, QSsl::Ec, QSsl::Pem);
    if (identity.m_certificate.isNull() || identity.m_key.isNull())
        throw ClientError(
            QStringLiteral("%1: termināļa sertifikātu nevar izmantot").arg(certificatePath));
    identity.m_fingerprint = CertificateFingerprint(identity.m_certificate.toDer());
    return identity;
}
