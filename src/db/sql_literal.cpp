#include "db/sql_literal.h"

namespace zavelo::db {

QByteArray sqlStringLiteral(QByteArrayView value) {
  QByteArray out;
  out.reserve(value.size() + 2);
  out.append('\'');
  for (const char c : value) {
    out.append(c);
    if (c == '\'') out.append('\'');
  }
  out.append('\'');
  return out;
}

}  // namespace zavelo::db
