#include "db/result_set.h"

#include <algorithm>

#include "common/cp1252.h"
#include "common/error.h"
#include "db/ascii_case.h"
#include "db/link.h"
#include "db/query.h"

namespace zavelo::db {

ResultSet::ResultSet(Link& link) : link_(link) {}

void ResultSet::open() {
  if (open_) return;
  Query& query = link_.query();
  if (link_.allowsCommandText() && !commandText_.isEmpty()) query.setSql(commandText_);
  Query::Result result = query.openFetchAllAndClose();
  columns_ = std::move(result.columns);
  rows_ = std::move(result.rows);
  open_ = true;
  first();
}

void ResultSet::close() {
  open_ = false;
  columns_.clear();
  rows_ = RowStore();
  current_ = -1;
  eof_ = true;
}

void ResultSet::first() {
  current_ = rows_.empty() ? -1 : 0;
  eof_ = rows_.empty();
}

void ResultSet::next() {
  if (current_ + 1 < recordCount()) {
    ++current_;
    eof_ = false;
  } else {
    eof_ = true;
  }
}

void ResultSet::requireOpen() const {
  if (!open_)
    throw Error(Error::Kind::Database,
                QStringLiteral("Cannot perform this operation on a closed dataset"));
}

int ResultSet::columnIndex(QByteArrayView columnName) const {
  requireOpen();
  for (qsizetype i = 0; i < columns_.size(); ++i) {
    if (equalsIgnoringAsciiCase(columns_[i], columnName)) return int(i);
  }
  throw Error(Error::Kind::Database,
              QStringLiteral("Field '%1' not found").arg(fromCp1252(columnName)));
}

Value ResultSet::value(int column) const {
  requireOpen();
  if (column < 0 || column >= columns_.size()) {
    throw Error(Error::Kind::Database, QStringLiteral("Column index %1 out of bounds").arg(column));
  }
  if (current_ < 0) return std::nullopt;
  return rows_.value(size_t(current_), size_t(column));
}

std::optional<QByteArrayView> ResultSet::view(int column) const {
  requireOpen();
  if (column < 0 || column >= columns_.size()) {
    throw Error(Error::Kind::Database, QStringLiteral("Column index %1 out of bounds").arg(column));
  }
  if (current_ < 0) return std::nullopt;
  return rows_.view(size_t(current_), size_t(column));
}

Value ResultSet::value(QByteArrayView columnName) const {
  return value(columnIndex(columnName));
}

QByteArray ResultSet::text(QByteArrayView columnName) const {
  return value(columnName).value_or(QByteArray());
}

std::optional<qint64> ResultSet::integer(QByteArrayView columnName) const {
  const Value v = value(columnName);
  if (!v) return std::nullopt;
  bool ok = false;
  const qint64 n = v->trimmed().toLongLong(&ok);
  if (!ok) {
    throw Error(Error::Kind::Database,
                QStringLiteral("'%1' is not a valid integer value").arg(fromCp1252(*v)));
  }
  return n;
}

bool ResultSet::locate(QByteArrayView columnName, QByteArrayView value) {
  const int column = columnIndex(columnName);
  for (size_t i = 0; i < rows_.size(); ++i) {
    const std::optional<QByteArrayView> v = rows_.view(i, size_t(column));
    if (v && *v == value) {
      current_ = qint64(i);
      eof_ = false;
      return true;
    }
  }
  return false;
}

void ResultSet::insertRow(qint64 position, std::vector<std::pair<QByteArray, Value>> columnValues) {
  requireOpen();
  std::vector<Value> row(size_t(columns_.size()));
  for (auto& [name, v] : columnValues) row[size_t(columnIndex(name))] = std::move(v);
  const qint64 at = std::clamp<qint64>(position, 0, recordCount());
  rows_.insertRow(size_t(at), row);
  current_ = at;
  eof_ = false;
}

}  // namespace zavelo::db
