// The rows of one statement, held compactly: all values one after another in large blocks, each
// as a short header (NULL, or its length) followed by its bytes, and the position of every
// sixteenth value on the side. A million short rows thus cost their bytes and a byte or two more
// per value, where a vector per row and a separately allocated byte array per value would cost
// three times as much.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "db/value.h"

namespace zavelo::db {

class RowStore {
 public:
  // One row of the store, read by column. Valid while its store lives and gains no rows.
  class Row {
   public:
    size_t size() const { return store_->columnCount(); }
    Value operator[](size_t column) const { return store_->value(row_, column); }
    // Throws std::out_of_range past the last column.
    Value at(size_t column) const;
    Value front() const { return at(0); }
    std::vector<Value> values() const;

   private:
    friend class RowStore;
    Row(const RowStore* store, size_t row) : store_(store), row_(row) {}
    const RowStore* store_;
    size_t row_;
  };

  explicit RowStore(size_t columnCount = 0) : columnCount_(columnCount) {}
  RowStore(RowStore&&) noexcept = default;
  RowStore& operator=(RowStore&&) noexcept = default;
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  size_t columnCount() const { return columnCount_; }
  size_t size() const;
  bool empty() const { return size() == 0; }

  Row operator[](size_t row) const { return Row(this, row); }
  // Throws std::out_of_range past the last row.
  Row at(size_t row) const;
  Row front() const { return at(0); }

  // Row and column must be in range. A copy, so it outlives the store.
  Value value(size_t row, size_t column) const;
  // The bytes in place, without a copy; valid until the store gains rows or goes.
  std::optional<QByteArrayView> view(size_t row, size_t column) const;

  // Filling, value by value in row order, columnCount() values a row. A row counts once its
  // last value is in.
  void appendValue(QByteArrayView bytes);
  void appendNull();

  // Adds a row at position (clamped to 0..size()): columnCount() values, missing ones NULL.
  void insertRow(size_t position, const std::vector<Value>& row);

  // Drops every row and gives the memory back; the columns stay.
  void clear();

 private:
  struct Block {
    std::unique_ptr<unsigned char[]> bytes;
    size_t capacity = 0;
    size_t used = 0;
  };
  // Where a value's header begins.
  struct Position {
    uint32_t block;
    uint32_t offset;
  };

  void append(std::optional<QByteArrayView> bytes);
  Position positionOf(size_t index) const;
  Position after(Position at) const;
  std::optional<QByteArrayView> read(Position at) const;
  size_t physicalRow(size_t row) const;
  size_t physicalRows() const;

  size_t columnCount_;
  std::vector<Block> blocks_;
  // The position of values 0, kStride, 2 * kStride, ...; the others are found from there.
  std::vector<Position> marks_;
  size_t valueCount_ = 0;
  // The order of the rows when one was inserted before the end; empty: the order they came in.
  std::vector<uint32_t> order_;
};

// The column names and rows of one statement.
struct QueryResult {
  QList<QByteArray> columns;  // column names (aliases), in select-list order
  RowStore rows;              // in the order the database delivered them
};

}  // namespace zavelo::db
