#include "mail/received_mail.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>

#include "common/cp1252.h"
#include "mail/mail_texts.h"
#include "support/qt_print.h"

namespace zavelo::test {

QString ReceivedMail::header(const QString& name) const {
  for (const QJsonValue& h : parsed["headers"].toArray()) {
    const QJsonArray field = h.toArray();
    if (field[0].toString().compare(name, Qt::CaseInsensitive) == 0) return field[2].toString();
  }
  return {};
}

QList<QByteArray> ReceivedMail::bodyLines() const {
  QByteArray text =
      QByteArray::fromBase64(parsed["body"].toObject()["text_base64"].toString().toLatin1());
  text.replace("\r\n", "\n");
  text.replace('\r', '\n');
  QList<QByteArray> lines = text.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

QList<QJsonObject> ReceivedMail::attachments() const {
  QList<QJsonObject> out;
  for (const QJsonValue& a : parsed["attachments"].toArray()) out.append(a.toObject());
  return out;
}

QList<ReceivedMail> receivedMails(const RealSmtpServer& server) {
  QList<ReceivedMail> mails;
  for (int session = 1; !server.sessionLog(session).isEmpty(); ++session) {
    for (int message = 1;; ++message) {
      const QString path = server.messagePath(session, message);
      if (path.isEmpty()) break;
      ReceivedMail mail;
      mail.session = session;
      const QJsonObject envelope = server.envelope(session, message);
      mail.mailFrom = envelope["mail_from"].toString();
      for (const QJsonValue& r : envelope["rcpt_tos"].toArray()) mail.rcptTos.append(r.toString());
      mail.parsed = readMail(path);
      mails.append(mail);
    }
  }
  return mails;
}

QList<QByteArray> reportBody(bool inventory, const QByteArray& dateText,
                             const QByteArray& company) {
  return {QByteArray(inventory ? "Adjunto reporte de inventarios " : "Adjunto reporte de ventas ") +
              dateText + ' ' + company,
          "", "", "________________________",
          QByteArray("Mensaje enviado automaticamente por la aplicacion administrativa y contable "
                     "HALvori(R). ") +
              mail::kWebAddress + ", intencionalmente sin acentos"};
}

void expectReportMail(const ReceivedMail& mail, bool inventory, const QByteArray& dateText,
                      const QByteArray& company, const QByteArray& sender, const QStringList& to,
                      const QString& fileName, const QByteArray& fileBytes) {
  SCOPED_TRACE(("mail of session " + QByteArray::number(mail.session)).toStdString());
  EXPECT_EQ(mail.mailFrom, QString::fromLatin1(sender));
  EXPECT_EQ(mail.rcptTos, to + QStringList{QString::fromLatin1(mail::kCopyAddress)});
  EXPECT_EQ(mail.header("From"), QString::fromLatin1(sender));
  EXPECT_EQ(mail.header("To"), to.join(", "));
  EXPECT_EQ(mail.header("Cc"), QString::fromLatin1(mail::kCopyAddress));
  EXPECT_EQ(mail.header("Subject"),
            fromCp1252(QByteArray(inventory ? "Reporte inventarios " : "Reporte ventas ") + ' ' +
                       company));
  EXPECT_FALSE(mail.header("Date").isNull());
  EXPECT_EQ(mail.bodyLines(), reportBody(inventory, dateText, company));
  EXPECT_EQ(mail.parsed["defects"].toArray().size(), 0) << mail.parsed["defects"].toArray().size();

  const QList<QJsonObject> attachments = mail.attachments();
  if (fileBytes.isNull()) {
    EXPECT_TRUE(attachments.isEmpty());
    return;
  }
  ASSERT_EQ(attachments.size(), 1);
  EXPECT_EQ(attachments[0]["filename"].toString(), fileName);
  EXPECT_EQ(attachments[0]["name"].toString(), fileName);
  EXPECT_EQ(attachments[0]["content_type"].toString(), "text/plain");
  EXPECT_EQ(QByteArray::fromBase64(attachments[0]["base64"].toString().toLatin1()), fileBytes);
}

}  // namespace zavelo::test
