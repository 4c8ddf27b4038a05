// How far the client trusts the server it upgrades with STARTTLS. By default the certificate is
// not checked and a server without STARTTLS gets the dialogue in plain text; strict, the mail
// goes only over STARTTLS with a certificate that verifies against the system's trusted
// certificates (and any given in addition) for the mail server's host name. What a connection's
// TLS session turned out to be is kept for the journal and the configuration check.
#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

namespace zavelo::smtp {

struct TlsPolicy {
  bool strict = false;
  // Trusted beside the system's certificates (a company's own authority, a self-signed
  // server); only used when strict.
  QList<QSslCertificate> extraCertificates{};
};

struct TlsSession {
  bool encrypted = false;
  QString protocol;  // "TLS 1.2", "TLS 1.3"
  // The server's certificate first, as it sent them.
  QList<QSslCertificate> chain;
  // Strict: the handshake verified the certificate (it fails otherwise).
  bool verified = false;
  // Why the certificate did not verify, when it did not.
  QList<QSslError> errors;
};

// "TLS 1.2" and the like, for the journal and the check.
QString protocolName(int protocol);
// The certificate's SHA-256 digest as colon-separated upper-case hex pairs.
QString sha256Fingerprint(const QSslCertificate& certificate);
// One Spanish reason per verification error, joined by "; ".
QString verificationReasons(const QList<QSslError>& errors, const QString& host);

}  // namespace zavelo::smtp
