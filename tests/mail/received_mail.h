// What a test SMTP server received, read back with Python's own MIME parser, and the check
// that one received mail is the report mail of a file, byte for byte.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include "mail/smtp/real_smtp_server.h"

namespace zavelo::test {

struct ReceivedMail {
  int session = 0;      // the connection it came in on (1-based)
  QString mailFrom;     // envelope
  QStringList rcptTos;  // envelope, in order
  QJsonObject parsed;   // read_mail.py's reading

  // The decoded value of a header field, or a null QString when it is absent.
  QString header(const QString& name) const;
  // The body's text as lines, line ends of any kind, without a last empty line.
  QList<QByteArray> bodyLines() const;
  // The attachments: [{"name", "filename", "content_type", "size", "base64", ...}].
  QList<QJsonObject> attachments() const;
};

// Every message the server stored, in the order of its connections.
QList<ReceivedMail> receivedMails(const RealSmtpServer& server);

// The five body lines of a report mail.
QList<QByteArray> reportBody(bool inventory, const QByteArray& dateText, const QByteArray& company);

// Checks one received mail against the report mail of a file: sender, envelope recipients
// (To then the copy address), the To and Cc fields, subject, body, and the attachment's name
// and bytes (no attachment when fileBytes is null).
void expectReportMail(const ReceivedMail& mail, bool inventory, const QByteArray& dateText,
                      const QByteArray& company, const QByteArray& sender, const QStringList& to,
                      const QString& fileName, const QByteArray& fileBytes);

}  // namespace zavelo::test
