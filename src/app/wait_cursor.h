// The program's wait indicator: the wait cursor over every window while the database keeps
// the GUI thread busy (a connection opening).
#pragma once

#include "db/wait_indicator.h"

namespace zavelo {

// Installs itself as the database's wait indicator for its lifetime.
class WaitCursor : public db::WaitIndicator {
 public:
  WaitCursor();
  ~WaitCursor() override;
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

  void begin() override;
  void end() override;
};

}  // namespace zavelo
