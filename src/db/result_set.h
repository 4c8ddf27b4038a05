// An in-memory result set: all rows of one statement, fetched at once through its link's
// query object, which is closed again right after. Rows added in memory stay in memory.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>
#include <utility>
#include <vector>

#include "common/error.h"
#include "db/link.h"
#include "db/row_store.h"
#include "db/value.h"

namespace zavelo::db {

class ResultSet {
 public:
  explicit ResultSet(Link& link);

  // The statement text to run, when the link allows a text of the set's own; empty = the
  // query object's own text.
  void setCommandText(QByteArray sql) { commandText_ = std::move(sql); }
  QByteArray commandText() const { return commandText_; }

  // Nothing when open (no statement runs, the rows stay). Otherwise runs the statement,
  // fetches all rows and stands on the first. On failure the set stays closed.
  void open();
  void close();
  bool isOpen() const { return open_; }

  const QList<QByteArray>& columns() const { return columns_; }
  // 64-bit: a set of more than 2^31 rows is counted as it is, not wrapped.
  qint64 recordCount() const { return qint64(rows_.size()); }
  // The current row, from 0; -1 when there is none.
  qint64 currentRow() const { return current_; }

  void first();
  // Past the last row the set stays there and eof() turns true.
  void next();
  // True with no rows, or after next() on the last row.
  bool eof() const { return eof_; }

  // The current row's value; NULL when the set has no rows. Throws on a closed set or a
  // position outside the columns.
  Value value(int column) const;
  // The same value in place, without a copy: valid until the set is closed or a row inserted.
  std::optional<QByteArrayView> view(int column) const;
  // By column name, without regard to ASCII case; an unknown name throws.
  Value value(QByteArrayView columnName) const;
  // NULL reads as "".
  QByteArray text(QByteArrayView columnName) const;
  // NULL reads as nullopt; a value that is no whole number throws.
  std::optional<qint64> integer(QByteArrayView columnName) const;
  // Index of the column, or throws.
  int columnIndex(QByteArrayView columnName) const;

  // Moves to the first row whose value in the column equals value byte for byte (NULL
  // equals nothing). False, without moving, when there is none.
  bool locate(QByteArrayView columnName, QByteArrayView value);
  // Adds a row in memory at position (clamped to 0..recordCount()), with the named columns
  // set and the others NULL, and stands on it.
  void insertRow(qint64 position, std::vector<std::pair<QByteArray, Value>> columnValues);

 private:
  void requireOpen() const;

  Link& link_;
  QByteArray commandText_;
  bool open_ = false;
  QList<QByteArray> columns_;
  RowStore rows_;
  qint64 current_ = -1;
  bool eof_ = true;
};

}  // namespace zavelo::db
