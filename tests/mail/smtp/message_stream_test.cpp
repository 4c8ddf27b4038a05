// The message as it is streamed: the same bytes however the blocks are cut, and the same bytes
// as the writer of whole messages that came before it made for the same date and boundary
// (their SHA-256 in the table of messages); stuffed for DATA as the whole message would be; and a
// file that changes while it is read stops the message.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>

#include "mail/smtp/dot_stuffer.h"
#include "mail/smtp/message_stream.h"
#include "message_table.h"
#include "support/error_of.h"
#include "support/qt_print.h"
#include "support/temp_dir.h"

namespace zavelo::smtp {
namespace {

using test::errorOf;

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
  const QByteArray whole = MessageStream::whole(m, kTableDate, kTableBoundary);
  // The one change since: the body part names its character set.
  EXPECT_EQ(whole.count("Content-Type: text/plain; charset=windows-1252\r\n"), 1);
  EXPECT_EQ(QCryptographicHash::hash(withoutBodyCharset(whole), QCryptographicHash::Sha256).toHex(),
            c.sha256);
  for (const qsizetype block : {1, 77, 78 * 3 + 1, 4096, 256 * 1024}) {
    SCOPED_TRACE(block);
    MessageStream stream(m, kTableDate, kTableBoundary);
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

INSTANTIATE_TEST_SUITE_P(Messages, MessageStreamCases, ::testing::ValuesIn(messageTable()));

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
  const std::optional<Error> error =
      test::caught([&] { MessageStream(m, kTableDate, kTableBoundary); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(
      error->message().startsWith("Cannot read the attachment /nonexistent/folder/file.txt"));
  EXPECT_EQ(error->kind(), Error::Kind::File);
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
    MessageStream stream(m, kTableDate, kTableBoundary);
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
