#include "mail/smtp/rfc5322_lexer.h"

namespace zavelo::smtp {

Rfc5322Token Rfc5322Lexer::next() {
  const qsizetype start = pos_;
  Rfc5322Token token;
  const char c = text_[pos_];
  if (c == '\\' && pos_ + 1 < text_.size()) {
    token.kind = Rfc5322Token::Kind::QuotedPair;
    pos_ += 2;
  } else if (c == '"') {
    token.kind = Rfc5322Token::Kind::QuotedString;
    pos_ = quotedEnd(token.closed);
  } else if (c == '(') {
    token.kind = Rfc5322Token::Kind::Comment;
    pos_ = commentEnd(token.closed);
  } else {
    ++pos_;
  }
  token.text = text_.sliced(start, pos_ - start);
  return token;
}

qsizetype Rfc5322Lexer::quotedEnd(bool& closed) const {
  for (qsizetype i = pos_ + 1; i < text_.size(); ++i) {
    if (text_[i] == '\\' && i + 1 < text_.size()) {
      ++i;
      continue;
    }
    if (text_[i] == '"') {
      closed = true;
      return i + 1;
    }
  }
  closed = false;
  return text_.size();
}

qsizetype Rfc5322Lexer::commentEnd(bool& closed) const {
  int depth = 0;
  for (qsizetype i = pos_; i < text_.size(); ++i) {
    if (text_[i] == '\\' && i + 1 < text_.size()) {
      ++i;
      continue;
    }
    if (text_[i] == '(') ++depth;
    if (text_[i] == ')' && --depth == 0) {
      closed = true;
      return i + 1;
    }
  }
  closed = false;
  return text_.size();
}

}  // namespace zavelo::smtp
