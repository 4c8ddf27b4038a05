// Key and column-name comparison that folds ASCII letters only: bytes above 0x7F (Windows-1252
// letters) must match exactly.
#pragma once

#include <QByteArrayView>

namespace zavelo::db {

inline bool equalsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace zavelo::db
