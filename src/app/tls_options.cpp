#include "app/tls_options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zavelo {

std::optional<smtp::TlsPolicy> tlsPolicyOf(const StartOptions& options, QString& error) {
  smtp::TlsPolicy policy;
  policy.strict = options.strictTls;
  if (options.certificates.isEmpty()) return policy;

  const QString shown = QDir::toNativeSeparators(options.certificates);
  const QFileInfo info(options.certificates);
  if (!info.exists()) {
    error = QStringLiteral("--certificados: no existe el archivo %1").arg(shown);
    return std::nullopt;
  }
  QFile file(options.certificates);
  if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
    error =
        QStringLiteral("--certificados: no se puede leer %1: %2")
            .arg(shown, info.isFile() ? file.errorString() : QStringLiteral("no es un archivo"));
    return std::nullopt;
  }
  policy.extraCertificates = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
  if (policy.extraCertificates.isEmpty()) {
    error = QStringLiteral(
                "--certificados: %1 no contiene ning\u00fan certificado PEM "
                "(-----BEGIN CERTIFICATE-----)")
                .arg(shown);
    return std::nullopt;
  }
  return policy;
}

}  // namespace zavelo
