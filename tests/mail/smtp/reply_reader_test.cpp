// Reading SMTP replies from bytes however they arrive.
#include <gtest/gtest.h>

#include "common/error.h"
#include "mail/smtp/reply_reader.h"
#include "support/error_of.h"
#include "support/qt_print.h"

namespace zavelo::smtp {
namespace {

TEST(ReplyReader, MultiLineReplyByteByByte) {
  const QByteArray bytes = "250-mail.example.com\r\n250-AUTH LOGIN\r\n250 SIZE 100\r\n354 go\r\n";
  ReplyReader reader;
  QList<SmtpReply> replies;
  for (const char c : bytes) {
    reader.feed(QByteArrayView(&c, 1));
    while (auto r = reader.takeReply()) replies.append(*r);
  }
  ASSERT_EQ(replies.size(), 2);
  EXPECT_EQ(replies[0].code, 250);
  EXPECT_EQ(replies[0].lines, QList<QByteArray>({"mail.example.com", "AUTH LOGIN", "SIZE 100"}));
  EXPECT_EQ(replies[1].code, 354);
  EXPECT_EQ(replies[1].lines, QList<QByteArray>({"go"}));
  EXPECT_FALSE(reader.hasPendingBytes());
}

TEST(ReplyReader, IncompleteReplyWaits) {
  ReplyReader reader;
  reader.feed("250-first\r\n250 second");
  EXPECT_FALSE(reader.takeReply());
  reader.feed("\r\n");
  const auto r = reader.takeReply();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->lines.size(), 2);
}

TEST(ReplyReader, OddLines) {
  ReplyReader reader;
  reader.feed("220\r\n250 bare line feed\n421\r\nhello there\r\n");
  auto r = reader.takeReply();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->code, 220);
  EXPECT_EQ(r->lines, QList<QByteArray>({""}));
  r = reader.takeReply();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->code, 250);
  EXPECT_EQ(r->lines, QList<QByteArray>({"bare line feed"}));
  r = reader.takeReply();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->code, 421);
  r = reader.takeReply();  // no code: the reply is there, with code 0, so no check passes
  ASSERT_TRUE(r);
  EXPECT_EQ(r->code, 0);
  EXPECT_EQ(r->errorText(), "hello there\n");
}

TEST(ReplyReader, LineLimit) {
  ReplyReader reader;
  // Exactly at the limit, CR LF not counted, is accepted.
  reader.feed("250 " + QByteArray(ReplyReader::kMaxLineLength - 4, 'x') + "\r\n");
  const auto r = reader.takeReply();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->lines[0].size(), ReplyReader::kMaxLineLength - 4);

  // One byte more, with or without its line end, is not.
  ReplyReader complete;
  EXPECT_THROW(complete.feed("250 " + QByteArray(ReplyReader::kMaxLineLength - 3, 'x') + "\r\n"),
               Error);
  ReplyReader endless;
  for (int i = 0; i < 64; ++i) endless.feed(QByteArray(1024, 'y'));
  EXPECT_EQ(test::errorOf([&] { endless.feed("y"); }),
            "The server sent a reply line longer than 64 KiB; the connection was dropped.");
}

TEST(ReplyReader, ReplyLimitForEndlessContinuation) {
  ReplyReader reader;
  const QByteArray line = "250-" + QByteArray(1000, 'z') + "\r\n";
  EXPECT_THROW(
      {
        for (int i = 0; i < 2000; ++i) {
          reader.feed(line);
          ASSERT_FALSE(reader.takeReply());
        }
      },
      Error);
}

TEST(ReplyReader, ManyRepliesInOneReadAreNotOneLongReplyAndAreTakenInBoundedPieces) {
  // The limit is per reply: 2 MiB of short replies read at once is no error, but the reader
  // takes no more of them at a time than one reply's worth and a line; the rest waits.
  QByteArray bytes;
  for (int i = 0; bytes.size() < 2 * ReplyReader::kMaxReplyLength; ++i)
    bytes += "250 " + QByteArray::number(i % 10) + "\r\n";
  ReplyReader reader;
  const qsizetype capacity = reader.room();
  EXPECT_LT(capacity, bytes.size());
  qsizetype fed = 0;
  qsizetype count = 0;
  while (fed < bytes.size()) {
    const qsizetype taken = reader.feed(QByteArrayView(bytes).sliced(fed));
    ASSERT_GT(taken, 0);
    EXPECT_LE(taken, capacity);
    fed += taken;
    while (auto reply = reader.takeReply()) {
      ASSERT_EQ(reply->lines, QList<QByteArray>({QByteArray::number(count % 10)}));
      ++count;
    }
  }
  EXPECT_EQ(count * 7, bytes.size());
  EXPECT_FALSE(reader.hasPendingBytes());
}

TEST(ReplyReader, ClearDropsBufferedBytes) {
  ReplyReader reader;
  reader.feed("250 injected\r\n");
  reader.clear();
  EXPECT_FALSE(reader.takeReply());
  EXPECT_FALSE(reader.hasPendingBytes());
}

struct ErrorTextCase {
  QByteArray reply;
  QByteArray text;
};

void PrintTo(const ErrorTextCase& c, std::ostream* os) {
  PrintTo(c.reply, os);
}

class ReplyErrorText : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(ReplyErrorText, LinesWithoutCodes) {
  ReplyReader reader;
  reader.feed(GetParam().reply);
  const auto r = reader.takeReply();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->errorText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyErrorText,
    ::testing::Values(ErrorTextCase{"550 5.1.1 <x@y>: Recipient address rejected\r\n",
                                    "<x@y>: Recipient address rejected\n"},
                      ErrorTextCase{"550-5.7.1 first\r\n550 5.7.1 second\r\n", "first\nsecond\n"},
                      ErrorTextCase{"554 No valid recipients\r\n", "No valid recipients\n"},
                      ErrorTextCase{"452 4.3.1\r\n", "\n"},
                      ErrorTextCase{"550 5.1.10 a\r\n", "a\n"},
                      // Not enhanced status codes: kept as they are.
                      ErrorTextCase{"550 5.1 not a code\r\n", "5.1 not a code\n"},
                      ErrorTextCase{"550 3.1.1 wrong class\r\n", "3.1.1 wrong class\n"},
                      ErrorTextCase{"550 5.1.1000 too long\r\n", "5.1.1000 too long\n"},
                      ErrorTextCase{"550 5.1.1x glued\r\n", "5.1.1x glued\n"},
                      ErrorTextCase{"550 2025.1.1 date\r\n", "2025.1.1 date\n"},
                      ErrorTextCase{"550\r\n", "\n"}));

}  // namespace
}  // namespace zavelo::smtp
