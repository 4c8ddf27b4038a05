// The report mail as the recipients see it, composed from its parts with no database and no
// connection.
#pragma once

#include <QByteArray>
#include <QString>

#include "mail/smtp/mail_message.h"

namespace zavelo::mail {

struct ReportMail {
  QByteArray subject;  // the kind's subject text, which ends in a blank
  QByteArray body;     // the kind's body text, which ends in a blank
  QByteArray dateText;
  // The company's name as looked up for the subject and, again, for the body.
  QByteArray companyForSubject;
  QByteArray companyForBody;
  QByteArray sender;
  QByteArray destinatarios;  // the recipients' list as the settings give it
  QString attachment;        // the file to attach; empty for none
};

// Subject: subject + " " + company (the slot between them is empty, so two blanks). Body: the
// body text + date + " " + company, two empty lines, the separator and the footer. To: the
// list; Cc: the fixed copy mailbox; dated when sent.
smtp::MailMessage composeReportMail(const ReportMail& mail);

}  // namespace zavelo::mail
