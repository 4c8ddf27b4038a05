// Lets GoogleTest print Qt's text types readably in failure messages.
#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>

// So that a failure message can name a text: EXPECT_...(...) << text.
inline std::ostream& operator<<(std::ostream& os, const QString& s) {
  return os << s.toStdString();
}

inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
  *os << "bytes \"";
  for (const char c : b) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F && u != '\\') {
      *os << c;
    } else {
      static const char* hex = "0123456789ABCDEF";
      *os << "\\x" << hex[u >> 4] << hex[u & 15];
    }
  }
  *os << '"';
}
