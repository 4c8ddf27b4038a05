// The compact row store: every value reads back as it went in, across its blocks, with NULL and
// empty kept apart, and rows inserted in memory land where asked.
#include "db/row_store.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/qt_print.h"

namespace zavelo::db {
namespace {

using Rows = std::vector<std::vector<Value>>;

void fill(RowStore& store, const Rows& rows) {
  for (const std::vector<Value>& row : rows) {
    for (const Value& v : row) {
      if (v) {
        store.appendValue(*v);
      } else {
        store.appendNull();
      }
    }
  }
}

void expectSame(const RowStore& store, const Rows& expected) {
  ASSERT_EQ(store.size(), expected.size());
  for (size_t r = 0; r < expected.size(); ++r) {
    ASSERT_EQ(store[r].values(), expected[r]) << "row " << r;
    for (size_t c = 0; c < expected[r].size(); ++c) {
      const std::optional<QByteArrayView> v = store.view(r, c);
      ASSERT_EQ(v.has_value(), expected[r][c].has_value()) << "row " << r << " column " << c;
      if (v) {
        EXPECT_EQ(v->toByteArray(), *expected[r][c]) << "row " << r << " column " << c;
      }
    }
  }
}

// Each value's bytes differ from its neighbours', so a value read from the wrong place shows.
QByteArray bytesFor(size_t row, size_t column, qsizetype length) {
  QByteArray b = QByteArray::number(qulonglong(row)) + ':' + QByteArray::number(qulonglong(column));
  return b.leftJustified(length, char('a' + (row + column) % 26), true);
}

TEST(RowStoreTest, ValuesReadBackAcrossBlocks) {
  struct Case {
    const char* name;
    size_t columns;
    Rows rows;
  };
  std::vector<Case> cases;
  cases.push_back({"EmptyBeforeAnyBytes",
                   2,
                   {{QByteArray(""), std::nullopt},
                    {QByteArray(""), QByteArray("x")},
                    {std::nullopt, QByteArray("")}}});
  cases.push_back({"NullFirstThenText", 1, {{std::nullopt}, {QByteArray("ab")}, {std::nullopt}}});
  {
    // Some megabytes of short values with NULLs and empties among them: many block changes.
    Case many{"ManyShortValues", 3, {}};
    for (size_t r = 0; r < 60000; ++r) {
      std::vector<Value> row;
      row.push_back(bytesFor(r, 0, 50 + qsizetype(r % 17)));
      row.push_back(r % 7 == 0 ? Value() : Value(bytesFor(r, 1, 20)));
      row.push_back(r % 5 == 0 ? Value(QByteArray("")) : Value(bytesFor(r, 2, 9)));
      many.rows.push_back(std::move(row));
    }
    cases.push_back(std::move(many));
  }
  {
    // Lengths where a value's stored length needs one more byte (127, 16383, 2097151), each
    // beside NULL and empty values, over more values than one stride of remembered positions.
    Case lengths{"LengthsAroundTheirEncodingSteps", 2, {}};
    size_t r = 0;
    for (const qsizetype length : {126, 127, 128, 16382, 16383, 16384, 2097150, 2097151, 2097152}) {
      lengths.rows.push_back({bytesFor(r, 0, length), std::nullopt});
      lengths.rows.push_back({QByteArray(""), bytesFor(r + 1, 1, length)});
      r += 2;
    }
    cases.push_back(std::move(lengths));
  }
  {
    // Values far larger than a block between small ones, empty and NULL right after them.
    Case large{"LargeValues", 2, {}};
    large.rows.push_back({QByteArray("small"), bytesFor(0, 1, 3 << 20)});
    large.rows.push_back({QByteArray(""), std::nullopt});
    large.rows.push_back({bytesFor(2, 0, 5 << 20), QByteArray("after")});
    large.rows.push_back({bytesFor(3, 0, 1 << 20), bytesFor(3, 1, (1 << 20) + 1)});
    large.rows.push_back({QByteArray("end"), QByteArray("")});
    cases.push_back(std::move(large));
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RowStore store(c.columns);
    EXPECT_TRUE(store.empty());
    fill(store, c.rows);
    EXPECT_EQ(store.columnCount(), c.columns);
    expectSame(store, c.rows);
  }
}

TEST(RowStoreTest, EmptyIsNotNull) {
  RowStore store(2);
  store.appendValue(QByteArrayView("", 0));
  store.appendNull();
  ASSERT_EQ(store.size(), 1u);
  ASSERT_TRUE(store.value(0, 0).has_value());
  EXPECT_TRUE(store.value(0, 0)->isEmpty());
  EXPECT_FALSE(store.value(0, 0)->isNull()) << "an empty value reads as empty, not as NULL";
  EXPECT_EQ(store.value(0, 1), std::nullopt);
  EXPECT_EQ(store.at(0).front(), QByteArray(""));
}

TEST(RowStoreTest, RowsCountOnceComplete) {
  RowStore store(3);
  store.appendValue("a");
  store.appendValue("b");
  EXPECT_EQ(store.size(), 0u);
  store.appendNull();
  EXPECT_EQ(store.size(), 1u);
  EXPECT_EQ(store[0].size(), 3u);
}

TEST(RowStoreTest, InsertedRowsLandWhereAsked) {
  const Rows fetched = {{QByteArray("1"), QByteArray("uno")},
                        {QByteArray("2"), std::nullopt},
                        {QByteArray("3"), QByteArray("tres")}};
  struct Case {
    const char* name;
    size_t position;
    std::vector<Value> row;
    Rows expected;
  };
  const Case cases[] = {
      {"Front",
       0,
       {QByteArray("0"), QByteArray("TODAS")},
       {{QByteArray("0"), QByteArray("TODAS")}, fetched[0], fetched[1], fetched[2]}},
      {"Middle",
       2,
       {std::nullopt, QByteArray("")},
       {fetched[0], fetched[1], {std::nullopt, QByteArray("")}, fetched[2]}},
      {"End",
       3,
       {QByteArray("9"), QByteArray("fin")},
       {fetched[0], fetched[1], fetched[2], {QByteArray("9"), QByteArray("fin")}}},
      {"PastTheEndClamped",
       99,
       {QByteArray("9")},  // the missing column reads NULL
       {fetched[0], fetched[1], fetched[2], {QByteArray("9"), std::nullopt}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RowStore store(2);
    fill(store, fetched);
    store.insertRow(c.position, c.row);
    expectSame(store, c.expected);
  }

  // Several inserts, each relative to the rows as they stand after the one before.
  RowStore store(2);
  fill(store, fetched);
  store.insertRow(0, {QByteArray("a")});
  store.insertRow(2, {QByteArray("b")});
  store.insertRow(0, {QByteArray("c")});
  store.insertRow(store.size(), {QByteArray("d")});
  const Rows expected = {{QByteArray("c"), std::nullopt},
                         {QByteArray("a"), std::nullopt},
                         fetched[0],
                         {QByteArray("b"), std::nullopt},
                         fetched[1],
                         fetched[2],
                         {QByteArray("d"), std::nullopt}};
  expectSame(store, expected);
}

TEST(RowStoreTest, OutOfRangeAndClear) {
  RowStore store(2);
  fill(store, {{QByteArray("x"), QByteArray("y")}});
  EXPECT_THROW(store.at(1), std::out_of_range);
  EXPECT_THROW(store.at(0).at(2), std::out_of_range);
  EXPECT_EQ(store.at(0).at(1), QByteArray("y"));

  store.insertRow(0, {QByteArray("z")});
  store.clear();
  EXPECT_TRUE(store.empty());
  EXPECT_EQ(store.columnCount(), 2u);
  // Filled again after clearing, in the order it comes, with nothing of the earlier order.
  fill(store, {{QByteArray("p"), std::nullopt}, {QByteArray("q"), QByteArray("r")}});
  expectSame(store, {{QByteArray("p"), std::nullopt}, {QByteArray("q"), QByteArray("r")}});
}

}  // namespace
}  // namespace zavelo::db
