#include "mail/smtp/address_list.h"

#include "common/trim.h"
#include "mail/smtp/rfc5322_lexer.h"

namespace zavelo::smtp {

namespace {

// An entry's blanks: the blank, the tab and the ends of folded lines.
QByteArray trimmed(QByteArrayView text) {
  return zavelo::trimmed(text, Blanks::SpaceTabAndLineEnd);
}

bool isBlank(char c) {
  return zavelo::isBlank(c, Blanks::SpaceTabAndLineEnd);
}

using Kind = Rfc5322Token::Kind;

// The text with its comments (parenthesised, possibly nested, outside quotes) removed.
QByteArray withoutComments(QByteArrayView text) {
  QByteArray out;
  for (Rfc5322Lexer lexer(text); !lexer.atEnd();) {
    const Rfc5322Token token = lexer.next();
    if (token.kind != Kind::Comment) out += token.text;
  }
  return out;
}

// Where the last byte outside quoted strings and quoted pairs for which `wanted` holds stands,
// or -1.
template <typename Wanted>
qsizetype lastOutsideQuotes(QByteArrayView text, Wanted wanted) {
  qsizetype found = -1;
  qsizetype at = 0;
  for (Rfc5322Lexer lexer(text); !lexer.atEnd();) {
    const Rfc5322Token token = lexer.next();
    if (token.kind == Kind::Byte && wanted(token.text.front())) found = at;
    at += token.text.size();
  }
  return found;
}

}  // namespace

AddressList AddressList::parse(QByteArrayView text) {
  AddressList list;
  QByteArray entry;
  const auto endEntry = [&] {
    if (!trimmed(entry).isEmpty()) list.entries_.append(parseEntry(entry));
    entry.clear();
  };
  // Quoted strings, comments and quoted pairs belong to their entry whatever they hold.
  for (Rfc5322Lexer lexer(text); !lexer.atEnd();) {
    const Rfc5322Token token = lexer.next();
    if (token.is(',') || token.is(';'))
      endEntry();
    else if (token.is(':'))
      entry.clear();  // a group label, up to and including the colon
    else
      entry += token.text;
  }
  endEntry();
  return list;
}

MailAddress AddressList::parseEntry(QByteArrayView entry) {
  MailAddress result;
  // Unfolded: a line end inside an entry would end a header field or an SMTP command early.
  QByteArray unfolded = entry.toByteArray();
  unfolded.replace('\r', QByteArray()).replace('\n', QByteArray());
  result.text = trimmed(unfolded);
  // The last '<' outside quotes and comments opens the address of a named entry.
  const QByteArray plain = withoutComments(result.text);
  const qsizetype open = lastOutsideQuotes(plain, [](char c) { return c == '<'; });
  if (open >= 0) {
    qsizetype close = plain.indexOf('>', open + 1);
    if (close < 0) close = plain.size();
    result.name = trimmed(QByteArrayView(plain).first(open));
    result.address = trimmed(QByteArrayView(plain).sliced(open + 1, close - open - 1));
  } else {
    // Words followed by a bare address, as a user writes a name without brackets: the last
    // word outside quotes is the address when it has an "@", the words before it the name.
    const QByteArray bare = trimmed(plain);
    const qsizetype lastBlank = lastOutsideQuotes(bare, [](char c) { return isBlank(c); });
    const QByteArray last = bare.sliced(lastBlank + 1);
    if (lastBlank > 0 && last.contains('@') && !last.contains('"')) {
      result.name = trimmed(QByteArrayView(bare).first(lastBlank));
      result.address = last;
    } else {
      result.address = bare;
    }
  }
  return result;
}

bool isSendableAddress(QByteArrayView address) {
  if (address.isEmpty()) return false;
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) return false;
  }
  return true;
}

QList<QByteArray> AddressList::addresses() const {
  QList<QByteArray> out;
  for (const MailAddress& a : entries_) out.append(a.address);
  return out;
}

}  // namespace zavelo::smtp
