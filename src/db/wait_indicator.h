// What the user sees while the program waits on the database. db has no window, so the
// program puts its own indicator here (the wait cursor); with none, as in the tests and
// without a GUI, waiting shows nothing.
#pragma once

namespace zavelo::db {

class WaitIndicator {
 public:
  virtual ~WaitIndicator() = default;

  // A wait begins; each begin() is followed by exactly one end(), also when the wait fails.
  virtual void begin() = 0;
  virtual void end() = 0;
};

// The indicator for every wait from now on; nullptr for none. The caller keeps it alive until
// it is replaced.
void setWaitIndicator(WaitIndicator* indicator);
WaitIndicator* waitIndicator();

// Shows the indicator for the life of the object.
class WaitScope {
 public:
  WaitScope();
  ~WaitScope();
  WaitScope(const WaitScope&) = delete;
  WaitScope& operator=(const WaitScope&) = delete;

 private:
  // The one begun, so that replacing the indicator mid-wait still ends the right one.
  WaitIndicator* indicator_;
};

}  // namespace zavelo::db
