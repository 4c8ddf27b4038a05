// The link between an in-memory result set and the query object it reads, and whether the
// result set may hand the query a statement text of its own.
#pragma once

namespace zavelo::db {

class Query;

class Link {
 public:
  Link(Query& query, bool allowCommandText) : query_(query), allowCommandText_(allowCommandText) {}

  Query& query() const { return query_; }
  bool allowsCommandText() const { return allowCommandText_; }

 private:
  Query& query_;
  bool allowCommandText_;
};

}  // namespace zavelo::db
