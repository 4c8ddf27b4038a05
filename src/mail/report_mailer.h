// The report mailing of the generation window: the day's mail setup (prepararcorreo) and the
// mailing of one written file (enviarcorreo). The values the setup leaves (port, account, TLS)
// stay from mail to mail for the life of the mailer. What the database says is read by
// readMailSetup, the mail is made by composeReportMail; this class keeps the state between them
// and sends.
#pragma once

#include <QByteArray>
#include <QString>

#include "common/mail_outcome.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/tls_layer.h"

namespace zavelo::db {
class Tfdm;
}

namespace zavelo::mail {

// The texts of one kind of report mail.
struct ReportTexts {
  QByteArray subject;
  QByteArray body;
};

class ReportMailer {
 public:
  // dm: the data holder whose configuration lookup and users query the mailing reads.
  explicit ReportMailer(db::Tfdm& dm);
  ReportMailer(const ReportMailer&) = delete;
  ReportMailer& operator=(const ReportMailer&) = delete;

  // The day's mail setup: the port from the configuration, the user's mail account from the
  // users table (left as it was when the user has no e-mail address), and the TLS switch, which
  // only ever switches STARTTLS on. Errors (port text, database) go to the caller.
  void prepararcorreo(const QByteArray& userCode);

  // Mails one file: not attempted without host, account, password and sender; otherwise
  // composes the message for the texts, date text and recipients, attaches the file when it
  // exists and sends it over a connection of its own. A sending failure comes back as Failed
  // with its text; any other error (such as a database error in a lookup before the
  // connection) goes to the caller. The client is disconnected on every way out.
  MailResult enviarcorreo(const ReportTexts& texts, const QByteArray& dateText, const QString& path,
                          const QByteArray& destinatarios);

  // Whether a mail can be attempted: the client's host, account name and password and the
  // sender are all set (a day's setup found a mail account).
  bool hasAccount() const;

  // The client as the setup left it, and the sender of the mails. The configuration check
  // walks the client's dialogue step by step, up to the login.
  const smtp::SmtpClient& client() const { return SMTP; }
  smtp::SmtpClient& client() { return SMTP; }
  const QByteArray& sender() const { return sender_; }
  // The TLS layer the client switches to once the configuration turns STARTTLS on.
  const smtp::TlsLayer& tlsLayer() const { return SSLHandler; }

  // How the mails use TLS beyond the configuration (a strict policy), and how long they wait.
  void setTlsPolicy(const smtp::TlsPolicy& policy) { SMTP.setTlsPolicy(policy); }
  void setTimeouts(const smtp::SmtpClient::Timeouts& timeouts) { SMTP.setTimeouts(timeouts); }

 private:
  // Connects, logs in unless the configuration turns TLS on, and sends.
  MailResult send(const smtp::MailMessage& message);

  db::Tfdm& dm_;
  // Declared before the client, which refers to it, so that it outlives the client.
  smtp::TlsLayer SSLHandler;
  smtp::SmtpClient SMTP;
  QByteArray sender_;
};

// "sin TLS", "TLS 1.2, certificado sin verificar", "TLS 1.3, certificado verificado".
QString connectionText(const smtp::TlsSession& session);

}  // namespace zavelo::mail
