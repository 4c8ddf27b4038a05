#include "mail/smtp/reply_reader.h"

#include "common/error.h"
#include "mail/smtp/smtp_texts.h"

namespace zavelo::smtp {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// One to three digits at text[pos...]; returns the position after them, or -1.
qsizetype skipNumber(QByteArrayView text, qsizetype pos) {
  qsizetype n = 0;
  while (pos + n < text.size() && isDigit(text[pos + n])) ++n;
  return (n >= 1 && n <= 3) ? pos + n : -1;
}

struct Line {
  int code = 0;
  bool more = false;
  QByteArray text;
};

Line parseLine(QByteArrayView line) {
  Line result;
  if (line.size() >= 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]) &&
      (line.size() == 3 || line[3] == ' ' || line[3] == '-')) {
    result.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    result.more = line.size() > 3 && line[3] == '-';
    result.text = line.size() > 4 ? line.sliced(4).toByteArray() : QByteArray();
  } else {
    result.text = line.toByteArray();
  }
  return result;
}

// The line from start to the line feed at end, without the CR before it.
QByteArrayView lineAt(const QByteArray& buffer, qsizetype start, qsizetype end) {
  if (end > start && buffer[end - 1] == '\r') --end;
  return QByteArrayView(buffer).sliced(start, end - start);
}

}  // namespace

QByteArray withoutEnhancedStatusCode(QByteArrayView text) {
  // class "." subject "." detail, class being 2, 4 or 5 (RFC 3463), then a blank or the end.
  if (text.isEmpty() || (text[0] != '2' && text[0] != '4' && text[0] != '5') || text.size() < 2 ||
      text[1] != '.')
    return text.toByteArray();
  qsizetype pos = skipNumber(text, 2);
  if (pos < 0 || pos >= text.size() || text[pos] != '.') return text.toByteArray();
  pos = skipNumber(text, pos + 1);
  if (pos < 0) return text.toByteArray();
  if (pos == text.size()) return QByteArray();
  if (text[pos] != ' ') return text.toByteArray();
  return text.sliced(pos + 1).toByteArray();
}

QByteArray SmtpReply::errorText() const {
  QByteArray text;
  for (const QByteArray& line : lines) {
    text += withoutEnhancedStatusCode(line);
    text += kLineBreak;
  }
  return text;
}

qsizetype ReplyReader::feed(QByteArrayView bytes) {
  bytes = bytes.first(std::min(bytes.size(), std::max<qsizetype>(0, room())));
  qsizetype pos = buffer_.size();
  buffer_.append(bytes);
  const auto lengthWithoutCr = [this](qsizetype from, qsizetype to) {
    return (to > from && buffer_[to - 1] == '\r') ? to - 1 - from : to - from;
  };
  for (;;) {
    const qsizetype end = buffer_.indexOf('\n', pos);
    if (end < 0) break;
    if (lengthWithoutCr(lineStart_, end) > maxLineLength_)
      throw Error(Error::Kind::Smtp, QString::fromLatin1(kReplyLineTooLong));
    lineStart_ = end + 1;
    pos = end + 1;
  }
  if (lengthWithoutCr(lineStart_, buffer_.size()) > maxLineLength_)
    throw Error(Error::Kind::Smtp, QString::fromLatin1(kReplyLineTooLong));
  advanceReply();
  return bytes.size();
}

void ReplyReader::advanceReply() {
  while (!replyComplete_ && replyEnd_ < lineStart_) {
    const qsizetype end = buffer_.indexOf('\n', replyEnd_);
    const Line line = parseLine(lineAt(buffer_, replyEnd_, end));
    replyEnd_ = end + 1;
    replyComplete_ = !line.more;
  }
  // The reply at the front, with its unfinished line while it has one.
  if ((replyComplete_ ? replyEnd_ : buffer_.size()) > maxReplyLength_)
    throw Error(Error::Kind::Smtp, QString::fromLatin1(kReplyTooLong));
}

std::optional<SmtpReply> ReplyReader::takeReply() {
  advanceReply();
  if (!replyComplete_) return std::nullopt;

  SmtpReply reply;
  qsizetype pos = 0;
  while (pos < replyEnd_) {
    const qsizetype end = buffer_.indexOf('\n', pos);
    Line line = parseLine(lineAt(buffer_, pos, end));
    if (pos == 0) reply.code = line.code;
    reply.lines.append(std::move(line.text));
    pos = end + 1;
  }
  buffer_.remove(0, replyEnd_);
  lineStart_ -= replyEnd_;
  replyEnd_ = 0;
  replyComplete_ = false;
  return reply;
}

void ReplyReader::clear() {
  buffer_.clear();
  lineStart_ = 0;
  replyEnd_ = 0;
  replyComplete_ = false;
}

}  // namespace zavelo::smtp
