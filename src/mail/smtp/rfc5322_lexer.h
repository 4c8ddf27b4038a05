// The pieces of header and address text (RFC 5322 section 3.2): quoted strings, comments
// (nested), quoted pairs (a backslash and the byte after it) and single bytes for the rest
// (atoms' bytes, blanks, specials). Every reader of such text (the address list, the header
// writer) goes through this one lexer, so they agree on where a quote or a comment ends. It
// never fails: an unclosed quoted string or comment runs to the end of the text, and a
// backslash at the very end is a byte of its own.
#pragma once

#include <QByteArrayView>

namespace zavelo::smtp {

struct Rfc5322Token {
  enum class Kind {
    Byte,          // one byte outside quotes and comments
    QuotedPair,    // a backslash and the byte after it
    QuotedString,  // from a '"' to the next '"' not in a quoted pair, or to the end
    Comment,       // from a '(' to its matching ')', nesting counted, or to the end
  };
  Kind kind = Kind::Byte;
  QByteArrayView text;  // the token's bytes as they stand, delimiters included
  // A quoted string or comment whose closing delimiter was found.
  bool closed = true;

  bool is(char byte) const { return kind == Kind::Byte && text.front() == byte; }
};

class Rfc5322Lexer {
 public:
  explicit Rfc5322Lexer(QByteArrayView text) : text_(text) {}

  bool atEnd() const { return pos_ >= text_.size(); }
  // The next token; only called while not at the end.
  Rfc5322Token next();

 private:
  // The end of the quoted string or comment that opens at pos_, and whether it closed.
  qsizetype quotedEnd(bool& closed) const;
  qsizetype commentEnd(bool& closed) const;

  QByteArrayView text_;
  qsizetype pos_ = 0;
};

}  // namespace zavelo::smtp
