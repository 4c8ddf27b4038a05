#include "mail/report_mail.h"

#include "mail/mail_texts.h"

namespace zavelo::mail {

smtp::MailMessage composeReportMail(const ReportMail& mail) {
  smtp::MailMessage message;
  message.setSender(mail.sender);
  message.recipients().setText(mail.destinatarios);
  message.ccList().setText(kCopyAddress);
  message.setSubject(mail.subject + ' ' + mail.companyForSubject);
  message.setBody({mail.body + mail.dateText + ' ' + mail.companyForBody});
  message.setDateAtSend(true);
  // The footer goes below the body as text with lone CRs, which the body reads as line ends:
  // the body line, two empty lines, the separator, the footer.
  message.setBodyText(message.bodyText() + "\r\r" + kSeparator + '\r' + kFooterStart + kWebAddress +
                      kFooterEnd);
  if (!mail.attachment.isEmpty()) message.addAttachment(mail.attachment);
  return message;
}

}  // namespace zavelo::mail
