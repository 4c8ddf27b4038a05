// The connection's parameter list: ordered "key=value" lines whose keys are compared without
// regard to ASCII letter case. Setting a key rewrites the matching line in place, so the order
// of the lines stays as it was created.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace zavelo::db {

class ParamList {
 public:
  explicit ParamList(QList<QByteArray> lines = {});

  // The text after the first '=' of the first line whose key matches; "" when none does.
  QByteArray value(QByteArrayView key) const;
  // A non-empty value replaces the first matching line, in its place, by key=value (the key as
  // written here); without a match the line is appended. An empty value removes the line.
  void setValue(QByteArrayView key, QByteArrayView value);
  const QList<QByteArray>& lines() const { return lines_; }

 private:
  qsizetype find(QByteArrayView key) const;

  QList<QByteArray> lines_;
};

}  // namespace zavelo::db
