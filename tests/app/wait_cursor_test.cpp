// The program's wait indicator: the database's waits show the wait cursor, and nothing is left
// behind when the indicator goes.
#include "app/wait_cursor.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>

#include "db/connection.h"
#include "db/wait_indicator.h"

namespace zavelo {
namespace {

Qt::CursorShape overrideShape() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor ? cursor->shape() : Qt::ArrowCursor;
}

TEST(WaitCursorTest, InstallsItselfForItsLifetime) {
  ASSERT_EQ(db::waitIndicator(), nullptr);
  {
    WaitCursor cursor;
    EXPECT_EQ(db::waitIndicator(), &cursor);
  }
  EXPECT_EQ(db::waitIndicator(), nullptr);
}

TEST(WaitCursorTest, NestedWaitsEndWithTheOutermost) {
  WaitCursor cursor;
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    db::WaitScope outer;
    EXPECT_EQ(overrideShape(), Qt::WaitCursor);
    {
      db::WaitScope inner;
      EXPECT_EQ(overrideShape(), Qt::WaitCursor);
    }
    EXPECT_EQ(overrideShape(), Qt::WaitCursor) << "the inner wait ended the outer one";
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "wait cursor left on";
}

TEST(WaitCursorTest, OpeningAConnectionThatFailsLeavesNoWaitCursor) {
  WaitCursor cursor;
  db::Connection connection("libzavelo-no-such-fbclient.so.9");
  EXPECT_ANY_THROW(connection.open());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "wait cursor left on";
}

}  // namespace
}  // namespace zavelo
