// Runs tests/fixtures/smtp_server.py (aiosmtpd) on loopback for one test, and reads back what
// it received with tests/fixtures/read_mail.py (Python's own MIME parser).
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "support/fixture_process.h"
#include "support/temp_dir.h"

namespace zavelo::test {

class RealSmtpServer {
 public:
  // Starts the server with extra options (such as "--make-cert", "--auth", "user:pw");
  // fails the current test when it does not come up within a bounded time.
  explicit RealSmtpServer(const QStringList& options = {});
  ~RealSmtpServer();

  quint16 port() const { return port_; }
  const QString& folder() const { return folder_; }
  // Ends the server (so that its files are complete) and returns its standard error.
  QString stop();

  // The command lines of connection n (1-based) as the server logged them.
  QStringList sessionLog(int session = 1) const;
  // The path of message m of connection n, or an empty text when there is none.
  QString messagePath(int session = 1, int message = 1) const;
  // The envelope of that message: {"mail_from", "rcpt_tos"}.
  QJsonObject envelope(int session = 1, int message = 1) const;
  // What the TLS session of connection n was: {"version", "server_name"}; empty without one.
  QJsonObject tlsSession(int session = 1) const;

 private:
  TempDir dir_;
  QString folder_;
  FixtureProcess process_;
  quint16 port_ = 0;
};

// A loopback address of the test's own (127.x.y.z), so that fixed ports such as 25 and 587 are
// free on it.
QString freeLoopbackAddress();

// What read_mail.py makes of a stored message.
QJsonObject readMail(const QString& path);

}  // namespace zavelo::test
