#include "mail/smtp/mime_writer.h"

#include <QMimeDatabase>
#include <QRandomGenerator>

#include "mail/smtp/rfc5322_lexer.h"

namespace zavelo::smtp {

namespace {

constexpr qsizetype kFoldAt = 78;
// RFC 2047: an encoded-word is at most 75 characters, a line that holds one at most 76.
constexpr qsizetype kEncodedWordLength = 75;
constexpr qsizetype kEncodedLineLength = 76;
constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kCharsetWordStart[] = "=?windows-1252?Q?";

bool isAsciiText(QByteArrayView text) {
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x7F || (u < 0x20 && u != '\t')) return false;
  }
  return true;
}

void appendHex(QByteArray& out, unsigned char u) {
  out += '=';
  out += kHex[u >> 4];
  out += kHex[u & 15];
}

// The RFC 2047 "Q" form of one byte inside an encoded-word of a phrase or unstructured text.
QByteArray qByte(unsigned char u) {
  if (u == ' ') return "_";
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '!' ||
      u == '*' || u == '+' || u == '-' || u == '/')
    return QByteArray(1, static_cast<char>(u));
  QByteArray out;
  appendHex(out, u);
  return out;
}

// A display name or comment as its reader sees it: quotes gone, backslash escapes resolved.
QByteArray phraseText(QByteArrayView text) {
  QByteArray out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '"') continue;
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// One piece of an address field: text that goes as it stands, or text that goes as
// encoded-words; before and after stand around it (the parentheses of a comment, the comma
// after an entry).
struct Token {
  QByteArray text;
  bool encode = false;
  QByteArray before;
  QByteArray after;
};

Token asItStands(QByteArray text) {
  return Token{std::move(text), false, {}, {}};
}

Token encoded(QByteArray text, QByteArray before = {}, QByteArray after = {}) {
  return Token{std::move(text), true, std::move(before), std::move(after)};
}

// The tokens of an entry that has bytes beyond ASCII and no display name before angle
// brackets: a bare address with comments around it ("ana@example.com (Ana Pérez)") or with
// words before it ("Pérez luis@example.com"). Comments and words are encoded; the address
// itself cannot be (RFC 2047 section 5) and goes as it stands.
// The entry's tokens with its words put in: the address (the word with "@" or angle brackets,
// or the only word) as it stands, and each run of other words as one phrase, so that the
// blanks between them survive the encoding (a decoder drops the blank between two
// encoded-words). wordAt: where each word goes among the tokens.
QList<Token> joinPhrases(const QList<Token>& tokens, const QList<QByteArray>& words,
                         const QList<qsizetype>& wordAt) {
  const auto isAddress = [&](const QByteArray& word) {
    return words.size() == 1 || word.contains('@') || word.startsWith('<');
  };
  QList<Token> out;
  qsizetype w = 0;
  for (qsizetype t = 0; t < tokens.size(); ++t) {
    if (w >= wordAt.size() || wordAt[w] != t) {
      out.append(tokens[t]);
      continue;
    }
    if (isAddress(words[w])) {
      out.append(asItStands(words[w]));
      ++w;
      continue;
    }
    QByteArray phrase = words[w];
    while (w + 1 < wordAt.size() && wordAt[w + 1] == t + 1 && !isAddress(words[w + 1])) {
      phrase += ' ' + words[++w];
      ++t;
    }
    ++w;
    if (isAsciiText(phrase))
      out.append(asItStands(phrase));
    else
      out.append(encoded(phraseText(phrase)));
  }
  return out;
}

// A comment as it goes: as it stands when it is ASCII, otherwise its content (quoted pairs
// resolved) as encoded-words between its parentheses.
Token commentToken(const Rfc5322Token& comment) {
  if (isAsciiText(comment.text)) return asItStands(comment.text.toByteArray());
  const QByteArrayView inner =
      comment.text.sliced(1, comment.text.size() - (comment.closed ? 2 : 1));
  QByteArray content;
  for (qsizetype k = 0; k < inner.size(); ++k) {
    if (inner[k] == '\\' && k + 1 < inner.size()) ++k;
    content += inner[k];
  }
  return encoded(content, "(", ")");
}

bool isWordEnd(const Rfc5322Token& token) {
  return token.kind == Rfc5322Token::Kind::Comment || token.is(' ') || token.is('\t');
}

