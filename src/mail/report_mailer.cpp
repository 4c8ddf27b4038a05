#include "mail/report_mailer.h"

#include <QFileInfo>

#include "common/cp1252.h"
#include "common/error.h"
#include "db/data_module.h"
#include "db/sql_literal.h"
#include "mail/mail_texts.h"
#include "mail/port_text.h"

namespace zavelo::mail {
namespace {

QByteArray textOf(const db::Value& value) {
  return value.value_or(QByteArray());
}

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

}  // namespace

ReportMailer::ReportMailer(db::Tfdm& dm) : PBorrar(dm.QBorrar, true), CBorrar(PBorrar), dm_(dm) {
  SMTP.setPort(25);
  SMTP.setHost({});
  SMTP.setAccountName(kPresetAccountName);
  SMTP.setPassword(kPresetPassword);
  SMTP.setTransport(nullptr);
}

QByteArray ReportMailer::configuracion(const char* propiedad) {
  return dm_.configuracion(kConfigModule, kConfigCategory, propiedad);
}

void ReportMailer::prepararcorreo(const QByteArray& userCode) {
  SMTP.setPort(portFromText(configuracion(kPortProperty)));

  CBorrar.close();
  CBorrar.setCommandText(kUserStatement + db::sqlStringLiteral(userCode));
  CBorrar.open();
  if (!textOf(CBorrar.value(0)).isEmpty()) {
    MailMessage.setSender(textOf(CBorrar.value(0)));
    SMTP.setHost(textOf(CBorrar.value(1)));
    SMTP.setAccountName(textOf(CBorrar.value(2)));
    SMTP.setPassword(textOf(CBorrar.value(3)));
    CBorrar.close();
  }

  // Only ever switches TLS on: any other value leaves an earlier day's switch in place.
  if (configuracion(kTlsProperty) == kTlsOn) {
    SMTP.setTransport(&SSLHandler);
    SMTP.switchToExplicitTls();
    SSLHandler.setPort(SMTP.port());
    SSLHandler.setHost(SMTP.host());
  }
}

bool ReportMailer::hasAccount() const {
  return !SMTP.host().isEmpty() && !SMTP.accountName().isEmpty() && !SMTP.password().isEmpty() &&
         !MailMessage.sender().isEmpty();
}

MailOutcome ReportMailer::enviarcorreo(
    ReportKind kind, const QByteArray& dateText, const QString& path,
    const QByteArray& destinatarios,
    const std::function<void(const QString& errorText)>& reportFailure) {
  lastReply_.clear();
  lastConnection_.clear();
  if (!hasAccount()) return MailOutcome::NotAttempted;

  const DisconnectOnExit disconnect(SMTP);
  if (SMTP.connected()) SMTP.disconnectFromServer();

  MailMessage.clearParts();
  MailMessage.recipients().setText(destinatarios);
  MailMessage.ccList().setText(kCopyAddress);

  const bool inventory = kind == ReportKind::Inventory;
  MailMessage.setSubject((inventory ? kInventorySubject : kSalesSubject) + subjectSlot_ + ' ' +
                         configuracion(kCompanyNameProperty));
  MailMessage.setBody({(inventory ? kInventoryBody : kSalesBody) + dateText + ' ' +
                       configuracion(kCompanyNameProperty)});
  MailMessage.setDateAtSend(true);

  // The footer goes below the body as text with lone CRs, which the body reads as line ends:
  // the body line, two empty lines, the separator, the footer.
  MailMessage.setBodyText(MailMessage.bodyText() + "\r\r" + kSeparator + '\r' + kFooterStart +
                          kWebAddress + kFooterEnd);

  if (QFileInfo(path).isFile()) MailMessage.addAttachment(path);

  try {
    SMTP.connectToServer();
    if (configuracion(kTlsProperty) != kTlsOn) SMTP.authenticate();
    SMTP.send(MailMessage);
    lastConnection_ = connectionText(SMTP.tlsSession());
    const smtp::SmtpReply& reply = SMTP.lastReply();
    lastReply_ = QString::number(reply.code);
    for (const QByteArray& line : reply.lines) lastReply_ += u' ' + fromCp1252(line);
  } catch (const Error& error) {
    reportFailure(error.message());
    return MailOutcome::Failed;
  }
  return MailOutcome::Sent;
}

QString connectionText(const smtp::TlsSession& session) {
  if (!session.encrypted) return QStringLiteral("sin TLS");
  return session.protocol + (session.verified ? QStringLiteral(", certificado verificado")
                                              : QStringLiteral(", certificado sin verificar"));
}

}  // namespace zavelo::mail
