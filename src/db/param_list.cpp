#include "db/param_list.h"

#include "db/ascii_case.h"

namespace zavelo::db {

namespace {

// The key of a line is everything in front of its first '='; a line without '=' is all key.
QByteArrayView keyOf(const QByteArray& line) {
  const qsizetype eq = line.indexOf('=');
  return eq < 0 ? QByteArrayView(line) : QByteArrayView(line).first(eq);
}

}  // namespace

ParamList::ParamList(QList<QByteArray> lines) : lines_(std::move(lines)) {}

qsizetype ParamList::find(QByteArrayView key) const {
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    if (equalsIgnoringAsciiCase(keyOf(lines_[i]), key)) return i;
  }
  return -1;
}

QByteArray ParamList::value(QByteArrayView key) const {
  const qsizetype i = find(key);
  if (i < 0) return {};
  const QByteArray& line = lines_[i];
  const qsizetype eq = line.indexOf('=');
  return eq < 0 ? QByteArray() : line.mid(eq + 1);
}

void ParamList::setValue(QByteArrayView key, QByteArrayView value) {
  const qsizetype i = find(key);
  if (value.isEmpty()) {
    if (i >= 0) lines_.removeAt(i);
    return;
  }
  QByteArray line = key.toByteArray() + '=' + value.toByteArray();
  if (i >= 0) {
    lines_[i] = std::move(line);
  } else {
    lines_.append(std::move(line));
  }
}

}  // namespace zavelo::db
