// A query object of the data holder: a statement text run on the connection `Halvori`. It has
// no statement parameters; opening it fetches every row at once and closes it again, so the
// database cursor never outlives the call.
#pragma once

#include <QByteArray>

#include "db/row_store.h"

namespace zavelo::db {

class Connection;

class Query {
 public:
  using Result = QueryResult;

  Query(Connection& connection, QByteArray sql = {});
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  QByteArray sql() const { return sql_; }
  void setSql(QByteArray sql) { sql_ = std::move(sql); }

  // Opens the connection first when it is closed (with whatever parameters it holds), runs
  // the statement in a transaction of the connection's and fetches all rows. Nothing stays
  // open afterwards, so between two calls a query object is always closed. A failure throws
  // the database's Error.
  Result openFetchAllAndClose();

 private:
  Connection& connection_;
  QByteArray sql_;
};

}  // namespace zavelo::db
