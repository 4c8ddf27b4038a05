#include "db/query.h"

#include "db/connection.h"

namespace zavelo::db {

Query::Query(Connection& connection, QByteArray sql)
    : connection_(connection), sql_(std::move(sql)) {
  connection_.addQuery(this);
}

Query::~Query() {
  connection_.removeQuery(this);
}

Query::Result Query::openFetchAllAndClose() {
  close();
  connection_.open();
  open_ = true;
  struct CloseAtEnd {
    Query* q;
    ~CloseAtEnd() { q->close(); }
  } closeAtEnd{this};
  return connection_.run(sql_);
}

}  // namespace zavelo::db
