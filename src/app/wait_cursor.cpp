#include "app/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace zavelo {

WaitCursor::WaitCursor() {
  db::setWaitIndicator(this);
}

WaitCursor::~WaitCursor() {
  if (db::waitIndicator() == this) db::setWaitIndicator(nullptr);
}

// Override cursors stack, so nested waits restore the cursor only when the outermost ends.
void WaitCursor::begin() {
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void WaitCursor::end() {
  QGuiApplication::restoreOverrideCursor();
}

}  // namespace zavelo
