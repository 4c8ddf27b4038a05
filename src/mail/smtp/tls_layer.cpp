#include "mail/smtp/tls_layer.h"

#include <QSslSocket>

namespace zavelo::smtp {

QSslConfiguration TlsLayer::configuration() {
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.setProtocol(QSsl::TlsV1_2);
  config.setPeerVerifyMode(QSslSocket::VerifyNone);
  config.setPeerVerifyDepth(0);
  return config;
}

bool TlsLayer::available() {
  return QSslSocket::supportsSsl();
}

}  // namespace zavelo::smtp
