#pragma once

#include <QByteArray>
#include <QString>

// A certificate's fingerprint as the administrator reads and types it: the
// SHA-256 of its DER bytes as 32 upper-case hex pairs joined by colons
// ("AB:01:..."), the form `openssl x509 -fingerprint -sha256` prints. Both
// ends of the terminal link, the settings files and the tools use this one
// form, so that a fingerprint copied from one place matches in another.
QString CertificateFingerprint(const QByteArray& der);

// A fingerprint as someone typed or pasted it (with or without colons or
// spaces, either case, an "sha256 Fingerprint=" prefix) in the canonical
// form; empty when it is not 32 hex pairs.
QString NormalizeFingerprint(const QString& text);
