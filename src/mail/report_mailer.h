// The report mailing of the generation window: the day's mail setup (prepararcorreo) and the
// mailing of one written file (enviarcorreo), with the components they work on. The values
// the setup leaves (port, account, TLS) stay from mail to mail for the life of the mailer.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "common/mail_outcome.h"
#include "db/link.h"
#include "db/result_set.h"
#include "mail/smtp/mail_message.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/tls_layer.h"

namespace zavelo::db {
class Tfdm;
}

namespace zavelo::mail {

enum class ReportKind { Inventory, Sales };

class ReportMailer {
 public:
  // dm: the data holder whose configuration lookup and users query (QBorrar) the mailing reads.
  explicit ReportMailer(db::Tfdm& dm);
  ReportMailer(const ReportMailer&) = delete;
  ReportMailer& operator=(const ReportMailer&) = delete;

  // The day's mail setup: the port from the configuration, the user's mail account from the
  // users table (left as it was when the user has no e-mail address), and the TLS switch, which
  // only ever switches STARTTLS on. Errors (port text, database) go to the caller.
  void prepararcorreo(const QByteArray& userCode);

  // Mails one file: not attempted without host, account, password and sender; otherwise
  // composes the message for the kind, date text and recipients, attaches the file when it
  // exists and sends it over a connection of its own. A sending failure is caught: its text
  // goes to reportFailure (the caller lists it as "ERROR: " + text) and the outcome is Failed.
  // Any other error (such as a database error in a lookup) goes to the caller. The client is
  // disconnected on every way out.
  MailOutcome enviarcorreo(ReportKind kind, const QByteArray& dateText, const QString& path,
                           const QByteArray& destinatarios,
                           const std::function<void(const QString& errorText)>& reportFailure);

  // Whether a mail can be attempted: the client's host, account name and password and the
  // message's sender are all set (the day's setup found a mail account).
  bool hasAccount() const;

  // Whether the last failed mail found its server unreachable or silent past its greeting.
  bool serverUnreachable() const { return SMTP.serverUnreachable(); }

  // The server's reply to the last message sent, as one line of text ("250 OK id=…").
  const QString& lastReply() const { return lastReply_; }
  // How the last mail's connection went, for the journal: "sin TLS", or the TLS version and
  // whether the certificate was verified. Empty when no connection was made.
  const QString& lastConnection() const { return lastConnection_; }

  // Declared before the client, which refers to it, so that it outlives the client.
  smtp::TlsLayer SSLHandler;
  smtp::SmtpClient SMTP;
  smtp::MailMessage MailMessage;
  db::Link PBorrar;
  db::ResultSet CBorrar;

 private:
  QByteArray configuracion(const char* propiedad);

  db::Tfdm& dm_;
  // The text between the kind of report and the company name in the subject. Nothing sets it,
  // so a subject reads "Reporte inventarios  ACME", two blanks before the company name.
  QByteArray subjectSlot_;
  QString lastReply_;
  QString lastConnection_;
};

// "sin TLS", "TLS 1.2, certificado sin verificar", "TLS 1.3, certificado verificado".
QString connectionText(const smtp::TlsSession& session);

}  // namespace zavelo::mail
