// A table of messages with the SHA-256 of the bytes the writer of whole messages made for each,
// for a fixed date and boundary, before messages were streamed: what the streamed message and
// the message a server receives are held to.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <utility>

#include "mail/smtp/mail_message.h"
#include "support/temp_dir.h"

namespace zavelo::smtp {

inline const QDateTime kTableDate(QDate(2026, 12, 9), QTime(18, 5, 3), Qt::OffsetFromUTC,
                                  -5 * 3600);
inline const QByteArray kTableBoundary = "=_zavelo_0123456789abcdef";

inline QByteArray allByteValues() {
  QByteArray bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

// Bytes that repeat no short pattern, the same in every run.
inline QByteArray noise(qsizetype size) {
  QByteArray bytes(size, Qt::Uninitialized);
  quint32 x = 2463534242u;
  for (qsizetype i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    bytes[i] = static_cast<char>(x);
  }
  return bytes;
}

struct StreamCase {
  const char* name;
  // The SHA-256 of the message the writer of whole messages made for this case, before the
  // message was streamed.
  QByteArray sha256;
  // The attached files, by name; none for a message of the body alone.
  QList<std::pair<QString, QByteArray>> files;
  QByteArray subject = "Reporte inventarios  ACME";
  QByteArray to = "Ana <ana@example.com>; luis@example.com";
  QByteArray body =
      "Adjunto reporte de inventarios 2025/08/11 ACME\r\n\r\r________________________\rpie";
};

inline void PrintTo(const StreamCase& c, std::ostream* os) {
  *os << c.name;
}

inline MailMessage messageOf(const StreamCase& c, const test::TempDir& dir) {
  MailMessage m;
  m.setSender("ventas@example.com");
  m.recipients().setText(c.to);
  m.ccList().setText("copia@example.net");
  m.setSubject(c.subject);
  m.setBodyText(c.body);
  for (const auto& [name, bytes] : c.files) m.addAttachment(dir.write(name, bytes));
  return m;
}

// The messages, each with its SHA-256.
inline const QList<StreamCase>& messageTable() {
  static const QList<StreamCase> table = {

      StreamCase{
          "BodyAlone", "f8469feb65bf367b804ff0706a6e30909b306b788c5eaaa835f59ff4dc14afb7", {}},
      StreamCase{"ZeroByteFile",
                 "c8e93e96ed8c527652284c0d6c00155285f89a232230ca84b42073d7272c448c",
                 {{"vacio.txt", QByteArray()}}},
      StreamCase{"OneByteFile",
                 "de1fefe46839da1ad8a26d4f5e17b84ec70bacd11aad1eb2cdcd3df9094ffffc",
                 {{"uno.txt", "x"}}},
      StreamCase{"MultipleOf57Bytes",
                 "776a510dca22b1bd6eed7f061098b6f40d86173cd10345b6c5668aeb249b5c05",
                 {{"inventarios11082025.txt", noise(57 * 40)}}},
      StreamCase{"AllByteValues",
                 "b35ed0b34c015fb948ecfdb4064fe60589139a835d4a066443ce9c146ca094ed",
                 {{"all-bytes.bin", allByteValues()}}},
      StreamCase{"LargerThanABlock",
                 "17f9595e45fe5e36877cddb918e06f419a41284ea94afc080f9e006c78501086",
                 {{"grande.bin", noise(700 * 1024 + 5)}}},
      StreamCase{"SeveralFiles",
                 "de875106b40be9305fb9f47e512c296e87649598954c2afd3728ebfb30b42dd5",
                 {{"a.txt", "1;2\r\n"}, {"informe.pdf", noise(1000)}, {"vacio.txt", ""}}},
      StreamCase{"DotsAndForeignText",
                 "bd2b8906f9b6866846e693479f3b4ad097665ea92f71873e538e3db1acd3bd7f",
                 {{"ventas11082025.txt", ".a\r\n..b\r\n"}},
                 "Reporte ventas  Compa\xF1\xED"
                 "a",
                 "\"P\xE9rez, Ana\" <ana@example.com>",
                 ".one\r\n..two\r\nthree.\r\n."}};
  return table;
}

// The body part as that writer gave it, without its character set.
inline QByteArray withoutBodyCharset(QByteArray message) {
  return message.replace("Content-Type: text/plain; charset=windows-1252\r\n",
                         "Content-Type: text/plain\r\n");
}

}  // namespace zavelo::smtp
