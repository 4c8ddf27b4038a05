// The message as it is streamed: the same bytes however the blocks are cut, and the same bytes
// as the writer of whole messages that came before it made for the same date and boundary
// (their SHA-256 below); stuffed for DATA as the whole message would be; and a file that
// changes while it is read stops the message.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTimeZone>

#include "common/error.h"
#include "mail/smtp/dot_stuffer.h"
#include "mail/smtp/message_stream.h"
#include "support/error_of.h"
#include "support/qt_print.h"
#include "support/temp_dir.h"

namespace zavelo::smtp {
namespace {

using test::errorOf;

const QDateTime kDate(QDate(2026, 12, 9), QTime(18, 5, 3), Qt::OffsetFromUTC, -5 * 3600);
const QByteArray kBoundary = "=_zavelo_0123456789abcdef";

QByteArray allByteValues() {
  QByteArray bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

// Bytes that repeat no short pattern, the same in every run.
QByteArray noise(qsizetype size) {
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

void PrintTo(const StreamCase& c, std::ostream* os) {
  *os << c.name;
}

MailMessage messageOf(const StreamCase& c, const test::TempDir& dir) {
  MailMessage m;
  m.setSender("ventas@example.com");
  m.recipients().setText(c.to);
  m.ccList().setText("copia@example.net");
  m.setSubject(c.subject);
  m.setBodyText(c.body);
  for (const auto& [name, bytes] : c.files) m.addAttachment(dir.write(name, bytes));
  return m;
}

// The message made transparent for DATA at once: each line after CR LF that starts with "."
// gets a second one, and the data ends with a line end.
QByteArray stuffedAtOnce(const QByteArray& data) {
  QByteArray out;
  qsizetype start = 0;
  while (start < data.size()) {
    qsizetype end = data.indexOf("\r\n", start);
    end = end < 0 ? data.size() : end + 2;
    if (data[start] == '.') out += '.';
    out += data.sliced(start, end - start);
    start = end;
  }
  if (!out.endsWith("\r\n")) out += "\r\n";
  return out;
}

class MessageStreamCases : public ::testing::TestWithParam<StreamCase> {};

TEST_P(MessageStreamCases, SameBytesAsTheWholeMessageInBlocksOfAnySize) {
  const StreamCase& c = GetParam();
  test::TempDir dir;
  const MailMessage m = messageOf(c, dir);
  const QByteArray whole = MessageStream::whole(m, kDate, kBoundary);
  // The one change since: the body part names its character set.
  QByteArray before = whole;
  EXPECT_EQ(before.count("Content-Type: text/plain; charset=windows-1252\r\n"), 1);
  before.replace("Content-Type: text/plain; charset=windows-1252\r\n",
                 "Content-Type: text/plain\r\n");
  EXPECT_EQ(QCryptographicHash::hash(before, QCryptographicHash::Sha256).toHex(), c.sha256);
  for (const qsizetype block : {1, 77, 78 * 3 + 1, 4096, 256 * 1024}) {
    SCOPED_TRACE(block);
    MessageStream stream(m, kDate, kBoundary);
    QByteArray streamed;
    QByteArray stuffed;
    DotStuffer stuffer;
    for (QByteArray b = stream.next(block); !b.isEmpty(); b = stream.next(block)) {
      // A file's lines come whole, so a block may pass its size by less than a line.
      EXPECT_LT(b.size(), block + 78);
      streamed += b;
      stuffer.apply(b, stuffed);
    }
    stuffed += stuffer.ending();
    EXPECT_EQ(streamed, whole);
    EXPECT_EQ(stuffed, stuffedAtOnce(whole));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageStreamCases,
    ::testing::Values(
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
                   ".one\r\n..two\r\nthree.\r\n."}));

TEST(DotStuffer, LineStartsCutBetweenBlocks) {
  // A CR LF split over two blocks still starts a line; a lone LF does not.
  const QByteArray data = "a\r\n.b\r\n.\r\nc\n.d\r";
  for (qsizetype cut = 0; cut <= data.size(); ++cut) {
    DotStuffer stuffer;
    QByteArray out;
    stuffer.apply(QByteArrayView(data).first(cut), out);
    stuffer.apply(QByteArrayView(data).sliced(cut), out);
    out += stuffer.ending();
    EXPECT_EQ(out, "a\r\n..b\r\n..\r\nc\n.d\r\r\n") << cut;
  }
  DotStuffer empty;
  EXPECT_EQ(empty.ending(), "\r\n");
}

TEST(MessageStream, MissingFileFailsBeforeAnythingIsMade) {
  MailMessage m;
  m.setSender("a@example.com");
  m.addAttachment("/nonexistent/folder/file.txt");
  EXPECT_TRUE(errorOf([&] { MessageStream(m, kDate, kBoundary); })
                  .value_or("")
                  .startsWith("Cannot read the attachment /nonexistent/folder/file.txt"));
}

// A file that shrinks or grows after it was opened stops the message with an error instead of
// sending other bytes than the file's.
TEST(MessageStream, FileThatChangesSizeWhileReadIsAnError) {
  for (const qsizetype newSize : {qsizetype(1000), qsizetype(400 * 1024)}) {
    test::TempDir dir;
    const QString path = dir.write("cambia.txt", noise(200 * 1024));
    MailMessage m;
    m.setSender("a@example.com");
    m.addAttachment(path);
    MessageStream stream(m, kDate, kBoundary);
    EXPECT_FALSE(stream.next(4096).isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(noise(newSize));
    file.close();
    const auto error = errorOf([&] {
      while (!stream.next(64 * 1024).isEmpty()) {
      }
    });
    EXPECT_EQ(error, QStringLiteral("The attachment %1 changed while it was being sent; the "
                                    "message was not sent.")
                         .arg(path))
        << newSize;
  }
}

}  // namespace
}  // namespace zavelo::smtp
