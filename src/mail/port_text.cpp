#include "mail/port_text.h"

#include <QString>
#include <optional>

#include "common/cp1252.h"
#include "common/error.h"

namespace zavelo::mail {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The number the text holds, or nullopt when it holds none. Decimal numbers must fit a signed
// 32-bit integer; hexadecimal ones may use all 32 bits, as a bit pattern (so $FFFFFFFF is -1).
std::optional<qint64> wholeNumber(QByteArrayView text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < n && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i < n && (text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) return std::nullopt;  // no digits

  const qint64 limit = base == 16 ? qint64(0xFFFFFFFF) : (negative ? qint64(1) << 31 : 0x7FFFFFFF);
  qint64 value = 0;
  for (; i < n; ++i) {
    const int digit =
        base == 16 ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return std::nullopt;  // anything after the digits
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  if (base == 16 && value > 0x7FFFFFFF) value -= qint64(1) << 32;
  return negative ? -value : value;
}

}  // namespace

quint16 portFromText(QByteArrayView text) {
  const std::optional<qint64> number = wholeNumber(text);
  if (!number)
    throw Error(Error::Kind::Settings,
                QStringLiteral("'%1' is not a valid integer value").arg(fromCp1252(text)));
  if (*number < 0 || *number > 65535)
    throw Error(Error::Kind::Settings, QStringLiteral("Range check error"));
  return static_cast<quint16>(*number);
}

}  // namespace zavelo::mail
