// The report mail as composed from its parts, with no database and no server: the subject's
// two blanks, the body's footer, the copy mailbox, and the attachment only when one is given.
#include <gtest/gtest.h>

#include "export/report_kind.h"
#include "mail/mail_texts.h"
#include "mail/report_mail.h"
#include "support/qt_print.h"

namespace zavelo::mail {
namespace {

ReportMail mailOf(exporting::Kind kind) {
  const exporting::ReportKind& report = exporting::reportKind(kind);
  return {.subject = report.subject,
          .body = report.body,
          .dateText = "2025/08/11",
          .companyForSubject = "Caf\xE9 S.A.",
          .companyForBody = "Caf\xE9 S.A.",
          .sender = "jperez@acme.example",
          .destinatarios = "ana@cliente.example; Luis <luis@cliente.example>",
          .attachment = "/reportes/inventarios11082025.txt"};
}

QByteArray footer() {
  return QByteArray(
             "Mensaje enviado automaticamente por la aplicacion administrativa y contable "
             "HALvori(R). ") +
         kWebAddress + ", intencionalmente sin acentos";
}

TEST(ReportMailTest, SubjectAndBodyOfEachKind) {
  struct Case {
    const char* what;
    ReportMail mail;
    QByteArray subject;
    QByteArray firstLine;
  } cases[] = {
      {"inventory", mailOf(exporting::Kind::Inventory), "Reporte inventarios  Caf\xE9 S.A.",
       "Adjunto reporte de inventarios 2025/08/11 Caf\xE9 S.A."},
      {"sales", mailOf(exporting::Kind::Sales), "Reporte ventas  Caf\xE9 S.A.",
       "Adjunto reporte de ventas 2025/08/11 Caf\xE9 S.A."},
      {"no company name: the blanks stay",
       [] {
         ReportMail m = mailOf(exporting::Kind::Inventory);
         m.companyForSubject = m.companyForBody = "";
         return m;
       }(),
       "Reporte inventarios  ", "Adjunto reporte de inventarios 2025/08/11 "},
      {"the date text as the machine writes it",
       [] {
         ReportMail m = mailOf(exporting::Kind::Sales);
         m.dateText = "11/08/2025";
         return m;
       }(),
       "Reporte ventas  Caf\xE9 S.A.", "Adjunto reporte de ventas 11/08/2025 Caf\xE9 S.A."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const smtp::MailMessage message = composeReportMail(c.mail);
    EXPECT_EQ(message.subject(), c.subject);
    EXPECT_EQ(message.body(),
              (QList<QByteArray>{c.firstLine, "", "", "________________________", footer()}));
  }
}

TEST(ReportMailTest, AddressesDateAndAttachment) {
  ReportMail mail = mailOf(exporting::Kind::Inventory);
  const smtp::MailMessage message = composeReportMail(mail);
  EXPECT_EQ(message.sender(), "jperez@acme.example");
  EXPECT_EQ(message.recipients().entries().size(), 2);
  EXPECT_EQ(message.ccList().entries().size(), 1);
  EXPECT_EQ(message.ccList().entries().first().address, kCopyAddress);
  EXPECT_TRUE(message.bccList().entries().isEmpty());
  EXPECT_TRUE(message.dateAtSend());
  EXPECT_EQ(message.attachments(), QList<QString>{"/reportes/inventarios11082025.txt"});

  mail.attachment.clear();
  EXPECT_TRUE(composeReportMail(mail).attachments().isEmpty());
}

}  // namespace
}  // namespace zavelo::mail
