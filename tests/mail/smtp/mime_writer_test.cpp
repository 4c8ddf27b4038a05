// The message on the wire, byte for byte, for a fixed date and boundary, and its pieces.
#include <gtest/gtest.h>

#include "mail/smtp/message_stream.h"
#include "mail/smtp/mime_writer.h"
#include "support/qt_print.h"
#include "support/temp_dir.h"

namespace zavelo::smtp {
namespace {

const QDateTime kDate(QDate(2026, 12, 9), QTime(18, 5, 3), Qt::OffsetFromUTC, -5 * 3600);

MailMessage message() {
  MailMessage m;
  m.setSender("ventas@example.com");
  m.recipients().setText("Ana <ana@example.com>; luis@example.com");
  m.ccList().setText("copia@example.net");
  m.bccList().setText("oculto@example.net");
  m.setSubject("Reporte inventarios  ACME");
  m.setBodyText("Adjunto reporte\r\n\r\r____\rpie =");
  return m;
}

TEST(MimeWriter, MessageWithAttachment) {
  test::TempDir dir;
  MailMessage m = message();
  m.addAttachment(dir.write("inventarios09122026.txt", "1;2\r\n"));
  const QByteArray expected =
      "From: ventas@example.com\r\n"
      "Subject: Reporte inventarios  ACME\r\n"
      "To: Ana <ana@example.com>, luis@example.com\r\n"
      "Cc: copia@example.net\r\n"
      "Date: Wed, 09 Dec 2026 18:05:03 -0500\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed;\r\n boundary=\"=_b\"\r\n"
      "\r\n"
      "This is a multi-part message in MIME format\r\n"
      "\r\n"
      "--=_b\r\n"
      "Content-Type: text/plain; charset=windows-1252\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "Content-Disposition: inline\r\n"
      "\r\n"
      "Adjunto reporte\r\n\r\n\r\n____\r\npie =3D\r\n"
      "\r\n--=_b\r\n"
      "Content-Type: text/plain;\r\n name=\"inventarios09122026.txt\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment;\r\n filename=\"inventarios09122026.txt\"\r\n"
      "\r\n"
      "MTsyDQo=\r\n"
      "\r\n--=_b--\r\n";
  EXPECT_EQ(MessageStream::whole(m, kDate, "=_b"), expected);
}

TEST(MimeWriter, MessageWithoutAttachmentIsTheBodyAlone) {
  MailMessage m = message();
  m.recipients().clear();
  m.ccList().clear();
  const QByteArray expected =
      "From: ventas@example.com\r\n"
      "Subject: Reporte inventarios  ACME\r\n"
      "To:\r\n"
      "Date: Wed, 09 Dec 2026 18:05:03 -0500\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: text/plain; charset=windows-1252\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "Adjunto reporte\r\n\r\n\r\n____\r\npie =3D\r\n";
  EXPECT_EQ(MessageStream::whole(m, kDate, "=_b"), expected);
}

TEST(MimeWriter, DateField) {
  EXPECT_EQ(MimeWriter::dateField(kDate), "Wed, 09 Dec 2026 18:05:03 -0500");
  EXPECT_EQ(MimeWriter::dateField(
                QDateTime(QDate(2025, 1, 5), QTime(0, 0, 9), Qt::OffsetFromUTC, 5 * 3600 + 1800)),
            "Sun, 05 Jan 2025 00:00:09 +0530");
  EXPECT_EQ(MimeWriter::dateField(QDateTime(QDate(2025, 8, 11), QTime(23, 59, 59), Qt::UTC)),
            "Mon, 11 Aug 2025 23:59:59 +0000");
  // Local time carries the machine's offset.
  const QDateTime local = QDateTime::currentDateTime();
  const QDateTime back =
      QDateTime::fromString(QString::fromLatin1(MimeWriter::dateField(local)), Qt::RFC2822Date);
  EXPECT_EQ(back.offsetFromUtc(), local.offsetFromUtc());
  EXPECT_EQ(back.toSecsSinceEpoch(), local.toSecsSinceEpoch());
}

struct QpCase {
  QByteArray in;
  QByteArray out;
};

void PrintTo(const QpCase& c, std::ostream* os) {
  PrintTo(c.in, os);
}

class QuotedPrintable : public ::testing::TestWithParam<QpCase> {};

TEST_P(QuotedPrintable, Encodes) {
  EXPECT_EQ(MimeWriter::quotedPrintable(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QuotedPrintable,
    ::testing::Values(QpCase{"plain text", "plain text"}, QpCase{"a=b", "a=3Db"},
                      QpCase{"Compa\xF1\xED"
                             "a",
                             "Compa=F1=EDa"},
                      QpCase{"end \r\n", "end=20\r\n"}, QpCase{"tab\t", "tab=09"},
                      QpCase{"a b\r\nc", "a b\r\nc"}, QpCase{"lone\rcr\nlf", "lone=0Dcr=0Alf"},
                      QpCase{QByteArray(80, 'x'),
                             QByteArray(75, 'x') + "=\r\n" + QByteArray(5, 'x')},
                      QpCase{QByteArray(74, 'x') + "==", QByteArray(74, 'x') + "=\r\n=3D=3D"}));

TEST(MimeWriter, LongAndForeignHeaderTextStaysWithinLines) {
  // A long subject with bytes beyond ASCII, and a long ASCII one: every line within 78
  // characters, and the encoded-words well formed.
  QByteArray foreign;
  for (int i = 0; i < 40; ++i)
    foreign +=
        "Compa\xF1\xED"
        "a ";
  const QByteArray encoded = MimeWriter::headerText(foreign, 9);
  for (const QByteArray& line : encoded.split('\n'))
    EXPECT_LE(line.size(), 78) << line.toStdString();
  EXPECT_TRUE(encoded.startsWith("=?windows-1252?Q?Compa=F1=EDa_"));
  EXPECT_EQ(encoded.count("=?windows-1252?Q?"), encoded.count("?=\r\n") + 1);

  QByteArray ascii;
  for (int i = 0; i < 40; ++i) ascii += "Reporte inventarios ";
  const QByteArray folded = MimeWriter::headerText(ascii, 9);
  for (const QByteArray& line : folded.split('\n')) EXPECT_LE(line.size(), 78);
  QByteArray unfolded = folded;
  unfolded.replace("\r\n", "");
  EXPECT_EQ(unfolded, ascii);

  // A word too long to fold is encoded instead.
  EXPECT_TRUE(MimeWriter::headerText(QByteArray(200, 'w'), 9).startsWith("=?windows-1252?Q?"));
  // Text that looks like an encoded-word is encoded so it reads back as written.
  EXPECT_TRUE(MimeWriter::headerText("=?utf-8?Q?x?=", 9).startsWith("=?windows-1252?Q?=3D=3F"));
}

TEST(MimeWriter, AddressFieldsEncodeForeignNamesAndFold) {
  AddressList list;
  list.setText("\"P\xE9rez, Ana\" <ana@example.com>; Luis <luis@example.com>");
  EXPECT_EQ(MimeWriter::addressField(list, 4),
            "=?windows-1252?Q?P=E9rez=2C_Ana?= <ana@example.com>,\r\n Luis <luis@example.com>");
  AddressList many;
  for (int i = 0; i < 20; ++i)
    many.append(AddressList::parseEntry("persona" + QByteArray::number(i) + "@example.com"));
  for (const QByteArray& line : MimeWriter::addressField(many, 4).split('\n'))
    EXPECT_LE(line.size(), 78);
}

// Every form an address-list entry may take, with Windows-1252 bytes: the header shows it in
// 7-bit text, encoded-words for names and comments, lines of at most 76 characters.
struct SevenBitCase {
  const char* list;
  QByteArray field;
};

void PrintTo(const SevenBitCase& c, std::ostream* os) {
  PrintTo(QByteArray(c.list), os);
}

class SevenBitAddressField : public ::testing::TestWithParam<SevenBitCase> {};

TEST_P(SevenBitAddressField, EncodesNamesAndComments) {
  AddressList list;
  list.setText(GetParam().list);
  const QByteArray field = MimeWriter::addressField(list, 4);
  EXPECT_EQ(field, GetParam().field);
  for (const QByteArray& line : ("To: " + field).split('\n')) {
    EXPECT_LE(line.size(), 77) << line.toStdString();  // 76 and the CR
    for (const char c : line) EXPECT_LT(static_cast<unsigned char>(c), 0x80);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SevenBitAddressField,
    ::testing::Values(
        SevenBitCase{"Ana P\xE9rez <ana@example.com>",
                     "=?windows-1252?Q?Ana_P=E9rez?= <ana@example.com>"},
        SevenBitCase{"\"P\xE9rez, Ana\" <ana@example.com>",
                     "=?windows-1252?Q?P=E9rez=2C_Ana?= <ana@example.com>"},
        SevenBitCase{"ana@example.com (Ana P\xE9rez)",
                     "ana@example.com (=?windows-1252?Q?Ana_P=E9rez?=)"},
        // A name without brackets before the address: shown as a name and an address.
        SevenBitCase{"P\xE9rez luis@example.com", "=?windows-1252?Q?P=E9rez?= <luis@example.com>"},
        SevenBitCase{"Luis Perez luis@example.com", "Luis Perez <luis@example.com>"},
        SevenBitCase{"(Jos\xE9) jose@example.com", "(=?windows-1252?Q?Jos=E9?=) jose@example.com"},
        SevenBitCase{"Jos\xE9 Mar\xED"
                     "a P\xE9rez <jm@example.com>",
                     "=?windows-1252?Q?Jos=E9_Mar=EDa_P=E9rez?= <jm@example.com>"},
        // A long name right after the field name: its first line keeps to 76 characters too.
        SevenBitCase{"Jos\xE9 Mar\xED"
                     "a de la Sant\xED"
                     "sima Trinidad Fern\xE1ndez de C\xF3rdoba <jm@example.com>",
                     "=?windows-1252?Q?Jos=E9_Mar=EDa_de_la_Sant=EDsima_Trinidad_Fern=E1ndez?=\r\n"
                     " =?windows-1252?Q?_de_C=F3rdoba?= <jm@example.com>"},
        SevenBitCase{
            "Ventas: Ana P\xE9rez <ana@example.com>; Jos\xE9 Mar\xED"
            "a de la Sant\xED"
            "sima Trinidad Fern\xE1ndez de C\xF3rdoba y Garc\xED"
            "a <jose.maria@example.com>, luis@example.com (Luis \xD1u\xF1"
            "ez (jefe))",
            "=?windows-1252?Q?Ana_P=E9rez?= <ana@example.com>,\r\n"
            " =?windows-1252?Q?Jos=E9_Mar=EDa_de_la_Sant=EDsima_Trinidad_Fern=E1ndez_de?=\r\n"
            " =?windows-1252?Q?_C=F3rdoba_y_Garc=EDa?= <jose.maria@example.com>,\r\n"
            " luis@example.com (=?windows-1252?Q?Luis_=D1u=F1ez_=28jefe=29?=)"}));

// The local part of an address cannot be encoded in a header (RFC 2047 section 5): it goes as
// it stands, as it does in RCPT TO, and a server that does not take it says so.
TEST(MimeWriter, AddressWithForeignLocalPartStaysAsItIs) {
  AddressList list;
  list.setText("p\xE9rez@example.com");
  EXPECT_EQ(MimeWriter::addressField(list, 4), "p\xE9rez@example.com");
  EXPECT_EQ(list.addresses(), QList<QByteArray>({"p\xE9rez@example.com"}));
}

// The sender, the subject and the body with Windows-1252 bytes: the header block is 7-bit
// whatever the sender's form.
TEST(MimeWriter, HeaderBlockIsSevenBit) {
  for (const char* sender : {"ventas@example.com (Compa\xF1\xED"
                             "a L\xE1"
                             "ctea)",
                             "Compa\xF1\xED"
                             "a <ventas@example.com>",
                             "Compa\xF1\xED"
                             "a ventas@example.com"}) {
    MailMessage m = message();
    m.setSender(sender);
    m.setSubject(
        "Reporte inventarios  COMPA\xD1\xCD"
        "A L\xC1"
        "CTEA");
    const QByteArray whole = MessageStream::whole(m, kDate, "=_b");
    const QByteArray head = whole.first(whole.indexOf("\r\n\r\n"));
    for (const QByteArray& line : head.split('\n')) {
      EXPECT_LE(line.size(), 77) << line.toStdString();
      for (const char c : line) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << sender;
    }
    EXPECT_TRUE(head.startsWith("From: ")) << sender;
    EXPECT_TRUE(head.contains("=?windows-1252?Q?Compa=F1=EDa")) << sender;
  }
}

TEST(MimeWriter, TypesAndBoundaries) {
  EXPECT_EQ(MimeWriter::mimeType("ventas11082025.txt"), "text/plain");
  EXPECT_EQ(MimeWriter::mimeType("informe.pdf"), "application/pdf");
  EXPECT_EQ(MimeWriter::mimeType("sin-extension"), "application/octet-stream");
  EXPECT_TRUE(MimeWriter::newBoundary().startsWith("=_"));
  EXPECT_NE(MimeWriter::newBoundary(), MimeWriter::newBoundary());
}

}  // namespace
}  // namespace zavelo::smtp
