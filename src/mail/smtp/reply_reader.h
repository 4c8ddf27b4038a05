// Reads SMTP replies out of the bytes a server sends, however they are split across reads:
// a reply is one or more lines "ddd text", where a '-' in place of the blank after the code
// says that more lines follow. Pure parsing, no socket, so that any input can be thrown at it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

namespace zavelo::smtp {

struct SmtpReply {
  // The three-digit code of the reply, or 0 when a line did not start with one.
  int code = 0;
  // The text of each line after the code and its separator, line ends removed.
  QList<QByteArray> lines;

  // The reply as an error text: each line without its enhanced status code (such as 5.7.1),
  // followed by a line break.
  QByteArray errorText() const;
};

class ReplyReader {
 public:
  // A reply line may be no longer than this; a server that sends more without a line end is
  // treated as broken rather than buffered without end.
  static constexpr qsizetype kMaxLineLength = 64 * 1024;
  // And one reply, all its lines together, no longer than this (a server that sends
  // continuation lines without end).
  static constexpr qsizetype kMaxReplyLength = 1024 * 1024;

  // The limits may be set lower (the fuzz target does, so that short inputs reach them).
  explicit ReplyReader(qsizetype maxLineLength = kMaxLineLength,
                       qsizetype maxReplyLength = kMaxReplyLength)
      : maxLineLength_(maxLineLength), maxReplyLength_(maxReplyLength) {}

  // Adds bytes received from the server, as many as there is room() for, and returns how many
  // it took; the caller keeps the rest until replies have been taken. Throws zavelo::Error
  // when a line (without its CR LF) or the reply at the front grows past its limit.
  qsizetype feed(QByteArrayView bytes);

  // How many more bytes feed() takes. The reader holds at most one whole reply and one line
  // beyond it, so that a server that floods replies cannot grow it without end.
  qsizetype room() const { return maxReplyLength_ + maxLineLength_ + 2 - buffer_.size(); }

  // The next complete reply, when all its lines have arrived. Throws zavelo::Error when the
  // reply at the front is past its limit.
  std::optional<SmtpReply> takeReply();

  // Forgets everything buffered (used after the TLS upgrade, where bytes read in plain text
  // must not count as replies of the encrypted session).
  void clear();

  bool hasPendingBytes() const { return !buffer_.isEmpty(); }

 private:
  qsizetype maxLineLength_;
  qsizetype maxReplyLength_;
  QByteArray buffer_;
  // Where the unfinished last line of the buffer starts; bytes before it form complete lines.
  qsizetype lineStart_ = 0;
  // How far the reply at the front is known: the lines before replyEnd_ belong to it, and
  // replyComplete_ says its last line is among them. Lines are looked at once, however the
  // bytes arrive.
  qsizetype replyEnd_ = 0;
  bool replyComplete_ = false;

  // Moves replyEnd_ over the complete lines that belong to the front reply; throws when that
  // reply is longer than its limit.
  void advanceReply();
};

// The text after an enhanced status code ("2.1.5 OK" gives "OK"); other text is unchanged.
QByteArray withoutEnhancedStatusCode(QByteArrayView text);

}  // namespace zavelo::smtp