QList<Token> looseEntryTokens(QByteArrayView text) {
  QList<Token> tokens;
  QList<QByteArray> words;  // the words outside comments, in their order
  QList<qsizetype> wordAt;  // where each goes among the tokens
  QByteArray word;          // a word, up to a blank or a comment; quoted text belongs to it
  const auto endWord = [&] {
    if (word.isEmpty()) return;
    wordAt.append(tokens.size());
    words.append(word);
    tokens.append(Token());
    word.clear();
  };
  for (Rfc5322Lexer lexer(text); !lexer.atEnd();) {
    const Rfc5322Token token = lexer.next();
    if (!isWordEnd(token)) {
      word += token.text;
      continue;
    }
    endWord();
    if (token.kind == Rfc5322Token::Kind::Comment) tokens.append(commentToken(token));
  }
  endWord();
  return joinPhrases(tokens, words, wordAt);
}

// An entry of an address list as the header shows it, in tokens.
QList<Token> entryTokens(const MailAddress& entry) {
  // A name written without brackets gets them, so that the field reads as a name and address.
  if (isAsciiText(entry.text) && !entry.name.isEmpty() && !entry.text.contains('<'))
    return {asItStands(entry.name), asItStands("<" + entry.address + ">")};
  if (isAsciiText(entry.text)) return {asItStands(entry.text)};
  if (!entry.name.isEmpty())
    return {encoded(phraseText(entry.name)), asItStands("<" + entry.address + ">")};
  return looseEntryTokens(entry.text);
}

// Puts tokens on the lines of a header field, a blank between them, folding before one that
// would pass the line length: 78 characters, 76 on a line with encoded-words (RFC 2047).
class FieldLines {
 public:
  explicit FieldLines(qsizetype nameLength) : used_(nameLength) {}

  // A blank, or a fold when width more would not fit behind it. Nothing before the first
  // token, whose line holds the field name.
  void separate(qsizetype width, bool encoded) {
    if (out_.isEmpty() || lineIsFresh_) return;
    const qsizetype limit = encoded || encodedOnLine_ ? kEncodedLineLength : kFoldAt;
    if (used_ + 1 + width > limit) {
      fold();
    } else {
      out_ += ' ';
      ++used_;
    }
  }

  void put(const Token& token, bool blankBefore) {
    if (!token.encode || token.text.isEmpty()) {
      const QByteArray text = token.before + token.text + token.after;
      if (blankBefore) separate(text.size(), false);
      append(text);
      return;
    }
    // Encoded-words, each filling what is left of its line.
    const QByteArray start = kCharsetWordStart;
    const qsizetype reserve = start.size() + 2 + token.before.size() + token.after.size();
    qsizetype pos = 0;
    bool first = true;
    while (pos < token.text.size()) {
      const bool blank = (!first || blankBefore) && !out_.isEmpty() && !lineIsFresh_;
      if (blank) {
        if (kEncodedLineLength - used_ - 1 < reserve + 3) {
          fold();
        } else {
          out_ += ' ';
          ++used_;
        }
      }
      const qsizetype room = std::min(kEncodedWordLength, kEncodedLineLength - used_) - reserve;
      QByteArray word = first ? token.before + start : start;
      qsizetype q = 0;
      while (pos < token.text.size()) {
        const QByteArray piece = qByte(static_cast<unsigned char>(token.text[pos]));
        if (q > 0 && q + piece.size() > room) break;
        word += piece;
        q += piece.size();
        ++pos;
      }
      word += "?=";
      if (pos == token.text.size()) word += token.after;
      append(word);
      encodedOnLine_ = true;
      first = false;
    }
  }

  const QByteArray& text() const { return out_; }

 private:
  void fold() {
    out_ += "\r\n ";
    used_ = 1;
    encodedOnLine_ = false;
    lineIsFresh_ = true;
  }

  void append(const QByteArray& text) {
    out_ += text;
    used_ += text.size();
    lineIsFresh_ = false;
  }

  QByteArray out_;
  qsizetype used_;
  bool encodedOnLine_ = false;
  bool lineIsFresh_ = false;
};

// How wide the tokens are on one line, with the blanks between them.
qsizetype oneLineWidth(const QList<Token>& tokens) {
  qsizetype width = tokens.size() - 1;
  for (const Token& t : tokens) {
    width += t.before.size() + t.after.size();
    if (!t.encode) {
      width += t.text.size();
      continue;
    }
    width += QByteArray(kCharsetWordStart).size() + 2;
    for (const char c : t.text) width += qByte(static_cast<unsigned char>(c)).size();
  }
  return width;
}

}  // namespace

