// A column value as the data path sees it, and the rows of one statement.
#pragma once

#include <QByteArray>
#include <QList>
#include <optional>
#include <vector>

namespace zavelo::db {

// std::nullopt is SQL NULL. Text is the database's bytes unchanged (Windows-1252); numbers
// are their decimal text.
using Value = std::optional<QByteArray>;

struct QueryResult {
  QList<QByteArray> columns;             // column names (aliases), in select-list order
  std::vector<std::vector<Value>> rows;  // in the order the database delivered them
};

}  // namespace zavelo::db
