#pragma once

#include "server/net/terminallist.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>

namespace asio::ssl {
class context;
} // namespace asio::ssl

// The server's side of the encrypted terminal link: its certificate and key
// in a TLS 1.3 context every session's stream is made from, and, when the
// terminals are enrolled, the list they are judged by. The context then asks
// every terminal for its certificate but accepts any in the handshake: the
// session compares the fingerprint afterwards, so that a terminal not
// enrolled gets a reply that says so instead of a broken connection.
//
// The sessions of every worker share one object; the list can be replaced
// from any thread while they read it.
class ServerTls final
{
public:
    // Nothing, and the reason in Latvian in *error, when a file cannot be
    // read, holds no PEM certificate or unencrypted private key, or the key
    // does not belong to the certificate. With terminals, enrolment is on.
    static std::shared_ptr<ServerTls> load(const QString& certificateFile, const QString& keyFile,
                                           std::optional<TerminalList> terminals, QString* error);
    ~ServerTls();
    ServerTls(const ServerTls&) = delete;
    ServerTls& operator=(const ServerTls&) = delete;

    asio::ssl::context& context() { return *m_context; }
    // The server's own certificate, as CertificateFingerprint gives it.
    const QString& fingerprint() const { return m_fingerprint; }
    bool enrolment() const { return m_enrolment; }
    // Any thread; only with enrolment on.
    void setTerminals(TerminalList terminals);
    // The enrolled name of a terminal's certificate: the list's, or
    // "serveris" for the server's own certificate; nothing when not enrolled.
    std::optional<QString> terminalName(const QString& fingerprint) const;

private:
    ServerTls();

    std::unique_ptr<asio::ssl::context> m_context;
    QString m_fingerprint;
    bool m_enrolment = false;
    mutable std::mutex m_mutex;
    TerminalList m_terminals;
};
