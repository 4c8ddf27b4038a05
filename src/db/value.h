// A column value as the data path sees it.
#pragma once

#include <QByteArray>
#include <optional>

namespace zavelo::db {

// std::nullopt is SQL NULL. Text is the database's bytes unchanged (Windows-1252); numbers
// are their decimal text.
using Value = std::optional<QByteArray>;

}  // namespace zavelo::db
