#include "mail/smtp/mime_writer.h"

#include <QMimeDatabase>
#include <QRandomGenerator>

namespace zavelo::smtp {

namespace {

constexpr qsizetype kFoldAt = 78;
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

// Encoded-words of at most 75 characters, separated by a fold (CR LF blank); the first one
// short enough to keep its line within 76 characters after firstLineUsed.
QByteArray encodedWords(QByteArrayView text, qsizetype firstLineUsed) {
  const QByteArray start = kCharsetWordStart;
  QList<QByteArray> words;
  QByteArray word = start;
  qsizetype limit = std::max<qsizetype>(start.size() + 2 + 3, 76 - firstLineUsed);
  for (const char c : text) {
    const QByteArray q = qByte(static_cast<unsigned char>(c));
    if (word.size() + q.size() + 2 > std::min<qsizetype>(limit, 75)) {
      words.append(word + "?=");
      word = start;
      limit = 75;
    }
    word += q;
  }
  words.append(word + "?=");
  return words.join("\r\n ");
}

// Joins pieces with a blank, folding before a piece that would pass the line length.
QByteArray foldPieces(const QList<QByteArray>& pieces, qsizetype nameLength,
                      QByteArrayView separator) {
  QByteArray out;
  qsizetype used = nameLength;
  for (qsizetype i = 0; i < pieces.size(); ++i) {
    const QByteArray& piece = pieces[i];
    const QByteArray sep = i + 1 < pieces.size() ? separator.toByteArray() : QByteArray();
    if (i > 0) {
      if (used + 1 + piece.size() + sep.size() > kFoldAt) {
        out += "\r\n ";
        used = 1;
      } else {
        out += ' ';
        ++used;
      }
    }
    out += piece;
    out += sep;
    // An encoded piece may already hold folds of its own.
    const qsizetype lastFold = piece.lastIndexOf('\n');
    used =
        lastFold >= 0 ? piece.size() - lastFold - 1 + sep.size() : used + piece.size() + sep.size();
  }
  return out;
}

QByteArray unquoted(QByteArrayView name) {
  if (name.size() < 2 || name.front() != '"' || name.back() != '"') return name.toByteArray();
  QByteArray out;
  for (qsizetype i = 1; i + 1 < name.size(); ++i) {
    if (name[i] == '\\' && i + 2 < name.size()) ++i;
    out += name[i];
  }
  return out;
}

// One address entry as a header shows it: the display name encoded when it is not ASCII.
QByteArray addressText(const MailAddress& entry) {
  if (isAsciiText(entry.text) || entry.name.isEmpty()) return entry.text;
  return encodedWords(unquoted(entry.name), 0) + " <" + entry.address + ">";
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
  return encodedWords(text, nameLength);
}

QByteArray MimeWriter::addressField(const AddressList& list, qsizetype nameLength) {
  QList<QByteArray> pieces;
  for (const MailAddress& entry : list.entries()) pieces.append(addressText(entry));
  return foldPieces(pieces, nameLength, ",");
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