QByteArray MimeWriter::parameter(QByteArrayView name, const QString& value) {
  const QByteArray utf8 = value.toUtf8();
  bool plain = isAsciiText(utf8);
  for (const char c : utf8)
    if (c == '"' || c == '\\' || c == '\t') plain = false;
  if (plain) return name.toByteArray() + "=\"" + utf8 + "\"";
  QByteArray out = name.toByteArray() + "*=utf-8''";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '.' ||
        u == '-' || u == '_') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

QByteArray MimeWriter::newBoundary() {
  const quint64 a = QRandomGenerator::system()->generate64();
  const quint64 b = QRandomGenerator::system()->generate64();
  return "=_zavelo_" + QByteArray::number(a, 16) + QByteArray::number(b, 16);
}

QByteArray MimeWriter::dateField(const QDateTime& date) {
  static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const QDate d = date.date();
  const QTime t = date.time();
  const int offset = date.offsetFromUtc() / 60;
  const int absOffset = offset < 0 ? -offset : offset;
  return QByteArray(days[d.dayOfWeek() - 1]) + ", " +
         QByteArray::number(d.day()).rightJustified(2, '0') + ' ' + months[d.month() - 1] + ' ' +
         QByteArray::number(d.year()).rightJustified(4, '0') + ' ' +
         QByteArray::number(t.hour()).rightJustified(2, '0') + ':' +
         QByteArray::number(t.minute()).rightJustified(2, '0') + ':' +
         QByteArray::number(t.second()).rightJustified(2, '0') + ' ' + (offset < 0 ? '-' : '+') +
         QByteArray::number(absOffset / 60).rightJustified(2, '0') +
         QByteArray::number(absOffset % 60).rightJustified(2, '0');
}

QByteArray MimeWriter::headerText(QByteArrayView text, qsizetype nameLength) {
  // Plain ASCII whose words all fit on a line is folded at blanks; anything else (bytes
  // beyond ASCII, control characters, a word too long to fold, text that would read as an
  // encoded-word) goes as encoded-words.
  bool plain = isAsciiText(text) && !text.contains("=?");
  QList<QByteArray> words;
  if (plain) {
    for (const QByteArray& w : text.toByteArray().split(' ')) {
      if (w.size() > kFoldAt - 2 || w.contains('\t')) plain = false;
      words.append(w);
    }
  }
  if (plain) {
    // Blanks are kept as they are: an empty word stands for a second blank in a row.
    QByteArray out;
    qsizetype used = nameLength;
    for (qsizetype i = 0; i < words.size(); ++i) {
      if (i > 0) {
        if (!words[i].isEmpty() && used + 1 + words[i].size() > kFoldAt) {
          out += "\r\n";
          used = 0;
        }
        out += ' ';
        ++used;
      }
      out += words[i];
      used += words[i].size();
    }
    return out;
  }
  FieldLines lines(nameLength);
  lines.put(encoded(text.toByteArray()), false);
  return lines.text();
}

QByteArray MimeWriter::addressField(const AddressList& list, qsizetype nameLength) {
  // Entries are kept whole on a line where they fit, folded between them; one too long for a
  // line of its own is folded between its tokens.
  FieldLines lines(nameLength);
  const QList<MailAddress>& entries = list.entries();
  for (qsizetype i = 0; i < entries.size(); ++i) {
    QList<Token> tokens = entryTokens(entries[i]);
    if (i + 1 < entries.size()) tokens.back().after += ',';
    bool encoded = false;
    for (const Token& t : tokens) encoded = encoded || t.encode;
    lines.separate(oneLineWidth(tokens), encoded);
    for (qsizetype j = 0; j < tokens.size(); ++j) lines.put(tokens[j], j > 0);
  }
  return lines.text();
}

QByteArray MimeWriter::quotedPrintable(QByteArrayView text) {
  QByteArray out;
  out.reserve(text.size() + text.size() / 8);
  qsizetype used = 0;
  const auto put = [&](QByteArrayView token) {
    if (used + token.size() > 75) {
      out += "=\r\n";
      used = 0;
    }
    out += token;
    used += token.size();
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += "\r\n";
      used = 0;
      ++i;
      continue;
    }
    const bool atLineEnd =
        i + 1 == text.size() || (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n');
    const bool literal =
        (u >= 33 && u <= 126 && u != '=') || ((u == ' ' || u == '\t') && !atLineEnd);
    if (literal) {
      const char c = static_cast<char>(u);
      put(QByteArrayView(&c, 1));
    } else {
      QByteArray hex;
      appendHex(hex, u);
      put(hex);
    }
  }
  return out;
}

QByteArray MimeWriter::mimeType(const QString& fileName) {
  static const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
  return type.isValid() ? type.name().toLatin1() : QByteArray("application/octet-stream");
}

}  // namespace zavelo::smtp
