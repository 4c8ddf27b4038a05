#include "mail/smtp/tls_policy.h"

#include <QCryptographicHash>
#include <QStringList>

namespace zavelo::smtp {

QString protocolName(int protocol) {
  switch (static_cast<QSsl::SslProtocol>(protocol)) {
    case QSsl::TlsV1_2:
      return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3:
      return QStringLiteral("TLS 1.3");
    default:
      return QStringLiteral("TLS (versi\u00f3n desconocida)");
  }
}

QString sha256Fingerprint(const QSslCertificate& certificate) {
  return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

namespace {

QString reason(const QSslError& error, const QString& host) {
  const QSslCertificate& cert = error.certificate();
  const QString selfSigned =
      QStringLiteral("el certificado es autofirmado y no est\u00e1 entre los de confianza");
  switch (error.error()) {
    case QSslError::SelfSignedCertificate:
      return selfSigned;
    // Schannel's word for a root it does not trust, a self-signed certificate included.
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
      if (!cert.isNull() && cert.isSelfSigned()) return selfSigned;
      [[fallthrough]];
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
      return QStringLiteral(
          "el emisor del certificado no est\u00e1 entre los certificados de confianza");
    case QSslError::CertificateExpired:
      return QStringLiteral("el certificado venci\u00f3 el %1")
          .arg(cert.expiryDate().toUTC().toString(Qt::ISODate));
    case QSslError::CertificateNotYetValid:
      return QStringLiteral("el certificado no es v\u00e1lido hasta el %1")
          .arg(cert.effectiveDate().toUTC().toString(Qt::ISODate));
    case QSslError::HostNameMismatch:
      return QStringLiteral("el certificado no es para el nombre \u00ab%1\u00bb").arg(host);
    case QSslError::CertificateRevoked:
      return QStringLiteral("el certificado fue revocado");
    case QSslError::NoPeerCertificate:
      return QStringLiteral("el servidor no present\u00f3 certificado");
    default:
      return error.errorString();
  }
}

}  // namespace

QString verificationReasons(const QList<QSslError>& errors, const QString& host) {
  QStringList reasons;
  for (const QSslError& error : errors) {
    const QString text = reason(error, host);
    if (!reasons.contains(text)) reasons.append(text);
  }
  return reasons.join(QStringLiteral("; "));
}

}  // namespace zavelo::smtp
