#include "db/wait_indicator.h"

namespace zavelo::db {

namespace {
// Everything runs on the GUI thread, so the indicator needs no lock.
WaitIndicator* current = nullptr;
}  // namespace

void setWaitIndicator(WaitIndicator* indicator) {
  current = indicator;
}

WaitIndicator* waitIndicator() {
  return current;
}

WaitScope::WaitScope() : indicator_(current) {
  if (indicator_) indicator_->begin();
}

WaitScope::~WaitScope() {
  if (indicator_) indicator_->end();
}

}  // namespace zavelo::db
