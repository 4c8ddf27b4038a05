#include "mail/smtp/address_list.h"

#include "common/trim.h"

namespace zavelo::smtp {

namespace {

// An entry's blanks: the blank, the tab and the ends of folded lines.
QByteArray trimmed(QByteArrayView text) {
  return zavelo::trimmed(text, Blanks::SpaceTabAndLineEnd);
}

bool isBlank(char c) {
  return zavelo::isBlank(c, Blanks::SpaceTabAndLineEnd);
}

// The text with its comments (parenthesised, possibly nested, outside quotes) removed.
QByteArray withoutComments(QByteArrayView text) {
  QByteArray out;
  int depth = 0;
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      if (depth == 0) out += text.sliced(i, 2);
      ++i;
      continue;
    }
    if (depth == 0 && c == '"') quoted = !quoted;
    if (!quoted && c == '(') {
      ++depth;
      continue;
    }
    if (!quoted && c == ')' && depth > 0) {
      --depth;
      continue;
    }
    if (depth == 0) out += c;
  }
  return out;
}

}  // namespace

AddressList AddressList::parse(QByteArrayView text) {
  AddressList list;
  QByteArray entry;
  bool quoted = false;
  int depth = 0;  // comment nesting
  const auto endEntry = [&] {
    if (!trimmed(entry).isEmpty()) list.entries_.append(parseEntry(entry));
    entry.clear();
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      entry += c;
      if (i + 1 < text.size()) entry += text[++i];
      continue;
    }
    if (quoted) {
      if (c == '"') quoted = false;
      entry += c;
      continue;
    }
    if (depth > 0) {
      if (c == '(') ++depth;
      if (c == ')') --depth;
      entry += c;
      continue;
    }
    switch (c) {
      case '"':
        quoted = true;
        entry += c;
        break;
      case '(':
        depth = 1;
        entry += c;
        break;
      case ',':
      case ';':
        endEntry();
        break;
      case ':':
        entry.clear();  // a group label, up to and including the colon
        break;
      default:
        entry += c;
    }
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
  qsizetype open = -1;
  bool quoted = false;
  for (qsizetype i = 0; i < plain.size(); ++i) {
    const char c = plain[i];
    if (c == '\\') {
      ++i;
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '<') open = i;
  }
  if (open >= 0) {
    qsizetype close = plain.indexOf('>', open + 1);
    if (close < 0) close = plain.size();
    result.name = trimmed(QByteArrayView(plain).first(open));
    result.address = trimmed(QByteArrayView(plain).sliced(open + 1, close - open - 1));
  } else {
    // Words followed by a bare address, as a user writes a name without brackets: the last
    // word outside quotes is the address when it has an "@", the words before it the name.
    const QByteArray bare = trimmed(plain);
    qsizetype lastBlank = -1;
    quoted = false;
    for (qsizetype i = 0; i < bare.size(); ++i) {
      const char c = bare[i];
      if (c == '\\') {
        ++i;
        continue;
      }
      if (c == '"') quoted = !quoted;
      if (!quoted && isBlank(c)) lastBlank = i;
    }
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
