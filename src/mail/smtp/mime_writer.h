// The pieces of a message in the Internet message format with MIME: header fields, the body
// as quoted-printable text, part parameters; CR LF line ends throughout, every line within the
// limits of RFC 5322 and RFC 2045. The message stream puts them together.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include "mail/smtp/mail_message.h"

namespace zavelo::smtp {

class MimeWriter {
 public:
  // A boundary that cannot occur in quoted-printable or Base64 text (it holds "=_").
  static QByteArray newBoundary();

  // "Wed, 09 Dec 2026 18:05:03 -0500": the date form of RFC 5322 with the date's offset.
  static QByteArray dateField(const QDateTime& date);

  // Unstructured header text: ASCII text as it is (folded at blanks), text with other bytes
  // (taken as Windows-1252) as RFC 2047 encoded-words. Returns the field without its name,
  // continuation lines starting with a blank; nameLength is the length of "Name: " before it.
  static QByteArray headerText(QByteArrayView text, qsizetype nameLength);

  // The entries of an address list for a To or Cc field, folded between entries.
  static QByteArray addressField(const AddressList& list, qsizetype nameLength);

  // Quoted-printable text (RFC 2045 6.7) of bytes whose line ends are CR LF: those stay hard
  // line breaks, every other line is kept to 76 characters with soft breaks.
  static QByteArray quotedPrintable(QByteArrayView text);

  // The MIME type for a file name's extension ("text/plain" for ".txt").
  static QByteArray mimeType(const QString& fileName);

  // A parameter of Content-Type or Content-Disposition such as name="x.txt": quoted when it is
  // plain ASCII, in the extended form of RFC 2231 (UTF-8, percent-encoded) otherwise.
  static QByteArray parameter(QByteArrayView name, const QString& value);
};

}  // namespace zavelo::smtp
