// The one lexer of header and address text: where quoted strings, comments and quoted pairs
// begin and end, also in text that never closes them.
#include "mail/smtp/rfc5322_lexer.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace zavelo::smtp {
namespace {

// The tokens as "kind:text", an unclosed one marked with "…".
QStringList tokensOf(QByteArrayView text) {
  QStringList out;
  for (Rfc5322Lexer lexer(text); !lexer.atEnd();) {
    const Rfc5322Token t = lexer.next();
    const char* kind = t.kind == Rfc5322Token::Kind::Byte           ? "b"
                       : t.kind == Rfc5322Token::Kind::QuotedPair   ? "p"
                       : t.kind == Rfc5322Token::Kind::QuotedString ? "q"
                                                                    : "c";
    out << QString::fromLatin1(kind) + u':' + QString::fromLatin1(t.text) +
               (t.closed ? QString() : QStringLiteral("\u2026"));
  }
  return out;
}

TEST(Rfc5322Lexer, TokensOfQuotesCommentsAndPairs) {
  const struct {
    const char* text;
    QStringList tokens;
  } cases[] = {
      {"a@b", {"b:a", "b:@", "b:b"}},
      {"\"Ana, R\" <a@b>", {"q:\"Ana, R\"", "b: ", "b:<", "b:a", "b:@", "b:b", "b:>"}},
      // A quoted pair inside a quoted string does not close it.
      {"\"a\\\"b\"x", {"q:\"a\\\"b\"", "b:x"}},
      // Comments nest, and quotes inside a comment are plain bytes.
      {"(a (b) \"c)d", {"c:(a (b) \"c)", "b:d"}},
      {"(x\\)y)z", {"c:(x\\)y)", "b:z"}},
      // A comment inside quotes is text of the quoted string.
      {"\"(no)\"", {"q:\"(no)\""}},
      // Never closed: to the end of the text.
      {"\"open", {"q:\"open\u2026"}},
      {"(open (deeper)", {"c:(open (deeper)\u2026"}},
      // A backslash at the very end is a byte of its own.
      {"a\\", {"b:a", "b:\\"}},
      {"\\(", {"p:\\("}},
      {"\")\"", {"q:\")\""}},
      {")", {"b:)"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(tokensOf(c.text), c.tokens) << c.text;
}

}  // namespace
}  // namespace zavelo::smtp
