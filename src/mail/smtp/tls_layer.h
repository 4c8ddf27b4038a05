// The TLS layer an SMTP connection is upgraded with (STARTTLS): TLS 1.2 only, the server's
// certificate not verified, no client certificate. It carries the host and port of the
// connection; the client overwrites both with its own at every connection.
#pragma once

#include <QByteArray>
#include <QSslConfiguration>
#include <QtGlobal>

namespace zavelo::smtp {

class TlsLayer {
 public:
  const QByteArray& host() const { return host_; }
  void setHost(const QByteArray& host) { host_ = host; }
  quint16 port() const { return port_; }
  void setPort(quint16 port) { port_ = port; }

  // The settings of the handshake: client role, TLS 1.2 only, no verification (depth 0).
  static QSslConfiguration configuration();

  // Whether the TLS implementation could be loaded on this machine.
  static bool available();

 private:
  QByteArray host_;
  quint16 port_ = 0;
};

}  // namespace zavelo::smtp
