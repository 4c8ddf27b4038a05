#include "mail/report_mailer.h"

#include <QFileInfo>

#include "common/cp1252.h"
#include "common/error.h"
#include "db/data_module.h"
#include "mail/mail_setup.h"
#include "mail/mail_texts.h"
#include "mail/report_mail.h"

namespace zavelo::mail {
namespace {

// Disconnects the client whichever way the mailing of a file is left.
class DisconnectOnExit {
 public:
  explicit DisconnectOnExit(smtp::SmtpClient& client) : client_(client) {}
  ~DisconnectOnExit() {
    try {
      if (client_.connected()) client_.disconnectFromServer();
    } catch (const Error&) {
      // Closing is all that matters here; an error may already be on its way out.
    }
  }
  DisconnectOnExit(const DisconnectOnExit&) = delete;
  DisconnectOnExit& operator=(const DisconnectOnExit&) = delete;

 private:
  smtp::SmtpClient& client_;
};

// The server's reply as one line of text ("250 OK id=…").
QString replyText(const smtp::SmtpReply& reply) {
  QString text = QString::number(reply.code);
  for (const QByteArray& line : reply.lines) text += u' ' + fromCp1252(line);
  return text;
}

}  // namespace

ReportMailer::ReportMailer(db::Tfdm& dm) : dm_(dm) {
  SMTP.setPort(25);
  SMTP.setHost({});
  SMTP.setAccountName(kPresetAccountName);
  SMTP.setPassword(kPresetPassword);
  SMTP.setTransport(nullptr);
}

void ReportMailer::prepararcorreo(const QByteArray& userCode) {
  const MailSetup setup = readMailSetup(dm_, userCode);
  SMTP.setPort(setup.port);
  if (setup.account) {
    sender_ = setup.account->sender;
    SMTP.setHost(setup.account->host);
    SMTP.setAccountName(setup.account->accountName);
    SMTP.setPassword(setup.account->password);
  }
  // Only ever switches TLS on: a day whose switch is off leaves an earlier day's in place.
  if (setup.startTls) {
    SMTP.setTransport(&SSLHandler);
    SMTP.switchToExplicitTls();
    SSLHandler.setPort(SMTP.port());
    SSLHandler.setHost(SMTP.host());
  }
}

bool ReportMailer::hasAccount() const {
  return !SMTP.host().isEmpty() && !SMTP.accountName().isEmpty() && !SMTP.password().isEmpty() &&
         !sender_.isEmpty();
}

MailResult ReportMailer::enviarcorreo(const ReportTexts& texts, const QByteArray& dateText,
                                      const QString& path, const QByteArray& destinatarios) {
  if (!hasAccount()) return {};

  const DisconnectOnExit disconnect(SMTP);
  if (SMTP.connected()) SMTP.disconnectFromServer();

  // The company's name is looked up for the subject and again for the body: without its row
  // the lookup's box shows twice.
  const QByteArray companyForSubject = mailConfiguracion(dm_, kCompanyNameProperty);
  const QByteArray companyForBody = mailConfiguracion(dm_, kCompanyNameProperty);
  const smtp::MailMessage message =
      composeReportMail({.subject = texts.subject,
                         .body = texts.body,
                         .dateText = dateText,
                         .companyForSubject = companyForSubject,
                         .companyForBody = companyForBody,
                         .sender = sender_,
                         .destinatarios = destinatarios,
                         .attachment = QFileInfo(path).isFile() ? path : QString()});
  return send(message);
}

MailResult ReportMailer::send(const smtp::MailMessage& message) {
  try {
    SMTP.connectToServer();
    // With the configuration's TLS on, the login comes with the sending, after STARTTLS.
    if (mailConfiguracion(dm_, kTlsProperty) != kTlsOn) SMTP.authenticate();
    SMTP.send(message);
  } catch (const Error& error) {
    return {.outcome = MailOutcome::Failed,
            .text = error.message(),
            .serverUnreachable = SMTP.serverUnreachable()};
  }
  return {.outcome = MailOutcome::Sent,
          .text = replyText(SMTP.lastReply()),
          .connection = connectionText(SMTP.tlsSession())};
}

QString connectionText(const smtp::TlsSession& session) {
  if (!session.encrypted) return QStringLiteral("sin TLS");
  return session.protocol + (session.verified ? QStringLiteral(", certificado verificado")
                                              : QStringLiteral(", certificado sin verificar"));
}

}  // namespace zavelo::mail
