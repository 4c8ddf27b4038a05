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
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Connection& connection() const { return connection_; }
  QByteArray sql() const { return sql_; }
  void setSql(QByteArray sql) { sql_ = std::move(sql); }

  bool isOpen() const { return open_; }
  void close() { open_ = false; }

  // Opens the connection first when it is closed (with whatever parameters it holds), runs
  // the statement in a transaction of the connection's, fetches all rows and closes again.
  // A failure leaves the query closed and throws the database's Error.
  Result openFetchAllAndClose();

 private:
  Connection& connection_;
  QByteArray sql_;
  bool open_ = false;
};

}  // namespace zavelo::db
