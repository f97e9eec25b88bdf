#include "server/net/servertls.h"

#include "common/certificatefingerprint.h"

#include <QFile>

#include <asio/ssl/context.hpp>

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

struct BioFree
{
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free
{
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct KeyFree
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

std::optional<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

std::unique_ptr<BIO, BioFree> memoryBio(const QByteArray& bytes)
{
    return std::unique_ptr<BIO, BioFree>(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

// An encrypted key would otherwise make OpenSSL ask for its password on the
// terminal the service has not got.
int noPassword(char*, int, int, void*)
{
    return 0;
}

// Any certificate passes the handshake: the session looks its fingerprint up
// once the link is up, and answers a terminal not enrolled in words.
int acceptAnyCertificate(int, X509_STORE_CTX*)
{
    return 1;
}

QString derFingerprint(X509* certificate)
{
    const int size = i2d_X509(certificate, nullptr);
    if (size <= 0)
        return QString();
    QByteArray der(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    i2d_X509(certificate, &out);
    return CertificateFingerprint(der);
}

} // namespace

ServerTls::ServerTls() = default;
ServerTls::~ServerTls() = default;

std::shared_ptr<ServerTls> ServerTls::load(const QString& certificateFile, const QString& keyFile,
                                           std::optional<TerminalList> terminals, QString* error)
{
    const std::optional<QByteArray> certificateText = readFile(certificateFile);
    if (!certificateText) {
        *error = QStringLiteral("Nevaru nolasīt servera sertifikāta failu '%1' !!!")
                     .arg(certificateFile);
        return nullptr;
    }
    const std::unique_ptr<X509, X509Free> certificate(
        PEM_read_bio_X509(memoryBio(*certificateText).get(), nullptr, noPassword, nullptr));
    if (!certificate) {
        *error = QStringLiteral("Failā '%1' nav PEM sertifikāta !!!").arg(certificateFile);
        return nullptr;
    }
    const std::optional<QByteArray> keyText = readFile(keyFile);
    if (!keyText) {
        *error = QStringLiteral("Nevaru nolasīt servera atslēgas failu '%1' !!!").arg(keyFile);
        return nullptr;
    }
    const std::unique_ptr<EVP_PKEY, KeyFree> key(
        PEM_read_bio_PrivateKey(memoryBio(*keyText).get(), nullptr, noPassword, nullptr));
    if (!key) {
        *error = QStringLiteral("Failā '%1' nav nešifrētas PEM privātās atslēgas !!!").arg(keyFile);
        return nullptr;
    }
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
        *error = QStringLiteral("Atslēga '%1' neatbilst sertifikātam '%2' !!!")
                     .arg(keyFile, certificateFile);
        return nullptr;
    }

    std::shared_ptr<ServerTls> tls(new ServerTls());
    tls->m_context = std::make_unique<asio::ssl::context>(asio::ssl::context::tlsv13_server);
    SSL_CTX* const context = tls->m_context->native_handle();
    if (SSL_CTX_use_certificate(context, certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context, key.get()) != 1) {
        *error = QStringLiteral("Sertifikātu '%1' nevar izmantot TLS savienojumam !!!")
                     .arg(certificateFile);
        return nullptr;
    }
    // Terminals connect once and stay: resumption would only add tickets
    // to every handshake.
    SSL_CTX_set_num_tickets(context, 0);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_OFF);
    tls->m_fingerprint = derFingerprint(certificate.get());
    // Every terminal is asked for its certificate, also without the
    // terminals file: the one that shows the server's own may send any
    // statement from the server's host. Any certificate passes the
    // handshake; what it is worth is decided after it.
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, acceptAnyCertificate);
    if (terminals) {
        tls->m_enrolment = true;
        tls->m_terminals = std::move(*terminals);
    }
    return tls;
}

void ServerTls::setTerminals(TerminalList terminals)
{
    std::lock_guard lock(m_mutex);
    m_terminals = std::move(terminals);
}

std::optional<QString> ServerTls::terminalName(const QString& fingerprint) const
{
    if (fingerprint == m_fingerprint)
        return QStringLiteral("serveris");
    std::lock_guard lock(m_mutex);
    return m_terminals.name(fingerprint);
}
