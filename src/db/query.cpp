#include "db/query.h"

#include "db/connection.h"

namespace zavelo::db {

Query::Query(Connection& connection, QByteArray sql)
    : connection_(connection), sql_(std::move(sql)) {}

Query::Result Query::openFetchAllAndClose() {
  connection_.open();
  return connection_.run(sql_);
}

}  // namespace zavelo::db
