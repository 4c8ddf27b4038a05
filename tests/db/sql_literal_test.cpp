#include "db/sql_literal.h"

#include <gtest/gtest.h>

#include "support/qt_print.h"

namespace zavelo::db {
namespace {

TEST(SqlStringLiteral, QuotesAroundAndInnerQuotesDoubled) {
  struct Case {
    QByteArray value;
    QByteArray literal;
  } cases[] = {
      {"", "''"},       {"07", "'07'"},   {"O'Neil", "'O''Neil'"}, {"'", "''''"},
      {"''", "''''''"}, {" a ", "' a '"}, {"\xE9\"", "'\xE9\"'"},
  };
  for (const auto& c : cases) EXPECT_EQ(sqlStringLiteral(c.value), c.literal) << c.value.data();
}

}  // namespace
}  // namespace zavelo::db
