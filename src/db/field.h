// A declared column field of an in-memory result set, bound to a column by name and read on
// the set's current row (e.g. CSkuCADENA on CSku's column CADENA).
#pragma once

#include <QByteArray>
#include <optional>

#include "db/result_set.h"
#include "db/value.h"

namespace zavelo::db {

class Field {
 public:
  Field(ResultSet& set, QByteArray columnName) : set_(set), columnName_(std::move(columnName)) {}

  const QByteArray& columnName() const { return columnName_; }
  Value value() const { return set_.value(columnName_); }
  QByteArray asText() const { return set_.text(columnName_); }
  std::optional<qint64> asInteger() const { return set_.integer(columnName_); }
  bool isNull() const { return !value().has_value(); }

 private:
  ResultSet& set_;
  QByteArray columnName_;
};

}  // namespace zavelo::db
